#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

// Byte strings of the NTS messages, and their big-endian 16-bit fields.
using NtsBytes = std::vector<uint8_t>;
using NtsByteView = std::span<const uint8_t>;

inline uint16_t ReadU16(NtsByteView data, size_t offset)
{
    return static_cast<uint16_t>(data[offset] << 8 | data[offset + 1]);
}

inline void AppendU16(NtsBytes& out, uint16_t value)
{
    out.push_back(static_cast<uint8_t>(value >> 8));
    out.push_back(static_cast<uint8_t>(value));
}

inline void Append(NtsBytes& out, NtsByteView data)
{
    out.insert(out.end(), data.begin(), data.end());
}
