// The dates rule for a clock that cannot be trusted, and the lines that tell a person about
// certificate dates (the key exchange's test has those judged by this computer's date). The
// instants are written out (date -u -d DAY +%s), not computed.
#include "sntp/nts/CertificateValidity.h"

#include <gtest/gtest.h>

constexpr int64_t k2001 = 978307200;               // 2001-01-01
constexpr int64_t kMarch2026 = 1772323200;         // 2026-03-01 00:00:00
constexpr int64_t kEndFeb2026 = 1772323199;        // 2026-02-28 23:59:59
constexpr int64_t kMarch2027 = 1803859200;         // 2027-03-01 00:00:00
constexpr int64_t kEndOfMarch1st2027 = 1803945599; // 2027-03-01 23:59:59
constexpr int64_t kDec2026 = 1796515200;           // 2026-12-06

// The server's authenticated time counts only after the build date and inside the chain, which
// is usable only where every certificate is: the intersection, both ends included.
TEST(CertificateValidity, BootstrapAcceptsOnlyTimesInsideTheChainAfterTheBuild)
{
    CertificateValidity validity;
    validity.Intersect(k2001, kMarch2027);
    validity.Intersect(kMarch2026, kEndOfMarch1st2027);
    const struct {
        const char* name;
        int64_t serverTime;
        int64_t build;
        const char* problem;
    } cases[] = {
        // clang-format off
        {"inside", kDec2026, kMarch2026, ""},
        {"first second", kMarch2026, kMarch2026, ""},
        {"last second", kMarch2027, kMarch2026, ""},
        {"before the build", kDec2026, kDec2026 + 1,
         "the server's date 2026-12-06 lies before this program's build date 2026-12-06"},
        {"before the chain", kEndFeb2026, k2001,
         "certificate refused: not yet valid: valid from 2026-03-01 to 2027-03-01; "
         "the server's date is 2026-02-28"},
        {"after the chain", kMarch2027 + 1, kMarch2026,
         "certificate refused: expired: valid from 2026-03-01 to 2027-03-01; "
         "the server's date is 2027-03-01"},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(BootstrapTimeProblem(validity, c.serverTime, c.build), c.problem);
    }
}
