// The one function the Network Time Security module exports; the program finds it by name
// (NtsModule::kEntryName) and calls it with its own types: both sides come from one build.
#include "sntp/NtsModule.h"
#include "sntp/nts/NtsAuthentication.h"

extern "C" __attribute__((visibility("default"))) CAuthentication*
HORALINK_NTS_ENTRY(const ServerName* server, const QueryOptions* options)
{
    return new CNtsAuthentication(*server, *options);
}
