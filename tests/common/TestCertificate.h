#pragma once

#include <string>

// A self-signed P-256 certificate for 127.0.0.1, ::1 and localhost, made with openssl in dir as
// cert.pem and key.pem, valid for two days: what a TLS test server presents and what its
// client trusts as its certificate authority. False, with openssl's complaint in error.
bool MakeTestCertificate(const std::string& dir, std::string& error);
