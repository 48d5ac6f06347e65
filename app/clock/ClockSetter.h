#pragma once

#include <functional>
#include <memory>
#include <string>

class ClockConsent;

// A measured step for the clock: the offset and whether the answer it came from was
// authenticated (NTS).
struct ClockStep {
    double offset = 0.0; // seconds; positive when the clock is behind
    bool authenticated = false;
};

// Moves the system clock by a measured offset: the one entry the window's "Adjust", its
// command line's Y and the console use. SystemClockSetter is the real one.
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

    // Sets the clock to the time of the setting plus step.offset seconds. done runs once on the
    // calling thread: before this returns, or later from that thread's event loop. It never
    // runs once the setter is gone.
    virtual void SetByOffset(const ClockStep& step, Done done) = 0;
    // Why the last setting failed, one short line; empty after one that worked.
    virtual std::string FailureReason() const = 0;

    // The setter for this process; consent answers its questions and must outlive it.
    static std::unique_ptr<ClockSetter> ForThisProcess(ClockConsent& consent, Prompt prompt);

    // Sets the clock and waits for the answer, running the calling thread's event loop meanwhile.
    static bool SetAndWait(ClockSetter& setter, const ClockStep& step);
};
