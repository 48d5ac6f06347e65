// libFuzzer target for the engine's parsers of what a server sends. The first byte chooses one:
// an SNTP answer (after the transmit and arrival times) through the checks and the offset; an NTS
// key-exchange answer; an NTS time answer. The clock target's window is tested at its edges in
// sntp.ClockTarget.
#include "sntp/SntpPacket.h"
#include "sntp/nts/AesSivCmac256.h"
#include "sntp/nts/NtsExtensionFields.h"
#include "sntp/nts/NtsRecords.h"

#include <cmath>
#include <cstdlib>

namespace
{

void Check(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

void SntpAnswer(NtsByteView input)
{
    if (input.size() < 16) {
        return;
    }
    const CNtpTimestamp sent = CNtpTimestamp::FromNetwork(input.data());
    const CNtpTimestamp destination = CNtpTimestamp::FromNetwork(input.data() + 8);
    SntpReply reply;
    reply.stratum = 77; // a sentinel: an earlier reply that a rejection must leave alone
    const bool accepted = ParseSntpAnswer(input.data() + 16, input.size() - 16, sent, destination,
                                          reply) == AnswerVerdict::Accepted;
    Check(accepted ||
          (reply.stratum == 77 && reply.transmit == CNtpTimestamp() && reply.roundTripDelay == 0));
    Check(!accepted || (reply.originate == sent && reply.destination == destination &&
                        reply.mode == 4 && reply.version >= 1 && reply.version <= 4 &&
                        reply.leapIndicator != 3 && reply.stratum >= 1 && reply.stratum <= 15 &&
                        std::isfinite(reply.roundTripDelay) && std::isfinite(reply.clockOffset)));
}

void NtsRecords(NtsByteView input)
{
    NtsKeResponse response;
    std::string reason;
    const NtsParseState state = ParseNtsKeResponse(input, 15, response, reason);
    Check((state == NtsParseState::Failed) == !reason.empty());
    Check(state != NtsParseState::Complete ||
          (!response.cookies.empty() && response.cookies.size() <= kNtsMaxCookies &&
           response.aead == 15 && response.port != 0));
}

void NtsFields(NtsByteView input)
{
    static const CAesSivCmac256 aead;
    static const NtsBytes key(32, 0x22), uniqueId(kNtsUniqueIdSize, 0x44);
    std::vector<NtsBytes> cookies;
    const NtsAnswerCheck check = CheckNtsAnswer(input, uniqueId, aead, key, cookies);
    Check(check == NtsAnswerCheck::Authentic || cookies.empty());
    HasUniqueIdentifier(input, uniqueId);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static void (*const parsers[])(NtsByteView) = {SntpAnswer, NtsRecords, NtsFields};
    if (size > 0) {
        parsers[data[0] % 3](NtsByteView(data + 1, size - 1));
    }
    return 0;
}
