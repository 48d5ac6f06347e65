// The built program on a machine whose clock lies in 2001 (the clock shim), against chronyd as
// an NTS server: the certificate's dates are judged by the server's authenticated time, which
// must lie after the build date and inside the certificate's validity.
#include "tests/common/ChronyServer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace
{

constexpr long long kDay = 86400;
constexpr long long k2001 = 978307200; // 2001-01-01 00:00:00 UTC

struct ProgramRun {
    int exitCode = -1;
    std::string out, err;
};

// horalink --console ARGS with the clock moved by shift seconds; stderr is kept in a file.
// prefix runs before the program (unshare -Ur, for one that may set the clock).
ProgramRun Console(const std::string& args, long long shift, const std::string& prefix = "")
{
    char pattern[] = "/tmp/horalink-boot.XXXXXX";
    const int fd = mkstemp(pattern);
    ProgramRun run;
    if (fd < 0) {
        return run;
    }
    close(fd);
    const std::string command =
        prefix + " env HORALINK_CLOCK_SHIFT=" + std::to_string(shift) +
        " LD_PRELOAD=" HORALINK_CLOCK_SHIM
        " DBUS_SYSTEM_BUS_ADDRESS=unix:path=/nonexistent/boot " HORALINK_PROGRAM
        " --console --json " +
        args + " 2>" + pattern;
    FILE* output = popen(command.c_str(), "r");
    char buffer[4096];
    for (size_t n; output && (n = fread(buffer, 1, sizeof buffer, output)) > 0;) {
        run.out.append(buffer, n);
    }
    const int status = output ? pclose(output) : -1;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    FILE* err = std::fopen(pattern, "r");
    for (size_t n; err && (n = fread(buffer, 1, sizeof buffer, err)) > 0;) {
        run.err.append(buffer, n);
    }
    if (err) {
        std::fclose(err);
    }
    std::remove(pattern);
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

double JsonNumber(const std::string& json, const std::string& key)
{
    const size_t at = json.find("\"" + key + "\": ");
    return at == std::string::npos ? 0.0 : std::stod(json.substr(at + key.size() + 4));
}

} // namespace

// A certificate valid now: retrieved over NTS although this computer's date is 2001, the offset
// the 25-odd years between.
TEST(NtsBootstrap, RetrievesAuthenticatedTimeWithAClockIn2001)
{
    ChronyServer chrony({.nts = true});
    ASSERT_TRUE(chrony.Start()) << chrony.Error();
    const long long shift = k2001 - std::time(nullptr);
    const ProgramRun run = Console("--nts-ca " + chrony.CertificateFile() +
                                       " nts://127.0.0.1:" + std::to_string(chrony.NtsPort()),
                                   shift);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("\"nts\": true"), std::string::npos) << run.out;
    EXPECT_NEAR(JsonNumber(run.out, "offset"), -shift, 5.0) << run.out;
    EXPECT_NE(run.out.find("\"destination\": \"2001-01-01T"), std::string::npos) << run.out;
}

// Certificates no authenticated time after the build can fall into are refused, with their
// dates and the server's; --nts-bootstrap asks the same of a clock that is right.
TEST(NtsBootstrap, RefusesCertificatesOutsideTheServersTime)
{
    const struct {
        const char* name;
        TestCertificateOptions certificate;
        long long clientShift;
        const char* option;
        std::string reason;
    } cases[] = {
        {"expired before the build",
         {.shiftSeconds = -400 * kDay},
         k2001 - std::time(nullptr),
         "",
         "horalink: certificate refused: expired: valid from " + Day(-400 * kDay) + " to " +
             Day(-398 * kDay) + "; the server's date is " + Day(0) + "\n"},
        {"not yet valid",
         {.shiftSeconds = 10 * kDay},
         k2001 - std::time(nullptr),
         "",
         "horalink: certificate refused: not yet valid: valid from " + Day(10 * kDay) + " to " +
             Day(12 * kDay) + "; the server's date is " + Day(0) + "\n"},
        {"asked for",
         {.shiftSeconds = 10 * kDay},
         0,
         "--nts-bootstrap ",
         "horalink: certificate refused: not yet valid: valid from " + Day(10 * kDay) + " to " +
             Day(12 * kDay) + "; the server's date is " + Day(0) + "\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ChronyServer chrony({.nts = true, .certificate = c.certificate});
        ASSERT_TRUE(chrony.Start()) << chrony.Error();
        const ProgramRun run =
            Console(std::string(c.option) + "--nts-ca " + chrony.CertificateFile() +
                        " nts://127.0.0.1:" + std::to_string(chrony.NtsPort()),
                    c.clientShift);
        EXPECT_EQ(run.exitCode, 1) << run.out;
        EXPECT_EQ(run.err, c.reason);
        EXPECT_NE(run.out.find("\"nts\": false"), std::string::npos) << run.out;
    }
}

// With Y, the clock is set to the server's time (the capability route in a user namespace; the
// shim records the setting instead of making it).
TEST(NtsBootstrap, SetsTheClockToTheServersTime)
{
    if (std::system("unshare -Ur true 2>/dev/null") != 0) {
        GTEST_SKIP() << "no user namespaces here";
    }
    ChronyServer chrony({.nts = true});
    ASSERT_TRUE(chrony.Start()) << chrony.Error();
    char pattern[] = "/tmp/horalink-set.XXXXXX";
    const int fd = mkstemp(pattern);
    ASSERT_GE(fd, 0);
    close(fd);
    const ProgramRun run = Console("--nts-ca " + chrony.CertificateFile() + " nts://127.0.0.1:" +
                                       std::to_string(chrony.NtsPort()) + " y",
                                   k2001 - std::time(nullptr),
                                   std::string("unshare -Ur env HORALINK_CLOCK_RECORD=") + pattern);
    const long long now = std::time(nullptr);
    EXPECT_EQ(run.exitCode, 0) << run.err << run.out;
    FILE* record = std::fopen(pattern, "r");
    long long set = 0;
    EXPECT_TRUE(record && std::fscanf(record, "%lld", &set) == 1);
    if (record) {
        std::fclose(record);
    }
    std::remove(pattern);
    EXPECT_NEAR(static_cast<double>(set), static_cast<double>(now), 5.0);
}
