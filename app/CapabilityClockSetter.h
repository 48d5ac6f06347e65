#pragma once

#include "app/ClockSetter.h"

#include <cstdint>

// The engine's route: raises CAP_SYS_TIME into the effective set for the one call and sets the
// clock itself. Answers before SetByOffset returns. Where the process does not hold the
// capability, it fails with "no permission to set the clock".
class CapabilityClockSetter : public ClockSetter
{
public:
    // clock must outlive the setter; its clock calls are the tests' seam.
    explicit CapabilityClockSetter(CClockAdjuster& clock) : m_clock(clock) {}

    void SetByOffset(double offset, Done done) override;
    std::string FailureReason() const override { return m_failureReason; }

    // Whether this process holds CAP_SYS_TIME in its permitted set.
    static bool Permitted();
    // The reason for a failed setting that left error as the thread's last error.
    static std::string ReasonFor(uint32_t error);

private:
    CClockAdjuster& m_clock;
    std::string m_failureReason;
};
