// The printer application's own part, without a printer: a received job kept whole or not at
// all, named by its title, and pictures made into PDF pages of their size.
#include "handoff.h"
#include "rasterpdf.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>

class TestPrinter : public QObject
{
    Q_OBJECT

private slots:
    void jobsNamedByTheirTitle_data();
    void jobsNamedByTheirTitle();
    void keptWholeOrNotAtAll();
    void picturesAsPagesOfTheirSize();
};

void TestPrinter::jobsNamedByTheirTitle_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("file");
    QTest::newRow("a title") << "Quarterly report" << "Quarterly report.pdf";
    QTest::newRow("a document's name keeps one ending") << "minutes.pdf" << "minutes.pdf";
    QTest::newRow("no folders, not hidden") << "../../etc/passwd" << "etc passwd.pdf";
    QTest::newRow("no title") << "" << "Print job 7.pdf";
    QTest::newRow("control characters") << "a\nb\tc" << "a b c.pdf";
}

void TestPrinter::jobsNamedByTheirTitle()
{
    QFETCH(QString, title);
    QFETCH(QString, file);
    ReceivedJob job;
    job.id = 7;
    job.title = title.toStdString();
    QCOMPARE(QString::fromStdString(jobFileName(job)), file);
}

void TestPrinter::keptWholeOrNotAtAll()
{
    QTemporaryDir jobs;
    ReceivedJob job;
    job.id = 3;
    job.title = "Quarterly report";
    job.copies = 2;
    job.sides = "two-sided-long-edge";
    std::string error;
    // A write that fails half-way (a full disk): nothing is left, and the reason is said.
    const std::string none = keepJob(jobs.path().toStdString(), job, [](std::FILE *f) {
        std::fputs("%PDF-1.7 half", f);
        errno = ENOSPC;
        return false;
    }, error);
    QVERIFY(none.empty());
    QVERIFY(!error.empty());
    QCOMPARE(QDir(jobs.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
    // A whole job: its folder holds the PDF named by the title and the attributes.
    error.clear();
    const QString kept = QString::fromStdString(keepJob(jobs.path().toStdString(), job, [](std::FILE *f) {
        return std::fputs("%PDF-1.7 whole", f) >= 0;
    }, error));
    QVERIFY2(QFileInfo(kept).fileName() == QLatin1String("Quarterly report.pdf"), qPrintable(kept));
    QFile attributes(QFileInfo(kept).dir().filePath(QStringLiteral("job.ini")));
    QVERIFY(attributes.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(attributes.readAll());
    QVERIFY(text.contains(QStringLiteral("copies=2\n")) && text.contains(QStringLiteral("sides=two-sided-long-edge\n")));
    QCOMPARE(QFileInfo(QFileInfo(kept).absolutePath()).permissions() & (QFile::ReadOther | QFile::ReadGroup),
             QFile::Permissions());
}

void TestPrinter::picturesAsPagesOfTheirSize()
{
    RasterPage grey;
    grey.width = 600;
    grey.height = 300;
    grey.components = 1;
    grey.pixels.assign(600 * 300, '\x80');
    RasterPage colour = grey;
    colour.components = 3;
    colour.xResolution = colour.yResolution = 150;
    colour.pixels.assign(600 * 300 * 3, '\x20');
    const std::string bytes = pdfOfPages({grey, colour});
    QPDF pdf;
    pdf.processMemoryFile("pictures", bytes.data(), bytes.size());
    auto pages = QPDFPageDocumentHelper(pdf).getAllPages();
    QCOMPARE(int(pages.size()), 2);
    const auto first = pages[0].getMediaBox().getArrayAsRectangle();
    const auto second = pages[1].getMediaBox().getArrayAsRectangle();
    // 600 x 300 pixels at 300 ppi are 2 x 1 inches; at 150 ppi, 4 x 2.
    QCOMPARE(QSizeF(first.urx - first.llx, first.ury - first.lly), QSizeF(144, 72));
    QCOMPARE(QSizeF(second.urx - second.llx, second.ury - second.lly), QSizeF(288, 144));
}

QTEST_GUILESS_MAIN(TestPrinter)
#include "tst_printer.moc"
