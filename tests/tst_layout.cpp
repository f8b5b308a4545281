// The layout of the sheets, without any PDF: numbers as written, turns, cells, which page
// each side holds, and the plan of where every page lands, worked out by hand.
#include "layout.h"
#include "toolrun.h"

#include <QtTest>

#include <cmath>

class TestLayout : public QObject
{
    Q_OBJECT

private slots:
    void numbersAsWritten_data();
    void numbersAsWritten();
    void orientation_data();
    void orientation();
    void layoutModes();
    void nUpSides_data();
    void nUpSides();
    void bleedStopsAtNeighbours();
    void sidePlans_data();
    void sidePlans();
    void judgements_data();
    void judgements();
};

void TestLayout::numbersAsWritten_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<QString>("written");
    QTest::newRow("trailing zeros") << 12.5 << 3 << "12.5";
    QTest::newRow("whole") << 100.0 << 3 << "100";
    QTest::newRow("rounded up") << -12.3456 << 3 << "-12.346";
    QTest::newRow("below the last place") << -0.004 << 2 << "0";
    QTest::newRow("binary just below a half") << 2.675 << 2 << "2.67";
    QTest::newRow("nine places") << 0.123456789 << 9 << "0.123456789";
    QTest::newRow("large, many places") << 1234567890.5 << 1 << "1234567890.5";
    QTest::newRow("more places than fast") << 0.1 << 12 << "0.1";
    QTest::newRow("beyond any page") << 1e15 << 2 << "1000000000000";
    QTest::newRow("not a number") << std::nan("") << 2 << "0";
}

void TestLayout::numbersAsWritten()
{
    QFETCH(double, value);
    QFETCH(int, decimals);
    QFETCH(QString, written);
    QCOMPARE(QString::fromStdString(pdfNumber(value, decimals)), written);
}

void TestLayout::orientation_data()
{
    QTest::addColumn<int>("rotation");
    QTest::addColumn<QSizeF>("size");
    QTest::newRow("0") << 0 << QSizeF(200, 100);
    QTest::newRow("90") << 90 << QSizeF(100, 200);
    QTest::newRow("180") << 180 << QSizeF(200, 100);
    QTest::newRow("270") << 270 << QSizeF(100, 200);
}

void TestLayout::orientation()
{
    QFETCH(int, rotation);
    QFETCH(QSizeF, size);
    const Box visible{50, 20, 250, 120};
    const Matrix m = orientPage(visible, rotation);
    const Box placed = m.apply(visible);
    QCOMPARE(placed.x0 + 1, 1.0);
    QCOMPARE(placed.y0 + 1, 1.0);
    QCOMPARE(QSizeF(placed.width(), placed.height()), size);
    // Clockwise: the visible top-left corner ends where the viewer shows it.
    const double tlx = m.a * 50 + m.c * 120 + m.e, tly = m.b * 50 + m.d * 120 + m.f;
    const QPointF corners[4] = {{0, size.height()}, {size.width(), size.height()}, {size.width(), 0}, {0, 0}};
    QCOMPARE(QPointF(tlx, tly), corners[rotation / 90]);
    QCOMPARE(orientPage(visible, rotation, 2).apply(visible).width(), placed.width() * 2);
}

void TestLayout::layoutModes()
{
    const Grid grid{3, 2, Order::H};
    Margins m{10, 20, 30, 40, 5, 6};
    Sizing sizing;
    // Original size: the cell is the largest page.
    SheetLayout s = computeLayout(grid, m, sizing, false, {{100, 200}, {150, 50}});
    QCOMPARE(s.cellWidth, 150.0);
    QCOMPARE(s.cellHeight, 200.0);
    QCOMPARE(s.sheetWidth, 10 + 20 + 3 * 150 + 2 * 5.0);
    QCOMPARE(s.sheetHeight, 30 + 40 + 2 * 200 + 6.0);
    QCOMPARE(s.cells.at(0), std::make_pair(10.0, s.sheetHeight - 30 - 200));
    QCOMPARE(s.cells.at(4), std::make_pair(10.0 + 155, s.sheetHeight - 30 - 406));
    QCOMPARE(pageScale(sizing, s, 100, 200), 1.0);
    // Scale: pages and cells together.
    sizing.scalePercent = 50;
    s = computeLayout(grid, m, sizing, false, {{100, 200}});
    QCOMPARE(s.cellWidth, 50.0);
    QCOMPARE(pageScale(sizing, s, 100, 200), 0.5);
    // Custom sheet: cells share what is left; pages fit uniformly.
    sizing.customSize = true;
    sizing.fit = Fit::Fit;
    sizing.sheetWidth = 400;
    sizing.sheetHeight = 500;
    s = computeLayout(grid, m, sizing, true, {{100, 200}});
    QCOMPARE(s.cellWidth, (400 - 30 - 10) / 3.0);
    QCOMPARE(s.cellHeight, (500 - 70 - 6) / 2.0);
    QCOMPARE(pageScale(sizing, s, 100, 200), std::min(120 / 100.0, 212 / 200.0));
    QCOMPARE(int(s.lines.size()), 2 + 1);
    QCOMPARE(s.lines.at(0).x0, 10 + 120 + 2.5);
    QCOMPARE(s.lines.at(2).y0, 500 - 30 - 212 - 3.0);
    m.left = 400;
    QVERIFY_THROWS_EXCEPTION(LayoutError, computeLayout(grid, m, sizing, false, {{100, 200}}));
}

void TestLayout::nUpSides_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("pages");
    QTest::addColumn<bool>("portrait");
    // Each side's grid, rows from the top separated by "/", sides by "|"; _ blank.
    QTest::addColumn<QString>("sides");
    QTest::newRow("3x3 cards, long edge: 10 behind 1") << "-per 3*3 -duplex long" << 18 << true
        << "1 2 3/4 5 6/7 8 9|12 11 10/15 14 13/18 17 16";
    QTest::newRow("3x3 cards, short edge") << "-per 3*3 -duplex short" << 18 << true
        << "1 2 3/4 5 6/7 8 9|16 17 18/13 14 15/10 11 12";
    QTest::newRow("landscape, long edge mirrors rows") << "-per 2*2 -duplex long" << 8 << false << "1 2/3 4|7 8/5 6";
    QTest::newRow("landscape, short edge mirrors columns") << "-per 2*2 -duplex short" << 6 << false << "1 2/3 4|6 5/_ _";
    QTest::newRow("vertical reversed, long edge") << "-per 2*2 -order VR -duplex long" << 8 << true << "3 1/4 2|5 7/6 8";
    QTest::newRow("stack of 16") << "-per 2*2 -stack" << 16 << true << "1 5/9 13|2 6/10 14|3 7/11 15|4 8/12 16";
    QTest::newRow("stack of 7") << "-per 2*2 -stack" << 7 << true << "1 3/5 7|2 4/6 _";
    QTest::newRow("stack, fronts and backs paired") << "-per 2*1 -stack -duplex long" << 6 << true << "1 5|6 2|3 _|_ 4";
    QTest::newRow("repeat") << "-per 2*2 -repeat" << 3 << true << "1 1/1 1|2 2/2 2|3 3/3 3";
    QTest::newRow("repeat, back after front") << "-per 2*1 -repeat -duplex long" << 3 << true << "1 1|2 2|3 3|_ _";
}

void TestLayout::nUpSides()
{
    QFETCH(QString, line);
    QFETCH(int, pages);
    QFETCH(bool, portrait);
    QFETCH(QString, sides);
    const Options o = parseCommandLine(words(line + QStringLiteral(" a b"))).options;
    QStringList read;
    for (const SheetSide &side : planSides(o, size_t(pages), portrait)) {
        QVector<QStringList> grid(o.grid.rows, QStringList(o.grid.columns, QStringLiteral("_")));
        for (size_t slot = 0; slot < side.cells.size(); ++slot) {
            const auto [row, col] = cellPlace(o.grid, int(slot));
            if (side.cells[slot] != SheetSide::kBlank)
                grid[row][col] = QString::number(side.cells[slot] + 1);
        }
        QStringList rows;
        for (const QStringList &row : grid)
            rows << row.join(QLatin1Char(' '));
        read << rows.join(QLatin1Char('/'));
    }
    QCOMPARE(read.join(QLatin1Char('|')), sides);
}

void TestLayout::bleedStopsAtNeighbours()
{
    // Three trims in a row, 10 pt apart, and one above the first, 2 pt away: a bleed of 6 pt
    // runs its full width into the wide gutters and stops at the near neighbour.
    const std::vector<Box> trims{{0, 0, 100, 50}, {110, 0, 210, 50}, {220, 0, 320, 50}, {0, 52, 100, 102}};
    const std::vector<Box> areas = bleedAreas(trims, 6);
    const auto text = [](const Box &b) { return QStringLiteral("%1 %2 %3 %4").arg(b.x0).arg(b.y0).arg(b.x1).arg(b.y1); };
    QCOMPARE(text(areas[0]), QStringLiteral("-6 -6 106 52"));
    QCOMPARE(text(areas[1]), QStringLiteral("104 -6 216 56"));
    QCOMPARE(text(areas[2]), QStringLiteral("214 -6 326 56"));
    QCOMPARE(text(areas[3]), QStringLiteral("-6 50 106 108"));
}

void TestLayout::sidePlans_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("pages");  // alike, 90 x 140 points, their trim 3 points inside with -bleed
    QTest::addColumn<int>("side");   // from 0
    QTest::addColumn<QString>("what");
    QTest::addColumn<QString>("boxes");  // page:x0,y0,x1,y1 by page, points from the sheet's lower left
    // 2x2 on a 200 x 300 sheet with 10 points all round: cells of 90 x 140.
    const QString grid = QStringLiteral("-per 2*2 -size Custom 200 pt 300 pt -l 10 pt -r 10 pt -t 10 pt -b 10 pt");
    QTest::newRow("front") << grid << 8 << 0 << "landed"
                           << "1:10,150,100,290 2:100,150,190,290 3:10,10,100,150 4:100,10,190,150";
    // Turned about its long edge, the sheet's x runs the other way: 5 lies behind 1 at 200 - x.
    QTest::newRow("long-edge back behind its front") << grid + " -duplex long" << 8 << 1 << "landed"
        << "5:100,150,190,290 6:10,150,100,290 7:100,10,190,150 8:10,10,100,150";
    QTest::newRow("short-edge back behind its front") << grid + " -duplex short" << 8 << 1 << "landed"
        << "5:10,10,100,150 6:100,10,190,150 7:10,150,100,290 8:100,150,190,290";
    QTest::newRow("back shift: 2 right, 3 up") << grid + " -duplex long -backshift 2 3 pt" << 8 << 1 << "landed"
        << "5:102,153,192,293 6:12,153,102,293 7:102,13,192,153 8:12,13,102,153";
    QTest::newRow("fronts are not shifted") << grid + " -duplex long -backshift 2 3 pt" << 8 << 0 << "landed"
        << "1:10,150,100,290 2:100,150,190,290 3:10,10,100,150 4:100,10,190,150";
    // A booklet of 12: its third sheet (8 and 5) is the innermost, crept by all 6 points.
    QTest::newRow("creep towards the fold") << "-booklet -creep 6 pt" << 12 << 4 << "landed"
                                           << "5:84,0,174,140 8:6,0,96,140";
    QTest::newRow("creep: half on the middle sheet") << "-booklet -creep 6 pt" << 12 << 3 << "landed"
                                                     << "4:3,0,93,140 9:87,0,177,140";
    QTest::newRow("long-edge booklet back turned") << "-booklet -duplex long" << 12 << 1 << "landed"
                                                   << "2:90,0,180,140 11:0,0,90,140";
    // Trims of 84 x 134 side by side, 4 apart: a bleed of 5 stops at the neighbour's trim.
    QTest::newRow("bleed stops at the neighbour's trim") << "-per 2*1 -gx 4 pt -bleed 5 pt" << 2 << 0 << "clip"
                                                         << "1:-5,-5,88,139 2:84,-5,177,139";
}

void TestLayout::sidePlans()
{
    QFETCH(QString, line);
    QFETCH(int, pages);
    QFETCH(int, side);
    QFETCH(QString, what);
    QFETCH(QString, boxes);
    const Options o = parseCommandLine(words(line + QStringLiteral(" a b"))).options;
    PageGeometry page;
    page.art = {0, 0, 90, 140};
    page.visible = o.room.trim ? Box{3, 3, 87, 137} : page.art;
    const std::vector<PageGeometry> selected(size_t(pages), page);
    const SheetPlan plan = planSheets(o, selected);
    const SidePlan s = planSide(o, plan, size_t(side), selected);
    QMap<int, QString> read;
    const auto r = [](double v) { return QString::number(std::round(v * 1000) / 1000); };
    for (const Landing &l : s.pages) {
        const Box &b = what == QLatin1String("clip") ? l.clip : l.landed;
        read[l.page + 1] = QStringLiteral("%1:%2,%3,%4,%5").arg(l.page + 1).arg(r(b.x0), r(b.y0), r(b.x1), r(b.y1));
    }
    QCOMPARE(read.values().join(QLatin1Char(' ')), boxes);
}

// What the plan itself says of what it cannot do as asked: warnings, or a refusal.
void TestLayout::judgements_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QList<QSizeF>>("pages");  // points, numbered 2, 4, 6... in their document
    QTest::addColumn<QString>("said");        // the warnings, one a line, or "refused: " and why
    const QString cells = QStringLiteral("-per 2*1 -size Custom 200 mm 100 mm");  // 100 x 100 mm cells
    const QSizeF a4(595, 842), small(100, 100);
    QTest::newRow("fitted: nothing") << cells << QList<QSizeF>{a4, small} << "";
    QTest::newRow("actual: the larger page named by its number")
        << cells + " -fit actual" << QList<QSizeF>{small, a4}
        << "page 4 at actual size is larger than the cells (100 x 100 mm) and run beyond them";
    QTest::newRow("actual: five named, the rest counted")
        << cells + " -fit actual" << QList<QSizeF>(7, a4)
        << "pages 2, 4, 6, 8, 10 and 2 more at actual size are larger than the cells (100 x 100 mm) and run beyond them";
    QTest::newRow("actual with a bleed: refused")
        << cells + " -fit actual -bleed 3 mm" << QList<QSizeF>{a4, small}
        << "refused: page 2 of in.pdf at actual size would be larger than the cells (100 x 100 mm) and cover the "
           "neighbours' trims: make the cells larger or use -fit shrink";
    QTest::newRow("slug without a bottom margin") << cells + " -slug" << QList<QSizeF>{small}
        << "the bottom margin is too small for the slug line (it needs 10 pt, 3.5 mm); none is drawn";
    // A landscape sheet turned on its long edge: a back's bottom margin lies behind the front's top one.
    QTest::newRow("slug: the backs' margin behind the top") << cells + " -slug -b 5 mm -duplex long" << QList<QSizeF>(4, small)
        << "the bottom margin of the backs (behind the fronts' top margin) is too small for the slug line (it needs 10 "
           "pt, 3.5 mm); it is drawn on the fronts only";
    QTest::newRow("slug: the fronts' margin too small") << cells + " -slug -t 5 mm -duplex long" << QList<QSizeF>(4, small)
        << "the bottom margin of the fronts is too small for the slug line (it needs 10 pt, 3.5 mm); it is drawn on the "
           "backs only";
    QTest::newRow("slug: room on both sides") << cells + " -slug -t 5 mm -b 5 mm -duplex long" << QList<QSizeF>(4, small)
                                             << "";
}

void TestLayout::judgements()
{
    QFETCH(QString, line);
    QFETCH(QList<QSizeF>, pages);
    QFETCH(QString, said);
    const Options o = parseCommandLine(words(line + QStringLiteral(" in.pdf out.pdf"))).options;
    std::vector<PageGeometry> selected;
    for (const QSizeF &size : pages) {
        PageGeometry page;
        page.art = page.visible = {0, 0, size.width(), size.height()};
        page.number = 2 * int(selected.size() + 1);
        selected.push_back(page);
    }
    QString read;
    try {
        const SheetPlan plan = planSheets(o, selected);
        QStringList warnings;
        for (const std::string &w : plan.warnings)
            warnings << QString::fromStdString(w);
        read = warnings.join(QLatin1Char('\n'));
    } catch (const UsageError &e) {
        read = QStringLiteral("refused: ") + QString::fromUtf8(e.what());
    }
    QCOMPARE(read, said);
}

QTEST_MAIN(TestLayout)
#include "tst_layout.moc"
