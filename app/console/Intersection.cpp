#include "app/console/Intersection.h"

#include <algorithm>
#include <optional>

std::vector<size_t> Intersection::LargestGroup(const std::vector<Interval>& intervals)
{
    // Every interval gives two edges; swept from the left, a low edge enters and a high edge
    // leaves. At equal values lows go first, so that intervals that only touch still share
    // their common point.
    struct Edge {
        double value;
        int step; // +1 low, -1 high
    };
    std::vector<Edge> edges;
    for (const Interval& interval : intervals) {
        edges.push_back({interval.low, +1});
        edges.push_back({interval.high, -1});
    }
    std::sort(edges.begin(), edges.end(), [](const Edge& a, const Edge& b) {
        return a.value != b.value ? a.value < b.value : a.step > b.step;
    });
    int inside = 0;
    int most = 0;
    std::optional<double> point;
    for (const Edge& edge : edges) {
        inside += edge.step;
        if (inside > most) {
            most = inside;
            point = edge.value;
        }
    }
    std::vector<size_t> group;
    for (size_t i = 0; point && i < intervals.size(); ++i) {
        if (intervals[i].low <= *point && *point <= intervals[i].high) {
            group.push_back(i);
        }
    }
    return group;
}
