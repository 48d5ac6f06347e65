#pragma once

#include "app/CommandLine.h"

#include <cstdint>
#include <functional>
#include <string>

// Who agrees, for the user, to a setting that needs a person's yes, and hears what the clock
// setter found on the way: the window asks in dialogs and writes to its log; the console answers
// from its options. An answer may come at once or later from the calling thread's event loop.
class ClockConsent
{
public:
    using Answer = std::function<void(bool yes)>;
    virtual ~ClockConsent() = default;

    // One line about how the clock is kept, for the log.
    virtual void Note(const std::string& line) = 0;
    // Automatic time synchronisation keeps the clock: may it be turned off to set the clock?
    virtual void TurnOffAutomaticTime(bool synchronised, Answer answer) = 0;
    // The answer was not authenticated and moves the clock by offset seconds, more than
    // MaxStep(): may the clock be set to targetSeconds (since 1970, UTC)?
    virtual void AcceptStep(int64_t targetSeconds, double offset, Answer answer) = 0;
    // Seconds: the largest step an answer that is not authenticated moves the clock by without
    // a person's yes; 0 for no limit.
    virtual double MaxStep() const { return CommandLine::kDefaultMaxStep; }
};
