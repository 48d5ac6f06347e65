#include "app/clock/OffsetApplier.h"

bool OffsetApplier::SameExchange(const SntpReply& a, const SntpReply& b)
{
    // The transmit value of the request and the arrival time tell exchanges apart.
    return a.destination.Value() != 0 && a.destination == b.destination &&
           a.originate == b.originate && a.clockOffset == b.clockOffset;
}

void OffsetApplier::Apply(ClockSetter& setter, const SntpReply& exchange, ClockSetter::Done done)
{
    if (m_pending) {
        // Never two settings at once: one by the same offset joins it, any other is refused.
        if (SameExchange(*m_pending, exchange)) {
            m_waiting.push_back(std::move(done));
        } else {
            done(false);
        }
        return;
    }
    if (SameExchange(m_applied, exchange)) {
        done(true);
        return;
    }
    if (!SameExchange(m_stored, exchange)) {
        done(false);
        return;
    }
    m_pending = exchange;
    m_waiting.push_back(std::move(done));
    setter.SetByOffset({exchange.clockOffset, exchange.nts}, [this](bool set) { Finish(set); });
}

void OffsetApplier::Finish(bool set)
{
    const SntpReply exchange = *m_pending;
    m_pending.reset();
    if (set) {
        m_applied = exchange;
        if (SameExchange(m_stored, exchange)) {
            m_stored = SntpReply{};
        }
    }
    // Taken first: a waiter may ask again from its callback.
    const std::vector<ClockSetter::Done> waiting = std::move(m_waiting);
    m_waiting.clear();
    for (const ClockSetter::Done& done : waiting) {
        done(set);
    }
}
