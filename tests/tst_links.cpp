// What pdfplyjoin keeps besides the page content: annotations moved with their pages,
// internal links and bookmarks pointing at the sheets, and filled form fields.
#include "outputpdf.h"
#include "samplepdf.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFMatrix.hh>
#include <qpdf/QPDFNameTreeObjectHelper.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>

namespace {

struct Sheets
{
    QPDF pdf;
    std::vector<QPDFObjectHandle> sheets;
    QMap<int, int> sheetOfPage;          // page number -> sheet index
    QMap<int, QPDFMatrix> matrixOfPage;  // page number -> placement on its sheet

    explicit Sheets(const QString &path)
    {
        pdf.processFile(path.toLocal8Bit().constData());
        const auto placements = readPlacements(pdf, &sheets);
        for (auto it = placements.cbegin(); it != placements.cend(); ++it) {
            const PagePlacement &p = it.value();
            sheetOfPage.insert(it.key(), p.sheet);
            matrixOfPage.insert(it.key(), QPDFMatrix(p.a, p.b, p.c, p.d, p.e, p.f));
        }
    }

    int sheetIndex(QPDFObjectHandle page) const
    {
        for (size_t s = 0; s < sheets.size(); ++s) {
            if (sheets[s].getObjGen() == page.getObjGen())
                return int(s);
        }
        return -1;
    }

    // The annotations on all sheets with a given subtype.
    std::vector<QPDFObjectHandle> annotations(const char *subtype)
    {
        std::vector<QPDFObjectHandle> found;
        for (QPDFObjectHandle &sheet : sheets) {
            QPDFObjectHandle annots = sheet.getKey("/Annots");
            if (!annots.isArray())
                continue;
            for (QPDFObjectHandle a : annots.aitems()) {
                // An annotation that names its page names its sheet.
                if (a.getKey("/Subtype").isNameAndEquals(subtype)
                    && (!a.hasKey("/P") || a.getKey("/P").getObjGen() == sheet.getObjGen()))
                    found.push_back(a);
            }
        }
        return found;
    }

    // Where a destination (array, named, or GoTo action) leads: sheet index and point.
    QPair<int, QPointF> resolve(QPDFObjectHandle dest)
    {
        if (dest.isString()) {
            QPDFObjectHandle names = pdf.getRoot().getKey("/Names").getKey("/Dests");
            QPDFNameTreeObjectHelper tree(names, pdf);
            QPDFObjectHandle value;
            if (!tree.findObject(dest.getUTF8Value(), value))
                return {-1, {}};
            dest = value.isDictionary() ? value.getKey("/D") : value;
        }
        if (!dest.isArray())
            return {-1, {}};
        QPointF at;
        if (dest.getArrayNItems() >= 4 && dest.getArrayItem(1).isNameAndEquals("/XYZ"))
            at = QPointF(dest.getArrayItem(2).getNumericValue(), dest.getArrayItem(3).getNumericValue());
        return {sheetIndex(dest.getArrayItem(0)), at};
    }
    QPair<int, QPointF> resolveItem(QPDFObjectHandle item)
    {
        if (item.hasKey("/Dest"))
            return resolve(item.getKey("/Dest"));
        QPDFObjectHandle action = item.getKey("/A");
        return action.isDictionary() ? resolve(action.getKey("/D")) : qMakePair(-1, QPointF());
    }
};

QRectF rectOf(QPDFObjectHandle annot)
{
    const auto r = annot.getKey("/Rect").getArrayAsRectangle();
    return QRectF(QPointF(r.llx, r.lly), QPointF(r.urx, r.ury)).normalized();
}

QRectF moved(const QPDFMatrix &m, const QRectF &r)
{
    const auto t = m.transformRectangle(QPDFObjectHandle::Rectangle(r.left(), r.top(), r.right(), r.bottom()));
    return QRectF(QPointF(t.llx, t.lly), QPointF(t.urx, t.ury)).normalized();
}

// Within rounding: nothing on a sheet may be off by more than a hundredth of a point.
constexpr double kTolerance = 0.01;

bool near(const QRectF &a, const QRectF &b)
{
    return std::fabs(a.left() - b.left()) < kTolerance && std::fabs(a.top() - b.top()) < kTolerance
           && std::fabs(a.right() - b.right()) < kTolerance && std::fabs(a.bottom() - b.bottom()) < kTolerance;
}

bool near(const QPointF &a, const QPointF &b)
{
    return std::fabs(a.x() - b.x()) < kTolerance && std::fabs(a.y() - b.y()) < kTolerance;
}

QPointF movedPoint(const QPDFMatrix &m, double x, double y)
{
    double sx = 0, sy = 0;
    m.transform(x, y, sx, sy);
    return {sx, sy};
}

// The tool's exit status; `said` receives its line of what it kept.
int run(const QStringList &args, QString *said = nullptr)
{
    QProcess p;
    p.start(QStringLiteral(PDFPLYJOIN_PATH), args);
    p.waitForFinished(120000);
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    if (said) {
        for (const QString &line : out.split(QLatin1Char('\n')))
            if (line.startsWith(QStringLiteral("kept: ")))
                *said = line.trimmed();
    }
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

} // namespace

class TestLinks : public QObject
{
    Q_OBJECT

private slots:
    void init() { dir = std::make_unique<QTemporaryDir>(); }
    void cleanup() { dir.reset(); }

    void keptAndMoved_data();
    void keptAndMoved();
    void leftOutPages();
    void pagePlacedTwice();
    void realWorldDocument();

private:
    std::unique_ptr<QTemporaryDir> dir;
};

void TestLinks::keptAndMoved_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::newRow("2x2") << QStringList{"-per", "2*2"};
    QTest::newRow("3x2 VR, margins, turned")
        << QStringList{"-rt", "90", "-order", "VR", "-l", "10", "mm", "-t", "7", "mm", "-gx", "5", "mm", "-gy", "3", "mm",
                       "-size", "Custom", "297", "mm", "210", "mm", "-per", "3*2"};
    QTest::newRow("2x1 turned 270, scaled") << QStringList{"-rt", "270", "-scale", "50", "-per", "2*1"};
    QTest::newRow("booklet, right to left, crept, marked")
        << QStringList{"-booklet", "-rtl", "-creep", "2", "mm", "-cropmarks", "3", "mm", "-frame", "1", "-l", "10", "mm"};
}

void TestLinks::keptAndMoved()
{
    QFETCH(QStringList, options);
    const QString in = dir->filePath("in.pdf"), out = dir->filePath("out.pdf");
    writeAnnotatedPdf(in.toStdString());
    QString said;
    QCOMPARE(run(QStringList(options) << in << out, &said), 0);
    QCOMPARE(said, QStringLiteral("kept: 8 links, 2 form fields, 5 bookmarks; dropped: 0"));
    Sheets s(out);
    QCOMPARE(s.sheetOfPage.size(), 4);

    // Each annotation's rectangle is its page's placement applied to the original.
    const struct { const char *subtype; int page; QRectF rect; } expected[] = {
        {"/Text", 1, QRectF(QPointF(400, 780), QPointF(420, 800))},
        {"/Highlight", 1, QRectF(QPointF(300, 600), QPointF(400, 620))},
        {"/Widget", 2, QRectF(QPointF(100, 500), QPointF(250, 520))},
    };
    for (const auto &e : expected) {
        auto found = s.annotations(e.subtype);
        QVERIFY(!found.empty());
        QVERIFY2(near(rectOf(found.front()), moved(s.matrixOfPage[e.page], e.rect)), e.subtype);
        if (found.front().hasKey("/P"))
            QCOMPARE(s.sheetIndex(found.front().getKey("/P")), s.sheetOfPage[e.page]);
    }
    auto highlight = s.annotations("/Highlight").front().getKey("/QuadPoints").getArrayAsVector();
    const double quad[8] = {300, 620, 400, 620, 300, 600, 400, 600};
    QCOMPARE(int(highlight.size()), 8);
    for (int i = 0; i < 8; i += 2) {
        const QPointF corner(highlight[size_t(i)].getNumericValue(), highlight[size_t(i) + 1].getNumericValue());
        QVERIFY(near(corner, movedPoint(s.matrixOfPage[1], quad[i], quad[i + 1])));
    }
    QCOMPARE(int(s.annotations("/Link").size()), 8);
    QCOMPARE(int(s.annotations("/Widget").size()), 2);

    // Links: inside to the sheet holding the target page, at the right point; the web
    // link as it was.
    int internal = 0;
    for (QPDFObjectHandle link : s.annotations("/Link")) {
        QPDFObjectHandle action = link.getKey("/A");
        if (action.isDictionary() && action.getKey("/S").isNameAndEquals("/URI")) {
            const std::string uri = link.getKey("/A").getKey("/URI").getUTF8Value();
            if (uri == "https://www.tavrell.example/spot")
                QVERIFY(near(rectOf(link), moved(s.matrixOfPage[4], QRectF(QPointF(300, 300), QPointF(300, 312)))));
            else
                QCOMPARE(uri, std::string("https://www.tavrell.example/"));
            continue;
        }
        const QRectF r = rectOf(link);
        if (link.getKey("/Dest").isArray() && link.getKey("/Dest").getArrayItem(0).isNull()) {
            // A link that was dead already stays, moved with its page, as dead as it was.
            QVERIFY(near(r, moved(s.matrixOfPage[3], QRectF(QPointF(300, 50), QPointF(400, 70)))));
            continue;
        }
        if (!link.hasKey("/Dest") && !link.hasKey("/A")) {
            // One that led nowhere stays too, where its page put it.
            QVERIFY(near(r, moved(s.matrixOfPage[4], QRectF(QPointF(400, 400), QPointF(450, 420)))));
            continue;
        }
        if (link.getKey("/Dest").isArray() && link.getKey("/Dest").getArrayItem(0).hasKey("/Marker")) {
            // So does one aimed at an object that is no page.
            QVERIFY(near(r, moved(s.matrixOfPage[3], QRectF(QPointF(300, 100), QPointF(400, 120)))));
            continue;
        }
        ++internal;
        const auto target = s.resolveItem(link);
        if (near(r, moved(s.matrixOfPage[1], QRectF(QPointF(50, 750), QPointF(200, 770))))) {
            QCOMPARE(target.first, s.sheetOfPage[3]);
            QVERIFY(near(target.second, movedPoint(s.matrixOfPage[3], 100, 700)));
        } else if (near(r, moved(s.matrixOfPage[3], QRectF(QPointF(50, 50), QPointF(200, 70))))) {
            QCOMPARE(target.first, s.sheetOfPage[1]);
            QVERIFY(near(target.second, movedPoint(s.matrixOfPage[1], 0, 800)));
        } else {
            QVERIFY(near(r, moved(s.matrixOfPage[4], QRectF(QPointF(50, 50), QPointF(200, 70)))));
            QCOMPARE(target.first, s.sheetOfPage[2]);  // through the named destination
            QVERIFY(near(target.second, movedPoint(s.matrixOfPage[2], 0, 842)));
        }
    }
    QCOMPARE(internal, 3);

    // Form fields keep their values and stay in the form.
    QPDFObjectHandle fields = s.pdf.getRoot().getKey("/AcroForm").getKey("/Fields");
    QCOMPARE(fields.getArrayNItems(), 2);
    QCOMPARE(fields.getArrayItem(0).getKey("/T").getUTF8Value(), std::string("name"));
    QCOMPARE(fields.getArrayItem(0).getKey("/V").getUTF8Value(), std::string("Alice"));
    QVERIFY(fields.getArrayItem(1).getKey("/V").isNameAndEquals("/Yes"));

    // Bookmarks keep their tree and lead to the right sheets.
    QPDFObjectHandle part = s.pdf.getRoot().getKey("/Outlines").getKey("/First");
    QCOMPARE(part.getKey("/Title").getUTF8Value(), std::string("Part"));
    QPDFObjectHandle o1 = part.getKey("/First"), o2 = o1.getKey("/Next"), o4 = o2.getKey("/Next"), o3 = o4.getKey("/First");
    QCOMPARE(s.resolveItem(o1).first, s.sheetOfPage[1]);
    QCOMPARE(s.resolveItem(o2).first, s.sheetOfPage[2]);
    QCOMPARE(s.resolveItem(o4).first, s.sheetOfPage[4]);
    QVERIFY(near(s.resolveItem(o4).second, movedPoint(s.matrixOfPage[4], 0, 842)));  // no top given: the page's top
    QCOMPARE(s.resolveItem(o3).first, s.sheetOfPage[3]);
    QVERIFY(near(s.resolveItem(o3).second, movedPoint(s.matrixOfPage[3], 0, 400)));

    // Nothing of the old pages is written.
    QVERIFY(isSoundPdf(out));
    int pageObjects = 0;
    for (QPDFObjectHandle obj : s.pdf.getAllObjects())
        pageObjects += obj.isDictionary() && obj.getKey("/Type").isNameAndEquals("/Page");
    QCOMPARE(pageObjects, int(s.sheets.size()));
}

void TestLinks::leftOutPages()
{
    const QString in = dir->filePath("in.pdf"), out = dir->filePath("out.pdf");
    writeAnnotatedPdf(in.toStdString());
    QString said;
    QCOMPARE(run({"-pr", "1,2", "-per", "1*1", in, out}, &said), 0);
    // The link to page 3 and the destinations of the two bookmarks of pages 3 and 4.
    QCOMPARE(said, QStringLiteral("kept: 1 link, 2 form fields, 5 bookmarks; dropped: 3"));
    auto s = std::make_unique<Sheets>(out);
    // The link to page 3 has nowhere to go: it is gone; the web link stays.
    auto links = s->annotations("/Link");
    QCOMPARE(int(links.size()), 1);
    QVERIFY(links.front().getKey("/A").getKey("/S").isNameAndEquals("/URI"));
    QCOMPARE(int(s->annotations("/Widget").size()), 2);
    // Bookmarks of pages left out stay as titles that lead nowhere; the others lead on.
    QPDFObjectHandle o2 = s->pdf.getRoot().getKey("/Outlines").getKey("/First").getKey("/First").getKey("/Next");
    QPDFObjectHandle o4 = o2.getKey("/Next");
    QCOMPARE(s->resolveItem(o2).first, s->sheetOfPage[2]);
    QCOMPARE(s->resolveItem(o4).first, -1);
    QCOMPARE(o4.getKey("/Title").getUTF8Value(), std::string("Page 4"));
    QCOMPARE(s->resolveItem(o4.getKey("/First")).first, -1);

    s.reset();  // the file is read as it is used, and Windows keeps an open file in place

    // Leaving out page 2 leaves the form empty; its name leads nowhere, so neither the link
    // through it nor the bookmark "Chapter 2".
    QCOMPARE(run({"-pr", "1,3,4", "-per", "1*1", in, out}, &said), 0);
    QVERIFY2(said.endsWith(QStringLiteral("dropped: 2")), qPrintable(said));
    Sheets t(out);
    QVERIFY(!t.pdf.getRoot().hasKey("/AcroForm"));
    QPDFObjectHandle c2 = t.pdf.getRoot().getKey("/Outlines").getKey("/First").getKey("/First").getKey("/Next");
    QCOMPARE(t.resolveItem(c2).first, -1);
    for (QPDFObjectHandle link : t.annotations("/Link"))
        QVERIFY(!link.hasKey("/Dest") || !link.getKey("/Dest").isString());
}

void TestLinks::pagePlacedTwice()
{
    const QString in = dir->filePath("in.pdf"), out = dir->filePath("out.pdf");
    writeAnnotatedPdf(in.toStdString());
    QCOMPARE(run({"-pr", "2,2", "-per", "2*1", in, out}), 0);
    Sheets s(out);
    auto widgets = s.annotations("/Widget");
    QCOMPARE(int(widgets.size()), 4);
    QRectF left = rectOf(widgets[0]), right = rectOf(widgets[2]);
    QVERIFY(std::fabs(right.left() - left.left() - 595) < 0.05);  // the copy moved to the second cell
    QVERIFY(isSoundPdf(out));
}

void TestLinks::realWorldDocument()
{
    const QString doc = QStringLiteral("/usr/share/doc/glpk-doc/glpk.pdf");
    if (!QFile::exists(doc) || QStandardPaths::findExecutable(QStringLiteral("qpdf")).isEmpty()
        || QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
        QSKIP("needs Debian's glpk-doc, qpdf and poppler-utils");
    const QString out = dir->filePath("out.pdf");
    QCOMPARE(run({"-size", "Custom", "210", "mm", "297", "mm", "-per", "2*2", doc, out}), 0);
    auto countLinks = [](const QString &path, int *internal, int *resolved) {
        QPDF q;
        q.processFile(path.toLocal8Bit().constData());
        std::set<QPDFObjGen> pages;
        for (QPDFPageObjectHelper &p : QPDFPageDocumentHelper(q).getAllPages())
            pages.insert(p.getObjectHandle().getObjGen());
        int links = 0;
        *internal = *resolved = 0;
        for (QPDFPageObjectHelper &p : QPDFPageDocumentHelper(q).getAllPages()) {
            for (QPDFAnnotationObjectHelper &a : p.getAnnotations("/Link")) {
                ++links;
                QPDFObjectHandle o = a.getObjectHandle();
                QPDFObjectHandle action = o.getKey("/A");
                QPDFObjectHandle dest = o.hasKey("/Dest") ? o.getKey("/Dest")
                                        : action.isDictionary() ? action.getKey("/D") : QPDFObjectHandle::newNull();
                if (dest.isNull())
                    continue;
                ++*internal;
                if (dest.isString() || dest.isName()) {
                    QPDFObjectHandle names = q.getRoot().getKey("/Names").getKey("/Dests");
                    QPDFObjectHandle value;
                    if (names.isDictionary() && QPDFNameTreeObjectHelper(names, q).findObject(dest.getUTF8Value(), value))
                        dest = value.isDictionary() ? value.getKey("/D") : value;
                    else if (q.getRoot().getKey("/Dests").isDictionary())
                        dest = q.getRoot().getKey("/Dests").getKey(dest.isName() ? dest.getName() : "/" + dest.getUTF8Value());
                }
                if (dest.isArray() && pages.count(dest.getArrayItem(0).getObjGen()))
                    ++*resolved;
            }
        }
        return links;
    };
    int inInternal = 0, inResolved = 0, outInternal = 0, outResolved = 0;
    const int before = countLinks(doc, &inInternal, &inResolved);
    const int after = countLinks(out, &outInternal, &outResolved);
    QVERIFY(before > 100);
    QCOMPARE(after, before);
    QCOMPARE(outInternal, inInternal);
    QCOMPARE(outResolved, inResolved);
    // qpdf's own view agrees: every bookmark leads to a sheet.
    QProcess json;
    json.start(QStringLiteral("qpdf"), {QStringLiteral("--json=2"), QStringLiteral("--json-key=outlines"), out});
    QVERIFY(json.waitForFinished());
    const QByteArray text = json.readAllStandardOutput();
    QVERIFY(text.contains("\"destpageposfrom1\""));
    QVERIFY(!text.contains("\"destpageposfrom1\": null"));
    QProcess words;
    words.start(QStringLiteral("pdftotext"), {out, QStringLiteral("-")});
    QVERIFY(words.waitForFinished());
    QVERIFY(words.readAllStandardOutput().contains("GLPK"));
}

QTEST_MAIN(TestLinks)
#include "tst_links.moc"
