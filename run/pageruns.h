// Page numbers gathered into runs of consecutive numbers, for saying them briefly.
#pragma once

#include <QList>
#include <QPair>

#include <algorithm>

// The numbers, sorted and each once, as runs (first, last): {9, 10, 11, 12, 1} gives
// (1, 1) and (9, 12).
inline QList<QPair<int, int>> consecutiveRuns(QList<int> numbers)
{
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    QList<QPair<int, int>> runs;
    for (int n : numbers) {
        if (!runs.isEmpty() && runs.last().second + 1 == n)
            runs.last().second = n;
        else
            runs.append({n, n});
    }
    return runs;
}
