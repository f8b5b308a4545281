// Damaged, cut short and encrypted input: imposed as far as it can be read, said in words,
// and never an output that no reader can open.
#include "outputpdf.h"
#include "samplefiles.h"
#include "samplepdf.h"
#include "toolrun.h"

#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

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

} // namespace

class TestDamaged : public QObject, private SampleFiles
{
    Q_OBJECT

private slots:
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
    QTest::addColumn<QString>("where");
    QTest::newRow("inside a page's drawing") << "stream";
    QTest::newRow("between objects") << "endobj";
    QTest::newRow("inside the page tree") << "tree";
    QTest::newRow("just before the trailer") << "trailer";
    QTest::newRow("at half") << "half";
    QTest::newRow("in the header") << "header";
}

// A real document with links (its objects as MuPDF writes them: the catalog first, the page
// tree late), its end cut off at a point: at least the pages MuPDF's repair finds are imposed,
// or, where no page survives, a clear refusal; never a crash or an unreadable output.
void TestDamaged::cutShortAsADownloadThatStopped()
{
    QFETCH(QString, where);
    const QString doc = QStringLiteral("/usr/share/doc/glpk-doc/glpk.pdf");
    const QString mutool = QStandardPaths::findExecutable(QStringLiteral("mutool"));
    if (!QFile::exists(doc) || mutool.isEmpty())
        QSKIP("needs Debian's glpk-doc and mupdf-tools");
    const QString whole = path(QStringLiteral("whole.pdf"));
    QProcess clean;
    clean.start(mutool, {QStringLiteral("clean"), doc, whole});
    QVERIFY(clean.waitForFinished(60000) && clean.exitCode() == 0);
    QFile file(whole);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    qsizetype cut = bytes.size() / 2;
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
    const QString in = path(QStringLiteral("cut.pdf")), out = path(QStringLiteral("out.pdf"));
    QFile cutFile(in);
    QVERIFY(cutFile.open(QIODevice::WriteOnly));
    cutFile.write(bytes.left(cut));
    cutFile.close();
    const int mupdf = pagesMuPdfReads(mutool, in);
    const Run run = runTool({"-per", "1*1", in, out});
    if (run.exitCode != 0) {
        QCOMPARE(mupdf, 0);
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains(QStringLiteral("cannot read")), qPrintable(run.err));
        QVERIFY(!QFile::exists(out));
        return;
    }
    QVERIFY2(run.err.contains(QStringLiteral("is cut short")), qPrintable(run.err));
    const int pages = pageCount(out);
    QVERIFY2(pages >= mupdf && pages > 0, qPrintable(QStringLiteral("%1 pages, MuPDF %2").arg(pages).arg(mupdf)));
    qInfo("%d pages imposed; MuPDF reads %d", pages, mupdf);
}

QTEST_MAIN(TestDamaged)
#include "tst_damaged.moc"
