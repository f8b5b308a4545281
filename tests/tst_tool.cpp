// pdfplyjoin as a whole: the real tool run on PDFs made here, checked from its output.
#include "impose.h"
#include "layout.h"
#include "options.h"
#include "pagerange.h"
#include "protocol.h"
#include "outputpdf.h"
#include "samplefiles.h"
#include "samplepdf.h"
#include "toolrun.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>


namespace {

// Centre of each page on its sheet (sheets numbered from 1), in points from the sheet's
// top-left corner, by page number; `sheetSize` receives the last sheet's size.
struct Placed
{
    int sheet;
    QPointF centre;
    QSizeF size;
};
QMap<int, Placed> pagePositions(const QString &pdf, QSizeF *sheetSize = nullptr)
{
    QPDF q;
    q.processFile(pdf.toLocal8Bit().constData());
    std::vector<QPDFObjectHandle> sheets;
    const auto placements = readPlacements(q, &sheets);
    auto sizeOf = [](QPDFObjectHandle sheet) {
        const auto media = QPDFPageObjectHelper(sheet).getMediaBox().getArrayAsRectangle();
        const double unit = unitOf(sheet);
        return QSizeF((media.urx - media.llx) * unit, (media.ury - media.lly) * unit);
    };
    if (sheetSize && !sheets.empty())
        *sheetSize = sizeOf(sheets.back());
    QMap<int, Placed> result;
    for (auto it = placements.cbegin(); it != placements.cend(); ++it) {
        const QPointF centre = it->landing().center();
        const double height = sizeOf(sheets.at(size_t(it->sheet))).height();
        result.insert(it.key(), {it->sheet + 1, QPointF(centre.x(), height - centre.y()), it->landing().size()});
    }
    return result;
}

// Nothing on a sheet may be off by more than this, in points.
constexpr double kPlacementTolerance = 0.01;

bool near(const QRectF &a, const QRectF &b)
{
    return std::fabs(a.left() - b.left()) <= kPlacementTolerance && std::fabs(a.right() - b.right()) <= kPlacementTolerance
           && std::fabs(a.top() - b.top()) <= kPlacementTolerance && std::fabs(a.bottom() - b.bottom()) <= kPlacementTolerance;
}

QString describe(const QRectF &r)
{
    return QStringLiteral("(%1, %2)-(%3, %4)").arg(r.left(), 0, 'f', 4).arg(r.top(), 0, 'f', 4).arg(r.right(), 0, 'f', 4)
        .arg(r.bottom(), 0, 'f', 4);
}


} // namespace

class TestTool : public QObject, private SampleFiles
{
    Q_OBJECT

private slots:
    void init() { dir = std::make_unique<QTemporaryDir>(); }
    void cleanup()
    {
        QDir::setCurrent(QDir::tempPath());
        dir.reset();
    }


    void fillOrders_data();
    void fillOrders();
    void marksAndFramesStayOffThePages_data();
    void marksAndFramesStayOffThePages();
    void selectionAndPartialLastSheet();
    void someSheetsAsTheWholeRun_data();
    void someSheetsAsTheWholeRun();
    void answersReadAsWritten_data();
    void answersReadAsWritten();
    void rotationTurnsPages();
    void fitToSheetWithMarginsAndLines();
    void visibleAreaOnly();
    void sharesResourcesAndKeepsText();
    void backsLieBehindTheirFronts_data();
    void backsLieBehindTheirFronts();
    void bleedStopsAtTheNeighboursTrim();
    void fitAndTurn_data();
    void fitAndTurn();
    void calibrationBackAsTheWorksBacks_data();
    void calibrationBackAsTheWorksBacks();
    void hugeSheetUsesUserUnit_data();
    void hugeSheetUsesUserUnit();

};


void TestTool::fillOrders_data()
{
    QTest::addColumn<QString>("order");
    QTest::addColumn<int>("cols");
    QTest::addColumn<int>("rows");
    QTest::addColumn<QString>("grid");  // page numbers of the first sheet, row by row from the top
    QTest::newRow("2x2 H") << "H" << 2 << 2 << "1 2 3 4";
    QTest::newRow("2x2 HR") << "HR" << 2 << 2 << "2 1 4 3";
    QTest::newRow("2x2 V") << "V" << 2 << 2 << "1 3 2 4";
    QTest::newRow("2x2 VR") << "VR" << 2 << 2 << "3 1 4 2";
    QTest::newRow("3x2 VR") << "VR" << 3 << 2 << "5 3 1 6 4 2";
    QTest::newRow("3x2 V") << "V" << 3 << 2 << "1 3 5 2 4 6";
}

void TestTool::fillOrders()
{
    QFETCH(QString, order);
    QFETCH(int, cols);
    QFETCH(int, rows);
    QFETCH(QString, grid);
    const QString in = sample(QStringLiteral("in.pdf"), cols * rows);
    const QString out = path(QStringLiteral("out.pdf"));
    const Run run = runTool({"-rt", "0", "-order", order, "-per", QStringLiteral("%1*%2").arg(cols).arg(rows), in, out});
    QCOMPARE(run.exitCode, 0);
    QSizeF sheet;
    const auto placed = pagePositions(out, &sheet);
    QCOMPARE(sheet, QSizeF(cols * 595, rows * 842));
    QStringList seen(cols * rows);
    for (auto it = placed.cbegin(); it != placed.cend(); ++it) {
        const int col = int(it->centre.x() / 595), row = int(it->centre.y() / 842);
        seen[row * cols + col] = QString::number(it.key());
    }
    QCOMPARE(seen.join(QLatin1Char(' ')), grid);
}

void TestTool::marksAndFramesStayOffThePages_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("marksPerPage");  // -1: some are cut where pages meet
    QTest::newRow("2x2 with room") << QStringList{"-l", "20", "mm", "-r", "20", "mm", "-t", "20", "mm", "-b", "20", "mm",
                                                  "-gx", "20", "mm", "-gy", "20", "mm", "-per", "2*2"}
                                   << 8;
    QTest::newRow("3x1 without gutters") << QStringList{"-l", "20", "mm", "-r", "20", "mm", "-t", "20", "mm", "-b", "20", "mm",
                                                        "-per", "3*1"}
                                         << -1;
    QTest::newRow("booklet, crept") << QStringList{"-booklet", "-creep", "4", "mm", "-gx", "6", "mm", "-l", "15", "mm",
                                                   "-r", "15", "mm", "-t", "15", "mm", "-b", "15", "mm"}
                                    << -1;
}

void TestTool::marksAndFramesStayOffThePages()
{
    QFETCH(QStringList, options);
    QFETCH(int, marksPerPage);
    const QString in = sample(QStringLiteral("in.pdf"), 8);
    const QString out = path(QStringLiteral("out.pdf"));
    QCOMPARE(runTool(QStringList(options) << "-cropmarks" << "5" << "mm" << "-frame" << "2" << in << out).exitCode, 0);
    QPDF q;
    q.processFile(out.toLocal8Bit().constData());
    std::vector<QPDFObjectHandle> sheets;
    const auto landed = readPlacements(q, &sheets);
    static const QRegularExpression markGroup(QStringLiteral("q 0\\.25 w 0 G\n([^Q]*)Q"));
    static const QRegularExpression frameGroup(QStringLiteral("q 2 w 0 G\n([^Q]*)Q"));
    static const QRegularExpression segment(QStringLiteral("(\\S+) (\\S+) m (\\S+) (\\S+) l S"));
    static const QRegularExpression rect(QStringLiteral("(\\S+) (\\S+) (\\S+) (\\S+) re S"));
    const double length = 5 * 72 / 25.4, offset = 3;
    for (size_t s = 0; s < sheets.size(); ++s) {
        QList<QRectF> pages;
        for (const PagePlacement &p : landed) {
            if (p.sheet == int(s))
                pages << p.landing();
        }
        const QString content = streamText(sheets[s].getKey("/Contents"));
        // Frames: just outside each page, covering none of it.
        QStringList frames;
        for (auto it = rect.globalMatch(frameGroup.match(content).captured(1)); it.hasNext();) {
            const auto m = it.next();
            const QRectF r(m.captured(1).toDouble(), m.captured(2).toDouble(), m.captured(3).toDouble(), m.captured(4).toDouble());
            bool found = false;
            for (const QRectF &page : pages)
                found = found || near(r, page.adjusted(-1, -1, 1, 1));
            QVERIFY2(found, qPrintable(describe(r)));
            frames << describe(r);
        }
        QCOMPARE(frames.size(), pages.size());
        // Marks: each on the line of an edge of its page, starting outside it at a corner,
        // never over any page.
        QMap<int, int> perPage;
        for (auto it = segment.globalMatch(markGroup.match(content).captured(1)); it.hasNext();) {
            const auto m = it.next();
            const QLineF mark(m.captured(1).toDouble(), m.captured(2).toDouble(), m.captured(3).toDouble(), m.captured(4).toDouble());
            QVERIFY(mark.length() > 0 && mark.length() <= length + kPlacementTolerance);
            const QRectF span = QRectF(mark.p1(), mark.p2()).normalized().adjusted(-0.125, -0.125, 0.125, 0.125);
            int owner = -1;
            for (int i = 0; i < pages.size(); ++i) {
                QVERIFY2(!span.intersects(pages[i]), qPrintable(QStringLiteral("a mark over a page on sheet %1").arg(s + 1)));
                const QRectF &p = pages[i];
                for (const QPointF corner : {p.topLeft(), p.topRight(), p.bottomLeft(), p.bottomRight()}) {
                    const double near1 = QLineF(corner, mark.p1()).length(), near2 = QLineF(corner, mark.p2()).length();
                    if (std::fabs(std::min(near1, near2) - offset) < kPlacementTolerance
                        && (std::fabs(mark.x1() - corner.x()) < kPlacementTolerance
                            || std::fabs(mark.y1() - corner.y()) < kPlacementTolerance))
                        owner = i;
                }
            }
            QVERIFY2(owner >= 0, "a mark away from any corner");
            ++perPage[owner];
        }
        for (int i = 0; i < pages.size(); ++i) {
            if (marksPerPage > 0)
                QCOMPARE(perPage.value(i), marksPerPage);
            else
                QVERIFY(perPage.value(i) > 0);
        }
    }
}

void TestTool::someSheetsAsTheWholeRun_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("sheet");
    QTest::addColumn<int>("sheets");
    QTest::newRow("2x2, the second") << QStringList{"-per", "2*2", "-l", "5", "mm"} << 2 << 3;
    QTest::newRow("booklet back, long edge") << QStringList{"-booklet", "-duplex", "long", "-backshift", "1", "-2", "mm",
                                                          "-cropmarks", "3", "mm"} << 4 << 6;
    QTest::newRow("cards, slug") << QStringList{"-per", "3*1", "-duplex", "short", "-b", "12", "mm", "-slug"} << 4 << 4;
    QTest::newRow("links, fields, bookmarks") << QStringList{"-per", "1*1", "annotated"} << 2 << 4;
    QTest::newRow("bleed on trimmed pages") << QStringList{"-per", "2*1", "-bleed", "3", "mm", "trimmed"} << 3 << 5;
    QTest::newRow("cut apart, a back") << QStringList{"-cut", "-booklet", "-scan", "backs-reversed", "annotated"} << 3 << 8;
    QTest::newRow("a poster's tile") << QStringList{"-poster", "2*2", "-overview", "-pr", "2-3"} << 4 << 10;
}

void TestTool::someSheetsAsTheWholeRun()
{
    QFETCH(QStringList, options);
    QFETCH(int, sheet);
    QFETCH(int, sheets);
    QString in = sample(QStringLiteral("in.pdf"), 10);
    if (options.removeAll(QStringLiteral("annotated"))) {
        in = path(QStringLiteral("annotated.pdf"));
        writeAnnotatedPdf(in.toStdString());
    }
    if (options.removeAll(QStringLiteral("trimmed"))) {
        std::vector<SamplePage> pages = mixedSamplePages(10);
        for (SamplePage &page : pages)
            page.trimInset = 20;
        writeSamplePdf(in.toStdString(), pages);
    }
    const QString whole = path(QStringLiteral("whole.pdf")), one = path(QStringLiteral("one.pdf"));
    QCOMPARE(runTool(QStringList(options) << in << whole).exitCode, 0);
    const Run run = runTool(QStringList(options) << "-sheets" << QString::number(sheet) << in << one);
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(run.out.contains(QRegularExpression(QStringLiteral("sheets=%1\r?\n").arg(sheets))), qPrintable(run.out));
    QCOMPARE(pageCount(one), 1);
    // The same drawing: the sheet's content, and where each page landed.
    auto contentOf = [](const QString &file, int index) {
        QPDF q;
        q.processFile(file.toLocal8Bit().constData());
        return streamText(QPDFPageDocumentHelper(q).getAllPages().at(size_t(index)).getObjectHandle().getKey("/Contents"));
    };
    QCOMPARE(contentOf(one, 0), contentOf(whole, sheet - 1));
    // (A page cut apart, or a poster's, is drawn on many pages: its drawing says where.)
    const auto wholePages = pagePositions(whole), onePages = pagePositions(one);
    QVERIFY(!onePages.isEmpty());
    for (auto it = onePages.cbegin(); it != onePages.cend() && !options.contains("-cut") && !options.contains("-poster"); ++it)
        QCOMPARE(wholePages.value(it.key()).centre, it->centre);

    // The tool that stays for the sheets window, asked for another sheet first (other options,
    // pages turned), draws this sheet as the whole run does too.
    QProcess server;
    server.start(QStringLiteral(PDFPLYJOIN_PATH), {QStringLiteral("--serve"), in});
    QVERIFY(server.waitForStarted());
    protocol::AnswerReader answers;
    const auto ask = [&server, &answers](const QStringList &words) {
        server.write((words.join(QLatin1Char('\n')) + QStringLiteral("\n\n")).toUtf8());
        while (server.waitForReadyRead(30000) || server.bytesAvailable()) {
            const QByteArray bytes = server.readAll();
            answers.feed(bytes.constData(), size_t(bytes.size()));
            if (const std::optional<protocol::Answer> answer = answers.next())
                return QByteArray::fromStdString(answer->made ? answer->pdf : answer->said);
        }
        return QByteArray();
    };
    ask({"-per", "1*1", "-rt", "90", "-sheets", "1"});
    const QString served = path(QStringLiteral("served.pdf"));
    QFile file(served);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(ask(QStringList(options) << "-sheets" << QString::number(sheet)));
    file.close();
    server.closeWriteChannel();
    QVERIFY(server.waitForFinished(30000));
    const auto servedPages = pagePositions(served);
    QCOMPARE(contentOf(served, 0), contentOf(one, 0));
    QCOMPARE(servedPages.size(), onePages.size());
    for (auto it = servedPages.cbegin(); it != servedPages.cend(); ++it) {
        QCOMPARE(onePages.value(it.key()).centre, it->centre);
        QCOMPARE(onePages.value(it.key()).size, it->size);
    }
}

void TestTool::answersReadAsWritten_data()
{
    QTest::addColumn<QByteArray>("written");  // by the tool's writers
    QTest::addColumn<bool>("made");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<qlonglong>("sheets");
    QTest::addColumn<QString>("pages");  // each side's pages, sides parted by "|"
    QTest::addColumn<QString>("shows");  // each side's words, parted by "|"
    QTest::addColumn<QStringList>("warnings");
    QTest::addColumn<QByteArray>("pdf");
    const auto made = [](const protocol::Sides &sides, const std::vector<std::string> &warnings, const QByteArray &pdf) {
        return QByteArray::fromStdString(protocol::answerHead(sides, warnings, size_t(pdf.size()))) + pdf;
    };
    // Bytes of a PDF that look like the answer's own lines.
    const QByteArray tricky("%PDF-1.7\nerror=1 no\npdf=3\nsheets=9\n\0\xff\n");
    QTest::newRow("a sheet of pages") << made({12, {{3, 1}}, {""}}, {"page 3 is larger than its cell"}, tricky) << true
                                      << 0 << "" << 12LL << "3,1" << "" << QStringList{"page 3 is larger than its cell"}
                                      << tricky;
    QTest::newRow("a part cut from a sheet, the words on one line")
        << made({8, {{5}}, {"cut from sheet 2,\nback"}}, {"a link\nacross"}, "%PDF") << true << 0 << "" << 8LL << "5"
        << "cut from sheet 2, back" << QStringList{"a link across"} << QByteArray("%PDF");
    QTest::newRow("a blank side, and an empty PDF") << made({1, {{}}, {}}, {}, "") << true << 0 << "" << 1LL << ""
                                                    << "" << QStringList{} << QByteArray();
    QTest::newRow("refused: no such sheet, the sides known")
        << QByteArray::fromStdString(protocol::refusal(1, "there is no sheet 9:\nthe run makes 4", 4)) << false << 1
        << "there is no sheet 9: the run makes 4" << 4LL << "" << "" << QStringList{} << QByteArray();
    QTest::newRow("refused: words that are wrong")
        << QByteArray::fromStdString(protocol::refusal(2, "-per 0*1: no grid")) << false << 2 << "-per 0*1: no grid"
        << -1LL << "" << "" << QStringList{} << QByteArray();
}

// What the tool writes, the program reads back as it was meant, in whatever pieces it
// arrives, one answer after another.
void TestTool::answersReadAsWritten()
{
    QFETCH(QByteArray, written);
    QFETCH(bool, made);
    QFETCH(int, status);
    QFETCH(QString, reason);
    QFETCH(qlonglong, sheets);
    QFETCH(QString, pages);
    QFETCH(QString, shows);
    QFETCH(QStringList, warnings);
    QFETCH(QByteArray, pdf);
    for (const qsizetype piece : {qsizetype(1), qsizetype(5), written.size() * 2}) {
        protocol::AnswerReader reader;
        const QByteArray twice = written + written;
        QList<protocol::Answer> answers;
        for (qsizetype at = 0; at < twice.size(); at += piece) {
            const QByteArray chunk = twice.mid(at, piece);
            reader.feed(chunk.constData(), size_t(chunk.size()));
            while (std::optional<protocol::Answer> answer = reader.next())
                answers << *answer;
        }
        QCOMPARE(answers.size(), 2);
        for (const protocol::Answer &a : answers) {
            QCOMPARE(a.made, made);
            QCOMPARE(a.status, status);
            QCOMPARE(QString::fromStdString(a.reason), reason);
            QCOMPARE(a.sides.sheets, sheets);
            QStringList sides, words;
            for (size_t n = 0; n < a.sides.pages.size(); ++n) {
                QStringList numbers;
                for (int page : a.sides.pages[n])
                    numbers << QString::number(page);
                sides << numbers.join(QLatin1Char(','));
                words << QString::fromStdString(a.sides.shows.at(n));
            }
            QCOMPARE(sides.join(QLatin1Char('|')), pages);
            QCOMPARE(words.join(QLatin1Char('|')), shows);
            QStringList said;
            for (const std::string &w : a.warnings)
                said << QString::fromStdString(w);
            QCOMPARE(said, warnings);
            QCOMPARE(QByteArray::fromStdString(a.pdf), pdf);
        }
    }
}

void TestTool::selectionAndPartialLastSheet()
{
    const QString in = sample(QStringLiteral("in.pdf"), 11);
    const QString out = path(QStringLiteral("out.pdf"));
    QCOMPARE(runTool({"-odd", "-per", "2*2", in, out}).exitCode, 0);
    QCOMPARE(pageCount(out), 2);  // 6 odd pages: one full sheet, one with two cells
    QCOMPARE(pagePositions(out).keys(), (QList<int>{1, 3, 5, 7, 9, 11}));
    QCOMPARE(runTool({"-pr", "10-,", "1,", "3", "-per", "2*1", in, out}).exitCode, 0);
    const auto placed = pagePositions(out);
    QCOMPARE(placed.keys(), (QList<int>{1, 3, 10, 11}));
    QCOMPARE(placed[10].sheet, 1);
    QCOMPARE(placed[1].sheet, 2);
    const Run none = runTool({"-pr", "40-50", in, out});
    QCOMPARE(none.exitCode, 1);
    QVERIFY(none.err.contains(QStringLiteral("no page")));
}

void TestTool::rotationTurnsPages()
{
    SamplePage landscape;
    landscape.width = 842;
    landscape.height = 595;
    const QString in = sample(QStringLiteral("in.pdf"), 2, landscape);
    const QString out = path(QStringLiteral("out.pdf"));
    QCOMPARE(runTool({"-rt", "90", "-per", "2*1", in, out}).exitCode, 0);
    QSizeF sheet;
    pagePositions(out, &sheet);
    QCOMPARE(sheet, QSizeF(2 * 595, 842));  // each page now stands upright
    // A page with its own /Rotate keeps looking as it did.
    SamplePage rotated;
    rotated.rotate = 90;
    QCOMPARE(runTool({"-per", "1*1", sample(QStringLiteral("r.pdf"), 1, rotated), out}).exitCode, 0);
    pagePositions(out, &sheet);
    QCOMPARE(sheet, QSizeF(842, 595));
}

void TestTool::fitToSheetWithMarginsAndLines()
{
    const QString in = sample(QStringLiteral("in.pdf"), 6);
    const QString out = path(QStringLiteral("out.pdf"));
    const Run run = runTool({"-addline", "255", "0", "0", "-order", "VR", "-l", "10", "mm", "-r", "10", "mm", "-t", "10", "mm",
                             "-b", "10", "mm", "-gx", "5", "mm", "-gy", "5", "mm", "-size", "Custom", "297", "mm", "210",
                             "mm", "-per", "3*2", in, out});
    QCOMPARE(run.exitCode, 0);
    QSizeF sheet;
    const auto placed = pagePositions(out, &sheet);
    QCOMPARE(sheet.toSize(), QSize(842, 595));
    QCOMPARE(placed.size(), 6);
    // Each page fitted into its cell and centred there; page 1 in the rightmost column, top
    // row, page 2 below it.
    QPDF q;
    q.processFile(out.toLocal8Bit().constData());
    QList<QLineF> lines;
    const auto landed = readPlacements(q, nullptr, &lines);
    const double mm = 72 / 25.4, w = 297 * mm, h = 210 * mm;
    const double cellW = (w - 20 * mm - 10 * mm) / 3, cellH = (h - 20 * mm - 5 * mm) / 2;
    const double scale = std::min(cellW / 595, cellH / 842);
    for (int page = 1; page <= 6; ++page) {
        const int col = 2 - (page - 1) / 2, row = (page - 1) % 2;
        const QPointF centre(10 * mm + col * (cellW + 5 * mm) + cellW / 2, h - 10 * mm - row * (cellH + 5 * mm) - cellH / 2);
        const QRectF expected(centre.x() - 595 * scale / 2, centre.y() - 842 * scale / 2, 595 * scale, 842 * scale);
        QVERIFY2(near(landed[page].landing(), expected),
                 qPrintable(QStringLiteral("page %1 at %2, not %3").arg(page).arg(describe(landed[page].landing()), describe(expected))));
    }
    // The lines run down the middle of the gutters, along the grid.
    QCOMPARE(lines.size(), 3);
    const double x1 = 10 * mm + cellW + 2.5 * mm, y1 = h - 10 * mm - cellH - 2.5 * mm;
    QVERIFY(near(QRectF(lines[0].p1(), lines[0].p2()), QRectF(QPointF(x1, 10 * mm), QPointF(x1, h - 10 * mm))));
    QVERIFY(near(QRectF(lines[2].p1(), lines[2].p2()), QRectF(QPointF(10 * mm, y1), QPointF(w - 10 * mm, y1))));
    const auto data = QPDFPageDocumentHelper(q).getAllPages().at(0).getObjectHandle()
                          .getKey("/Contents").getStreamData(qpdf_dl_generalized);
    const std::string content(reinterpret_cast<const char *>(data->getBuffer()), data->getSize());
    QVERIFY(QString::fromStdString(content).contains(QStringLiteral("0.5 w 1 0 0 RG")));
    QCOMPARE(QString::fromStdString(content).count(QStringLiteral(" l S")), 2 + 1);
    // No room left is an error, not a broken sheet.
    const Run tight = runTool({"-l", "300", "mm", "-size", "Custom", "297", "mm", "210", "mm", in, path("t.pdf")});
    QCOMPARE(tight.exitCode, 1);
    QVERIFY(tight.err.contains(QStringLiteral("no room")));
}

void TestTool::visibleAreaOnly()
{
    SamplePage cropped;
    cropped.cropped = true;
    cropped.cropInset = 60;
    cropped.originX = 30;
    cropped.originY = -40;
    const QString in = sample(QStringLiteral("in.pdf"), 1, cropped);
    const QString out = path(QStringLiteral("out.pdf"));
    QCOMPARE(runTool({"-per", "1*1", in, out}).exitCode, 0);
    QPDF q;
    q.processFile(out.toLocal8Bit().constData());
    QPDFPageObjectHelper sheet = QPDFPageDocumentHelper(q).getAllPages().at(0);
    const auto media = sheet.getMediaBox().getArrayAsRectangle();
    QCOMPARE(media.urx - media.llx, 595.0 - 120);
    QCOMPARE(media.ury - media.lly, 842.0 - 120);
    // The placed form is clipped to the crop box: nothing outside it can show.
    QPDFObjectHandle form = sheet.getObjectHandle().getKey("/Resources").getKey("/XObject").getKey("/Fx1");
    const auto bbox = form.getDict().getKey("/BBox").getArrayAsRectangle();
    QCOMPARE(bbox.llx, 90.0);
    QCOMPARE(bbox.lly, 20.0);
    QCOMPARE(bbox.urx, 30 + 595 - 60.0);
    if (!QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty()) {
        QProcess p;
        p.start(QStringLiteral("pdftotext"), {out, QStringLiteral("-")});
        p.waitForFinished();
        QVERIFY(!p.readAllStandardOutput().contains("HIDDEN"));
    }
}

void TestTool::sharesResourcesAndKeepsText()
{
    std::vector<SamplePage> pages = mixedSamplePages(12);
    writeSamplePdf(path("in.pdf").toStdString(), pages);
    const QString out = path(QStringLiteral("out.pdf"));
    QCOMPARE(runTool({"-per", "3*3", path("in.pdf"), out}).exitCode, 0);
    QCOMPARE(pagePositions(out).keys().size(), 12);  // every page's text is still text
    QPDF q;
    q.processFile(out.toLocal8Bit().constData());
    int fonts = 0;
    for (QPDFObjectHandle obj : q.getAllObjects())
        fonts += obj.isDictionary() && obj.getKey("/Type").isNameAndEquals("/Font");
    QCOMPARE(fonts, 1);
    QVERIFY(QFileInfo(out).size() < 2 * QFileInfo(path("in.pdf")).size());
}

void TestTool::backsLieBehindTheirFronts_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("pages");
    QTest::addColumn<QString>("behind");  // back page:front page
    QTest::addColumn<QString>("axis");    // the sheet turns over: x (left and right swap) or y
    QTest::addColumn<QPointF>("shift");   // millimetres on the sheet, right and up
    const QStringList a4 = {"-size", "Custom", "210", "mm", "297", "mm"};
    const QString nUp = QStringLiteral("5:1 6:2 7:3 8:4");
    QTest::newRow("long edge, uneven left and right") << (QStringList{"-per", "2*2", "-duplex", "long", "-l", "20", "mm",
                                                                     "-r", "5", "mm"} + a4)
                                                      << 8 << nUp << "x" << QPointF();
    QTest::newRow("short edge, uneven top and bottom") << (QStringList{"-per", "2*2", "-duplex", "short", "-t", "25", "mm",
                                                                      "-b", "5", "mm"} + a4)
                                                       << 8 << nUp << "y" << QPointF();
    QTest::newRow("back shift: 2 right, 3 up") << (QStringList{"-per", "2*2", "-duplex", "long", "-l", "20", "mm",
                                                              "-backshift", "2", "3", "mm"} + a4)
                                               << 8 << nUp << "x" << QPointF(2, 3);
    QTest::newRow("booklet, uneven left and right") << QStringList{"-booklet", "-l", "20", "mm", "-r", "5", "mm"} << 4
                                                    << "2:1 3:4" << "x" << QPointF();
    // Turned for a long-edge printer, after its shift in its own directions.
    QTest::newRow("booklet, long edge, back shift") << QStringList{"-booklet", "-duplex", "long", "-l", "20", "mm",
                                                                   "-backshift", "2", "3", "mm"}
                                                    << 4 << "2:1 3:4" << "y" << QPointF(-2, -3);
}

// Held against the light, every page of a back lies exactly behind its front's partner.
void TestTool::backsLieBehindTheirFronts()
{
    QFETCH(QStringList, options);
    QFETCH(int, pages);
    QFETCH(QString, behind);
    QFETCH(QString, axis);
    QFETCH(QPointF, shift);
    const QString in = sample(QStringLiteral("in.pdf"), pages), out = path(QStringLiteral("out.pdf"));
    QCOMPARE(runTool(QStringList(options) << in << out).exitCode, 0);
    QPDF q;
    q.processFile(out.toLocal8Bit().constData());
    std::vector<QPDFObjectHandle> sheets;
    const auto landed = readPlacements(q, &sheets);
    const auto media = QPDFPageObjectHelper(sheets.front()).getMediaBox().getArrayAsRectangle();
    const double mm = 72 / 25.4;
    for (const QString &pair : behind.split(QLatin1Char(' '))) {
        const int back = pair.section(QLatin1Char(':'), 0, 0).toInt(), front = pair.section(QLatin1Char(':'), 1).toInt();
        QCOMPARE(landed[back].sheet, landed[front].sheet + 1);
        const QRectF f = landed[front].landing();
        QRectF expected = axis == QLatin1String("x")
                              ? QRectF(QPointF(media.urx - f.right(), f.top()), QPointF(media.urx - f.left(), f.bottom()))
                              : QRectF(QPointF(f.left(), media.ury - f.bottom()), QPointF(f.right(), media.ury - f.top()));
        expected.translate(shift * mm);
        QVERIFY2(near(landed[back].landing(), expected),
                 qPrintable(QStringLiteral("page %1 at %2, behind page %3 is %4")
                                .arg(back).arg(describe(landed[back].landing())).arg(front).arg(describe(expected))));
    }
}

// Cards with 3 mm of bleed, 2 mm apart: each card's artwork runs into the gutter as far as
// the neighbour's trim, and no farther.
void TestTool::bleedStopsAtTheNeighboursTrim()
{
    SamplePage card;
    card.width = 91 * 72 / 25.4;
    card.height = 61 * 72 / 25.4;
    card.trimInset = 3 * 72 / 25.4;
    const QString in = sample(QStringLiteral("cards.pdf"), 1, card), out = path(QStringLiteral("out.pdf"));
    QCOMPARE(runTool({"-per", "2*1", "-repeat", "-bleed", "3", "mm", "-gx", "2", "mm", in, out}).exitCode, 0);
    QPDF q;
    q.processFile(out.toLocal8Bit().constData());
    const QString content = streamText(QPDFPageDocumentHelper(q).getAllPages().front().getObjectHandle().getKey("/Contents"));
    static const QRegularExpression drawn(QStringLiteral("q (\\S+) (\\S+) (\\S+) (\\S+) re W n (\\S+) \\S+ \\S+ (\\S+) (\\S+) (\\S+) cm"));
    QList<QRectF> clips, trims;
    const double inset = card.trimInset;
    for (auto it = drawn.globalMatch(content); it.hasNext();) {
        const auto m = it.next();
        clips << QRectF(m.captured(1).toDouble(), m.captured(2).toDouble(), m.captured(3).toDouble(), m.captured(4).toDouble());
        const double scale = m.captured(5).toDouble(), e = m.captured(7).toDouble(), f = m.captured(8).toDouble();
        trims << QRectF(e + scale * inset, f + scale * inset, scale * (card.width - 2 * inset), scale * (card.height - 2 * inset));
    }
    QCOMPARE(clips.size(), 2);
    const double bleed = 3 * 72 / 25.4;
    QVERIFY(near(clips[0], trims[0].adjusted(-bleed, -bleed, trims[1].left() - trims[0].right(), bleed)));
    QVERIFY(near(clips[1], trims[1].adjusted(trims[0].right() - trims[1].left(), -bleed, bleed, bleed)));
}

void TestTool::fitAndTurn_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QList<QSizeF>>("pages");  // points; a "card" is 91 x 61 mm with 3 mm of bleed
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("landed");     // page:width x height in mm and its turn, by page
    QTest::addColumn<QString>("said");       // in the tool's output
    const QSizeF a4(595, 842), landscape(842, 595), square(50 * 72 / 25.4, 50 * 72 / 25.4), card(-1, -1);
    const QStringList cells = {"-per", "2*1", "-size", "Custom", "200", "mm", "100", "mm"};  // 100 x 100 mm
    QTest::newRow("fit: each page fills its cell") << cells << QList<QSizeF>{a4, square} << 0
                                                   << "1:70.7x100 upright 2:100x100 upright" << "";
    QTest::newRow("actual: at its own size, the larger named")
        << (cells + QStringList{"-fit", "actual"}) << QList<QSizeF>{a4, square} << 0 << "1:209.9x297 upright 2:50x50 upright"
        << "page 1 at actual size is larger than the cells (100 x 100 mm)";
    QTest::newRow("shrink: only the larger scaled down") << (cells + QStringList{"-fit", "shrink"})
                                                         << QList<QSizeF>{a4, square} << 0
                                                         << "1:70.7x100 upright 2:50x50 upright" << "";
    QTest::newRow("actual with a bleed refuses what is larger")
        << (cells + QStringList{"-fit", "actual", "-bleed", "3", "mm"}) << QList<QSizeF>{a4, square} << 2 << ""
        << "page 1 of";
    // Step and repeat with a bleed: the cards keep their size, so their trim is 85 x 55 mm.
    QTest::newRow("cards at their trim size")
        << QStringList{"-per", "2*4", "-repeat", "-bleed", "3", "mm", "-cropmarks", "4", "mm", "-gx", "10", "mm",
                       "-gy", "10", "mm", "-l", "12", "mm", "-r", "12", "mm", "-t", "12", "mm", "-b", "12", "mm",
                       "-size", "A4"}
        << QList<QSizeF>{card} << 0 << "1:91x61 upright" << "";
    QTest::newRow("turned: a portrait page in a landscape cell") << QStringList{"-per", "1*1", "-size", "A4", "landscape",
                                                                               "-autorotate"}
                                                                 << QList<QSizeF>{a4} << 0 << "1:297x209.9 clockwise" << "";
    QTest::newRow("turned: a landscape page in a portrait cell")
        << QStringList{"-per", "2*1", "-size", "A4", "landscape", "-autorotate"} << QList<QSizeF>{a4, landscape} << 0
        << "1:148.4x210 upright 2:148.4x210 clockwise" << "";
    QTest::newRow("turned: mixed sizes, cells made for the turned") << QStringList{"-per", "3*1", "-autorotate"}
                                                                    << QList<QSizeF>{a4, landscape, a4} << 0
                                                                    << "1:209.9x297 upright 2:209.9x297 clockwise "
                                                                       "3:209.9x297 upright"
                                                                    << "sizes: 2 pages of 209.9 x 297 mm, 1 of 297 x 209.9 mm";
    QTest::newRow("turned: a back the other way") << QStringList{"-per", "1*1", "-duplex", "long", "-size", "A4",
                                                                 "landscape", "-autorotate"}
                                                  << QList<QSizeF>{a4, a4} << 0 << "1:297x209.9 clockwise 2:297x209.9 anticlockwise"
                                                  << "";
    QTest::newRow("turned after -rt") << QStringList{"-per", "1*1", "-size", "A4", "-rt", "90", "-autorotate"}
                                      << QList<QSizeF>{a4} << 0 << "1:209.9x297 upside down" << "";
}

// Where each page lands and how it is turned, measured on the sheets.
void TestTool::fitAndTurn()
{
    QFETCH(QStringList, options);
    QFETCH(QList<QSizeF>, pages);
    QFETCH(int, exitCode);
    QFETCH(QString, landed);
    QFETCH(QString, said);
    std::vector<SamplePage> samples;
    for (const QSizeF &size : pages) {
        SamplePage page;
        if (size.width() < 0) {  // a card
            page.width = 91 * 72 / 25.4, page.height = 61 * 72 / 25.4, page.trimInset = 3 * 72 / 25.4;
        } else {
            page.width = size.width(), page.height = size.height();
        }
        samples.push_back(page);
    }
    const QString in = path(QStringLiteral("in.pdf")), out = path(QStringLiteral("out.pdf"));
    writeSamplePdf(in.toStdString(), samples);
    const Run run = runTool(QStringList(options) << in << out);
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY2((run.err + run.out).contains(said), qPrintable(run.err + run.out));
    if (exitCode != 0)
        return;
    QPDF q;
    q.processFile(out.toLocal8Bit().constData());
    QStringList read;
    const auto placements = readPlacements(q);
    for (auto it = placements.cbegin(); it != placements.cend(); ++it) {
        const QRectF r = it->landing();
        const auto mm = [](double points) { return QString::number(std::round(points * 25.4 / 72 * 10) / 10); };
        const QString turn = it->a > 0 ? QStringLiteral("upright") : it->a < 0 ? QStringLiteral("upside down")
                             : it->b < 0                            ? QStringLiteral("clockwise")
                                                                    : QStringLiteral("anticlockwise");
        read << QStringLiteral("%1:%2x%3 %4").arg(it.key()).arg(mm(r.width()), mm(r.height()), turn);
    }
    QCOMPARE(read.join(QLatin1Char(' ')), landed);
}

void TestTool::calibrationBackAsTheWorksBacks_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QPointF>("centre");  // where the rulers' centre lands, from the sheet's, mm
    QTest::addColumn<bool>("turned");
    QTest::newRow("as it is") << QStringList{} << QPointF() << false;
    QTest::newRow("short edge, back shift") << QStringList{"-duplex", "short", "-backshift", "2", "3", "mm"} << QPointF(2, 3)
                                            << false;
    QTest::newRow("N-up, long edge: never turned") << QStringList{"-duplex", "long", "-backshift", "2", "3", "mm"}
                                                   << QPointF(2, 3) << false;
    QTest::newRow("landscape booklet, long edge, back shift: turned after")
        << QStringList{"-booklet", "-size", "A4", "landscape", "-duplex", "long", "-backshift", "2", "3", "mm"}
        << QPointF(-2, -3) << true;
    QTest::newRow("portrait booklet, long edge: as the fold") << QStringList{"-booklet", "-duplex", "long"} << QPointF()
                                                              << false;
    QTest::newRow("portrait booklet, short edge: turned") << QStringList{"-booklet", "-size", "A4", "-duplex", "short"}
                                                          << QPointF() << true;
}

// The test sheet's back is laid out as the work's backs are, so that printing it again with
// the measured shift puts the cross at the rulers' 0.
void TestTool::calibrationBackAsTheWorksBacks()
{
    QFETCH(QStringList, options);
    QFETCH(QPointF, centre);
    QFETCH(bool, turned);
    const QString out = path(QStringLiteral("test.pdf"));
    QCOMPARE(runTool(QStringList(options) << "-calibrate" << out).exitCode, 0);
    QPDF q;
    q.processFile(out.toLocal8Bit().constData());
    auto sides = QPDFPageDocumentHelper(q).getAllPages();
    QCOMPARE(int(sides.size()), 2);
    const auto media = sides.back().getMediaBox().getArrayAsRectangle();
    const QString back = streamText(sides.back().getObjectHandle().getKey("/Contents"));
    static const QRegularExpression cm(QStringLiteral("^q 0 g 0 G\n(\\S+) (\\S+) (\\S+) (\\S+) (\\S+) (\\S+) cm"));
    const auto m = cm.match(back);
    QVERIFY2(m.hasMatch(), qPrintable(back.left(80)));
    const double a = m.captured(1).toDouble(), d = m.captured(4).toDouble(), e = m.captured(5).toDouble(), f = m.captured(6).toDouble();
    QCOMPARE(a < 0 && d < 0, turned);
    const double mm = 72 / 25.4, cx = media.urx / 2, cy = media.ury / 2;
    QVERIFY(std::fabs(a * cx + e - (cx + centre.x() * mm)) < kPlacementTolerance);
    QVERIFY(std::fabs(d * cy + f - (cy + centre.y() * mm)) < kPlacementTolerance);
}

void TestTool::hugeSheetUsesUserUnit_data()
{
    QTest::addColumn<QSizeF>("page");  // points
    QTest::addColumn<int>("pages");
    QTest::addColumn<int>("cols");
    QTest::addColumn<int>("rows");
    QTest::addColumn<double>("gutter");  // inches
    QTest::newRow("2x2 of 200-inch pages, gutters, lines") << QSizeF(200 * 72, 200 * 72) << 4 << 2 << 2 << 1.0;
    QTest::newRow("100x100 of A6, three pages") << QSizeF(105 * 72 / 25.4, 148 * 72 / 25.4) << 3 << 100 << 100 << 0.0;
}

void TestTool::hugeSheetUsesUserUnit()
{
    QFETCH(QSizeF, page);
    QFETCH(int, pages);
    QFETCH(int, cols);
    QFETCH(int, rows);
    QFETCH(double, gutter);
    SamplePage poster;
    poster.width = page.width();
    poster.height = page.height();
    const QString in = sample(QStringLiteral("in.pdf"), pages, poster);
    const QString out = path(QStringLiteral("out.pdf"));
    const QString grid = QStringLiteral("%1*%2").arg(cols).arg(rows);
    const QString g = QString::number(gutter);
    QCOMPARE(runTool({"-addline", "0", "0", "0", "-gx", g, "in", "-gy", g, "in", "-per", grid, in, out}).exitCode, 0);
    QPDF q;
    q.processFile(out.toLocal8Bit().constData());
    QPDFPageObjectHelper sheet = QPDFPageDocumentHelper(q).getAllPages().at(0);
    const double unit = unitOf(sheet.getObjectHandle());
    const auto media = sheet.getMediaBox().getArrayAsRectangle();
    const double gap = gutter * 72, width = cols * page.width() + (cols - 1) * gap,
                 height = rows * page.height() + (rows - 1) * gap;
    QVERIFY(media.urx <= 14400 && media.ury <= 14400);
    QVERIFY(std::fabs(media.urx * unit - width) <= kPlacementTolerance);
    QVERIFY(std::fabs(media.ury * unit - height) <= kPlacementTolerance);

    // Every page and line lands exactly where it belongs, in points.
    QList<QLineF> lines;
    const auto landed = readPlacements(q, nullptr, &lines);
    for (int k = 0; k < pages; ++k) {
        const int col = k % cols, row = k / cols;
        const QRectF expected(col * (page.width() + gap), height - row * (page.height() + gap) - page.height(), page.width(),
                              page.height());
        QVERIFY2(near(landed[k + 1].landing(), expected),
                 qPrintable(QStringLiteral("page %1 at %2, not %3").arg(k + 1).arg(describe(landed[k + 1].landing()), describe(expected))));
    }
    QCOMPARE(lines.size(), cols - 1 + rows - 1);
    const double x = page.width() + gap / 2;
    QVERIFY(near(QRectF(lines.first().p1(), lines.first().p2()), QRectF(QPointF(x, 0), QPointF(x, height))));
    QVERIFY(near(QRectF(lines.last().p1(), lines.last().p2()),
                 QRectF(QPointF(0, height - (rows - 1) * (page.height() + gap) + gap / 2), QPointF(width, height - (rows - 1) * (page.height() + gap) + gap / 2))));
}

QTEST_MAIN(TestTool)
#include "tst_tool.moc"
