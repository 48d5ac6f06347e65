#pragma once

#include "app/clock/CapabilityRoute.h"
#include "app/clock/ClockSetter.h"
#include "app/clock/TimedatedRoute.h"

#include <QObject>
#include <QString>

#include <chrono>
#include <memory>
#include <string>

class ClockConsent;
class SystemClockApi;

// The one way the clock is set. A setting checks the target once (sntp/ClockTarget.h), asks the
// consent for a person's yes when an unauthenticated answer would step the clock further than
// its limit, then takes a route: in this process when it holds CAP_SYS_TIME, else through
// systemd-timedated, which asks polkit. Before asking timedated to set the time it reads
// whether automatic time keeps the clock; if so, it says so and sets the clock only when the
// consent agrees to turn automatic time off. Where timedated cannot be reached, the capability
// route is tried as well.
class SystemClockSetter : public QObject, public ClockSetter
{
public:
    // SetTime after SetNTP(false) is tried again this often, this many milliseconds apart, while
    // timedated still says automatic time keeps the clock: about two seconds in all.
    static constexpr int kSetTimeRetries = 10;
    static constexpr int kRetryGapMs = 200;
    static constexpr const char* kAutomaticTimeReason =
        "automatic time synchronisation keeps the clock; --disable-ntp turns it off first";
    static constexpr const char* kNoTimedatedReason =
        "no permission to set the clock, and systemd-timedated, which would ask for a password, "
        "could not be reached: run as root (sudo), or where systemd-timedated runs";

    // consent and api must outlive the setter. inProcess: set the clock here (the process holds
    // CAP_SYS_TIME) instead of through timedated. busAddress: the system bus; empty for the
    // environment's.
    SystemClockSetter(ClockConsent& consent, Prompt prompt, SystemClockApi& api, bool inProcess,
                      QString busAddress = {});
    ~SystemClockSetter() override;

    void SetByOffset(const ClockStep& step, Done done) override;
    std::string FailureReason() const override { return m_failureReason; }

    // The log's line when automatic time keeps the clock.
    // The window shows these log lines in the user's language (context "SystemClockSetter").
    static constexpr const char* kAutomaticSynchronised = QT_TRANSLATE_NOOP(
        "SystemClockSetter",
        "Automatic time synchronisation keeps the clock and reports it synchronised");
    static constexpr const char* kAutomaticUnsynchronised = QT_TRANSLATE_NOOP(
        "SystemClockSetter",
        "Automatic time synchronisation keeps the clock and does not report it synchronised");
    static std::string AutomaticTimeLine(bool synchronised);
    // Why an unauthenticated step was not taken.
    static std::string StepReason(double offset, double limit);

private:
    struct Setting;
    void Route(const std::shared_ptr<Setting>& setting);
    void SetInProcess(const std::shared_ptr<Setting>& setting, bool timedatedMissing);
    void ThroughTimedated(const std::shared_ptr<Setting>& setting);
    void TurnOffAndSet(const std::shared_ptr<Setting>& setting);
    void SetTime(const std::shared_ptr<Setting>& setting, int retries);
    void Finish(const std::shared_ptr<Setting>& setting, bool set, std::string reason);

    ClockConsent& m_consent;
    CapabilityRoute m_capability;
    std::unique_ptr<TimedatedRoute> m_timedated; // null when the clock is set in process
    std::string m_failureReason;
};
