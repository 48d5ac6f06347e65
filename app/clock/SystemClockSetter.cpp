#include "app/clock/SystemClockSetter.h"

#include "app/clock/ClockConsent.h"
#include "sntp/ClockTarget.h"

#include <QPointer>

#include <cerrno>
#include <cmath>
#include <cstdio>

struct SystemClockSetter::Setting {
    ClockStep step;
    CNtpTimestamp target; // the clock's time to be at the moment below
    std::chrono::steady_clock::time_point at;
    Done done;
};

SystemClockSetter::SystemClockSetter(ClockConsent& consent, Prompt prompt, SystemClockApi& api,
                                     bool inProcess, QString busAddress)
    : m_consent(consent), m_capability(api)
{
    if (!inProcess) {
        m_timedated = std::make_unique<TimedatedRoute>(prompt, std::move(busAddress));
    }
}

SystemClockSetter::~SystemClockSetter() = default;

void SystemClockSetter::SetByOffset(const ClockStep& step, Done done)
{
    const auto target = ClockTargetFromOffset(step.offset);
    if (!target) {
        m_failureReason = "target time out of range";
        done(false);
        return;
    }
    auto setting = std::make_shared<Setting>(
        Setting{step, *target, std::chrono::steady_clock::now(), std::move(done)});
    const double limit = m_consent.MaxStep();
    if (step.authenticated || limit <= 0 || std::fabs(step.offset) <= limit) {
        Route(setting);
        return;
    }
    // The consent may answer after this setter has gone (a dialog outliving it).
    QPointer<SystemClockSetter> self(this);
    m_consent.AcceptStep(target->UnixSeconds(), step.offset, [self, setting, limit](bool yes) {
        if (self == nullptr) {
            return;
        }
        if (!yes) {
            self->Finish(setting, false, StepReason(setting->step.offset, limit));
            return;
        }
        self->Route(setting);
    });
}

void SystemClockSetter::Route(const std::shared_ptr<Setting>& setting)
{
    if (m_timedated) {
        ThroughTimedated(setting);
    } else {
        SetInProcess(setting, false);
    }
}

void SystemClockSetter::SetInProcess(const std::shared_ptr<Setting>& setting, bool timedatedMissing)
{
    // The target moves on with the time a person took to answer.
    const std::chrono::duration<double> waited = std::chrono::steady_clock::now() - setting->at;
    const bool set = m_capability.SetTo(setting->target.AddSeconds(waited.count()));
    std::string reason = m_capability.FailureReason();
    if (!set && timedatedMissing && m_capability.LastError() == EPERM) {
        reason = kNoTimedatedReason;
    }
    Finish(setting, set, reason);
}

void SystemClockSetter::ThroughTimedated(const std::shared_ptr<Setting>& setting)
{
    m_timedated->ReadAutomaticTime(
        [this, setting](TimedatedRoute::Reply reply, TimedatedRoute::AutomaticTime automatic) {
            if (reply == TimedatedRoute::Reply::Unreachable) {
                SetInProcess(setting, true);
                return;
            }
            if (!automatic.on) {
                SetTime(setting, 0);
                return;
            }
            m_consent.Note(AutomaticTimeLine(automatic.synchronised));
            QPointer<SystemClockSetter> self(this);
            m_consent.TurnOffAutomaticTime(automatic.synchronised, [self, setting](bool yes) {
                if (self == nullptr) {
                    return;
                }
                if (!yes) {
                    self->Finish(setting, false, kAutomaticTimeReason);
                    return;
                }
                self->TurnOffAndSet(setting);
            });
        });
}

void SystemClockSetter::TurnOffAndSet(const std::shared_ptr<Setting>& setting)
{
    m_timedated->SetNtp(false, [this, setting](TimedatedRoute::Reply reply) {
        if (reply != TimedatedRoute::Reply::Done) {
            Finish(setting, false, m_timedated->FailureReason());
            return;
        }
        // timedated stops the NTP service in the background and refuses SetTime until it has.
        SetTime(setting, kSetTimeRetries);
    });
}

void SystemClockSetter::SetTime(const std::shared_ptr<Setting>& setting, int retries)
{
    m_timedated->SetTime(
        setting->step.offset, retries, kRetryGapMs, [this, setting](TimedatedRoute::Reply reply) {
            if (reply == TimedatedRoute::Reply::Unreachable) {
                SetInProcess(setting, true);
                return;
            }
            Finish(setting, reply == TimedatedRoute::Reply::Done, m_timedated->FailureReason());
        });
}

void SystemClockSetter::Finish(const std::shared_ptr<Setting>& setting, bool set,
                               std::string reason)
{
    if (m_timedated) {
        m_timedated->EndPrompt();
    }
    m_failureReason = set ? std::string() : std::move(reason);
    const Done done = std::move(setting->done);
    done(set);
}

std::string SystemClockSetter::AutomaticTimeLine(bool synchronised)
{
    return synchronised ? kAutomaticSynchronised : kAutomaticUnsynchronised;
}

std::string SystemClockSetter::StepReason(double offset, double limit)
{
    char text[160];
    std::snprintf(text, sizeof text,
                  "the answer is not authenticated and would move the clock by %.0f s, more "
                  "than the limit of %.0f s (--max-step)",
                  offset, limit);
    return text;
}
