#include "sheetswindow/foldingwords.h"

#include "layout.h"

#include <QObject>

QString whereThePageLies(const SheetChoices &choices, int page, bool *upright)
{
    // A booklet of one signature of alike portrait pages, laid out by the tool itself.
    Options o;
    o.booklet.on = true;
    o.booklet.fold = int(choices.fold);
    o.booklet.rightToLeft = choices.rightToLeft;
    o.booklet.signatureSheets = 1;
    o.sizing.customSize = true;
    o.sizing.sheetWidth = 842;
    o.sizing.sheetHeight = 595;
    o.sizing.fit = Fit::Fit;
    std::vector<PageGeometry> pages(size_t(o.booklet.fold));
    for (size_t i = 0; i < pages.size(); ++i) {
        pages[i].visible = pages[i].art = {0, 0, 420, 595};
        pages[i].number = int(i) + 1;
    }
    const SheetPlan plan = planSheets(o, pages);
    if (plan.sides.empty())
        return QString();
    const SheetSide &front = plan.sides.front();
    for (size_t slot = 0; slot < front.cells.size(); ++slot) {
        if (front.cells[slot] != page - 1)
            continue;
        if (upright)
            *upright = !(slot < front.upsideDown.size() && front.upsideDown[slot]) && !front.halfTurned;
        const auto [row, column] = cellPlace(plan.grid, int(slot));
        const QString across = column == 0 ? QObject::tr("left") : column == plan.grid.columns - 1 ? QObject::tr("right")
                                                                                                 : QObject::tr("middle");
        if (plan.grid.rows == 1)
            return QObject::tr("the %1 half").arg(across);
        const QString down = row == 0 ? QObject::tr("top") : QObject::tr("bottom");
        if (across == QObject::tr("middle"))
            return QObject::tr("the %1 row, second from the %2")
                .arg(down, column < plan.grid.columns / 2 ? QObject::tr("left") : QObject::tr("right"));
        return QObject::tr("the %1 %2").arg(down, across);
    }
    return QString();
}

QString foldingInstruction(const SheetChoices &c, bool brief)
{
    if (!c.booklet)
        return QString();
    const QString down = c.rightToLeft ? QObject::tr("down the middle, the right half back")
                                       : QObject::tr("down the middle, the left half back");
    const QString across = QObject::tr("across the middle, the top half back behind the bottom one (the heads meet)");
    if (brief) {
        const QString shortDown = c.rightToLeft ? QObject::tr("down, right half back") : QObject::tr("down, left half back");
        const QString shortAcross = QObject::tr("across, top half back");
        if (c.fold == Folds::Quarto)
            return QObject::tr("Fold 1. %1, 2. %2 (spine)").arg(shortAcross, shortDown);
        if (c.fold == Folds::Octavo)
            return QObject::tr("Fold 1. %1, 2. %2, 3. %1 (spine)").arg(shortDown, shortAcross);
        return QObject::tr("Fold %1 (spine)").arg(shortDown);
    }
    QString folds;
    if (c.fold == Folds::Quarto)
        folds = QObject::tr("first %1; then %2: that fold is the spine").arg(across, down);
    else if (c.fold == Folds::Octavo)
        folds = QObject::tr("first %1; then %2; then %1 again: that fold is the spine").arg(down, across);
    else
        folds = QObject::tr("%1: the fold is the spine").arg(down);
    bool upright = true;
    const QString page1 = whereThePageLies(c, 1, &upright);
    QString words = QObject::tr("Hold the first sheet with its front towards you, page 1 at %1%2.")
                        .arg(page1, upright ? QString() : QObject::tr(", upside down"));
    if (c.signature == 1)
        words += QLatin1Char(' ') + QObject::tr("Fold each sheet alone, %1.").arg(folds);
    else
        words += QLatin1Char(' ') + QObject::tr("Lay the sheets of each signature together in order, the first "
                                                "outside and each next one inside it, fronts towards you, and "
                                                "fold them as one: %1.")
                                        .arg(folds);
    // The heads of a quarto meet in a fold, and an octavo's first fold ends at the
    // fore-edge: both are cut open once the section is sewn or glued.
    if (c.fold == Folds::Quarto)
        words += QLatin1Char(' ') + QObject::tr("Once it is sewn or glued, cut open the fold at the head.");
    else if (c.fold == Folds::Octavo)
        words += QLatin1Char(' ') + QObject::tr("Once it is sewn or glued, cut open the folds at the head and at the "
                                                "fore-edge.");
    return words;
}
