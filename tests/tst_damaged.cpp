// Damaged, cut short and encrypted input: imposed as far as it can be read, said in words,
// and never an output that no reader can open.
#include "outputpdf.h"
#include "samplefiles.h"
#include "samplepdf.h"
#include "toolrun.h"

#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <poppler-qt6.h>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

namespace {

// The sample's pages placed on the output's sheets.
int placedPages(const QString &pdf)
{
    QPDF q;
    q.processFile(pdf.toLocal8Bit().constData());
    return int(readPlacements(q).size());
}

// What MuPDF's repair reads of a file: its pages, 0 where it finds none.
int pagesMuPdfReads(const QString &mutool, const QString &pdf)
{
    QProcess p;
    p.start(mutool, {QStringLiteral("info"), pdf});
    p.waitForFinished(60000);
    static const QRegularExpression pages(QStringLiteral("^Pages: (\\d+)"), QRegularExpression::MultilineOption);
    const auto m = pages.match(QString::fromLatin1(p.readAllStandardOutput()));
    return m.hasMatch() ? m.captured(1).toInt() : 0;
}

// The pages (from 1) that render all white.
QList<int> blankPages(const QString &pdf)
{
    QList<int> blank;
    std::unique_ptr<Poppler::Document> document = Poppler::Document::load(pdf);
    for (int i = 0; document && i < document->numPages(); ++i) {
        const QImage image = document->page(i)->renderToImage(8, 8).convertToFormat(QImage::Format_Grayscale8);
        bool white = true;
        for (int y = 0; y < image.height() && white; ++y) {
            const uchar *line = image.constScanLine(y);
            for (int x = 0; x < image.width() && white; ++x)
                white = line[x] > 250;
        }
        if (white)
            blank << i + 1;
    }
    return blank;
}

// The pages the tool's warning names as blank: "pages 66-177 had no readable content ...".
QList<int> namedBlank(const QString &said)
{
    static const QRegularExpression named(QStringLiteral("pages? ([0-9, and-]+) had no readable content"));
    QList<int> pages;
    const QRegularExpressionMatch m = named.match(said);
    if (!m.hasMatch())
        return pages;
    static const QRegularExpression run(QStringLiteral("(\\d+)(?:-(\\d+))?"));
    for (auto it = run.globalMatch(m.captured(1)); it.hasNext();) {
        const QRegularExpressionMatch r = it.next();
        for (int p = r.captured(1).toInt(); p <= (r.captured(2).isEmpty() ? r.captured(1) : r.captured(2)).toInt(); ++p)
            pages << p;
    }
    return pages;
}

// A document of `count` pages written by hand, as small programs write them: the catalog and
// the page tree first, then each page and its drawing ("Page N"), then the cross-references.
QByteArray handWritten(int count)
{
    QByteArray pdf("%PDF-1.4\n"), kids;
    QList<qsizetype> offsets;
    auto object = [&](const QByteArray &body) {
        offsets << pdf.size();
        pdf += QByteArray::number(offsets.size()) + " 0 obj\n" + body + "\nendobj\n";
    };
    for (int i = 0; i < count; ++i)
        kids += QByteArray::number(3 + 2 * i) + " 0 R ";
    object("<< /Type /Catalog /Pages 2 0 R >>");
    object("<< /Type /Pages /Kids [" + kids + "] /Count " + QByteArray::number(count) + " >>");
    for (int i = 0; i < count; ++i) {
        const QByteArray drawing = "BT /F1 40 Tf 50 200 Td (Page " + QByteArray::number(i + 1) + ") Tj ET";
        object("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 400] /Contents " + QByteArray::number(4 + 2 * i)
               + " 0 R /Resources << /Font << /F1 << /Type /Font /Subtype /Type1 /BaseFont /Helvetica >> >> >> >>");
        object("<< /Length " + QByteArray::number(drawing.size()) + " >>\nstream\n" + drawing + "\nendstream");
    }
    const qsizetype xref = pdf.size();
    pdf += "xref\n0 " + QByteArray::number(offsets.size() + 1) + "\n0000000000 65535 f \n";
    for (qsizetype at : offsets)
        pdf += QByteArray::number(at).rightJustified(10, '0') + " 00000 n \n";
    pdf += "trailer\n<< /Size " + QByteArray::number(offsets.size() + 1) + " /Root 1 0 R >>\nstartxref\n"
           + QByteArray::number(xref) + "\n%%EOF\n";
    return pdf;
}

} // namespace

class TestDamaged : public QObject, private SampleFiles
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // Poppler's complaints about the fonts of pages cut off.
        Poppler::setDebugErrorFunction([](const QString &, const QVariant &) {}, QVariant());
    }
    void init() { dir = std::make_unique<QTemporaryDir>(); }
    void cleanup() { dir.reset(); }

    void damagedAndEncryptedInput_data();
    void damagedAndEncryptedInput();
    void unreadablePagesBecomeBlankCells();
    void cutShortAsADownloadThatStopped_data();
    void cutShortAsADownloadThatStopped();

};

void TestDamaged::damagedAndEncryptedInput_data()
{
    QTest::addColumn<QString>("damage");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("said");   // the first line of the reason (after "pdfplyjoin: "), or a warning
    QTest::addColumn<QString>("kept");   // the kept: line, when it succeeds
    QTest::newRow("cross-reference table lost") << "startxref" << 0 << "warning:" << "";
    QTest::newRow("trailer without /Size") << "size" << 0 << "trailer dictionary lacks /Size" << "";
    QTest::newRow("broken /ID in a cross-reference stream") << "id" << 0 << "warning:"
                                                             << "kept: 8 links, 2 form fields, 5 bookmarks; dropped: 0";
    // qpdf's own rewrite never walks it; building the sheets in the document does.
    QTest::newRow("a name tree qpdf cannot walk") << "names" << 0 << "is damaged (" << "";
    // qpdf warns of it on reading the output too, which is read all the same.
    QTest::newRow("a trailer name with a stray #") << "pound" << 0 << "name with stray #" << "";
    QTest::newRow("text named .pdf") << "text" << 1 << "%1 is not a PDF file" << "";
    QTest::newRow("empty") << "empty" << 1 << "%1 is empty" << "";
    QTest::newRow("key length unfit for its revision") << "keylength" << 1 << "the sheets made of %1 could not be read back" << "";
    QTest::newRow("encrypted, anyone may open it") << "open" << 0 << "" << "";
    QTest::newRow("encrypted with a password") << "locked" << 1 << "%1 is encrypted and needs a password" << "";
}

// Damaged and encrypted input: imposed as far as qpdf can read it, said in words first, and
// never an output that no reader can open.
void TestDamaged::damagedAndEncryptedInput()
{
    QFETCH(QString, damage);
    QFETCH(int, exitCode);
    QFETCH(QString, said);
    QFETCH(QString, kept);
    const QString in = path(QStringLiteral("in.pdf")), out = path(QStringLiteral("out.pdf"));
    const QString clean = sample(QStringLiteral("clean.pdf"), 4);
    // A file written by qpdf: with a classic cross-reference table, or with object streams.
    auto rewrite = [&](const QString &from, bool objectStreams) {
        QPDF pdf;
        pdf.processFile(from.toLocal8Bit().constData());
        const QByteArray name = in.toLocal8Bit();  // the writer keeps the pointer until it writes
        QPDFWriter w(pdf, name.constData());
        w.setObjectStreamMode(objectStreams ? qpdf_o_generate : qpdf_o_disable);
        if (damage == QLatin1String("keylength"))
            w.setR3EncryptionParametersInsecure("", "owner", true, true, true, true, true, true, qpdf_r3p_full);
        w.write();
        QFile f(in);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    auto save = [&](const QByteArray &bytes) {
        QFile f(in);
        if (f.open(QIODevice::WriteOnly))
            f.write(bytes);
    };
    if (damage == QLatin1String("startxref")) {
        QByteArray bytes = rewrite(clean, false);
        save(bytes.replace(bytes.lastIndexOf("startxref"), 20, "startxref\n999999\n%%"));
    } else if (damage == QLatin1String("size")) {
        save(rewrite(clean, false).replace("/Size", "/Szie"));  // a misspelt key
    } else if (damage == QLatin1String("id")) {
        writeAnnotatedPdf(path(QStringLiteral("annotated.pdf")).toStdString());
        QByteArray bytes = rewrite(path(QStringLiteral("annotated.pdf")), true);
        const int id = bytes.indexOf("/ID [<") + 14;
        save(bytes.replace(id, 3, "\x86v\xe3"));  // stray bytes in its first string
    } else if (damage == QLatin1String("names")) {
        // The named destinations' tree: a name without its destination.
        QPDF pdf;
        pdf.processFile(clean.toLocal8Bit().constData());
        pdf.getRoot().replaceKey("/Names", QPDFObjectHandle::parse("<< /Dests << /Names [ (lost) ] >> >>"));
        const QByteArray name = in.toLocal8Bit();  // the writer keeps the pointer until it writes
        QPDFWriter w(pdf, name.constData());
        w.write();
    } else if (damage == QLatin1String("pound")) {
        save(rewrite(clean, false).replace("trailer <<", "trailer << /Stray#1 1"));
    } else if (damage == QLatin1String("text")) {
        save(QByteArray("Minutes of the meeting\n").repeated(200));
    } else if (damage == QLatin1String("empty")) {
        save(QByteArray());
    } else if (damage == QLatin1String("keylength")) {
        save(rewrite(clean, false).replace("/Length 128", "/Length 121"));  // not whole bytes
    } else {
        writeEncryptedCopy(clean.toStdString(), in.toStdString(), damage == QLatin1String("open") ? "" : "user");
    }
    const Run run = runTool({in, out});
    QCOMPARE(run.exitCode, exitCode);
    if (exitCode != 0) {
        QVERIFY2(run.err.startsWith(QStringLiteral("pdfplyjoin: ") + said.arg(in)), qPrintable(run.err));
        QVERIFY(!QFile::exists(out));
        return;
    }
    QVERIFY2(run.err.contains(said), qPrintable(run.err));
    QVERIFY(damage == QLatin1String("pound") || isSoundPdf(out));
    if (damage == QLatin1String("id")) {
        QVERIFY2(run.out.contains(kept), qPrintable(run.out));
    } else {
        QCOMPARE(placedPages(out), 4);
    }
}

void TestDamaged::unreadablePagesBecomeBlankCells()
{
    // A MediaBox number too large for qpdf makes the page objects unreadable: the pages are
    // still placed (blank, with a warning) and the output is a valid PDF.
    SamplePage absurd;
    absurd.width = 1e20;
    absurd.height = 3;
    const QString in = sample(QStringLiteral("in.pdf"), 2, absurd);
    const QString out = path(QStringLiteral("out.pdf"));
    const Run run = runTool({"-per", "2*1", in, out});
    QCOMPARE(run.exitCode, 0);
    QVERIFY(run.err.contains(QStringLiteral("no valid MediaBox")));
    QCOMPARE(pageCount(out), 1);
    QVERIFY(isSoundPdf(out));
}

void TestDamaged::cutShortAsADownloadThatStopped_data()
{
    QTest::addColumn<QString>("writer");  // how the whole document was written: qpdf or MuPDF
    QTest::addColumn<QString>("where");
    QTest::addColumn<int>("exactPages");  // the pages the output must have, where the file says it
    // qpdf without object streams: the page tree first, each page's drawing after it.
    QTest::newRow("qpdf, at 5 %") << "qpdf" << "0.05" << -1;
    QTest::newRow("qpdf, at 30 %") << "qpdf" << "0.30" << -1;
    QTest::newRow("qpdf, at 45 %") << "qpdf" << "0.45" << -1;
    QTest::newRow("qpdf, at 80 %") << "qpdf" << "0.80" << -1;
    // MuPDF: the catalog first, the page tree late.
    QTest::newRow("MuPDF, inside a page's drawing") << "mupdf" << "stream" << -1;
    QTest::newRow("MuPDF, between objects") << "mupdf" << "endobj" << -1;
    QTest::newRow("MuPDF, inside the page tree") << "mupdf" << "tree" << -1;
    QTest::newRow("MuPDF, just before the trailer") << "mupdf" << "trailer" << -1;
    QTest::newRow("MuPDF, at half") << "mupdf" << "0.5" << -1;
    QTest::newRow("MuPDF, in the header") << "mupdf" << "header" << -1;
    // Written by hand, its page tree whole: every page it counts is a page of the output.
    QTest::newRow("by hand, after page 2 of 5") << "hand" << "7 0 obj" << 5;
    QTest::newRow("by hand, inside page 2's drawing") << "hand" << "(Page 2" << 5;
    QTest::newRow("by hand, before the cross-references") << "hand" << "xref" << 5;
}

// A real document with links, its end cut off at a point, as a download that stopped leaves
// it: what can be read is imposed, and the pages that came out blank are named, exactly, in
// the warning; where no page can be read (MuPDF finds none), the file is refused; never a
// crash, an unreadable output, or blank sheets called whole.
void TestDamaged::cutShortAsADownloadThatStopped()
{
    QFETCH(QString, writer);
    QFETCH(QString, where);
    QFETCH(int, exactPages);
    const QString doc = QStringLiteral("/usr/share/doc/glpk-doc/glpk.pdf");
    const QString mutool = QStandardPaths::findExecutable(QStringLiteral("mutool"));
    if ((writer != QLatin1String("hand") && !QFile::exists(doc)) || mutool.isEmpty())
        QSKIP("needs Debian's glpk-doc and mupdf-tools");
    const QString whole = path(QStringLiteral("whole.pdf"));
    if (writer == QLatin1String("hand")) {
        QFile hand(whole);
        QVERIFY(hand.open(QIODevice::WriteOnly));
        hand.write(handWritten(5));
    } else if (writer == QLatin1String("mupdf")) {
        QProcess clean;
        clean.start(mutool, {QStringLiteral("clean"), doc, whole});
        QVERIFY(clean.waitForFinished(60000) && clean.exitCode() == 0);
    } else {
        QPDF pdf;
        pdf.processFile(doc.toLocal8Bit().constData());
        const QByteArray name = whole.toLocal8Bit();
        QPDFWriter w(pdf, name.constData());
        w.setObjectStreamMode(qpdf_o_disable);
        w.write();
    }
    QFile file(whole);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    qsizetype cut = qsizetype(bytes.size() * where.toDouble());
    if (where == QLatin1String("stream"))
        cut = bytes.indexOf("stream", bytes.size() / 3) + 40;
    else if (where == QLatin1String("endobj"))
        cut = bytes.indexOf("endobj", bytes.size() / 4) + 7;
    else if (where == QLatin1String("tree"))
        cut = bytes.indexOf("/Type/Pages") + 30;
    else if (where == QLatin1String("trailer"))
        cut = bytes.lastIndexOf("\nxref") + 1;
    else if (where == QLatin1String("header"))
        cut = 12;
    else if (writer == QLatin1String("hand"))
        cut = bytes.indexOf(where.toLatin1());
    const QString in = path(QStringLiteral("cut.pdf")), out = path(QStringLiteral("out.pdf"));
    QFile cutFile(in);
    QVERIFY(cutFile.open(QIODevice::WriteOnly));
    cutFile.write(bytes.left(cut));
    cutFile.close();
    const int mupdf = pagesMuPdfReads(mutool, in);
    const Run run = runTool({"-per", "1*1", in, out});
    if (run.exitCode != 0) {
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains(QStringLiteral("cannot read")) || run.err.contains(QStringLiteral("could be read")),
                 qPrintable(run.err));
        QVERIFY(!QFile::exists(out));
        QCOMPARE(mupdf, 0);
        return;
    }
    QVERIFY2(run.err.contains(QStringLiteral("is cut short")), qPrintable(run.err));
    const int pages = pageCount(out);
    if (exactPages > 0)
        QCOMPARE(pages, exactPages);
    QVERIFY2(pages >= mupdf && pages > 0, qPrintable(QStringLiteral("%1 pages, MuPDF %2").arg(pages).arg(mupdf)));
    // The pages named blank are those that render blank here and not in the whole document.
    const QList<int> blankWhole = blankPages(whole), blankOut = blankPages(out);
    QList<int> lost;
    for (int page : blankOut) {
        if (!blankWhole.contains(page))
            lost << page;
    }
    QCOMPARE(namedBlank(run.err), lost);
    // Blank sheets alone are no result.
    QVERIFY2(lost.size() < pages, "every sheet is blank");
    // qpdf's repairs are summed up, not said object by object.
    QVERIFY2(run.err.count(QStringLiteral("qpdf warned")) <= 1 && run.err.count(QLatin1Char('\n')) <= 4,
             qPrintable(run.err));
    qInfo("%d pages imposed, %lld named blank; MuPDF reads %d", pages, qlonglong(lost.size()), mupdf);
}

QTEST_MAIN(TestDamaged)
#include "tst_damaged.moc"
