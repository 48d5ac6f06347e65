// libFuzzer target for the engine's parsers of what a server sends. The first byte chooses one:
// an SNTP answer (after the transmit and arrival times) through the checks, the offset and the
// clock target; an NTS key-exchange answer, whole and cut; an NTS time answer and its fields.
#include "platform/SystemTime.h"
#include "sntp/ClockTarget.h"
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

bool Same(const SntpReply& a, const SntpReply& b)
{
    return a.leapIndicator == b.leapIndicator && a.stratum == b.stratum &&
           a.originate == b.originate && a.receive == b.receive && a.transmit == b.transmit &&
           a.destination == b.destination && a.roundTripDelay == b.roundTripDelay &&
           a.clockOffset == b.clockOffset && a.version == b.version && a.mode == b.mode &&
           a.referenceId == b.referenceId && a.rootDelay == b.rootDelay &&
           a.rootDispersion == b.rootDispersion;
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
    reply.clockOffset = -3.5;
    const SntpReply before = reply;
    if (ParseSntpAnswer(input.data() + 16, input.size() - 16, sent, destination, reply) !=
        AnswerVerdict::Accepted) {
        Check(Same(reply, before));
        return;
    }
    Check(reply.originate == sent && reply.destination == destination);
    Check(reply.mode == 4 && reply.version >= 1 && reply.version <= 4);
    Check(reply.leapIndicator != 3 && reply.stratum >= 1 && reply.stratum <= 15);
    Check(std::isfinite(reply.roundTripDelay) && std::isfinite(reply.clockOffset));

    // The clock is set only to a time inside the window, read back as the same second.
    const timespec now = {static_cast<time_t>(destination.UnixSeconds()),
                          static_cast<long>(destination.Nanoseconds())};
    const std::optional<CNtpTimestamp> target = ClockTargetFromOffset(reply.clockOffset, now);
    if (!target) {
        return;
    }
    const int64_t seconds = target->UnixSeconds();
    Check(seconds >= EarliestClockTarget() && seconds <= kLastUnixSecondOfWindow);
    timespec set{};
    Check(SystemTimeToTimespec(target->ToSystemTime(), set));
    Check(set.tv_sec == seconds || set.tv_sec == seconds + 1); // 999.5 ms and up round up
}

void NtsRecords(NtsByteView input)
{
    NtsKeResponse response;
    std::string reason;
    const NtsParseState state = ParseNtsKeResponse(input, 15, response, reason);
    Check((state == NtsParseState::Failed) == !reason.empty());
    if (state == NtsParseState::Complete) {
        Check(!response.cookies.empty() && response.cookies.size() <= kNtsMaxCookies);
        Check(response.aead == 15 && response.port != 0);
        for (const NtsBytes& cookie : response.cookies) {
            Check(!cookie.empty() && cookie.size() <= input.size());
        }
    }
    // A prefix never completes where the whole failed, nor fails where the whole completed.
    NtsKeResponse prefixResponse;
    const NtsParseState prefix =
        ParseNtsKeResponse(input.first(input.size() / 2), 15, prefixResponse, reason);
    Check(prefix == NtsParseState::Incomplete || prefix == state || state == NtsParseState::Failed);
}

void NtsFields(NtsByteView input)
{
    static const CAesSivCmac256 aead;
    static const NtsBytes key(32, 0x22), uniqueId(kNtsUniqueIdSize, 0x44);
    std::vector<NtsBytes> cookies;
    const NtsAnswerCheck check = CheckNtsAnswer(input, uniqueId, aead, key, cookies);
    Check(check == NtsAnswerCheck::Authentic || cookies.empty());
    HasUniqueIdentifier(input, uniqueId);

    // The fields tile exactly what they were split from.
    if (const auto fields = SplitExtensionFields(input)) {
        size_t covered = 0;
        for (const NtsExtensionField& field : *fields) {
            Check(field.offset == covered &&
                  field.value.data() == input.data() + covered + kEfHeaderSize);
            covered += kEfHeaderSize + field.value.size();
        }
        Check(covered == input.size());
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) {
        return 0;
    }
    static void (*const parsers[])(NtsByteView) = {SntpAnswer, NtsRecords, NtsFields};
    parsers[data[0] % 3](NtsByteView(data + 1, size - 1));
    return 0;
}
