#pragma once

#include "sntp/nts/NtsBytes.h"

#include <cstdio>
#include <initializer_list>
#include <string>

// Building blocks of the NTS tests' messages: numbers, key-exchange records, hex text.
inline NtsBytes U16(uint16_t value)
{
    NtsBytes out;
    AppendU16(out, value);
    return out;
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

inline NtsBytes FromHex(const std::string& text)
{
    NtsBytes bytes;
    for (size_t i = 0; i + 1 < text.size(); i += 2) {
        bytes.push_back(static_cast<uint8_t>(std::stoul(text.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

inline std::string ToHex(NtsByteView bytes)
{
    std::string text;
    for (const uint8_t b : bytes) {
        char digits[3];
        std::snprintf(digits, sizeof digits, "%02x", b);
        text += digits;
    }
    return text;
}
