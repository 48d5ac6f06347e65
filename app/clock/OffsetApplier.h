#pragma once

#include "app/clock/ClockSetter.h"
#include "sntp/SntpReply.h"

#include <optional>
#include <vector>

// Applies the offset of a stored exchange to the clock at most once, whoever asks: "Adjust" and
// a command-line run with Y each name the exchange they mean. The first ask sets the clock, if
// the exchange is still the stored one; an ask while that setting waits for its answer gets the
// same answer; an ask after it was applied learns that it was. An applied exchange is forgotten
// from the store, so the next "Adjust" measures again; a failed one stays for another try.
// Used on the window's thread only.
class OffsetApplier
{
public:
    // stored: the window's last successful exchange, which this forgets once applied.
    explicit OffsetApplier(SntpReply& stored) : m_stored(stored) {}

    // A setting waits for its answer.
    bool IsPending() const { return m_pending.has_value(); }
    // Applies exchange through setter; done gets whether the clock was set from it.
    void Apply(ClockSetter& setter, const SntpReply& exchange, ClockSetter::Done done);

    // Both are the same successful exchange.
    static bool SameExchange(const SntpReply& a, const SntpReply& b);

private:
    void Finish(bool set);

    SntpReply& m_stored;
    std::optional<SntpReply> m_pending;
    SntpReply m_applied;
    std::vector<ClockSetter::Done> m_waiting;
};
