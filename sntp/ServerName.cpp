#include "sntp/ServerName.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <utility>

namespace
{

// "[::1]" names the same host as "::1"; the brackets only keep a port apart.
std::string WithoutBrackets(const std::string& host)
{
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
        return host.substr(1, host.size() - 2);
    }
    return host;
}

std::optional<uint16_t> ParsePort(const std::string& text)
{
    unsigned value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end || value == 0 || value > UINT16_MAX) {
        return std::nullopt;
    }
    return static_cast<uint16_t>(value);
}

std::optional<ServerName> ParseNts(std::string name)
{
    std::optional<std::string> portText;
    if (!name.empty() && name.front() == '[') {
        const size_t close = name.find(']');
        if (close == std::string::npos) {
            return std::nullopt;
        }
        const std::string after = name.substr(close + 1);
        if (!after.empty() && after.front() != ':') {
            return std::nullopt;
        }
        if (!after.empty()) {
            portText = after.substr(1);
        }
        name = name.substr(1, close - 1);
    } else if (const size_t colon = name.find(':');
               colon != std::string::npos && name.find(':', colon + 1) == std::string::npos) {
        // One colon separates the port; more make a bare IPv6 address.
        portText = name.substr(colon + 1);
        name.resize(colon);
    }
    ServerName result{name, kNtsKePort, true};
    if (portText) {
        const auto port = ParsePort(*portText);
        if (!port) {
            return std::nullopt;
        }
        result.port = *port;
    }
    if (result.host.empty()) {
        return std::nullopt;
    }
    return result;
}

} // namespace

bool IsNtsServer(const std::string& server)
{
    return server.size() >= kNtsScheme.size() &&
           std::equal(kNtsScheme.begin(), kNtsScheme.end(), server.begin(), [](char a, char b) {
               return a == std::tolower(static_cast<unsigned char>(b));
           });
}

std::optional<ServerName> ParseServerName(const std::string& server, uint16_t plainPort)
{
    if (IsNtsServer(server)) {
        return ParseNts(server.substr(kNtsScheme.size()));
    }
    std::string host = WithoutBrackets(server);
    if (host.empty()) {
        return std::nullopt;
    }
    return ServerName{std::move(host), plainPort, false};
}
