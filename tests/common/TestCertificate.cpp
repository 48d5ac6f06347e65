#include "tests/common/TestCertificate.h"

#include <cstdlib>
#include <fstream>
#include <iterator>

bool MakeTestCertificate(const std::string& dir, std::string& error)
{
    const std::string log = dir + "/openssl.log";
    const std::string command =
        "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2"
        " -subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1,IP:::1,DNS:localhost -keyout '" +
        dir + "/key.pem' -out '" + dir + "/cert.pem' >'" + log + "' 2>&1";
    if (std::system(command.c_str()) == 0) {
        return true;
    }
    std::ifstream file(log);
    error = "openssl could not make a certificate: " +
            std::string{std::istreambuf_iterator<char>(file), {}};
    return false;
}
