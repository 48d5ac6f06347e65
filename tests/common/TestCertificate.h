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
    // Other than 0: signed by a certificate authority of its own, valid as many days from the
    // same start.
    int caDays = 0;
    std::string digest = "sha256"; // the authority's signature over the certificate
};

// A P-256 certificate valid from now, made with openssl in dir as cert.pem and key.pem: what a
// TLS test server presents. Its client trusts ca.pem as its certificate authority: the
// certificate itself, or the authority that signed it. Returns openssl's complaint, empty when
// made.
inline std::string MakeTestCertificate(const std::string& dir,
                                       const TestCertificateOptions& options = {})
{
    const std::string openssl = "HORALINK_CLOCK_SHIFT=" + std::to_string(options.shiftSeconds) +
                                " LD_PRELOAD=" HORALINK_CLOCK_SHIM " openssl ";
    const std::string key =
        " -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout '" + dir + "/";
    const std::string leaf =
        key + "key.pem' -subj /CN=horalink-test -addext subjectAltName=" + options.names +
        " -days " + std::to_string(options.days);
    const std::string log = " >>'" + dir + "/openssl.log' 2>&1";
    const std::string command =
        options.caDays == 0
            ? openssl + "req -x509" + leaf + " -out '" + dir + "/cert.pem'" + log + " && cp '" +
                  dir + "/cert.pem' '" + dir + "/ca.pem'"
            : openssl + "req -x509" + key + "ca-key.pem' -subj /CN=horalink-test-ca -days " +
                  std::to_string(options.caDays) + " -out '" + dir + "/ca.pem'" + log + " && " +
                  openssl + "req" + leaf + " -out '" + dir + "/leaf.csr'" + log + " && " + openssl +
                  "x509 -req -in '" + dir + "/leaf.csr' -CA '" + dir + "/ca.pem' -CAkey '" + dir +
                  "/ca-key.pem' -copy_extensions copy -" + options.digest + " -days " +
                  std::to_string(options.days) + " -out '" + dir + "/cert.pem'" + log;
    if (std::system(command.c_str()) == 0) {
        return "";
    }
    std::ifstream file(dir + "/openssl.log");
    return "openssl could not make a certificate: " +
           std::string{std::istreambuf_iterator<char>(file), {}};
}
