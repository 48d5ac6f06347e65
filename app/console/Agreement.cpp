#include "app/console/Agreement.h"

#include "app/console/Intersection.h"

Agreement Agreement::Of(std::vector<ServerRow>& rows)
{
    Agreement agreement;
    std::vector<Intersection::Interval> intervals;
    std::vector<size_t> rowOf;
    for (size_t i = 0; i < rows.size(); ++i) {
        rows[i].agreeing = false;
        if (!rows[i].reply) {
            continue;
        }
        const double offset = rows[i].reply->clockOffset;
        intervals.push_back({offset - rows[i].errorBound, offset + rows[i].errorBound});
        rowOf.push_back(i);
    }
    agreement.m_answered = intervals.size();
    const std::vector<size_t> group = Intersection::LargestGroup(intervals);
    agreement.m_agreeing = group.size();
    // An authenticated member outranks any plain one; then the smaller bound wins.
    auto better = [&rows](size_t a, size_t b) {
        if (rows[a].reply->nts != rows[b].reply->nts) {
            return rows[a].reply->nts;
        }
        return rows[a].errorBound < rows[b].errorBound;
    };
    for (const size_t member : group) {
        const size_t row = rowOf[member];
        rows[row].agreeing = true;
        if (!agreement.m_chosen || better(row, *agreement.m_chosen)) {
            agreement.m_chosen = row;
        }
    }
    return agreement;
}
