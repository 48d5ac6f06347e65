#pragma once

#include <cstddef>
#include <vector>

// The intersection step of NTP's source selection (Marzullo's algorithm): the largest group of
// closed intervals that share a point.
class Intersection
{
public:
    struct Interval {
        double low;
        double high;
    };

    // The indices, ascending, of the intervals holding the point that most of them hold; of
    // several such points the lowest. Empty for no intervals.
    static std::vector<size_t> LargestGroup(const std::vector<Interval>& intervals);
};
