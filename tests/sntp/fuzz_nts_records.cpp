// libFuzzer target: any bytes as an NTS key-exchange answer, whole and cut at every length a
// reader could see.
#include "sntp/nts/NtsRecords.h"

#include <cstdlib>

static void Check(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const NtsByteView input(data, size);
    NtsKeResponse response;
    std::string reason;
    const NtsParseState state = ParseNtsKeResponse(input, 15, response, reason);
    Check((state == NtsParseState::Failed) == !reason.empty());
    if (state == NtsParseState::Complete) {
        Check(!response.cookies.empty() && response.cookies.size() <= kNtsMaxCookies);
        Check(response.aead == 15 && response.port != 0);
        for (const NtsBytes& cookie : response.cookies) {
            Check(!cookie.empty() && cookie.size() <= size);
        }
    }
    // A prefix never completes where the whole failed, nor fails where the whole completed.
    NtsKeResponse prefixResponse;
    std::string prefixReason;
    const NtsParseState prefix =
        ParseNtsKeResponse(input.first(size / 2), 15, prefixResponse, prefixReason);
    Check(prefix == NtsParseState::Incomplete || prefix == state || state == NtsParseState::Failed);
    return 0;
}
