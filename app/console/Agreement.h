#pragma once

#include "app/console/ServerRow.h"

#include <cstddef>
#include <optional>
#include <vector>

// The verdict over the rows of --compare: the largest group of answers whose intervals
// [offset - error bound, offset + error bound] overlap, and the member whose offset counts.
class Agreement
{
public:
    // Marks the agreeing rows and picks the member: among the group's authenticated answers if
    // it has any, the one with the smallest error bound.
    static Agreement Of(std::vector<ServerRow>& rows);

    size_t Answered() const { return m_answered; }
    size_t Agreeing() const { return m_agreeing; }
    // More than half of the servers that answered agree: only then may the clock follow.
    bool Majority() const { return m_agreeing * 2 > m_answered; }
    // The row the offset comes from; none when nobody answered.
    std::optional<size_t> Chosen() const { return m_chosen; }

private:
    size_t m_answered = 0;
    size_t m_agreeing = 0;
    std::optional<size_t> m_chosen;
};
