// The built program on a machine whose clock lies in 2001 (the clock shim), against chronyd as
// an NTS server: the certificate's dates are judged by the server's authenticated time, which
// must lie after the build date and inside the certificate's validity. (Certificates outside
// that time are refused in sntp.CertificateValidity and sntp.NtsQuery.)
#include "tests/common/ChronyServer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

static std::string ReadFile(const std::string& path)
{
    std::ostringstream text;
    text << std::ifstream(path).rdbuf();
    std::remove(path.c_str());
    return text.str();
}

// A certificate valid now: retrieved over NTS although this computer's date is 2001, the offset
// the 25-odd years between. With Y, the clock is set to the server's time (the capability route
// in a user namespace, where there is one; the shim records the setting instead of making it).
TEST(NtsBootstrap, RetrievesAuthenticatedTimeWithAClockIn2001AndSetsIt)
{
    ChronyServer chrony({.nts = true});
    ASSERT_TRUE(chrony.Start()) << chrony.Error();
    // The shift that puts this computer's clock at 2001-01-01 00:00:00 UTC.
    const long long to2001 = 978307200 - std::time(nullptr);
    const bool userNamespace = std::system("unshare -Ur true 2>/dev/null") == 0;
    const std::string at = "/tmp/horalink-" + std::to_string(getpid()), record = at + ".set",
                      errors = at + ".err", output = at + ".json";
    std::remove(record.c_str());
    const std::string command =
        (userNamespace ? "unshare -Ur env HORALINK_CLOCK_RECORD=" + record : std::string()) +
        " env HORALINK_CLOCK_SHIFT=" + std::to_string(to2001) +
        " LD_PRELOAD=" HORALINK_CLOCK_SHIM
        " DBUS_SYSTEM_BUS_ADDRESS=unix:path=/nonexistent/boot " HORALINK_PROGRAM
        " --console --json --nts-ca " +
        chrony.CertificateFile() + " nts://127.0.0.1:" + std::to_string(chrony.NtsPort()) +
        (userNamespace ? " y" : "") + " >" + output + " 2>" + errors;
    const int status = std::system(command.c_str());
    const long long now = std::time(nullptr);
    const std::string out = ReadFile(output), refusal = ReadFile(errors);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << refusal;
    EXPECT_NE(out.find("\"nts\": true"), std::string::npos) << out;
    const size_t offset = out.find("\"offset\": ");
    ASSERT_NE(offset, std::string::npos) << out;
    EXPECT_NEAR(std::stod(out.substr(offset + 10)), -to2001, 5.0) << out;
    EXPECT_NE(out.find("\"destination\": \"2001-01-01T"), std::string::npos) << out;
    const std::string set = ReadFile(record);
    if (userNamespace) {
        ASSERT_FALSE(set.empty());
        EXPECT_NEAR(std::stod(set), static_cast<double>(now), 5.0);
    }
}
