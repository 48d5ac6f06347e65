#pragma once

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

struct TestCertificateOptions {
    std::string names = "IP:127.0.0.1,IP:::1,DNS:localhost"; // subjectAltName
    // Made as if the clock were this many seconds off (the clock shim), so that its validity lies
    // in the past or the future.
    long long shiftSeconds = 0;
    int days = 2;
};

// A self-signed P-256 certificate valid from now, made with openssl in dir as cert.pem and
// key.pem: what a TLS test server presents and what its client trusts as its certificate
// authority. Returns openssl's complaint, empty when made.
inline std::string MakeTestCertificate(const std::string& dir,
                                       const TestCertificateOptions& options = {})
{
    const std::string command =
        "HORALINK_CLOCK_SHIFT=" + std::to_string(options.shiftSeconds) +
        " LD_PRELOAD=" HORALINK_CLOCK_SHIM " openssl req -x509 -newkey ec -pkeyopt "
        "ec_paramgen_curve:prime256v1 -nodes -days " +
        std::to_string(options.days) +
        " -subj /CN=horalink-test -addext subjectAltName=" + options.names + " -keyout '" + dir +
        "/key.pem' -out '" + dir + "/cert.pem' >'" + dir + "/openssl.log' 2>&1";
    if (std::system(command.c_str()) == 0) {
        return "";
    }
    std::ifstream log(dir + "/openssl.log");
    return "openssl could not make a certificate: " +
           std::string{std::istreambuf_iterator<char>(log), {}};
}
