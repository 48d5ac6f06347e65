#pragma once

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

// A self-signed P-256 certificate for 127.0.0.1, ::1 and localhost, made with openssl in dir as
// cert.pem and key.pem, valid for two days: what a TLS test server presents and what its
// client trusts as its certificate authority. Returns openssl's complaint, empty when made.
inline std::string MakeTestCertificate(const std::string& dir)
{
    const std::string log = dir + "/openssl.log";
    const std::string command =
        "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2"
        " -subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1,IP:::1,DNS:localhost -keyout '" +
        dir + "/key.pem' -out '" + dir + "/cert.pem' >'" + log + "' 2>&1";
    if (std::system(command.c_str()) == 0) {
        return "";
    }
    std::ifstream file(log);
    return "openssl could not make a certificate: " +
           std::string{std::istreambuf_iterator<char>(file), {}};
}
