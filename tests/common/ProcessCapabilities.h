#pragma once

#include <fstream>
#include <string>

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
