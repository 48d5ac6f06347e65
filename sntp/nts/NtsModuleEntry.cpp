// The one function the Network Time Security module exports; the program finds it by name
// (NtsModule::kEntryName) and calls it with its own types: both sides come from one build.
#include "sntp/NtsModule.h"
#include "sntp/nts/NtsClient.h"

extern "C" __attribute__((visibility("default"))) void
HORALINK_NTS_ENTRY(const QueryOptions* options, const char* server, SntpReply* reply,
                   NtsOutcome* outcome)
{
    *outcome = CNtsClient::Run(*options, server, *reply);
}
