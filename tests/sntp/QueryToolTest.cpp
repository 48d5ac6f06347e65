// horalink-query as a person runs it: an NTS server named with its key-exchange port, trusted
// through --nts-ca, and its failure line naming where it asked.
#include "tests/common/ChronyServer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <sys/wait.h>

namespace
{

// The tool's exit code and its standard output and error, together.
std::pair<int, std::string> Query(const std::string& args)
{
    const std::string command = HORALINK_QUERY_TOOL " " + args + " 2>&1";
    FILE* output = popen(command.c_str(), "r");
    std::string text;
    char buffer[4096];
    for (size_t n; output && (n = fread(buffer, 1, sizeof buffer, output)) > 0;) {
        text.append(buffer, n);
    }
    const int status = output ? pclose(output) : -1;
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, text};
}

} // namespace

TEST(QueryTool, AsksAnNtsServerItsCaVouchesFor)
{
    ChronyServer chrony({.nts = true});
    ASSERT_TRUE(chrony.Start()) << chrony.Error();
    const std::string ke = std::to_string(chrony.NtsPort());
    const auto [code, text] =
        Query("--nts-ca " + chrony.CertificateFile() + " nts://127.0.0.1:" + ke);
    EXPECT_EQ(code, 0) << text;
    EXPECT_NE(text.find("\nKey exchange:     127.0.0.1 port " + ke +
                        "\nAddress:          127.0.0.1 port " + std::to_string(chrony.Port()) +
                        "\nAuthenticated:    NTS\n"),
              std::string::npos)
        << text;

    const auto [refused, line] = Query("--timeout 1 nts://127.0.0.1:" + ke);
    EXPECT_EQ(refused, 1);
    EXPECT_EQ(line, "horalink-query: no time from 127.0.0.1 key-exchange port " + ke +
                        ": certificate refused: untrusted issuer\n");
}

TEST(QueryTool, RefusesAPortBesideAnNtsServer)
{
    EXPECT_EQ(Query("nts://127.0.0.1:4460 123").first, 2);
    EXPECT_EQ(Query("--nts-ca").first, 2);
}
