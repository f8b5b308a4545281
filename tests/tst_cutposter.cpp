// The two ways back and up, proved on what they make: a document imposed by the real tool and
// cut apart again reads as it did, page by page, rendered by Poppler (also from a scan of the
// printed sheets); a poster's tiles, trimmed and laid together by their overlap, render as the
// page enlarged.
#include "samplefiles.h"
#include "samplepdf.h"
#include "toolrun.h"

#include <poppler-form.h>
#include <poppler-qt6.h>

#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <cmath>
#include <memory>

namespace {

constexpr double kMm = 72 / 25.4;

std::unique_ptr<Poppler::Document> open(const QString &pdf)
{
    std::unique_ptr<Poppler::Document> document = Poppler::Document::load(pdf);
    if (document)
        document->setRenderHint(Poppler::Document::Antialiasing, false);
    return document;
}

QImage render(Poppler::Document &document, int page, double dpi)
{
    std::unique_ptr<Poppler::Page> p = document.page(page);
    return p ? p->renderToImage(dpi, dpi).convertToFormat(QImage::Format_RGB32) : QImage();
}

// Whether two pictures differ by no more than `reach` pixels: every pixel of each (but for a
// rim that wide) has a pixel like it (each channel within `tolerance`) at most `reach` pixels
// away in the other.
bool withinPixels(const QImage &a, const QImage &b, int reach, int tolerance = 60, QString *where = nullptr)
{
    if (std::abs(a.width() - b.width()) > reach || std::abs(a.height() - b.height()) > reach) {
        if (where)
            *where = QStringLiteral("sizes %1x%2 and %3x%4").arg(a.width()).arg(a.height()).arg(b.width()).arg(b.height());
        return false;
    }
    const auto like = [tolerance](QRgb p, QRgb q) {
        return std::abs(qRed(p) - qRed(q)) <= tolerance && std::abs(qGreen(p) - qGreen(q)) <= tolerance
               && std::abs(qBlue(p) - qBlue(q)) <= tolerance;
    };
    const auto covered = [&](const QImage &x, const QImage &y) {
        const int w = std::min(x.width(), y.width()), h = std::min(x.height(), y.height());
        for (int j = reach; j < h - reach; ++j) {
            for (int i = reach; i < w - reach; ++i) {
                const QRgb p = x.pixel(i, j);
                bool found = false;
                for (int dj = -reach; dj <= reach && !found; ++dj)
                    for (int di = -reach; di <= reach && !found; ++di)
                        found = like(p, y.pixel(i + di, j + dj));
                if (!found) {
                    if (where)
                        *where = QStringLiteral("pixel %1,%2").arg(i).arg(j);
                    return false;
                }
            }
        }
        return true;
    };
    return covered(a, b) && covered(b, a);
}

bool withinAPixel(const QImage &a, const QImage &b, int tolerance = 60, QString *where = nullptr)
{
    return withinPixels(a, b, 1, tolerance, where);
}

// A copy of `in` with its pages in `order` (from 0; -1 a blank one), each turned by `turns`
// degrees.
void reordered(const QString &in, const QList<int> &order, const QString &out, const QList<int> &turns = {})
{
    QPDF source;
    source.processFile(in.toLocal8Bit().constData());
    QPDF target;
    target.emptyPDF();
    std::vector<QPDFPageObjectHelper> pages = QPDFPageDocumentHelper(source).getAllPages();
    QPDFPageDocumentHelper into(target);
    for (int i = 0; i < order.size(); ++i) {
        if (order[i] < 0) {
            // A blank side, as a printer leaves a last back.
            QPDFObjectHandle blank = target.makeIndirectObject(QPDFObjectHandle::newDictionary());
            blank.replaceKey("/Type", QPDFObjectHandle::newName("/Page"));
            blank.replaceKey("/MediaBox", target.copyForeignObject(pages.front().getMediaBox()));
            blank.replaceKey("/Contents", QPDFObjectHandle::newStream(&target, ""));
            into.addPage(blank, false);
            continue;
        }
        QPDFPageObjectHelper page = pages.at(size_t(order[i]));
        into.addPage(page, false);
        if (!turns.isEmpty() && turns[i] != 0)
            into.getAllPages().back().getObjectHandle().replaceKey("/Rotate", QPDFObjectHandle::newInteger(turns[i]));
    }
    QPDFWriter writer(target, out.toLocal8Bit().constData());
    writer.write();
}

// A PDF of pictures, each shown on a page of its own size at `dpi`, as a scanner gives it.
void scanned(const QList<QImage> &sides, double dpi, const QString &out)
{
    QPDF pdf;
    pdf.emptyPDF();
    QPDFPageDocumentHelper pages(pdf);
    for (const QImage &side : sides) {
        QByteArray jpeg;
        QBuffer buffer(&jpeg);
        buffer.open(QIODevice::WriteOnly);
        side.convertToFormat(QImage::Format_RGB888).save(&buffer, "JPEG", 85);
        QPDFObjectHandle image = QPDFObjectHandle::newStream(&pdf, jpeg.toStdString());
        QPDFObjectHandle dict = image.getDict();
        dict.replaceKey("/Type", QPDFObjectHandle::newName("/XObject"));
        dict.replaceKey("/Subtype", QPDFObjectHandle::newName("/Image"));
        dict.replaceKey("/Width", QPDFObjectHandle::newInteger(side.width()));
        dict.replaceKey("/Height", QPDFObjectHandle::newInteger(side.height()));
        dict.replaceKey("/ColorSpace", QPDFObjectHandle::newName("/DeviceRGB"));
        dict.replaceKey("/BitsPerComponent", QPDFObjectHandle::newInteger(8));
        dict.replaceKey("/Filter", QPDFObjectHandle::newName("/DCTDecode"));
        const double w = side.width() * 72 / dpi, h = side.height() * 72 / dpi;
        const std::string drawing = QStringLiteral("q %1 0 0 %2 0 0 cm /Im Do Q").arg(w).arg(h).toStdString();
        QPDFObjectHandle page = pdf.makeIndirectObject(QPDFObjectHandle::parse(
            QStringLiteral("<< /Type /Page /MediaBox [0 0 %1 %2] >>").arg(w).arg(h).toStdString()));
        page.replaceKey("/Resources", QPDFObjectHandle::parse("<< /XObject << >> >>"));
        page.getKey("/Resources").getKey("/XObject").replaceKey("/Im", pdf.makeIndirectObject(image));
        page.replaceKey("/Contents", QPDFObjectHandle::newStream(&pdf, drawing));
        pages.addPage(page, false);
    }
    QPDFWriter writer(pdf, out.toLocal8Bit().constData());
    writer.write();
}

// One sheet of 842 by 595 points holding two cells side by side: the left one drawn by
// `left`, with a font /F1 and a form /Fm (which writes a word) to call on.
void twoCells(const QString &left, const QString &out)
{
    QPDF pdf;
    pdf.emptyPDF();
    QPDFObjectHandle form = QPDFObjectHandle::newStream(&pdf, "BT /F1 12 Tf 100 300 Td (formed) Tj ET");
    form.getDict().replaceKey("/Subtype", QPDFObjectHandle::newName("/Form"));
    form.getDict().replaceKey("/BBox", QPDFObjectHandle::parse("[0 0 421 595]"));
    // A grey picture of 100 by 100 samples: light grain and a few dark specks, or a block
    // of dark rows (text on a scan).
    std::string specks(100 * 100, char(235)), lines(100 * 100, char(240));
    for (int i = 0; i < 6; ++i)
        specks[size_t(i * 1234 % 10000)] = char(20);
    for (int row = 40; row < 48; ++row)
        for (int x = 10; x < 90; x += 2)
            lines[size_t(row * 100 + x)] = char(10);
    const auto picture = [&pdf](const std::string &samples) {
        QPDFObjectHandle image = QPDFObjectHandle::newStream(&pdf, samples);
        image.getDict().replaceKey("/Subtype", QPDFObjectHandle::newName("/Image"));
        image.getDict().replaceKey("/Width", QPDFObjectHandle::newInteger(100));
        image.getDict().replaceKey("/Height", QPDFObjectHandle::newInteger(100));
        image.getDict().replaceKey("/ColorSpace", QPDFObjectHandle::newName("/DeviceGray"));
        image.getDict().replaceKey("/BitsPerComponent", QPDFObjectHandle::newInteger(8));
        return pdf.makeIndirectObject(image);
    };
    QPDFObjectHandle page = pdf.makeIndirectObject(QPDFObjectHandle::parse(
        "<< /Type /Page /MediaBox [0 0 842 595] /Resources << /Font << /F1 << /Type /Font /Subtype /Type1 "
        "/BaseFont /Helvetica >> >> /XObject << >> >> >>"));
    QPDFObjectHandle xobjects = page.getKey("/Resources").getKey("/XObject");
    xobjects.replaceKey("/Fm", pdf.makeIndirectObject(form));
    xobjects.replaceKey("/Specks", picture(specks));
    xobjects.replaceKey("/Lines", picture(lines));
    page.replaceKey("/Contents", QPDFObjectHandle::newStream(&pdf, left.toStdString()));
    QPDFPageDocumentHelper(pdf).addPage(page, false);
    QPDFWriter writer(pdf, out.toLocal8Bit().constData());
    writer.write();
}

QString pageText(Poppler::Document &document, int page)
{
    std::unique_ptr<Poppler::Page> p = document.page(page);
    return p ? p->text(QRectF()).simplified() : QString();
}

} // namespace

class TestCutPoster : public QObject, SampleFiles
{
    Q_OBJECT

private slots:
    void init()
    {
        dir = std::make_unique<QTemporaryDir>();
        // Kept to be looked at where asked.
        if (qEnvironmentVariableIsSet("PLYJOIN_KEEP_TEST_FILES")) {
            dir->setAutoRemove(false);
            qInfo("files in %s", qPrintable(dir->path()));
        }
    }
    void cleanup() { dir.reset(); }
    void cutBackIntoItsPages_data();
    void cutBackIntoItsPages();
    void linksGoWithTheirPages_data();
    void linksGoWithTheirPages();
    void aScannedBookletReadsInOrder();
    void onlyBlankCellsAreLeftOut_data();
    void onlyBlankCellsAreLeftOut();
    void posterTilesPutTogether_data();
    void posterTilesPutTogether();
    void refusedWithItsReason_data();
    void refusedWithItsReason();
};

void TestCutPoster::cutBackIntoItsPages_data()
{
    QTest::addColumn<QString>("imposed");  // the imposition's options, which the cut is given too
    QTest::addColumn<QString>("scan");     // alternate, fronts-first, backs-reversed
    // Millimetres at each edge that the imposition itself lost, which no cut brings back:
    // moved off the sheet (a back moved), or under the neighbour (creep moves the two pages of
    // a spread towards each other, each by up to the creep).
    QTest::addColumn<double>("lost");
    QTest::newRow("2x2") << "-per 2*2" << "alternate" << 0.0;
    QTest::newRow("3x2 columns from the right, margins and gutters")
        << "-per 3*2 -order VR -l 10 mm -r 4 mm -t 7 mm -b 3 mm -gx 5 mm -gy 2 mm" << "alternate" << 0.0;
    QTest::newRow("2x1 right to left") << "-per 2*1 -order HR" << "alternate" << 0.0;
    QTest::newRow("1x3 down") << "-per 1*3 -order V" << "alternate" << 0.0;
    QTest::newRow("2x2 two-sided, long edge") << "-per 2*2 -duplex long" << "alternate" << 0.0;
    QTest::newRow("2x2 two-sided, backs reversed") << "-per 2*2 -duplex short" << "backs-reversed" << 0.0;
    QTest::newRow("cut and stack, fronts first") << "-per 2*2 -stack -duplex short" << "fronts-first" << 0.0;
    QTest::newRow("folio") << "-booklet" << "alternate" << 0.0;
    QTest::newRow("folio, backs reversed") << "-booklet" << "backs-reversed" << 0.0;
    QTest::newRow("folio, fronts first") << "-booklet -gx 6 mm" << "fronts-first" << 0.0;
    QTest::newRow("folio right to left, creep, long edge") << "-booklet -rtl -creep 2 mm -duplex long" << "alternate" << 4.5;
    QTest::newRow("folio signatures") << "-booklet -signature 2" << "backs-reversed" << 0.0;
    QTest::newRow("folio, backs moved") << "-booklet -backshift 1 -2 mm" << "alternate" << 2.5;
    QTest::newRow("quarto") << "-fold 8" << "alternate" << 0.0;
    QTest::newRow("quarto, long edge, backs reversed") << "-fold 8 -duplex long" << "backs-reversed" << 0.0;
    QTest::newRow("octavo") << "-fold 16" << "fronts-first" << 0.0;
    QTest::newRow("octavo right to left, signatures") << "-fold 16 -rtl -signature 2" << "alternate" << 0.0;
}

void TestCutPoster::cutBackIntoItsPages()
{
    QFETCH(QString, imposed);
    QFETCH(QString, scan);
    QFETCH(double, lost);
    SamplePage a5;
    a5.width = 420;
    a5.height = 595;
    const int count = 19;
    const QString original = sample(QStringLiteral("original.pdf"), count, a5);
    const QString sheets = path(QStringLiteral("sheets.pdf")), back = path(QStringLiteral("back.pdf"));
    const QStringList options = QProcess::splitCommand(imposed);
    QCOMPARE(runTool(QStringList(options) << original << sheets).exitCode, 0);
    // The sides as the scanner gave them.
    QString given = sheets;
    const int sides = [&] { QPDF q; q.processFile(sheets.toLocal8Bit().constData()); return int(q.getAllPages().size()); }();
    if (scan != QLatin1String("alternate")) {
        QList<int> order;
        for (int k = 0; k < sides; k += 2)
            order << k;
        for (int k = 1; k < sides; k += 2)
            order << k;
        if (sides % 2 == 1)
            order << -1;  // the last sheet's blank back
        if (scan == QLatin1String("backs-reversed"))
            std::reverse(order.begin() + order.size() / 2, order.end());
        given = path(QStringLiteral("scan.pdf"));
        reordered(sheets, order, given);
    }
    const Run cut = runTool(QStringList(options) << "-cut" << "-scan" << scan << "-dropblank" << given << back);
    QVERIFY2(cut.exitCode == 0, qPrintable(cut.err));

    // The pages back in order, each as it was.
    auto made = open(back), was = open(original);
    QVERIFY(made && was);
    QCOMPARE(made->numPages(), count);
    for (int i = 0; i < count; ++i) {
        QVERIFY2(pageText(*made, i).contains(QStringLiteral("Page %1").arg(i + 1)), qPrintable(pageText(*made, i)));
        QImage page = render(*made, i, 24), original = render(*was, i, 24);
        const int rim = int(std::ceil(lost * 24 / 25.4));
        for (QImage *image : {&page, &original}) {
            QPainter paint(image);
            paint.setPen(QPen(Qt::white, 2 * rim));
            paint.drawRect(image->rect());
        }
        QString where;
        QVERIFY2(withinAPixel(page, original, 60, &where), qPrintable(QStringLiteral("page %1: %2").arg(i + 1).arg(where)));
    }
}

void TestCutPoster::linksGoWithTheirPages_data()
{
    QTest::addColumn<QString>("imposed");
    QTest::newRow("2x1") << "-per 2*1";
    QTest::newRow("booklet") << "-booklet";
    QTest::newRow("2x2 in columns, two-sided") << "-per 2*2 -order V -duplex long";
}

void TestCutPoster::linksGoWithTheirPages()
{
    QFETCH(QString, imposed);
    const QString original = path(QStringLiteral("annotated.pdf"));
    writeAnnotatedPdf(original.toStdString());
    const QString sheets = path(QStringLiteral("sheets.pdf")), back = path(QStringLiteral("back.pdf"));
    const QStringList options = QProcess::splitCommand(imposed);
    QCOMPARE(runTool(QStringList(options) << original << sheets).exitCode, 0);
    const Run cut = runTool(QStringList(options) << "-cut" << "-dropblank" << sheets << back);
    QVERIFY2(cut.exitCode == 0, qPrintable(cut.err));
    QVERIFY2(cut.out.contains(QStringLiteral("dropped: 0")), qPrintable(cut.out + cut.err));

    // Each page's links lead where they did, and its fields and notes are on it.
    const auto linksOf = [](Poppler::Document &d) {
        QStringList all;
        for (int i = 0; i < d.numPages(); ++i) {
            std::unique_ptr<Poppler::Page> page = d.page(i);
            QStringList here;
            for (const std::unique_ptr<Poppler::Link> &link : page->links()) {
                if (link->linkType() == Poppler::Link::Goto)
                    here << QStringLiteral("to %1").arg(static_cast<Poppler::LinkGoto *>(link.get())->destination().pageNumber());
                else if (link->linkType() == Poppler::Link::Browse)
                    here << static_cast<Poppler::LinkBrowse *>(link.get())->url();
            }
            for (const std::unique_ptr<Poppler::Annotation> &a : page->annotations())
                here << QStringLiteral("annotation %1").arg(a->subType());
            for (const std::unique_ptr<Poppler::FormField> &f : page->formFields())
                here << f->name();
            here.sort();
            all << QStringLiteral("page %1: %2").arg(i + 1).arg(here.join(QStringLiteral(", ")));
        }
        return all;
    };
    const auto outline = [](Poppler::Document &d) {
        QStringList items;
        std::function<void(const QList<Poppler::OutlineItem> &)> walk = [&](const QList<Poppler::OutlineItem> &list) {
            for (const Poppler::OutlineItem &item : list) {
                items << QStringLiteral("%1 -> %2").arg(item.name()).arg(item.destination() ? item.destination()->pageNumber() : -1);
                walk(item.children());
            }
        };
        walk(d.outline());
        return items;
    };
    auto made = open(back), was = open(original);
    QCOMPARE(made->numPages(), was->numPages());
    QCOMPARE(linksOf(*made), linksOf(*was));
    QCOMPARE(outline(*made), outline(*was));
}

void TestCutPoster::aScannedBookletReadsInOrder()
{
    // A booklet printed, and scanned at 300 dpi by a one-sided feeder that takes each sheet
    // a quarter turn round: all fronts, then the stack turned over, the backs last to first.
    SamplePage a5;
    a5.width = 420;
    a5.height = 595;
    a5.filled = true;
    const int count = 11;
    const QString original = sample(QStringLiteral("original.pdf"), count, a5);
    const QString sheets = path(QStringLiteral("sheets.pdf"));
    QCOMPARE(runTool({"-booklet", original, sheets}).exitCode, 0);
    auto printed = open(sheets);
    const int sides = printed->numPages();
    QList<QImage> scan;
    for (int k = 0; k < sides; k += 2)
        scan << render(*printed, k, 300).transformed(QTransform().rotate(90));
    for (int k = sides - 1; k > 0; k -= 2)
        scan << render(*printed, k, 300).transformed(QTransform().rotate(-90));
    const QString scanFile = path(QStringLiteral("scan.pdf")), back = path(QStringLiteral("back.pdf"));
    scanned(scan, 300, scanFile);
    const Run cut = runTool({"-cut", "-booklet", "-scan", "backs-reversed", "-autorotate", "-dropblank", scanFile, back});
    QVERIFY2(cut.exitCode == 0, qPrintable(cut.err));
    QVERIFY2(cut.err.contains(QStringLiteral("left out 1 blank page: 12")), qPrintable(cut.err));
    // Each page is most like the page of its own number, and more like it upright than turned
    // round (a scan is no vector drawing: no pixel is as it was).
    const auto unlike = [](const QImage &a, const QImage &b) {
        const QImage c = b.scaled(a.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        double sum = 0;
        for (int y = 0; y < a.height(); ++y)
            for (int x = 0; x < a.width(); ++x) {
                const QRgb p = a.pixel(x, y), q = c.pixel(x, y);
                sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q));
            }
        return sum / (3.0 * a.width() * a.height());
    };
    auto made = open(back), was = open(original);
    QCOMPARE(made->numPages(), count);
    QList<QImage> originals;
    for (int i = 0; i < count; ++i)
        originals << render(*was, i, 24);
    for (int i = 0; i < count; ++i) {
        const QImage page = render(*made, i, 24);
        const double own = unlike(page, originals[i]);
        for (int j = 0; j < count; ++j)
            QVERIFY2(j == i || own < unlike(page, originals[j]), qPrintable(QStringLiteral("page %1 is like %2").arg(i + 1).arg(j + 1)));
        QVERIFY2(own < unlike(page, originals[i].transformed(QTransform().rotate(180))),
                 qPrintable(QStringLiteral("page %1 is upside down").arg(i + 1)));
        QVERIFY2(own < 12, qPrintable(QStringLiteral("page %1 differs by %2").arg(i + 1).arg(own)));
    }
}

void TestCutPoster::onlyBlankCellsAreLeftOut_data()
{
    QTest::addColumn<QString>("left");  // what the left cell draws; the right one draws nothing
    QTest::addColumn<bool>("kept");
    QTest::newRow("nothing") << "" << false;
    QTest::newRow("a white fill") << "1 g 20 20 380 550 re f" << false;
    QTest::newRow("a white stroke") << "1 G 2 w 50 50 m 300 50 l S" << false;
    QTest::newRow("invisible text (a scan's words)") << "BT 3 Tr /F1 12 Tf 50 400 Td (hidden) Tj ET" << false;
    QTest::newRow("paper grain and specks") << "q 380 0 0 550 20 20 cm /Specks Do Q" << false;
    QTest::newRow("drawn where a clip leaves nothing") << "q 600 300 50 50 re W n 0 g 30 30 200 200 re f Q" << false;
    QTest::newRow("text") << "BT /F1 12 Tf 50 400 Td (Hello) Tj ET" << true;
    QTest::newRow("a hairline") << "0 G 0 w 50 50 m 300 50 l S" << true;
    QTest::newRow("a colour") << "0 0.5 0 rg 30 30 40 40 re f" << true;
    QTest::newRow("a scan's line of text") << "q 380 0 0 550 20 20 cm /Lines Do Q" << true;
    QTest::newRow("a form") << "/Fm Do" << true;
    QTest::newRow("white, then black") << "1 g 20 20 100 100 re f 0 g 200 200 10 10 re f" << true;
}

void TestCutPoster::onlyBlankCellsAreLeftOut()
{
    QFETCH(QString, left);
    QFETCH(bool, kept);
    const QString in = path(QStringLiteral("in.pdf")), out = path(QStringLiteral("out.pdf"));
    twoCells(left, in);
    const Run run = runTool({"-cut", "2*1", "-dropblank", in, out});
    if (!kept) {
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains(QStringLiteral("nothing is drawn on any page")), qPrintable(run.err));
        QVERIFY(!QFile::exists(out));
        return;
    }
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    QVERIFY2(run.err.contains(QStringLiteral("left out 1 blank page: 2 ")), qPrintable(run.err));
    QCOMPARE(open(out)->numPages(), 1);
    // Without -dropblank nothing is left out.
    QCOMPARE(runTool({"-cut", "2*1", in, out}).exitCode, 0);
    QCOMPARE(open(out)->numPages(), 2);
}

void TestCutPoster::posterTilesPutTogether_data()
{
    QTest::addColumn<QString>("options");
    QTest::addColumn<int>("columns");
    QTest::addColumn<int>("rows");
    QTest::newRow("3 by 2 sheets of A5") << "-poster 3*2 -size A5" << 3 << 2;
    QTest::newRow("A2 on A4, a wide overlap") << "-poster A2 -size A4 -overlap 25 mm" << 3 << 3;
    QTest::newRow("2 by 2 of the page's own size, narrow margins") << "-poster 2*2 -l 5 mm -r 5 mm -t 6 mm -b 6 mm" << 2 << 2;
    QTest::newRow("turned to fill the sheets") << "-poster 3*1 -size A4 landscape -autorotate" << 3 << 1;
}

void TestCutPoster::posterTilesPutTogether()
{
    QFETCH(QString, options);
    QFETCH(int, columns);
    QFETCH(int, rows);
    SamplePage a4;
    a4.filled = true;  // its colour to the edges
    const QString in = sample(QStringLiteral("page.pdf"), 1, a4), out = path(QStringLiteral("poster.pdf"));
    const Run run = runTool(QProcess::splitCommand(options) << "-overview" << in << out);
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    auto poster = open(out), original = open(in);
    QCOMPARE(poster->numPages(), 1 + columns * rows);
    QVERIFY(pageText(*poster, 0).contains(QStringLiteral("%1 by %2 sheets").arg(columns).arg(rows)));

    // Each tile's printed area, the margins read from its trim marks' corners: trimmed at its
    // left and top, laid over the tiles before it, each next one at the previous one's
    // alignment marks (the overlap is what the tiles share).
    const double dpi = 36;
    const auto px = [dpi](double points) { return points * dpi / 72; };
    QImage wall;
    QPointF at;
    double stepX = 0, stepY = 0;
    QRectF printedArea;
    QString firstDrawing;
    for (int row = 0; row < rows; ++row) {
        for (int column = 0; column < columns; ++column) {
            const int index = 1 + row * columns + column;
            const QString name = QStringLiteral("%1%2: row %3 of %4, column %5 of %6")
                                     .arg(QChar('A' + row)).arg(column + 1).arg(row + 1).arg(rows).arg(column + 1).arg(columns);
            QVERIFY2(pageText(*poster, index).contains(name), qPrintable(pageText(*poster, index)));
            // The plan's numbers, read back from the sheet's drawing.
            QPDF q;
            q.processFile(out.toLocal8Bit().constData());
            QPDFObjectHandle sheet = q.getAllPages().at(size_t(index));
            const auto data = sheet.getKey("/Contents").getStreamData(qpdf_dl_all);
            const QString drawing = QString::fromLatin1(reinterpret_cast<const char *>(data->getBuffer()), qsizetype(data->getSize()));
            const auto clip = QRegularExpression(QStringLiteral("^q (\\S+) (\\S+) (\\S+) (\\S+) re W n")).match(drawing);
            QVERIFY(clip.hasMatch());
            printedArea = QRectF(clip.captured(1).toDouble(), clip.captured(2).toDouble(), clip.captured(3).toDouble(),
                                 clip.captured(4).toDouble());
            const QImage tile = render(*poster, index, dpi);
            const double sheetHeight = tile.height() * 72 / dpi;
            const QRect cut(int(std::lround(px(printedArea.x()))), int(std::lround(px(sheetHeight - printedArea.bottom()))),
                            int(std::lround(px(printedArea.width()))), int(std::lround(px(printedArea.height()))));
            if (wall.isNull()) {
                firstDrawing = drawing;
                // The alignment marks say the step: where the next column's and row's edges go.
                const auto marks = QRegularExpression(QStringLiteral("(\\S+) (\\S+) m (\\S+) (\\S+) l S"));
                for (auto it = marks.globalMatch(drawing); it.hasNext();) {
                    const auto m = it.next();
                    const double x0 = m.captured(1).toDouble(), y0 = m.captured(2).toDouble();
                    const double x1 = m.captured(3).toDouble(), y1 = m.captured(4).toDouble();
                    if (x0 == x1 && x0 > printedArea.x() + 1 && x0 < printedArea.right() - 1)
                        stepX = x0 - printedArea.x();
                    if (y0 == y1 && y0 > printedArea.y() + 1 && y0 < printedArea.bottom() - 1)
                        stepY = printedArea.bottom() - y0;
                }
                if (columns == 1)
                    stepX = printedArea.width();
                if (rows == 1)
                    stepY = printedArea.height();
                QVERIFY(stepX > 0 && stepY > 0);
                wall = QImage(int(px(stepX * (columns - 1) + printedArea.width())) + 2,
                              int(px(stepY * (rows - 1) + printedArea.height())) + 2, QImage::Format_RGB32);
                wall.fill(Qt::white);
            }
            QPainter paint(&wall);
            paint.drawImage(QPointF(px(column * stepX), px(row * stepY)), tile.copy(cut));
        }
    }
    // The page enlarged as the tiles' drawing says (turned with them), in the wall's middle.
    const auto placed = QRegularExpression(QStringLiteral("re W n (\\S+) (\\S+) \\S+ \\S+ \\S+ \\S+ cm")).match(firstDrawing);
    QVERIFY(placed.hasMatch());
    const double a = placed.captured(1).toDouble(), b = placed.captured(2).toDouble();
    QImage enlarged = render(*original, 0, dpi * std::hypot(a, b));
    if (std::fabs(b) > std::fabs(a))
        enlarged = enlarged.transformed(QTransform().rotate(b < 0 ? 90 : -90));
    const QRect middle((wall.width() - 2 - enlarged.width()) / 2, (wall.height() - 2 - enlarged.height()) / 2,
                       enlarged.width(), enlarged.height());
    if (qEnvironmentVariableIsSet("PLYJOIN_KEEP_TEST_FILES")) {
        wall.save(path(QStringLiteral("wall.png")));
        enlarged.save(path(QStringLiteral("enlarged.png")));
    }
    QString where;
    // Each tile is placed to the nearest pixel here: two pixels at most apart.
    QVERIFY2(withinPixels(wall.copy(middle), enlarged, 2, 70, &where), qPrintable(where));
}

void TestCutPoster::refusedWithItsReason_data()
{
    QTest::addColumn<QString>("options");  // on a document of three A4 pages
    QTest::addColumn<QString>("reason");
    QTest::newRow("fronts, then fewer backs") << "-cut -booklet -scan fronts-first" << "need as many backs as fronts";
    QTest::newRow("margins wider than the sheet") << "-cut -per 2*1 -l 200 mm -r 200 mm" << "leave no room";
    QTest::newRow("an overlap as large as a sheet") << "-poster 2*2 -overlap 300 mm" << "leave no room";
    QTest::newRow("a wall of sheets") << "-poster Custom 40000 mm 40000 mm -size A5 -overlap 1 mm" << "more than 100 by 100";
    QTest::newRow("nothing drawn anywhere") << "-poster 2*2 -dropblank -pr 2" << "";
}

void TestCutPoster::refusedWithItsReason()
{
    QFETCH(QString, options);
    QFETCH(QString, reason);
    const QString in = sample(QStringLiteral("in.pdf"), 3), out = path(QStringLiteral("out.pdf"));
    if (reason.isEmpty()) {
        // A poster of a blank page: every tile left out is nothing to print.
        QPDF blank;
        blank.emptyPDF();
        QPDFObjectHandle page = blank.makeIndirectObject(QPDFObjectHandle::parse("<< /Type /Page /MediaBox [0 0 595 842] >>"));
        QPDFPageDocumentHelper(blank).addPage(page, false);
        QPDFPageDocumentHelper(blank).addPage(page.shallowCopy(), false);
        QPDFWriter writer(blank, in.toLocal8Bit().constData());
        writer.write();
        reason = QStringLiteral("every tile is left out");
    }
    const Run run = runTool(QProcess::splitCommand(options) << in << out);
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(reason), qPrintable(run.err));
    QVERIFY(!QFile::exists(out));
}

QTEST_GUILESS_MAIN(TestCutPoster)
#include "tst_cutposter.moc"
