#include "sntp/nts/CertificateValidity.h"

#include <algorithm>
#include <ctime>

void CertificateValidity::Intersect(int64_t from, int64_t to)
{
    notBefore = std::max(notBefore, from);
    notAfter = std::min(notAfter, to);
}

std::string CertificateDateText(int64_t seconds)
{
    const auto t = static_cast<time_t>(seconds);
    tm parts{};
    char text[32];
    if (gmtime_r(&t, &parts) == nullptr ||
        std::strftime(text, sizeof text, "%Y-%m-%d", &parts) == 0) {
        return "?";
    }
    return text;
}

std::string CertificateDateProblem(const CertificateValidity& validity, int64_t now,
                                   const std::string& whoseDate)
{
    const char* problem = now < validity.notBefore  ? "not yet valid"
                          : now > validity.notAfter ? "expired"
                                                    : nullptr;
    if (problem == nullptr) {
        return "";
    }
    return std::string(problem) + ": valid from " + CertificateDateText(validity.notBefore) +
           " to " + CertificateDateText(validity.notAfter) + "; " + whoseDate + " is " +
           CertificateDateText(now);
}

std::string BootstrapTimeProblem(const CertificateValidity& validity, int64_t serverTime,
                                 int64_t earliest)
{
    if (serverTime < earliest) {
        return "the server's date " + CertificateDateText(serverTime) +
               " lies before this program's build date " + CertificateDateText(earliest);
    }
    const std::string problem = CertificateDateProblem(validity, serverTime, "the server's date");
    return problem.empty() ? "" : "certificate refused: " + problem;
}
