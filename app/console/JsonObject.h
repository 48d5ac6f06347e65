#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// One flat JSON object written member by member, for the console's machine-readable output.
// Strings are escaped so that any bytes (a server name is the user's text) give valid JSON:
// control characters as \u escapes, bytes that are not UTF-8 as U+FFFD.
class JsonObject
{
public:
    void Add(std::string_view key, std::string_view text);
    void Add(std::string_view key, const char* text) { Add(key, std::string_view(text)); }
    void Add(std::string_view key, double number);
    void Add(std::string_view key, long long number);
    void Add(std::string_view key, unsigned number) { Add(key, static_cast<long long>(number)); }
    void Add(std::string_view key, int number) { Add(key, static_cast<long long>(number)); }
    void Add(std::string_view key, bool value);
    // null when there is no value.
    void Add(std::string_view key, std::optional<bool> value);
    void Add(std::string_view key, const JsonObject& object) { AddRaw(key, object.Text()); }
    void Add(std::string_view key, const std::vector<JsonObject>& array);

    // The object's text, without a line end.
    std::string Text() const { return "{" + m_members + "}"; }

    static std::string Quote(std::string_view text);
    // text with every byte that is not part of well-formed UTF-8 replaced by U+FFFD.
    static std::string ValidUtf8(std::string_view text);

private:
    void AddRaw(std::string_view key, std::string_view value);

    std::string m_members;
};
