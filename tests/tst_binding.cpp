// Booklets as a binder meets them: the sheets the real tool writes are printed two-sided (in
// a model of the printer turning each sheet), stacked, folded and read back page by page.
#include "outputpdf.h"
#include "samplefiles.h"
#include "samplepdf.h"
#include "toolrun.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <qpdf/QPDF.hh>

namespace {

// A page as it lies on one printed side: its centre in points from the side's lower-left
// corner, and whether it is upside down there.
struct Printed
{
    int page;
    double x, y;
    bool upsideDown;
};
using Side = QList<Printed>;

// The output's sides, read back from its drawing.
QList<Side> printedSides(const QString &pdf, QSizeF &sheet)
{
    QPDF q;
    q.processFile(pdf.toLocal8Bit().constData());
    std::vector<QPDFObjectHandle> sheets;
    const auto placements = readPlacements(q, &sheets);
    QList<Side> sides(int(sheets.size()));
    const auto media = QPDFPageObjectHelper(sheets.front()).getMediaBox().getArrayAsRectangle();
    sheet = QSizeF(media.urx - media.llx, media.ury - media.lly);
    for (auto it = placements.cbegin(); it != placements.cend(); ++it) {
        const QPointF c = it->landing().center();
        sides[it->sheet].append({it.key(), c.x(), c.y(), it->a < 0 && it->d < 0});
    }
    return sides;
}

// A face of a leaf in the folded stack: its page, its place and the way its page's head
// points (+1 up, -1 down) as seen from the side it faces, which side that is (+1 towards
// the reader), and its layer (higher: nearer the reader).
struct Face
{
    int page;
    double x, y;
    int head;
    int facing;
    int layer;
};

// Prints the sides two-sided on a printer that turns each sheet about `edge` ("short" or
// "long"), gathers the sheets into signatures of `perSignature` sheets (0: one), folds each
// as the help says, `folds` in turn ('V' down the middle, the left half back, or the right
// one right to left; 'H' across, the top half back), and reads its leaves from the front: each
// page number in turn, "!" after one upside down, "_" for a blank face.
QStringList readFolded(const QList<Side> &sides, const QSizeF &sheet, const QString &edge, bool rightToLeft,
                       int perSignature, const QString &folds = QStringLiteral("V"))
{
    const double w = sheet.width(), h = sheet.height();
    const bool portrait = h >= w;
    // The printer turns a portrait sheet about an upright line on its long edge, a landscape
    // one on its short edge.
    const bool uprightTurn = (edge == QLatin1String("long")) == portrait;
    const int sheets = int(sides.size() + 1) / 2;
    const int per = perSignature > 0 ? perSignature : sheets;
    QStringList read;
    for (int first = 0; first < sheets; first += per) {
        QList<Face> faces;
        const int count = std::min(per, sheets - first);
        for (int k = 0; k < count; ++k) {
            const int layer = -k;  // the first sheet on top
            for (const Printed &p : sides.value(2 * (first + k)))
                faces.append({p.page, p.x, p.y, p.upsideDown ? -1 : 1, 1, layer});
            // The back as it lies behind the front once the printer has turned the sheet.
            for (const Printed &p : sides.value(2 * (first + k) + 1)) {
                const int head = p.upsideDown ? -1 : 1;
                faces.append(uprightTurn ? Face{p.page, w - p.x, p.y, head, -1, layer}
                                         : Face{p.page, p.x, h - p.y, -head, -1, layer});
            }
        }
        // Each fold: one half stays, the other turns behind the stack about the fold, its
        // layers in reverse; turned about a line across, its heads turn too.
        int bottom = 1 - count;
        double width = w, height = h;
        for (const QChar fold : folds) {
            const bool down = fold == QLatin1Char('V');
            for (Face &f : faces) {
                if (down ? (f.x < width / 2) != rightToLeft : f.y > height / 2) {
                    (down ? f.x : f.y) = (down ? width : height) - (down ? f.x : f.y);
                    f.head = down ? f.head : -f.head;
                    f.facing = -f.facing;
                    f.layer = 2 * bottom - 1 - f.layer;
                }
                if (down && !rightToLeft)
                    f.x -= width / 2;
            }
            (down ? width : height) /= 2;
            bottom = 2 * bottom - 1;
        }
        // Leaves from the front: the face towards the reader, then the one behind it (seen
        // by turning the leaf about the spine, which keeps heads up).
        for (int layer = 0; layer >= bottom; --layer) {
            for (const int facing : {1, -1}) {
                QStringList words;
                for (const Face &f : faces) {
                    if (f.layer == layer && f.facing == facing)
                        words << QString::number(f.page) + (f.head > 0 ? QString() : QStringLiteral("!"));
                }
                read << (words.isEmpty() ? QStringLiteral("_") : words.join(QLatin1Char('+')));
            }
        }
    }
    return read;
}

} // namespace

class TestBinding : public QObject, private SampleFiles
{
    Q_OBJECT

private slots:
    void init() { dir = std::make_unique<QTemporaryDir>(); }
    void cleanup() { dir.reset(); }

    void bookletsReadInOrderWhenFolded_data();
    void bookletsReadInOrderWhenFolded();
    void bindersMarks_data();
    void bindersMarks();
    void bookletSides_data();
    void bookletSides();
    void bookletCreep();
};

void TestBinding::bookletsReadInOrderWhenFolded_data()
{
    QTest::addColumn<int>("pages");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("edge");
    QTest::addColumn<int>("perSignature");
    QTest::addColumn<QString>("folds");
    const QStringList portrait{"-size", "A4"}, landscape{"-size", "A4", "landscape"};
    for (const QString &edge : {QStringLiteral("short"), QStringLiteral("long")}) {
        const QStringList duplex{"-duplex", edge};
        const QByteArray e = edge.toLatin1();
        QTest::newRow("landscape sheet, " + e) << 12 << QStringList(landscape + duplex) << edge << 0 << "V";
        QTest::newRow("portrait sheet, " + e) << 12 << QStringList(portrait + duplex) << edge << 0 << "V";
        QTest::newRow("pages' own size (landscape), " + e) << 6 << duplex << edge << 0 << "V";
        QTest::newRow("portrait sheet, right to left, " + e) << 10 << QStringList(portrait + duplex + QStringList{"-rtl"})
                                                            << edge << 0 << "V";
        QTest::newRow("signatures of 2, portrait, " + e)
            << 19 << QStringList(portrait + duplex + QStringList{"-signature", "2"}) << edge << 2 << "V";
        QTest::newRow("every sheet alone, landscape, right to left, " + e)
            << 9 << QStringList(landscape + duplex + QStringList{"-signature", "1", "-rtl"}) << edge << 1 << "V";
        const QStringList quarto{"-fold", "8"}, octavo{"-fold", "16"};
        QTest::newRow("quarto, portrait sheet, " + e) << 8 << QStringList(quarto + portrait + duplex) << edge << 0 << "HV";
        QTest::newRow("quarto, landscape sheet, " + e) << 8 << QStringList(quarto + landscape + duplex) << edge << 0
                                                       << "HV";
        QTest::newRow("quarto of 3 sheets, right to left, " + e)
            << 21 << QStringList(quarto + portrait + duplex + QStringList{"-rtl"}) << edge << 0 << "HV";
        QTest::newRow("quartos, perfect binding, " + e)
            << 20 << QStringList(quarto + portrait + duplex + QStringList{"-signature", "1"}) << edge << 1 << "HV";
        QTest::newRow("octavo, landscape sheet, " + e) << 16 << QStringList(octavo + landscape + duplex) << edge << 0
                                                       << "VHV";
        QTest::newRow("octavo, portrait sheet, right to left, " + e)
            << 16 << QStringList(octavo + portrait + duplex + QStringList{"-rtl"}) << edge << 0 << "VHV";
        QTest::newRow("octavos in signatures of 2, " + e)
            << 40 << QStringList(octavo + landscape + duplex + QStringList{"-signature", "2"}) << edge << 2 << "VHV";
    }
    // Without -duplex a booklet is made for the short edge.
    QTest::newRow("portrait sheet, no edge named") << 8 << portrait << "short" << 0 << "V";
}

// Each signature folded reads 1, 2, 3 ... upright; blank pages pad the last one.
void TestBinding::bookletsReadInOrderWhenFolded()
{
    QFETCH(int, pages);
    QFETCH(QStringList, options);
    QFETCH(QString, edge);
    QFETCH(int, perSignature);
    QFETCH(QString, folds);
    const QString out = path(QStringLiteral("booklet.pdf"));
    const Run run = runTool(QStringList{"-booklet"} + options + QStringList{sample(QStringLiteral("in.pdf"), pages), out});
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    QSizeF sheet;
    const QList<Side> sides = printedSides(out, sheet);
    const QStringList read = readFolded(sides, sheet, edge, options.contains(QStringLiteral("-rtl")), perSignature, folds);
    QStringList expected;
    for (int page = 1; page <= pages; ++page)
        expected << QString::number(page);
    while (expected.size() < read.size())
        expected << QStringLiteral("_");
    QCOMPARE(read.join(QLatin1Char(' ')), expected.join(QLatin1Char(' ')));
}

void TestBinding::bindersMarks_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("pages");
    QTest::newRow("folio") << QStringList{"-booklet", "-size", "A4", "landscape"} << 16;
    QTest::newRow("folios alone") << QStringList{"-booklet", "-signature", "1", "-size", "A4", "landscape"} << 12;
    QTest::newRow("quartos alone, long edge") << QStringList{"-fold", "8", "-signature", "1", "-size", "A4", "-duplex", "long"}
                                              << 24;
    QTest::newRow("octavos, right to left") << QStringList{"-fold", "16", "-signature", "1", "-rtl", "-size", "A3", "landscape"}
                                            << 32;
}

// Measured on the output: each signature's collation block lies on the fold between its
// first and last page, a step further from their heads than the one before; the sewing
// stations on the fold between its middle pages, the outer two 10 mm from head and foot.
void TestBinding::bindersMarks()
{
    QFETCH(QStringList, options);
    QFETCH(int, pages);
    const QString out = path(QStringLiteral("marks.pdf"));
    const Run run = runTool(options + QStringList{"-spinemarks", "-sewing", "3", "-foldmarks", "-l", "12", "mm", "-r", "12",
                                                  "mm", "-t", "12", "mm", "-b", "12", "mm",
                                                  sample(QStringLiteral("in.pdf"), pages), out});
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    QPDF q;
    q.processFile(out.toLocal8Bit().constData());
    std::vector<QPDFObjectHandle> sheets;
    const auto placed = readPlacements(q, &sheets);
    static const QRegularExpression block(QStringLiteral("(\\S+) (\\S+) (\\S+) (\\S+) re f"));
    static const QRegularExpression stations(QStringLiteral("q 0\\.5 w 0 G\n([^Q]*)Q"));
    static const QRegularExpression dashed(QStringLiteral("\\[2\\] 0 d\n([^Q]*)Q"));
    static const QRegularExpression segment(QStringLiteral("(\\S+) (\\S+) m (\\S+) (\\S+) l S"));
    const int perSignature = options.contains(QStringLiteral("-signature")) ? (options.contains(QStringLiteral("16")) ? 16
                                                                               : options.contains(QStringLiteral("8")) ? 8 : 4)
                                                                            : pages;
    const double mm = 72 / 25.4;
    double lastStep = 0;
    int blocks = 0, spreads = 0, foldEnds = 0;
    for (int first = 1; first <= pages; first += perSignature) {
        const PagePlacement a = placed.value(first), z = placed.value(first + perSignature - 1);
        QCOMPARE(a.sheet, z.sheet);
        const QString content = streamText(sheets.at(size_t(a.sheet)).getKey("/Contents"));
        foldEnds += int(dashed.match(content).captured(1).count(QStringLiteral(" l S")));
        const auto m = block.match(content);
        QVERIFY2(m.hasMatch(), qPrintable(QStringLiteral("no block on the outside of signature %1").arg(first)));
        ++blocks;
        const QRectF r(m.captured(1).toDouble(), m.captured(2).toDouble(), m.captured(3).toDouble(), m.captured(4).toDouble());
        const QRectF pa = a.landing(), pz = z.landing();
        // On the fold: between the two pages, the same distance from each.
        const double gapLeft = std::min(pa.right(), pz.right()), gapRight = std::max(pa.left(), pz.left());
        QVERIFY(std::fabs(r.center().x() - (gapLeft + gapRight) / 2) < 0.01);
        QVERIFY(std::fabs(r.height() - 6 * mm) < 0.01);
        // Its distance from the pages' head (up, or down where the page is upside down).
        const bool headDown = a.a < 0;
        const double step = headDown ? r.top() - pa.top() : pa.bottom() - r.bottom();
        // The first at the head, each next one its height further.
        QVERIFY2(std::fabs(step - (first == 1 ? 0 : lastStep + 6 * mm)) < 0.5,
                 qPrintable(QStringLiteral("signature at %1: step %2 after %3").arg(first).arg(step).arg(lastStep)));
        lastStep = step;
        // The middle spread: three stations across its fold, 10 mm from head and foot.
        const PagePlacement mid = placed.value(first + perSignature / 2 - 1), next = placed.value(first + perSignature / 2);
        QCOMPARE(mid.sheet, next.sheet);
        const QString inner = streamText(sheets.at(size_t(mid.sheet)).getKey("/Contents"));
        QList<double> ys;
        for (auto it = segment.globalMatch(stations.match(inner).captured(1)); it.hasNext();)
            ys << it.next().captured(2).toDouble();
        std::sort(ys.begin(), ys.end());
        QCOMPARE(ys.size(), 3);
        const QRectF pm = mid.landing();
        QVERIFY(std::fabs(ys.first() - (pm.top() + 10 * mm)) < 0.5 && std::fabs(ys.last() - (pm.bottom() - 10 * mm)) < 0.5);
        QVERIFY(std::fabs(ys[1] - (pm.top() + pm.bottom()) / 2) < 0.5);
        ++spreads;
    }
    QVERIFY(blocks > 0 && spreads > 0 && foldEnds > 0);
}

void TestBinding::bookletSides_data()
{
    QTest::addColumn<int>("pages");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("sides");  // left and right page of each output page in turn; _ blank
    const auto booklet = [](const QStringList &more = {}) { return QStringList{"-booklet"} + more; };
    QTest::newRow("1") << 1 << booklet() << "_ 1|_ _";
    QTest::newRow("2") << 2 << booklet() << "_ 1|2 _";
    QTest::newRow("4") << 4 << booklet() << "4 1|2 3";
    QTest::newRow("5") << 5 << booklet() << "_ 1|2 _|_ 3|4 5";
    QTest::newRow("8") << 8 << booklet() << "8 1|2 7|6 3|4 5";
    QTest::newRow("10") << 10 << booklet() << "_ 1|2 _|10 3|4 9|8 5|6 7";
    QTest::newRow("17") << 17 << booklet() << "_ 1|2 _|_ 3|4 17|16 5|6 15|14 7|8 13|12 9|10 11";
    QTest::newRow("10 right to left") << 10 << booklet({"-rtl"}) << "1 _|_ 2|3 10|9 4|5 8|7 6";
    QTest::newRow("2 right to left") << 2 << booklet({"-rtl"}) << "1 _|_ 2";
    QTest::newRow("10 in signatures of 1") << 10 << booklet({"-signature", "1"}) << "4 1|2 3|8 5|6 7|_ 9|10 _";
    QTest::newRow("17 in signatures of 2") << 17 << booklet({"-signature", "2"})
                                           << "8 1|2 7|6 3|4 5|16 9|10 15|14 11|12 13|_ 17|_ _";
    QTest::newRow("8 in signatures of 1, right to left") << 8 << booklet({"-signature", "1", "-rtl"})
                                                          << "1 4|3 2|5 8|7 6";
    QTest::newRow("odd pages of 10") << 10 << booklet({"-odd"}) << "_ 1|3 _|_ 5|7 9";
    QTest::newRow("grid and order ignored") << 4 << booklet({"-per", "3*3", "-order", "VR"}) << "4 1|2 3";
    QTest::newRow("long-edge printer: backs turned") << 8 << booklet({"-duplex", "long"}) << "8 1|7 2|6 3|5 4";
}

void TestBinding::bookletSides()
{
    QFETCH(int, pages);
    QFETCH(QStringList, options);
    QFETCH(QString, sides);
    const QString in = sample(QStringLiteral("in.pdf"), pages);
    const QString out = path(QStringLiteral("out.pdf"));
    const Run run = runTool(QStringList(options) << in << out);
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.err.contains(QStringLiteral("ignored")), options.contains(QStringLiteral("-per")));
    QSizeF sheet;
    const QList<Side> printed = printedSides(out, sheet);
    QCOMPARE(sheet, QSizeF(2 * 595, 842));  // two pages side by side
    QStringList read;
    for (int s = 0; s < printed.size(); ++s) {
        QString left = QStringLiteral("_"), right = QStringLiteral("_");
        for (const Printed &p : printed[s]) {
            (p.x < 595 ? left : right) = QString::number(p.page);
            // A turned back shows its pages upside down.
            QCOMPARE(p.upsideDown, options.contains(QStringLiteral("long")) && s % 2 == 1);
        }
        read << left + QLatin1Char(' ') + right;
    }
    QCOMPARE(read.join(QLatin1Char('|')), sides);
}

void TestBinding::bookletCreep()
{
    // Three sheets: pages move towards the fold by 0, half and all of the creep, the front
    // and back of a sheet alike.
    const QString in = sample(QStringLiteral("in.pdf"), 12);
    const QString out = path(QStringLiteral("out.pdf"));
    QCOMPARE(runTool({"-booklet", "-creep", "6", "pt", in, out}).exitCode, 0);
    QPDF q;
    q.processFile(out.toLocal8Bit().constData());
    const auto landed = readPlacements(q);
    const double shifts[3] = {0, 3, 6};
    const int sides[6][2] = {{12, 1}, {2, 11}, {10, 3}, {4, 9}, {8, 5}, {6, 7}};
    const auto near = [](const QRectF &a, const QRectF &b) {
        return std::fabs(a.left() - b.left()) <= 0.01 && std::fabs(a.right() - b.right()) <= 0.01
               && std::fabs(a.top() - b.top()) <= 0.01 && std::fabs(a.bottom() - b.bottom()) <= 0.01;
    };
    for (int side = 0; side < 6; ++side) {
        const double shift = shifts[side / 2];
        QVERIFY(near(landed[sides[side][0]].landing(), QRectF(shift, 0, 595, 842)));
        QVERIFY(near(landed[sides[side][1]].landing(), QRectF(595 - shift, 0, 595, 842)));
    }
    // A creep wider than the pages is a bad value, said before anything is written.
    const Run wide = runTool({"-booklet", "-creep", "300", "mm", in, path(QStringLiteral("wide.pdf"))});
    QCOMPARE(wide.exitCode, 2);
    QVERIFY2(wide.err.contains(QStringLiteral("-creep")), qPrintable(wide.err));
    QVERIFY(!QFile::exists(path(QStringLiteral("wide.pdf"))));
}

QTEST_GUILESS_MAIN(TestBinding)
#include "tst_binding.moc"
