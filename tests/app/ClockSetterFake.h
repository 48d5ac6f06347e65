#pragma once

#include "app/ClockSetter.h"

#include <vector>

// Records the offsets it is asked to set and answers only when the test says so, as
// timedated does while polkit asks for a password.
struct DeferredClockSetter : ClockSetter {
    void SetByOffset(double offset, Done done) override
    {
        offsets.push_back(offset);
        pending.push_back(std::move(done));
    }
    std::string FailureReason() const override { return {}; }

    // Answers the oldest setting that waits.
    void Answer(bool set)
    {
        const Done done = std::move(pending.front());
        pending.erase(pending.begin());
        done(set);
    }

    std::vector<double> offsets;
    std::vector<Done> pending;
};
