#pragma once

#include <functional>
#include <memory>
#include <string>

class CClockAdjuster;

// Moves the system clock by a measured offset. Two routes: the engine's own, for a process that
// holds CAP_SYS_TIME (CapabilityClockSetter), and systemd-timedated's, which asks polkit and so
// may ask the user for a password (TimedatedClockSetter). ForThisProcess picks one.
class ClockSetter
{
public:
    // Whether the clock was set.
    using Done = std::function<void(bool set)>;

    // Who may be asked for authorisation while the clock is set.
    enum class Prompt {
        None,     // nobody: refuse rather than ask
        Desktop,  // the desktop session's authentication agent
        Terminal, // this process's terminal: a text agent runs for the call
    };

    virtual ~ClockSetter() = default;

    // Sets the clock to the time of the setting plus offset seconds. done runs once on the
    // calling thread: before this returns, or later from that thread's event loop. It never
    // runs once the setter is gone.
    virtual void SetByOffset(double offset, Done done) = 0;
    // Why the last setting failed, one short line; empty after one that worked.
    virtual std::string FailureReason() const = 0;

    // The route for this process: the engine's when it holds CAP_SYS_TIME (permitted),
    // timedated's otherwise, which falls back to the engine's where there is no timedated.
    // clock must outlive the setter.
    static std::unique_ptr<ClockSetter> ForThisProcess(CClockAdjuster& clock, Prompt prompt);

    // Sets the clock and waits for the answer, running the calling thread's event loop meanwhile.
    static bool SetAndWait(ClockSetter& setter, double offset);
};
