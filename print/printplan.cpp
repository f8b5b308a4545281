#include "print/printplan.h"

#include "print/papernames.h"

#include "run/optionsstring.h"
#include "run/pageruns.h"

#include <algorithm>
#include <cmath>

Sides sidesOfSheets(const SheetChoices &o)
{
    const Duplex edge = inEffect(o).bothSides;
    return edge == Duplex::Long ? Sides::LongEdge : edge == Duplex::Short ? Sides::ShortEdge : Sides::OneSided;
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

QList<int> pagesToPrint(int count, int from, int to)
{
    QList<int> pages;
    from = std::max(1, from);
    to = to > 0 ? std::min(to, count) : count;
    for (int page = from; page <= to; ++page)
        pages << page;
    return pages;
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

QList<QList<int>> handJobPages(const HandTwoSided &plan)
{
    const auto expand = [](const QString &ranges) {
        QList<int> pages;
        for (const QString &range : ranges.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            const int dash = int(range.indexOf(QLatin1Char('-')));
            const int a = range.left(dash < 0 ? range.size() : dash).toInt(), b = dash < 0 ? a : range.mid(dash + 1).toInt();
            for (int page = a; page <= b; ++page)
                pages << page;
        }
        return pages;
    };
    QList<int> backs = expand(plan.backs.pageRanges);
    if (plan.backs.reverse)
        std::reverse(backs.begin(), backs.end());
    if (plan.backs.blankFirst)
        backs.prepend(0);
    if (plan.backs.blankLast)
        backs.append(0);
    return {expand(plan.fronts.pageRanges), backs};
}

StackTurn stackTurn(Sides edge, bool portraitSheet)
{
    // One-sided sheets have no turn; a long edge is what most printers mean.
    const bool longEdge = edge != Sides::ShortEdge;
    StackTurn turn;
    turn.asABook = longEdge == portraitSheet;
    turn.hinge = turn.asABook ? StackTurn::RightEdge : StackTurn::BottomEdge;
    return turn;
}

QString stackTurnWords(const StackTurn &turn)
{
    return turn.asABook ? QStringLiteral("turn it over from left to right (as a page of a book turns)")
                        : QStringLiteral("turn it over from top to bottom (as a wall calendar turns)");
}

namespace {

constexpr double kSameSize = 2;  // points: papers this close are the sheet's size


} // namespace

PaperChoice choosePaper(const QSizeF &sheet, const QList<Paper> &papers, const QString &wanted, bool fitPrintable,
                        const QStringList &ready)
{
    PaperChoice choice;
    if (papers.isEmpty() || !(sheet.width() > 0) || !(sheet.height() > 0))
        return choice;
    choice.found = true;
    const bool landscape = sheet.width() > sheet.height();
    const auto turned = [landscape](const Paper &p) { return landscape ? p.size.transposed() : p.size; };
    for (const Paper &p : papers) {
        const QSizeF s = turned(p);
        if (std::fabs(s.width() - sheet.width()) <= kSameSize && std::fabs(s.height() - sheet.height()) <= kSameSize) {
            choice.asTheyAre = true;
            choice.paper = p;
            choice.landscape = landscape;
            return choice;
        }
    }
    // Symmetric margins: the larger border of each pair, turned with the paper.
    const auto margins = [&](const Paper &p) {
        if (!fitPrintable)
            return QMarginsF();
        const double across = std::max(p.border.left(), p.border.right()), along = std::max(p.border.top(), p.border.bottom());
        return landscape ? QMarginsF(along, across, along, across) : QMarginsF(across, along, across, along);
    };
    const auto scaleOn = [&](const Paper &p) {
        const QSizeF s = turned(p);
        const QMarginsF m = margins(p);
        return std::min((s.width() - m.left() - m.right()) / sheet.width(), (s.height() - m.top() - m.bottom()) / sheet.height());
    };
    const bool anyReady = std::any_of(papers.begin(), papers.end(), [&ready](const Paper &p) { return ready.contains(p.name); });
    int best = -1;
    for (int i = 0; i < papers.size(); ++i) {
        if (!wanted.isEmpty() && papers[i].name == wanted) {
            best = i;
            break;
        }
        if (anyReady && !ready.contains(papers[i].name))
            continue;
        if (best < 0 || scaleOn(papers[i]) > scaleOn(papers[best]) + 1e-9)
            best = i;
    }
    choice.paper = papers[best];
    choice.landscape = landscape;
    choice.scale = std::min(1.0, scaleOn(papers[best]));
    choice.margins = margins(papers[best]);
    return choice;
}

QString paperWords(const PaperChoice &choice)
{
    if (!choice.found || choice.asTheyAre)
        return QString();
    const QString paper = choice.paper.words.isEmpty() ? paperName(choice.paper.name) : choice.paper.words;
    return QStringLiteral("printed on %1 at %2%").arg(paper).arg(std::lround(choice.scale * 100));
}

QString borderWords(const QRectF &ink, const QSizeF &sheet, const PaperChoice &choice)
{
    if (!choice.found || ink.isEmpty())
        return QString();
    const QSizeF paper = choice.landscape ? choice.paper.size.transposed() : choice.paper.size;
    const double scale = choice.asTheyAre ? 1 : choice.scale;
    // The sheet centred on the paper, at its scale; the ink with it.
    const double x0 = (paper.width() - sheet.width() * scale) / 2, y0 = (paper.height() - sheet.height() * scale) / 2;
    const QRectF onPaper(x0 + ink.left() * scale, y0 + ink.top() * scale, ink.width() * scale, ink.height() * scale);
    const QMarginsF b = choice.landscape ? QMarginsF(choice.paper.border.bottom(), choice.paper.border.left(),
                                                     choice.paper.border.top(), choice.paper.border.right())
                                         : choice.paper.border;
    const double into = std::max({b.left() - onPaper.left(), b.top() - onPaper.top(),
                                  onPaper.right() - (paper.width() - b.right()), onPaper.bottom() - (paper.height() - b.bottom())});
    if (into <= 0.5)
        return QString();
    const double border = std::max({b.left(), b.top(), b.right(), b.bottom()});
    const auto mm = [](double points) { return QString::number(std::max(1.0, std::round(points * 25.4 / 72))); };
    return QStringLiteral("the sheets' pages and marks fall %1 mm into the printer's %2 mm border").arg(mm(into), mm(border));
}
