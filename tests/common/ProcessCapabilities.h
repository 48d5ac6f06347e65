#pragma once

#include <cerrno>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/xattr.h>
#include <vector>

// Whether a capability is in one set ("CapBnd", "CapEff", "CapPrm") of a task's status file.
// What cannot be read counts as held, so that a guard refuses rather than risks the clock.
inline bool HasCapability(int capability, const std::string& set,
                          const std::string& status = "/proc/self/status")
{
    std::ifstream file(status);
    for (std::string line; std::getline(file, line);) {
        if (line.starts_with(set + ":")) {
            return std::stoull(line.substr(set.size() + 1), nullptr, 16) >> capability & 1;
        }
    }
    return true;
}

// Whether a file capability (the security.capability attribute, as the kernel stores it: a
// little-endian revision word, then the permitted and inheritable words of capabilities 0-31,
// then those of 32-63) grants a capability of 0-31 on execution. A revision the kernel does not
// know counts as granting it.
inline bool FileCapabilityGrants(int capability, const std::vector<uint8_t>& attribute)
{
    const auto word = [&](size_t index) {
        uint32_t value = 0;
        for (int byte = 3; byte >= 0; --byte) {
            value = value << 8 | attribute[4 * index + byte];
        }
        return value;
    };
    if (attribute.empty()) {
        return false;
    }
    if (attribute.size() < 12) {
        return true;
    }
    const uint32_t revision = word(0) & 0xff000000u;
    if (revision != 0x01000000u && revision != 0x02000000u && revision != 0x03000000u) {
        return true;
    }
    return ((word(1) | word(2)) >> capability & 1) != 0;
}

// The file capability of a program file; empty when it has none. What cannot be read otherwise
// than for lack of the attribute comes back as one byte, which counts as granting everything.
inline std::vector<uint8_t> FileCapabilityOf(const std::string& path)
{
    std::vector<uint8_t> attribute(64);
    const ssize_t size = getxattr(path.c_str(), "security.capability", attribute.data(), 64);
    if (size < 0) {
        return errno == ENODATA || errno == ENOTSUP ? std::vector<uint8_t>{}
                                                    : std::vector<uint8_t>{0};
    }
    attribute.resize(static_cast<size_t>(size));
    return attribute;
}

// Why a process could use a capability: it holds it (permitted or effective), its program file
// grants it on the next execution, or it is root with the capability in its bounding set, so
// that any program it starts holds it again. Empty when none holds: an ordinary user's shell
// keeps every capability in its bounding set and can still use none of them.
inline std::string WhyCapabilityIsReachable(int capability,
                                            const std::string& status = "/proc/self/status",
                                            const std::string& program = "/proc/self/exe")
{
    if (HasCapability(capability, "CapPrm", status) ||
        HasCapability(capability, "CapEff", status)) {
        return "the process holds it";
    }
    if (!HasCapability(capability, "CapBnd", status)) {
        return "";
    }
    if (FileCapabilityGrants(capability, FileCapabilityOf(program))) {
        return "the program file grants it";
    }
    std::ifstream file(status);
    for (std::string line; std::getline(file, line);) {
        if (!line.starts_with("Uid:")) {
            continue;
        }
        // Real, effective, saved and file-system ids: root in any of them regains it.
        std::istringstream ids(line.substr(4));
        for (long id = -1; ids >> id;) {
            if (id == 0) {
                return "root keeps it in the bounding set";
            }
        }
        return "";
    }
    return "the status file cannot be read";
}
