#pragma once

#include <cerrno>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/xattr.h>

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

// Why a process could use a capability: it holds it (permitted or effective), or it keeps it in
// its bounding set and either its program file carries capabilities (any at all, or an attribute
// that cannot be read: no test program has a reason to carry one) or it is root in any of its
// ids, so that a program it starts holds it again. Empty when none holds: an ordinary user's
// shell keeps every capability in its bounding set and can still use none of them.
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
    if (getxattr(program.c_str(), "security.capability", nullptr, 0) >= 0 ||
        (errno != ENODATA && errno != ENOTSUP)) {
        return "the program file may grant it";
    }
    std::ifstream file(status);
    for (std::string line; std::getline(file, line);) {
        if (line.starts_with("Uid:")) {
            // Real, effective, saved and file-system ids: root in any of them regains it.
            std::istringstream ids(line.substr(4));
            for (long id = -1; ids >> id;) {
                if (id == 0) {
                    return "root keeps it in the bounding set";
                }
            }
            return "";
        }
    }
    return "the status file cannot be read";
}
