#include "tests/common/TestCertificate.h"

#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <spawn.h>
#include <sys/wait.h>

bool MakeTestCertificate(const std::string& dir, std::string& error)
{
    const std::string key = dir + "/key.pem", cert = dir + "/cert.pem", log = dir + "/openssl.log";
    const char* argv[] = {"openssl",
                          "req",
                          "-x509",
                          "-newkey",
                          "ec",
                          "-pkeyopt",
                          "ec_paramgen_curve:prime256v1",
                          "-nodes",
                          "-days",
                          "2",
                          "-subj",
                          "/CN=127.0.0.1",
                          "-addext",
                          "subjectAltName=IP:127.0.0.1,IP:::1,DNS:localhost",
                          "-keyout",
                          key.c_str(),
                          "-out",
                          cert.c_str(),
                          nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    int status = -1;
    const bool ran =
        posix_spawnp(&pid, "openssl", &actions, nullptr, const_cast<char**>(argv), environ) == 0 &&
        waitpid(pid, &status, 0) == pid;
    posix_spawn_file_actions_destroy(&actions);
    if (ran && WIFEXITED(status) && WEXITSTATUS(status) == 0) {
        return true;
    }
    std::ifstream file(log);
    error = "openssl could not make a certificate: " +
            std::string{std::istreambuf_iterator<char>(file), {}};
    return false;
}
