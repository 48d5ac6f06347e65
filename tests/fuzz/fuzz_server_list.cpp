// The server list reader on any bytes: every entry it keeps is one a server name may be.
#include "app/ServerListText.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const bool cut = size > 0 && (data[0] & 1);
    const std::string_view content(reinterpret_cast<const char*>(data), size);
    const auto entries = ServerListText::Parse(content, cut);
    if (entries.size() > ServerListText::kMaxEntries) {
        std::abort();
    }
    for (const std::string& entry : entries) {
        if (entry.size() > ServerListText::kMaxEntryBytes || entry.starts_with('#')) {
            std::abort();
        }
        for (const char c : entry) {
            const auto byte = static_cast<unsigned char>(c);
            if (byte < 0x20 || byte == 0x7F) {
                std::abort();
            }
        }
    }
    return 0;
}
