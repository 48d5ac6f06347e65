#include "app/console/JsonObject.h"

#include <charconv>
#include <cmath>
#include <cstdint>

namespace
{

// The length of the well-formed UTF-8 sequence at text[0], or 0 when it is not one.
size_t Utf8Length(std::string_view text)
{
    const auto lead = static_cast<unsigned char>(text[0]);
    // Below C2 and from F5 no byte leads a sequence; C2 leads two bytes, E0 three, F0 four.
    if (lead < 0xC2 || lead > 0xF4) {
        return 0;
    }
    const size_t length = lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    if (text.size() < length) {
        return 0;
    }
    uint32_t code = lead & (0x7Fu >> length); // the bits after the length's ones and a zero
    for (size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[i]);
        if ((next & 0xC0) != 0x80) {
            return 0;
        }
        code = code << 6 | (next & 0x3Fu);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not text.
    const uint32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    const bool valid =
        code >= smallest[length] && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF);
    return valid ? length : 0;
}

} // namespace

std::string JsonObject::Quote(std::string_view text)
{
    static constexpr char kHex[] = "0123456789abcdef";
    std::string quoted = "\"";
    while (!text.empty()) {
        const auto byte = static_cast<unsigned char>(text[0]);
        size_t used = 1;
        if (byte == '"' || byte == '\\') {
            quoted += '\\';
            quoted += static_cast<char>(byte);
        } else if (byte < 0x20 || byte == 0x7F) {
            quoted += "\\u00";
            quoted += kHex[byte >> 4];
            quoted += kHex[byte & 0xF];
        } else if (byte < 0x80) {
            quoted += static_cast<char>(byte);
        } else if ((used = Utf8Length(text)) != 0) {
            quoted.append(text.substr(0, used));
        } else {
            used = 1;
            quoted += "\\ufffd";
        }
        text.remove_prefix(used);
    }
    return quoted + "\"";
}

void JsonObject::AddRaw(std::string_view key, std::string_view value)
{
    if (!m_members.empty()) {
        m_members += ", ";
    }
    m_members += Quote(key);
    m_members += ": ";
    m_members += value;
}

void JsonObject::Add(std::string_view key, std::string_view text)
{
    AddRaw(key, Quote(text));
}

void JsonObject::Add(std::string_view key, double number)
{
    // JSON has no infinities or NaN; to_chars is independent of the locale.
    if (!std::isfinite(number)) {
        AddRaw(key, "null");
        return;
    }
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, number).ptr;
    AddRaw(key, std::string_view(text, static_cast<size_t>(end - text)));
}

void JsonObject::Add(std::string_view key, long long number)
{
    AddRaw(key, std::to_string(number));
}

void JsonObject::Add(std::string_view key, bool value)
{
    AddRaw(key, value ? "true" : "false");
}

void JsonObject::Add(std::string_view key, std::optional<bool> value)
{
    if (!value) {
        AddRaw(key, "null");
        return;
    }
    Add(key, *value);
}

void JsonObject::Add(std::string_view key, const std::vector<JsonObject>& array)
{
    std::string items;
    for (const JsonObject& item : array) {
        items += (items.empty() ? "" : ", ") + item.Text();
    }
    AddRaw(key, "[" + items + "]");
}

std::string JsonObject::ValidUtf8(std::string_view text)
{
    std::string valid;
    while (!text.empty()) {
        const size_t used = static_cast<unsigned char>(text[0]) < 0x80 ? 1 : Utf8Length(text);
        valid += used != 0 ? text.substr(0, used) : "\xef\xbf\xbd";
        text.remove_prefix(used != 0 ? used : 1);
    }
    return valid;
}
