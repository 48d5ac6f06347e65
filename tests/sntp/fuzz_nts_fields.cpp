// libFuzzer target: any bytes as an NTS time answer (header and extension fields) checked with a
// fixed key, and as the encrypted fields of an answer.
#include "sntp/nts/AesSivCmac256.h"
#include "sntp/nts/NtsExtensionFields.h"

#include <cstdlib>

static void Check(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const CAesSivCmac256 aead;
    static const NtsBytes key(32, 0x22), uniqueId(kNtsUniqueIdSize, 0x44);
    const NtsByteView input(data, size);

    std::vector<NtsBytes> cookies;
    const NtsAnswerCheck check = CheckNtsAnswer(input, uniqueId, aead, key, cookies);
    Check(check == NtsAnswerCheck::Authentic || cookies.empty());
    HasUniqueIdentifier(input, uniqueId);

    // The fields tile exactly what they were split from.
    if (const auto fields = SplitExtensionFields(input)) {
        size_t covered = 0;
        for (const NtsExtensionField& field : *fields) {
            Check(field.offset == covered && field.value.data() == data + covered + kEfHeaderSize);
            covered += kEfHeaderSize + field.value.size();
        }
        Check(covered == size);
    }
    return 0;
}
