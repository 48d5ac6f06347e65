#pragma once

#include "sntp/NtsQuery.h"

#include <string>
#include <vector>

#define HORALINK_NTS_STRING(name) #name
#define HORALINK_NTS_NAME(name) HORALINK_NTS_STRING(name)
#define HORALINK_NTS_ENTRY_NAME HORALINK_NTS_NAME(HORALINK_NTS_ENTRY)

// The Network Time Security module (horalink-nts.so, with GnuTLS behind it), loaded the first
// time an nts:// server is asked and kept until the program ends. It is looked for beside the
// program (a build or an unpacked copy) and in the program's private library folder (installed);
// never on the library search path.
class NtsModule
{
public:
    static constexpr const char* kFileName = "horalink-nts.so";
    // The name of the one function the module exports (see sntp/nts/NtsModuleEntry.cpp); it
    // carries the version.
    static constexpr const char* kEntryName = HORALINK_NTS_ENTRY_NAME;
    using Entry = void (*)(const QueryOptions* options, const char* server, SntpReply* reply,
                           NtsOutcome* outcome);

    // An NtsQuery: asks through the module, or fails with the reason it could not be loaded.
    static NtsOutcome Query(const QueryOptions& options, const std::string& server,
                            SntpReply& reply);

private:
    // Where the module is looked for, in order, for a program in programFolder.
    static std::vector<std::string> Candidates(const std::string& programFolder);
    static Entry Load(std::string& reason);
};
