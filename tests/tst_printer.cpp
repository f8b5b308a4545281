// The printer application's own parts, without PAPPL: what a client sends checked before
// memory is taken, pictures made into pages of their size and upright, a received job kept
// whole or not at all, what an ended printer left finished or removed, one program start for
// a burst of jobs, a queue's job read, and who is at the other end of a connection.
#include "cupsjob.h"
#include "handoff.h"
#include "jpeginfo.h"
#include "peer.h"
#include "picturepdf.h"
#include "userplaces.h"

#include <QBuffer>
#include <QDir>
#include <QImage>
#include <QTemporaryDir>
#include <QtTest>

#include <poppler-qt6.h>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString writeText(const QString &path, const QByteArray &text)
{
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(text);
    return path;
}

QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

// A PDF of one page, whole.
QByteArray wholePdf()
{
    QPDF pdf;
    pdf.emptyPDF();
    QPDFPageDocumentHelper(pdf).addPage(
        pdf.makeIndirectObject(QPDFObjectHandle::parse("<< /Type /Page /MediaBox [0 0 595 842] >>")), false);
    QPDFWriter writer(pdf);
    writer.setOutputMemory();
    writer.write();
    auto buffer = writer.getBufferSharedPointer();
    return QByteArray(reinterpret_cast<const char *>(buffer->getBuffer()), int(buffer->getSize()));
}

// A JPEG 40 x 20 pixels at 144 an inch, red in its top left corner and green in its top right, with an
// Exif orientation where one is given.
QByteArray markedJpeg(int orientation)
{
    QImage image(40, 20, QImage::Format_RGB32);
    image.fill(Qt::white);
    image.setDotsPerMeterX(5669);  // 144 pixels an inch
    image.setDotsPerMeterY(5669);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 12; ++x) {
            image.setPixel(x, y, qRgb(255, 0, 0));
            image.setPixel(39 - x, y, qRgb(0, 200, 0));
        }
    }
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 95);
    QByteArray jpeg = buffer.data();
    if (orientation > 0) {
        // APP1 "Exif": a big-endian TIFF header and one entry, 0x0112 SHORT orientation.
        QByteArray exif = QByteArray("Exif\0\0MM\0*\0\0\0\x08\0\x01\x01\x12\0\x03\0\0\0\x01", 24);
        exif += char(0);
        exif += char(orientation);
        exif += QByteArray(6, '\0');
        const int length = exif.size() + 2;
        jpeg.insert(2, QByteArray("\xFF\xE1", 2) + char(length >> 8) + char(length & 0xFF) + exif);
    }
    return jpeg;
}

} // namespace

class TestPrinter : public QObject
{
    Q_OBJECT

private slots:
    void jobsNamedByTheirTitle_data();
    void jobsNamedByTheirTitle();
    void keptWholeOrNotAtAll();
    void rasterPagesCheckedBeforeMemoryIsTaken_data();
    void rasterPagesCheckedBeforeMemoryIsTaken();
    void rasterLinesBecomeAPageOfTheirSize();
    void jpegPlacedUprightAtItsOwnSize_data();
    void jpegPlacedUprightAtItsOwnSize();
    void damagedJpegRefused_data();
    void damagedJpegRefused();
    void whatAnEndedPrinterLeftIsFinished();
    void oneProgramStartForABurst();
    void queueJobsRead_data();
    void queueJobsRead();
    void tcpPeerFromTheKernelsTable_data();
    void tcpPeerFromTheKernelsTable();
    void runtimeFolderOnlyWhenPrivate_data();
    void runtimeFolderOnlyWhenPrivate();
};

void TestPrinter::jobsNamedByTheirTitle_data()
{
    QTest::addColumn<QByteArray>("title");
    QTest::addColumn<QString>("file");
    QTest::newRow("a title") << QByteArray("Quarterly report") << "Quarterly report.pdf";
    QTest::newRow("a document's name keeps one ending") << QByteArray("minutes.pdf") << "minutes.pdf";
    QTest::newRow("a path: the file's name") << QByteArray("/home/ann/minutes.pdf") << "minutes.pdf";
    QTest::newRow("no folders, not hidden") << QByteArray("../..") << "Print job 7.pdf";
    QTest::newRow("no title") << QByteArray() << "Print job 7.pdf";
    QTest::newRow("control characters") << QByteArray("a\nb\tc") << "a b c.pdf";
    QTest::newRow("not UTF-8") << QByteArray("Bericht \xfc") + "ber 2026" << "Print job 7.pdf";
    QTest::newRow("a character cut at its start") << QByteArray("Caf\xc3") << "Print job 7.pdf";
    QTest::newRow("overlong form") << QByteArray("a\xc0\xaf") + "b" << "Print job 7.pdf";
    // 199 bytes and a two-byte character: the character does not fit, and is not cut.
    QTest::newRow("long, cut before a character") << QByteArray(199, 'x') + "\xc3\xa9tude"
                                                  << QString(199, QLatin1Char('x')) + ".pdf";
    QTest::newRow("long, cut at 200") << QByteArray(250, 'y') << QString(200, QLatin1Char('y')) + ".pdf";
}

void TestPrinter::jobsNamedByTheirTitle()
{
    QFETCH(QByteArray, title);
    QFETCH(QString, file);
    ReceivedJob job;
    job.id = 7;
    job.title = title.toStdString();
    const std::string name = jobFileName(job);
    QCOMPARE(QString::fromUtf8(name.c_str()), file);
    QVERIFY(QString::fromUtf8(name.c_str()).toUtf8() == QByteArray(name.c_str()));
}

void TestPrinter::keptWholeOrNotAtAll()
{
    QTemporaryDir jobs;
    ReceivedJob job;
    job.id = 3;
    job.title = "Quarterly report";
    job.copies = 2;
    job.sides = "two-sided-long-edge";
    job.media = "iso_a4_210x297mm";
    std::string error;
    // A write that fails half-way (a full disk): nothing is left, and the reason is said.
    const std::string none = keepJob(jobs.path().toStdString(), job, [](std::FILE *f) {
        std::fputs("%PDF-1.7 half", f);
        errno = ENOSPC;
        return false;
    }, error);
    QVERIFY(none.empty());
    QVERIFY(!error.empty());
    QCOMPARE(entries(jobs.path()), QStringList());
    // A whole job: its folder holds the PDF named by the title and the attributes.
    error.clear();
    const QString kept = QString::fromStdString(keepJob(jobs.path().toStdString(), job, [](std::FILE *f) {
        return std::fputs("%PDF-1.7 whole", f) >= 0;
    }, error));
    QVERIFY2(QFileInfo(kept).fileName() == QLatin1String("Quarterly report.pdf"), qPrintable(kept));
    QFile attributes(QFileInfo(kept).dir().filePath(QStringLiteral("job.ini")));
    QVERIFY(attributes.open(QIODevice::ReadOnly));
    const ReceivedJob read = jobFromAttributesText(attributes.readAll().toStdString());
    QCOMPARE(read.copies, 2);
    QCOMPARE(QString::fromStdString(read.sides + " " + read.media), QStringLiteral("two-sided-long-edge iso_a4_210x297mm"));
    QCOMPARE(QFileInfo(QFileInfo(kept).absolutePath()).permissions() & (QFile::ReadOther | QFile::ReadGroup),
             QFile::Permissions());
}

void TestPrinter::rasterPagesCheckedBeforeMemoryIsTaken_data()
{
    QTest::addColumn<quint64>("width");
    QTest::addColumn<quint64>("height");
    QTest::addColumn<quint64>("bitsPerPixel");
    QTest::addColumn<quint64>("bytesPerLine");
    QTest::addColumn<int>("colorSpace");
    QTest::addColumn<unsigned>("page");
    QTest::addColumn<QString>("refused");  // a word of the reason; empty: taken
    // Sent by any local user to crash the printer: 30 GB of pixels asked for, and a width
    // whose line length overflows 32 bits to one byte.
    QTest::newRow("100000 x 100000 sRGB") << quint64(100000) << quint64(100000) << quint64(24) << quint64(300000) << 19
                                          << 1u << "pixels a side";
    QTest::newRow("2^29+1 wide, 1 byte a line") << (quint64(1) << 29) + 1 << quint64(10) << quint64(8) << quint64(1)
                                                << 18 << 1u << "pixels a side";
    QTest::newRow("a page of 2^31 bytes") << quint64(32768) << quint64(21846) << quint64(24) << quint64(98304) << 19 << 1u
                                          << "MiB";
    QTest::newRow("lines longer than said") << quint64(1000) << quint64(10) << quint64(24) << quint64(1000) << 19 << 1u
                                            << "bytes long";
    QTest::newRow("16 bits a colour") << quint64(100) << quint64(10) << quint64(48) << quint64(600) << 19 << 1u
                                      << "colours";
    QTest::newRow("an unknown colour space") << quint64(100) << quint64(10) << quint64(24) << quint64(300) << 77 << 1u
                                             << "colours";
    QTest::newRow("page 10001") << quint64(100) << quint64(10) << quint64(8) << quint64(100) << 18 << 10001u << "10000";
    QTest::newRow("A4 at 600 dpi, RGB") << quint64(4960) << quint64(7016) << quint64(24) << quint64(14880) << 19 << 1u
                                        << "";
    QTest::newRow("CMYK") << quint64(100) << quint64(10) << quint64(32) << quint64(400) << 6 << 1u << "";
}

void TestPrinter::rasterPagesCheckedBeforeMemoryIsTaken()
{
    QFETCH(quint64, width);
    QFETCH(quint64, height);
    QFETCH(quint64, bitsPerPixel);
    QFETCH(quint64, bytesPerLine);
    QFETCH(int, colorSpace);
    QFETCH(unsigned, page);
    QFETCH(QString, refused);
    RasterPageFormat format;
    format.width = width;
    format.height = height;
    format.bitsPerColor = 8;
    format.bitsPerPixel = bitsPerPixel;
    format.bytesPerLine = bytesPerLine;
    format.colorSpace = colorSpace;
    format.xResolution = format.yResolution = 300;
    const QString reason = QString::fromStdString(refusedRasterPage(format, page));
    if (refused.isEmpty())
        QVERIFY2(reason.isEmpty(), qPrintable(reason));
    else
        QVERIFY2(reason.contains(refused), qPrintable(reason));
}

void TestPrinter::rasterLinesBecomeAPageOfTheirSize()
{
    QTemporaryDir dir;
    PicturePdf pictures(dir.filePath(QStringLiteral("scratch")).toStdString());
    RasterPageFormat grey;
    grey.width = 600;
    grey.height = 300;
    grey.bitsPerColor = grey.bitsPerPixel = 8;
    grey.bytesPerLine = 600;
    grey.colorSpace = 18;
    grey.xResolution = grey.yResolution = 300;
    std::string error;
    QVERIFY(pictures.startRasterPage(grey, error));
    // Lines 0 and 2 given, line 1 and the rest missing: white.
    const std::string dark(600, '\x20');
    QVERIFY(pictures.addRasterLine(0, reinterpret_cast<const unsigned char *>(dark.data())));
    QVERIFY(pictures.addRasterLine(2, reinterpret_cast<const unsigned char *>(dark.data())));
    QVERIFY(pictures.endRasterPage(error));
    RasterPageFormat colour = grey;
    colour.bitsPerPixel = 24;
    colour.bytesPerLine = 1800;
    colour.colorSpace = 19;
    colour.xResolution = colour.yResolution = 150;
    QVERIFY(pictures.startRasterPage(colour, error));
    QVERIFY(pictures.endRasterPage(error));
    const QString out = dir.filePath(QStringLiteral("out.pdf"));
    std::FILE *file = std::fopen(out.toLocal8Bit().constData(), "wb");
    QVERIFY(pictures.write(file, error));
    std::fclose(file);
    QPDF pdf;
    pdf.processFile(out.toLocal8Bit().constData());
    auto pages = QPDFPageDocumentHelper(pdf).getAllPages();
    QCOMPARE(int(pages.size()), 2);
    const auto first = pages[0].getMediaBox().getArrayAsRectangle();
    const auto second = pages[1].getMediaBox().getArrayAsRectangle();
    // 600 x 300 pixels at 300 ppi are 2 x 1 inches; at 150 ppi, 4 x 2.
    QCOMPARE(QSizeF(first.urx - first.llx, first.ury - first.lly), QSizeF(144, 72));
    QCOMPARE(QSizeF(second.urx - second.llx, second.ury - second.lly), QSizeF(288, 144));
    // The pixels as given, the missing lines white.
    auto data = pages[0].getImages().begin()->second.getStreamData(qpdf_dl_all);
    const std::string pixels(reinterpret_cast<const char *>(data->getBuffer()), data->getSize());
    QCOMPARE(int(pixels.size()), 600 * 300);
    QCOMPARE(pixels.substr(0, 600), dark);
    QCOMPARE(pixels.substr(600, 600), std::string(600, '\xff'));
    QCOMPARE(pixels.substr(1200, 600), dark);
    QCOMPARE(pixels.substr(1800), std::string(600 * 297, '\xff'));
}

void TestPrinter::jpegPlacedUprightAtItsOwnSize_data()
{
    QTest::addColumn<int>("orientation");
    QTest::addColumn<QPoint>("red");    // the corner it shows in: (0 left or 1 right, 0 top or 1 bottom)
    QTest::addColumn<QPoint>("green");
    QTest::newRow("none") << 0 << QPoint(0, 0) << QPoint(1, 0);
    QTest::newRow("1 as stored") << 1 << QPoint(0, 0) << QPoint(1, 0);
    QTest::newRow("2 mirrored") << 2 << QPoint(1, 0) << QPoint(0, 0);
    QTest::newRow("3 half a turn") << 3 << QPoint(1, 1) << QPoint(0, 1);
    QTest::newRow("4 upside down mirrored") << 4 << QPoint(0, 1) << QPoint(1, 1);
    QTest::newRow("5 transposed") << 5 << QPoint(0, 0) << QPoint(0, 1);
    QTest::newRow("6 a quarter turn clockwise") << 6 << QPoint(1, 0) << QPoint(1, 1);
    QTest::newRow("7 transversed") << 7 << QPoint(1, 1) << QPoint(1, 0);
    QTest::newRow("8 a quarter turn anticlockwise") << 8 << QPoint(0, 1) << QPoint(0, 0);
}

void TestPrinter::jpegPlacedUprightAtItsOwnSize()
{
    QFETCH(int, orientation);
    QFETCH(QPoint, red);
    QFETCH(QPoint, green);
    QTemporaryDir dir;
    const QByteArray jpeg = markedJpeg(orientation);
    const QString file = writeText(dir.filePath(QStringLiteral("photo.jpg")), jpeg);
    PicturePdf pictures(dir.filePath(QStringLiteral("scratch")).toStdString());
    std::string error;
    QVERIFY2(pictures.addJpegPage(file.toStdString(), error), error.c_str());
    const QString pdfPath = dir.filePath(QStringLiteral("photo.pdf"));
    std::FILE *f = std::fopen(pdfPath.toLocal8Bit().constData(), "wb");
    QVERIFY(pictures.write(f, error));
    std::fclose(f);
    // The JPEG goes in as it is: the PDF is hardly larger.
    QVERIFY(QFileInfo(pdfPath).size() < jpeg.size() + 1500);
    std::unique_ptr<Poppler::Document> document = Poppler::Document::load(pdfPath);
    QVERIFY(document);
    std::unique_ptr<Poppler::Page> page = document->page(0);
    // At its resolution: half a point a pixel; turned a quarter, upright.
    QCOMPARE(page->pageSizeF(), orientation >= 5 ? QSizeF(10, 20) : QSizeF(20, 10));
    const QImage shown = page->renderToImage(72 * 8, 72 * 8);
    const auto colourAt = [&](QPoint corner) {
        return QColor(shown.pixel(corner.x() ? shown.width() - 4 : 3, corner.y() ? shown.height() - 4 : 3));
    };
    QVERIFY2(colourAt(red).red() > 200 && colourAt(red).green() < 80, qPrintable(colourAt(red).name()));
    QVERIFY2(colourAt(green).green() > 150 && colourAt(green).red() < 80, qPrintable(colourAt(green).name()));
}

void TestPrinter::damagedJpegRefused_data()
{
    QTest::addColumn<QByteArray>("bytes");
    const QByteArray jpeg = markedJpeg(6);
    QTest::newRow("not a JPEG") << QByteArray("%PDF-1.7");
    QTest::newRow("cut in its markers") << jpeg.left(30);
    QTest::newRow("a segment longer than the file") << jpeg.left(4) + QByteArray("\xff\xff", 2) + jpeg.mid(6, 20);
    QTest::newRow("no frame") << QByteArray("\xff\xd8\xff\xd9\0\0", 6);
    QByteArray zero = jpeg;
    const int frame = zero.indexOf("\xff\xc0");
    zero[frame + 5] = 0;
    zero[frame + 6] = 0;  // no height: a file that says it later is not taken
    QTest::newRow("no height") << zero;
}

void TestPrinter::damagedJpegRefused()
{
    QFETCH(QByteArray, bytes);
    JpegInfo info;
    std::string error;
    QVERIFY(!readJpegInfo(reinterpret_cast<const unsigned char *>(bytes.constData()), size_t(bytes.size()), info, error));
    QVERIFY(!error.empty());
}

void TestPrinter::whatAnEndedPrinterLeftIsFinished()
{
    QTemporaryDir root;
    const QString spool = root.filePath(QStringLiteral("spool")), jobs = root.filePath(QStringLiteral("jobs"));
    QDir().mkpath(spool);
    QDir().mkpath(jobs);
    const QByteArray pdf = wholePdf();
    // Killed while keeping a job: the document and its attributes in the spool, its folder
    // half-written.
    writeText(spool + QStringLiteral("/p00001j000000004-minutes.pdf"), pdf);
    ReceivedJob described;
    described.title = "Minutes of the board";
    described.copies = 3;
    writeText(spool + QStringLiteral("/p00001j000000004-minutes.pdf.job"),
              QByteArray::fromStdString(jobAttributesText(described)));
    QDir().mkpath(jobs + QStringLiteral("/.20261209-101010-4-99-1.part"));
    // Killed after the client was told, before the job was taken up: a whole PDF alone.
    writeText(spool + QStringLiteral("/p00001j000000005-agenda.pdf"), pdf);
    // Killed during an upload: part of a PDF.
    writeText(spool + QStringLiteral("/p00001j000000006-cut.pdf"), pdf.left(pdf.size() / 2));
    // Kept already, killed before the spool file went.
    const QString done = writeText(spool + QStringLiteral("/p00001j000000007-done.pdf"), pdf);
    ReceivedJob keptJob;
    keptJob.title = "done";
    keptJob.spool = spoolIdentity(done.toStdString());
    std::string error;
    QVERIFY(!keepJob(jobs.toStdString(), keptJob, [&](std::FILE *f) { return std::fputs("%PDF", f) >= 0; }, error).empty());
    // A picture job's scratch file.
    writeText(spool + QStringLiteral("/.scratch-3-99"), "zzz");

    std::string said;
    QCOMPARE(recoverSpool(spool.toStdString(), jobs.toStdString(), said), 2);
    QCOMPARE(entries(spool), QStringList());
    QStringList titles;
    for (const QString &job : entries(jobs)) {
        QVERIFY2(!job.startsWith(QLatin1Char('.')), qPrintable(job));
        QFile ini(jobs + QLatin1Char('/') + job + QStringLiteral("/job.ini"));
        ini.open(QIODevice::ReadOnly);
        const ReceivedJob read = jobFromAttributesText(ini.readAll().toStdString());
        titles << QString::fromStdString(read.title) + QLatin1Char('/') + QString::number(read.copies);
    }
    titles.sort();
    QCOMPARE(titles, QStringList({"Minutes of the board/3", "agenda/1", "done/1"}));
    // Started again: nothing is kept twice.
    QCOMPARE(recoverSpool(spool.toStdString(), jobs.toStdString(), said), 0);
    QCOMPARE(entries(jobs).size(), 3);
}

void TestPrinter::oneProgramStartForABurst()
{
    bool listening = false, runs = true;
    int starts = 0;
    ProgramStarter starter([&] { return listening; }, [&] { return pid_t(++starts); }, [&](pid_t) { return runs; },
                           std::chrono::seconds(30));
    const auto t0 = ProgramStarter::Clock::now();
    QCOMPARE(starter.tellOrStart(t0), ProgramStarter::Started);
    // More jobs while the program starts: it lists them all when it does.
    for (int i = 1; i < 10; ++i)
        QCOMPARE(starter.tellOrStart(t0 + std::chrono::milliseconds(100 * i)), ProgramStarter::StartUnderWay);
    QCOMPARE(starts, 1);
    listening = true;
    QCOMPARE(starter.tellOrStart(t0 + std::chrono::seconds(2)), ProgramStarter::Told);
    // It ended; the next job starts it again, at once.
    listening = false;
    QCOMPARE(starter.tellOrStart(t0 + std::chrono::seconds(3)), ProgramStarter::Started);
    // A start that came to nothing is tried again after a while.
    QCOMPARE(starter.tellOrStart(t0 + std::chrono::seconds(40)), ProgramStarter::Started);
    QCOMPARE(starts, 3);
    // Started for a job, listed it and was closed before another came: the next one starts it
    // again at once.
    runs = false;
    QCOMPARE(starter.tellOrStart(t0 + std::chrono::seconds(41)), ProgramStarter::Started);
    QCOMPARE(starts, 4);
    // The process id of a program that runs, and of none.
    QVERIFY(programRuns(getpid()));
    QVERIFY(!programRuns(-1));
}

void TestPrinter::queueJobsRead_data()
{
    QTest::addColumn<QString>("options");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("expected");  // copies sides media format
    QTest::newRow("IPP names") << "media=A4 sides=two-sided-long-edge" << "application/pdf"
                               << "2 two-sided-long-edge iso_a4_210x297mm application/pdf";
    QTest::newRow("the PPD's names") << "PageSize=Letter Duplex=DuplexTumble" << "application/pdf"
                                     << "2 two-sided-short-edge na_letter_8.5x11in application/pdf";
    QTest::newRow("a PWG name and a tray") << "media=iso_a5_148x210mm,tray-1 Duplex=None" << "image/jpeg"
                                           << "2 one-sided iso_a5_148x210mm image/jpeg";
    QTest::newRow("made by CUPS's filters") << "" << "application/vnd.cups-pdf" << "2   application/pdf";
    QTest::newRow("nonsense") << "media=elephant sides=both" << "application/pdf" << "2   application/pdf";
}

void TestPrinter::queueJobsRead()
{
    QFETCH(QString, options);
    QFETCH(QString, type);
    QFETCH(QString, expected);
    const ReceivedJob job = jobOfQueue("Report", "2", options.toStdString(), type.toStdString());
    QCOMPARE(QStringLiteral("%1 %2 %3 %4").arg(job.copies).arg(QString::fromStdString(job.sides),
                                                                QString::fromStdString(job.media),
                                                                QString::fromStdString(job.format)),
             expected);
}

void TestPrinter::tcpPeerFromTheKernelsTable_data()
{
    QTest::addColumn<bool>("realTable");
    QTest::addColumn<long>("uidInTable");
    QTest::newRow("the kernel's own table") << true << long(getuid());
    QTest::newRow("another user's socket") << false << 4321L;
}

void TestPrinter::tcpPeerFromTheKernelsTable()
{
    QFETCH(bool, realTable);
    QFETCH(long, uidInTable);
    // A connection on loopback, as the printer accepts one.
    const int server = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    QVERIFY(bind(server, reinterpret_cast<sockaddr *>(&address), size) == 0 && listen(server, 1) == 0);
    getsockname(server, reinterpret_cast<sockaddr *>(&address), &size);
    const int client = socket(AF_INET, SOCK_STREAM, 0);
    QVERIFY(::connect(client, reinterpret_cast<sockaddr *>(&address), size) == 0);
    const int accepted = accept(server, nullptr, nullptr);
    QTemporaryDir tables;
    QString folder = QStringLiteral("/proc/net");
    if (!realTable) {
        // The client's row as the kernel writes it, with another user's number.
        sockaddr_in from{}, to{};
        socklen_t n = sizeof from;
        getsockname(client, reinterpret_cast<sockaddr *>(&from), &n);
        getpeername(client, reinterpret_cast<sockaddr *>(&to), &n);
        const auto hex = [](const sockaddr_in &a) {
            return QStringLiteral("%1:%2").arg(a.sin_addr.s_addr, 8, 16, QLatin1Char('0')).arg(ntohs(a.sin_port), 4, 16,
                                                                                              QLatin1Char('0')).toUpper();
        };
        writeText(tables.filePath(QStringLiteral("tcp")),
                  QStringLiteral("  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout inode\n"
                                 "   0: %1 %2 01 00000000:00000000 00:00000000 00000000  %3        0 1\n")
                      .arg(hex(to), hex(from)).arg(uidInTable + 1).toLatin1()
                      + QStringLiteral("   1: %1 %2 01 00000000:00000000 00:00000000 00000000  %3        0 2\n")
                            .arg(hex(from), hex(to)).arg(uidInTable).toLatin1());
        folder = tables.path();
    }
    QCOMPARE(peer::tcpSocketUser(accepted, folder.toStdString()), uidInTable);
    close(accepted);
    close(client);
    close(server);
}

void TestPrinter::runtimeFolderOnlyWhenPrivate_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("link");
    QTest::addColumn<bool>("trusted");
    QTest::newRow("the user's, private") << 0700 << false << true;
    QTest::newRow("others may enter") << 0755 << false << false;
    QTest::newRow("others may write") << 0777 << false << false;
    QTest::newRow("a link to the user's own") << 0700 << true << false;
}

void TestPrinter::runtimeFolderOnlyWhenPrivate()
{
    QFETCH(int, mode);
    QFETCH(bool, link);
    QFETCH(bool, trusted);
    QTemporaryDir session;
    const QString folder = session.filePath(QStringLiteral("plyjoin"));
    if (link) {
        QDir().mkpath(session.filePath(QStringLiteral("elsewhere")));
        QVERIFY(QFile::link(session.filePath(QStringLiteral("elsewhere")), folder));
    } else {
        QDir().mkpath(folder);
    }
    chmod(QFile::encodeName(folder).constData(), mode_t(mode));
    qputenv("XDG_RUNTIME_DIR", session.path().toLocal8Bit());
    std::string why;
    const std::string found = userplaces::runtimeFolder(true, &why);
    QCOMPARE(QString::fromStdString(found), trusted ? folder : QString());
    QCOMPARE(why.empty(), trusted);
}

QTEST_GUILESS_MAIN(TestPrinter)
#include "tst_printer.moc"
