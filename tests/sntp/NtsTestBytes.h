#pragma once

#include "sntp/nts/NtsBytes.h"
#include "sntp/nts/NtsExtensionFields.h"

#include <initializer_list>
#include <string>

// Building blocks of the NTS tests' messages: big-endian numbers, key-exchange records, extension
// fields, hex text for the scripted key-exchange server.
inline NtsBytes U16(uint16_t value)
{
    return {static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
}

inline NtsBytes Join(std::initializer_list<NtsBytes> parts)
{
    NtsBytes out;
    for (const NtsBytes& part : parts) {
        Append(out, part);
    }
    return out;
}

inline NtsBytes Record(uint16_t type, const NtsBytes& body)
{
    return Join({U16(type), U16(static_cast<uint16_t>(body.size())), body});
}

inline NtsBytes Field(uint16_t type, const NtsBytes& value)
{
    NtsBytes out;
    AppendExtensionField(out, type, value);
    return out;
}

inline std::string ToHex(NtsByteView bytes)
{
    std::string text;
    for (const uint8_t b : bytes) {
        text += {"0123456789abcdef"[b >> 4], "0123456789abcdef"[b & 15]};
    }
    return text;
}
