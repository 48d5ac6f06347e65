#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The scheme that names a Network Time Security server: nts://HOST[:PORT].
constexpr std::string_view kNtsScheme = "nts://";
// The port of the NTS key exchange when nts://HOST names none.
constexpr uint16_t kNtsKePort = 4460;

// A server as the user wrote it, taken apart: a plain one is asked on the port the caller gives,
// an nts:// one's port is that of its key exchange.
struct ServerName {
    std::string host; // a name, or an IPv4 or IPv6 address without brackets
    uint16_t port = 0;
    bool nts = false;
};

// Whether server is written with kNtsScheme (in any case).
bool IsNtsServer(const std::string& server);

// server as a plain host (brackets of an IPv6 address removed) on plainPort, or as
// nts://HOST[:PORT]; nothing for an empty host or a malformed nts:// port.
std::optional<ServerName> ParseServerName(const std::string& server, uint16_t plainPort);
