#include "print/printplan.h"

#include "run/optionsstring.h"
#include "run/pageruns.h"

#include <algorithm>

Sides sidesOfSheets(const SheetOptions &o)
{
    if (o.bothSides == QLatin1String("long edge"))
        return Sides::LongEdge;
    if (o.bothSides == QLatin1String("short edge") || o.bookletOn())
        return Sides::ShortEdge;
    return Sides::OneSided;
}

QString sidesKeyword(Sides sides)
{
    switch (sides) {
    case Sides::LongEdge: return QStringLiteral("two-sided-long-edge");
    case Sides::ShortEdge: return QStringLiteral("two-sided-short-edge");
    case Sides::OneSided: break;
    }
    return QStringLiteral("one-sided");
}

QString sidesInWords(Sides sides)
{
    switch (sides) {
    case Sides::LongEdge: return QStringLiteral("two-sided, turned on the long edge");
    case Sides::ShortEdge: return QStringLiteral("two-sided, turned on the short edge");
    case Sides::OneSided: break;
    }
    return QStringLiteral("one-sided");
}

QString pageRanges(QList<int> pages)
{
    QStringList parts;
    for (const auto &[first, last] : consecutiveRuns(pages))
        parts << (last > first ? QStringLiteral("%1-%2").arg(first).arg(last) : QString::number(first));
    return parts.join(QLatin1Char(','));
}

HandTwoSided handTwoSided(int count, int from, int to, bool faceUp)
{
    HandTwoSided plan;
    from = std::max(1, from);
    to = to <= 0 ? count : std::min(to, count);
    if (from > to)
        return plan;
    // Whole sheets: from a front to its back.
    from -= (from - 1) % 2;
    QList<int> fronts, backs;
    for (int page = from; page <= to || (page - 1) % 2 == 1; ++page) {
        if (page > count)
            break;
        ((page - 1) % 2 == 0 ? fronts : backs) << page;
    }
    plan.sheets = int(fronts.size());
    plan.fronts = {pageRanges(fronts), false, false, int(fronts.size())};
    const bool odd = backs.size() < fronts.size();
    plan.backs = {pageRanges(backs), faceUp, faceUp && odd, !faceUp && odd, int(backs.size())};
    return plan;
}
