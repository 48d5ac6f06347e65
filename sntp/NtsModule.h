#pragma once

#include "sntp/Authentication.h"
#include "sntp/ServerName.h"

#include <memory>
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
    // carries the version. It returns a new CAuthentication that the caller deletes.
    static constexpr const char* kEntryName = HORALINK_NTS_ENTRY_NAME;
    using Entry = CAuthentication* (*)(const ServerName* server, const QueryOptions* options);

    // The authentication for server through the module, or nothing with failure set to the
    // reason it could not be loaded.
    static std::unique_ptr<CAuthentication>
    Create(const ServerName& server, const QueryOptions& options, QueryFailure& failure);

private:
    // Where the module is looked for, in order, for a program in programFolder.
    static std::vector<std::string> Candidates(const std::string& programFolder);
    static Entry Load(std::string& reason);
};
