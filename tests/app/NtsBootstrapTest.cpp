// The built program on a machine whose clock lies in 2001 (the clock shim), against chronyd as
// an NTS server: the certificate's dates are judged by the server's authenticated time, which
// must lie after the build date and inside the certificate's validity.
#include "tests/common/ChronyServer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace
{

constexpr long long kDay = 86400;
// The shift that puts this computer's clock at 2001-01-01 00:00:00 UTC.
const long long kTo2001 = 978307200 - std::time(nullptr);

std::string ReadFile(const std::string& path)
{
    std::ostringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
}

struct ProgramRun {
    int exitCode = -1;
    std::string out, err;
};

// horalink --console --json ARGS with the clock moved by shift seconds. prefix runs before the
// program (unshare -Ur, for one that may set the clock).
ProgramRun Console(const std::string& args, long long shift, const std::string& prefix = "")
{
    const std::string errFile = "/tmp/horalink-boot." + std::to_string(getpid());
    const std::string command =
        prefix + " env HORALINK_CLOCK_SHIFT=" + std::to_string(shift) +
        " LD_PRELOAD=" HORALINK_CLOCK_SHIM
        " DBUS_SYSTEM_BUS_ADDRESS=unix:path=/nonexistent/boot " HORALINK_PROGRAM
        " --console --json " +
        args + " 2>" + errFile;
    ProgramRun run;
    FILE* output = popen(command.c_str(), "r");
    char buffer[4096];
    for (size_t n; output && (n = fread(buffer, 1, sizeof buffer, output)) > 0;) {
        run.out.append(buffer, n);
    }
    const int status = output ? pclose(output) : -1;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.err = ReadFile(errFile);
    std::remove(errFile.c_str());
    return run;
}

std::string Day(long long fromNow)
{
    const time_t t = std::time(nullptr) + fromNow;
    tm parts{};
    gmtime_r(&t, &parts);
    char text[16];
    std::strftime(text, sizeof text, "%Y-%m-%d", &parts);
    return text;
}

std::string Server(const ChronyServer& chrony)
{
    return "--nts-ca " + chrony.CertificateFile() +
           " nts://127.0.0.1:" + std::to_string(chrony.NtsPort());
}

} // namespace

// A certificate valid now: retrieved over NTS although this computer's date is 2001, the offset
// the 25-odd years between. With Y, the clock is set to the server's time (the capability route
// in a user namespace, where there is one; the shim records the setting instead of making it).
TEST(NtsBootstrap, RetrievesAuthenticatedTimeWithAClockIn2001AndSetsIt)
{
    ChronyServer chrony({.nts = true});
    ASSERT_TRUE(chrony.Start()) << chrony.Error();
    const bool userNamespace = std::system("unshare -Ur true 2>/dev/null") == 0;
    const std::string record = "/tmp/horalink-set." + std::to_string(getpid());
    std::remove(record.c_str());
    const ProgramRun run = userNamespace
                               ? Console(Server(chrony) + " y", kTo2001,
                                         "unshare -Ur env HORALINK_CLOCK_RECORD=" + record)
                               : Console(Server(chrony), kTo2001);
    const long long now = std::time(nullptr);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("\"nts\": true"), std::string::npos) << run.out;
    const size_t offset = run.out.find("\"offset\": ");
    ASSERT_NE(offset, std::string::npos) << run.out;
    EXPECT_NEAR(std::stod(run.out.substr(offset + 10)), -kTo2001, 5.0) << run.out;
    EXPECT_NE(run.out.find("\"destination\": \"2001-01-01T"), std::string::npos) << run.out;
    const std::string set = ReadFile(record);
    std::remove(record.c_str());
    if (userNamespace) {
        ASSERT_FALSE(set.empty());
        EXPECT_NEAR(std::stod(set), static_cast<double>(now), 5.0);
    }
}

// Certificates no authenticated time after the build can fall into are refused, with their
// dates and the server's; --nts-bootstrap asks the same of a clock that is right.
TEST(NtsBootstrap, RefusesCertificatesOutsideTheServersTime)
{
    const std::tuple<long long, long long, const char*, const char*> cases[] = {
        {-400, kTo2001, "", "expired"},
        {10, kTo2001, "", "not yet valid"},
        {10, 0, "--nts-bootstrap ", "not yet valid"},
    };
    for (const auto& [validFrom, clientShift, option, refusal] : cases) {
        SCOPED_TRACE(option + std::string(refusal));
        ChronyServer chrony({.nts = true, .certificate = {.shiftSeconds = validFrom * kDay}});
        ASSERT_TRUE(chrony.Start()) << chrony.Error();
        const ProgramRun run = Console(option + Server(chrony), clientShift);
        EXPECT_EQ(run.exitCode, 1) << run.out;
        EXPECT_EQ(run.err, "horalink: certificate refused: " + std::string(refusal) +
                               ": valid from " + Day(validFrom * kDay) + " to " +
                               Day((validFrom + 2) * kDay) + "; the server's date is " + Day(0) +
                               "\n");
        EXPECT_NE(run.out.find("\"nts\": false"), std::string::npos) << run.out;
    }
}
