// pdfplyjoin's command line: the words read into options, the reasons it refuses, and page
// lists.
#include "options.h"
#include "pagerange.h"
#include "sheetchoices.h"
#include "toolrun.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

Q_DECLARE_METATYPE(std::vector<int>)

class TestOptions : public QObject
{
    Q_OBJECT

private slots:
    void init() { dir = std::make_unique<QTemporaryDir>(); }
    void cleanup() { dir.reset(); }

    void commandLine_data();
    void commandLine();
    void commandLineErrors_data();
    void commandLineErrors();
    void pageSelection_data();
    void pageSelection();
    void sheetChoicesReadBackByTheTool_data();
    void sheetChoicesReadBackByTheTool();
    void aFoldedSectionHasBacks();

private:
    QString path(const QString &name) const { return dir->filePath(name); }
    std::unique_ptr<QTemporaryDir> dir;
};

void TestOptions::commandLine_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("expected");  // columns rows order rotation l r t b gx gy selection list scale custom W H lines
    QTest::newRow("defaults") << "in.pdf out.pdf" << "2 2 0 0 0 0 0 0 0 0 0 '' 100 0 0 0 0";
    QTest::newRow("application defaults") << "-rt 0 -order H -per 2*2 in.pdf out.pdf" << "2 2 0 0 0 0 0 0 0 0 0 '' 100 0 0 0 0";
    QTest::newRow("order without value") << "-rt 90 -order -per 3*1 in.pdf out.pdf" << "3 1 0 90 0 0 0 0 0 0 0 '' 100 0 0 0 0";
    QTest::newRow("everything")
        << "-addline 255 0 0 -scale 50 -odd -rt 270 -order VR -l 25.4 mm -t 1 cm -gx 0.5 inch -gy 10 point -r 1 in -b 2 pt -per 3*2 a b"
        << "3 2 3 270 72 72 28.3465 2 36 10 1 '' 50 0 0 0 1";
    QTest::newRow("custom size") << "-size Custom 8.5 in 11 in -pr 1,2, 5-9 ,20,-3,7- -rt 180 -per 1*4 a b"
                                 << "1 4 0 180 0 0 0 0 0 0 3 '1-1,2-2,5-9,20-20,1-3,7-last' 100 1 612 792 0";
    QTest::newRow("named size") << "-size Letter a b" << "2 2 0 0 0 0 0 0 0 0 0 '' 100 1 612 792 0";
    QTest::newRow("named size, landscape") << "-size A4 landscape a b" << "2 2 0 0 0 0 0 0 0 0 0 '' 100 1 841.89 595.276 0";
    QTest::newRow("even, negative turn") << "-even -rt -90 a b" << "2 2 0 270 0 0 0 0 0 0 2 '' 100 0 0 0 0";
    QTest::newRow("list word with a dash") << "-pr 5, -3 a b" << "2 2 0 0 0 0 0 0 0 0 3 '5-5,1-3' 100 0 0 0 0";
    QTest::newRow("list before the files") << "-pr 1, 3 a b" << "2 2 0 0 0 0 0 0 0 0 3 '1-1,3-3' 100 0 0 0 0";
    QTest::newRow("options between the files") << "a -per 3*1 b -rt 90" << "3 1 0 90 0 0 0 0 0 0 0 '' 100 0 0 0 0";
    // Numbers as the application passes them: whatever Qt reads as a number.
    QTest::newRow("number forms") << "-l 2E2 pt -r 1e1 mm -t 5. pt -b +3 pt -gx .5 in -gy 1.5e-1 cm -scale 5E1 a b"
                                  << "2 2 0 0 200 28.3465 5 3 36 4.252 0 '' 50 0 0 0 0";
}

void TestOptions::commandLine()
{
    QFETCH(QString, line);
    QFETCH(QString, expected);
    const Options o = parseCommandLine(words(line)).options;
    const auto r = [](double v) { return QString::number(std::round(v * 10000) / 10000); };
    QStringList ranges;
    for (const PageRange &range : o.pages.list)
        ranges << QStringLiteral("%1-%2").arg(range.from).arg(range.to == PageRange::kLastPage ? QStringLiteral("last")
                                                                                                : QString::number(range.to));
    const QString got = QStringList{QString::number(o.grid.columns), QString::number(o.grid.rows), QString::number(int(o.grid.order)),
                                    QString::number(o.pages.rotation), r(o.margins.left), r(o.margins.right), r(o.margins.top), r(o.margins.bottom),
                                    r(o.margins.gutterX), r(o.margins.gutterY), QString::number(int(o.pages.selection)),
                                    QLatin1Char('\'') + ranges.join(QLatin1Char(',')) + QLatin1Char('\''),
                                    r(o.sizing.scalePercent), QString::number(o.sizing.customSize), r(o.sizing.sheetWidth),
                                    r(o.sizing.sheetHeight), QString::number(o.marks.lines)}
                            .join(QLatin1Char(' '));
    QCOMPARE(got, expected);
}

void TestOptions::commandLineErrors_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("named");
    QTest::newRow("unknown option") << "-frobnicate a b" << "-frobnicate";
    QTest::newRow("a fold no sheet makes") << "-fold 12 a b" << "\"12\" is not a fold";
    QTest::newRow("a fold cut and stacked") << "-stack -fold 16 a b" << "-fold cannot go with";
    QTest::newRow("a fold with a grid") << "-fold 8 -per 2*2 a b" << "-fold cannot go with -per";
    QTest::newRow("not a number") << "-l abc mm a b" << "abc";
    QTest::newRow("bad unit") << "-l 5 furlong a b" << "furlong";
    QTest::newRow("bad grid") << "-per 3x a b" << "3x";
    QTest::newRow("grid too large") << "-per 101*2 a b" << "101*2";
    QTest::newRow("bad rotation") << "-rt 45 a b" << "-rt";
    QTest::newRow("bad order") << "-order Z a b" << "Z";
    QTest::newRow("bad colour") << "-addline 300 0 0 a b" << "-addline";
    QTest::newRow("missing value") << "-scale a b" << "a";
    QTest::newRow("no files") << "out.pdf" << "INPUT";
    QTest::newRow("only options") << "-per 2*2" << "INPUT and OUTPUT are needed";
    QTest::newRow("a third file") << "a b c" << "\"c\"";
    QTest::newRow("size kind") << "-size A7 a b" << "\"A7\" is not a sheet size";
    QTest::newRow("scale beside size") << "-scale 50 -size A4 a b" << "-scale and -size";
    QTest::newRow("bleed named as written") << "-bleed 11 inch a b" << "the bleed \"11 inch\"";
    QTest::newRow("negative margin") << "-t -5 mm a b" << "\"-5\"";
    QTest::newRow("negative gutter") << "-gy -0.5 pt a b" << "\"-0.5\"";
    QTest::newRow("infinite") << "-l inf mm a b" << "\"inf\"";
    QTest::newRow("not a number") << "-gx nan mm a b" << "\"nan\"";
    QTest::newRow("too large to place") << "-r 1e300 mm a b" << "1e300";
    QTest::newRow("too large once in points") << "-l 1e9 mm a b" << "1e9";
    QTest::newRow("beyond any double") << "-b 1e400 pt a b" << "1e400";
    QTest::newRow("bad page list") << "-pr 1,a a b" << "\"a\"";
    QTest::newRow("page zero") << "-pr 0-3 a b" << "0-3";
    QTest::newRow("no signature") << "-booklet -signature 0 a b" << "\"0\"";
    QTest::newRow("half a signature") << "-booklet -signature 1.5 a b" << "\"1.5\"";
    QTest::newRow("negative creep") << "-booklet -creep -1 mm a b" << "\"-1\"";
    QTest::newRow("negative crop marks") << "-cropmarks -2 mm a b" << "\"-2\"";
    QTest::newRow("negative frame") << "-frame -1 a b" << "\"-1\"";
    QTest::newRow("no such edge") << "-duplex sideways a b" << "\"sideways\"";
    QTest::newRow("stack and repeat") << "-stack -repeat a b" << "-stack and -repeat";
    QTest::newRow("calibrate with input") << "-calibrate a b" << "-calibrate";
    QTest::newRow("cut and poster") << "-cut -poster 2*2 a b" << "-cut and -poster exclude each other";
    QTest::newRow("a poster in a booklet") << "-booklet -poster A3 a b" << "-poster cannot go with";
    QTest::newRow("no such scan") << "-cut -scan sideways a b" << "\"sideways\" is not a scan's order";
    QTest::newRow("no such poster") << "-poster A9 a b" << "\"A9\" is neither a grid";
    QTest::newRow("a poster of no size") << "-poster Custom 0 mm 1 mm a b" << "above 0";
    QTest::newRow("a grid of no tiles") << "-poster 0*2 a b" << "\"0*2\"";
    QTest::newRow("a negative overlap") << "-poster 2*2 -overlap -1 mm a b" << "\"-1\"";
}

void TestOptions::commandLineErrors()
{
    QFETCH(QString, line);
    QFETCH(QString, named);
    try {
        parseCommandLine(words(line));
        QFAIL("accepted");
    } catch (const UsageError &e) {
        QVERIFY2(QString::fromStdString(e.what()).contains(named), e.what());
    }
    // The real tool says the same, exits with 2 and writes nothing.
    const Run run = runTool(QProcess::splitCommand(line).replaceInStrings(QRegularExpression("^b$"), path("b")));
    QCOMPARE(run.exitCode, 2);
    QVERIFY(run.err.startsWith(QStringLiteral("pdfplyjoin: ")));
    QVERIFY(!run.out.contains(QStringLiteral("result=OK")));
    QVERIFY(!QFile::exists(path("b")));
}

void TestOptions::pageSelection_data()
{
    QTest::addColumn<int>("selection");
    QTest::addColumn<QString>("list");
    QTest::addColumn<int>("count");
    QTest::addColumn<std::vector<int>>("expected");  // page numbers from 1; {-1} for an error
    QTest::newRow("all") << int(Selection::All) << "" << 3 << std::vector<int>{1, 2, 3};
    QTest::newRow("odd") << int(Selection::Odd) << "" << 5 << std::vector<int>{1, 3, 5};
    QTest::newRow("even") << int(Selection::Even) << "" << 5 << std::vector<int>{2, 4};
    QTest::newRow("list") << int(Selection::List) << "1,2,5-9,20" << 8 << std::vector<int>{1, 2, 5, 6, 7, 8};
    QTest::newRow("to the end") << int(Selection::List) << "6-" << 8 << std::vector<int>{6, 7, 8};
    QTest::newRow("from the start") << int(Selection::List) << "-3" << 8 << std::vector<int>{1, 2, 3};
    QTest::newRow("to the end, past it") << int(Selection::List) << "10-" << 8 << std::vector<int>{};
    QTest::newRow("descending past end") << int(Selection::List) << "10-6" << 8 << std::vector<int>{8, 7, 6};
    QTest::newRow("blanks and repeats") << int(Selection::List) << " 2 , 2,1 - 2" << 4 << std::vector<int>{2, 2, 1, 2};
    QTest::newRow("huge numbers skipped") << int(Selection::List) << "3,99999999999999999999" << 4 << std::vector<int>{3};
    QTest::newRow("huge range stays bounded") << int(Selection::List) << "2-4000000000" << 3 << std::vector<int>{2, 3};
    QTest::newRow("zero") << int(Selection::List) << "0-2" << 4 << std::vector<int>{-1};
    QTest::newRow("letters") << int(Selection::List) << "1,a" << 4 << std::vector<int>{-1};
    QTest::newRow("empty") << int(Selection::List) << " , " << 4 << std::vector<int>{-1};
}

void TestOptions::pageSelection()
{
    QFETCH(int, selection);
    QFETCH(QString, list);
    QFETCH(int, count);
    QFETCH(std::vector<int>, expected);
    std::vector<int> got;
    try {
        const PageList pages = selection == int(Selection::List) ? parsePageList(list.toStdString()) : PageList();
        for (int index : selectPages(Selection(selection), pages, count))
            got.push_back(index + 1);
    } catch (const PageRangeError &) {
        got = {-1};
    }
    QCOMPARE(got, expected);
}

namespace {

constexpr double kMm = 72 / 25.4;

// One sheet option chosen as the window keeps it, and what the tool must read of it.
struct ChoiceCase
{
    const char *name;
    void (*choose)(SheetChoices &);
    bool (*read)(const Options &);
};

const ChoiceCase kChoiceCases[] = {
    {"booklet", [](SheetChoices &c) { c.booklet = true; }, [](const Options &o) { return o.booklet.on; }},
    {"signature", [](SheetChoices &c) { c.booklet = true, c.signature = 3; },
     [](const Options &o) { return o.booklet.signatureSheets == 3; }},
    {"creep in cm", [](SheetChoices &c) { c.booklet = true, c.creep = 0.15, c.creepUnit = "cm"; },
     [](const Options &o) { return qFuzzyCompare(o.booklet.creep, 1.5 * kMm); }},
    {"right to left", [](SheetChoices &c) { c.booklet = true, c.rightToLeft = true; },
     [](const Options &o) { return o.booklet.rightToLeft; }},
    {"quarto", [](SheetChoices &c) { c.booklet = true, c.fold = Folds::Quarto; },
     [](const Options &o) { return o.booklet.fold == 8; }},
    {"octavo", [](SheetChoices &c) { c.booklet = true, c.fold = Folds::Octavo; },
     [](const Options &o) { return o.booklet.fold == 16; }},
    {"spine marks", [](SheetChoices &c) { c.booklet = true, c.spineMarks = true; },
     [](const Options &o) { return o.marks.spineMarks; }},
    {"fold marks", [](SheetChoices &c) { c.booklet = true, c.foldMarks = true; },
     [](const Options &o) { return o.marks.foldMarks; }},
    {"sewing", [](SheetChoices &c) { c.booklet = true, c.sewing = 4; },
     [](const Options &o) { return o.marks.sewingStations == 4; }},
    {"crop marks in inches", [](SheetChoices &c) { c.cropMarks = true, c.cropMarksLength = 0.25, c.cropMarksUnit = "inch"; },
     [](const Options &o) { return qFuzzyCompare(o.marks.cropMarks, 18.0); }},
    {"frame", [](SheetChoices &c) { c.frame = true, c.frameWidth = 1.25; },
     [](const Options &o) { return qFuzzyCompare(o.marks.frameWidth, 1.25); }},
    {"both sides, long edge", [](SheetChoices &c) { c.bothSides = Duplex::Long; },
     [](const Options &o) { return o.twoSided.duplex == Duplex::Long; }},
    {"both sides, short edge", [](SheetChoices &c) { c.bothSides = Duplex::Short; },
     [](const Options &o) { return o.twoSided.duplex == Duplex::Short; }},
    {"a booklet for a long-edge printer", [](SheetChoices &c) { c.booklet = true, c.bothSides = Duplex::Long; },
     [](const Options &o) { return o.twoSided.duplex == Duplex::Long; }},
    {"back shift", [](SheetChoices &c) { c.bothSides = Duplex::Long, c.backShiftX = 1.5, c.backShiftY = -2; },
     [](const Options &o) { return qFuzzyCompare(o.twoSided.backShiftX, 1.5 * kMm) && qFuzzyCompare(o.twoSided.backShiftY, -2 * kMm); }},
    // A folded section has backs: its shift is kept.
    {"back shift of a quarto", [](SheetChoices &c) { c.booklet = true, c.fold = Folds::Quarto, c.backShiftX = 2, c.backShiftY = 3; },
     [](const Options &o) { return qFuzzyCompare(o.twoSided.backShiftX, 2 * kMm) && qFuzzyCompare(o.twoSided.backShiftY, 3 * kMm); }},
    {"cut and stack", [](SheetChoices &c) { c.stack = true; }, [](const Options &o) { return o.room.stack; }},
    {"step and repeat", [](SheetChoices &c) { c.repeat = true; }, [](const Options &o) { return o.room.repeat; }},
    {"bleed", [](SheetChoices &c) { c.bleed = true, c.bleedLength = 2; },
     [](const Options &o) { return o.room.trim && qFuzzyCompare(o.room.bleed, 2 * kMm); }},
    {"cards with a bleed keep their size", [](SheetChoices &c) { c.repeat = true, c.bleed = true; },
     [](const Options &o) { return o.sizing.fit == Fit::Actual; }},
    {"slug line", [](SheetChoices &c) { c.slug = true; }, [](const Options &o) { return o.marks.slug; }},
    {"actual size", [](SheetChoices &c) { c.fit = Fit::Actual; }, [](const Options &o) { return o.sizing.fit == Fit::Actual; }},
    {"shrink only", [](SheetChoices &c) { c.fit = Fit::Shrink; }, [](const Options &o) { return o.sizing.fit == Fit::Shrink; }},
    {"turned to fit", [](SheetChoices &c) { c.autoRotate = true; }, [](const Options &o) { return o.sizing.autoRotate; }},
    {"cut apart", [](SheetChoices &c) { c.cut = true; }, [](const Options &o) { return o.cut.on; }},
    {"a scanned booklet, backs reversed", [](SheetChoices &c) { c.cut = true, c.booklet = true, c.scan = ScanOrder::BacksReversed; },
     [](const Options &o) { return o.cut.on && o.booklet.on && o.cut.scan == ScanOrder::BacksReversed; }},
    {"blank pages left out", [](SheetChoices &c) { c.cut = true, c.dropBlank = true; },
     [](const Options &o) { return o.pages.dropBlank; }},
    {"a poster of 3 by 2 sheets", [](SheetChoices &c) { c.poster = true, c.posterSize.columns = 3, c.posterSize.rows = 2; },
     [](const Options &o) { return o.poster.on && o.poster.columns == 3 && o.poster.rows == 2; }},
    {"an A1 poster, its overlap in cm, an overview",
     [](SheetChoices &c) { c.poster = true, c.posterSize.paper = "A1", c.overlap = 1.5, c.overlapUnit = "cm", c.overview = true; },
     [](const Options &o) {
         return qFuzzyCompare(o.poster.width, 594 * kMm) && qFuzzyCompare(o.poster.overlap, 15 * kMm) && o.poster.overview;
     }},
    {"a poster's empty tiles left out", [](SheetChoices &c) { c.poster = true, c.dropBlank = true; },
     [](const Options &o) { return o.poster.on && o.pages.dropBlank; }},
};

} // namespace

void TestOptions::sheetChoicesReadBackByTheTool_data()
{
    QTest::addColumn<int>("index");
    for (size_t i = 0; i < std::size(kChoiceCases); ++i)
        QTest::newRow(kChoiceCases[i].name) << int(i);
}

// The window's typed sheet options, written as the tool's words, read back by the tool's own
// parser: each arrives, and nothing is said to have no effect.
void TestOptions::sheetChoicesReadBackByTheTool()
{
    QFETCH(int, index);
    const ChoiceCase &c = kChoiceCases[index];
    SheetChoices choices;
    c.choose(choices);
    std::vector<std::string> args = toArguments(choices);
    QString words;
    for (const std::string &w : args)
        words += QLatin1Char(' ') + QString::fromStdString(w);
    // On sheets of a size, as the window's are (pages cut apart take the size of their cells).
    if (!choices.cut)
        args.insert(args.end(), {"-size", "A4"});
    args.insert(args.end(), {"--", "in.pdf", "out.pdf"});
    const CommandLine cmd = parseCommandLine(args);
    QVERIFY2(c.read(cmd.options), qPrintable(words));
    QVERIFY2(cmd.warnings.empty(), cmd.warnings.empty() ? "" : cmd.warnings.front().c_str());
    // Nothing chosen, nothing said.
    QVERIFY(toArguments(SheetChoices()).empty());
}

// A section folded with -fold alone is printed on both sides: its back shift is kept.
void TestOptions::aFoldedSectionHasBacks()
{
    const CommandLine cmd = parseCommandLine(words(QStringLiteral("-fold 8 -backshift 2 3 mm a b")));
    QVERIFY(cmd.warnings.empty());
    QVERIFY(qFuzzyCompare(cmd.options.twoSided.backShiftX, 2 * kMm));
}

QTEST_MAIN(TestOptions)
#include "tst_options.moc"
