#pragma once

#include "sntp/SntpReply.h"

#include <string>

// Everything a synchronisation worker reads from or writes to its surroundings: the window
// (through the crossing to its thread) or the console. Each call returns when it is done.
class WorkerHost
{
public:
    virtual ~WorkerHost() = default;

    // The server selector's current text.
    virtual std::string ServerText() = 0;
    // Appends one line to the log; returns once the line is written whole.
    virtual void AppendLog(const std::string& line) = 0;
    // Replaces the log's whole text.
    virtual void SetLogText(const std::string& text) = 0;
    // Keeps the reply of a successful exchange for "Adjust"; an empty reply forgets it.
    virtual void StoreReply(const SntpReply& reply) = 0;
    // Sets the system clock to the current time moved by the offset of reply, an exchange this
    // host stored; true when it was set.
    virtual bool AdjustClock(const SntpReply& reply) = 0;
};
