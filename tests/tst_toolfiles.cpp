// pdfplyjoin's files and its word to the caller: an output whole or not at all (failures,
// a kill, a full disk), names it refuses, progress and exit codes.
#include "impose.h"
#include "inputfile.h"
#include "outputpdf.h"
#include "protocol.h"
#include "samplefiles.h"
#include "samplepdf.h"
#include "toolrun.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <qpdf/FileInputSource.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>

#ifdef Q_OS_UNIX
#include <csignal>
#include <cstring>
#include <sys/resource.h>
#endif

class TestToolFiles : public QObject, private SampleFiles
{
    Q_OBJECT

private slots:
    void init() { dir = std::make_unique<QTemporaryDir>(); }
    void cleanup()
    {
        QDir::setCurrent(QDir::tempPath());
        dir.reset();
    }

    void progressAndExitCodes();
    void failureLeavesNothingAndKeepsExistingOutput_data();
    void failureLeavesNothingAndKeepsExistingOutput();
    void aReadErrorIsNoSheetShown();
    void refusesInputAsOutputAndFolders();
    void dashNamedFiles();
    void killedToolLeavesNothing();
    void progressWhileReading();
    void inputReadAsQpdfsOwnFile_data();
    void inputReadAsQpdfsOwnFile();
};

void TestToolFiles::progressAndExitCodes()
{
    const QString in = sample(QStringLiteral("in.pdf"), 5);
    const Run run = runTool({in, path("out.pdf")});
    QCOMPARE(run.exitCode, 0);
    const QStringList lines = run.out.split(QRegularExpression(QStringLiteral("\r?\n")), Qt::SkipEmptyParts);
    QCOMPARE(lines.last(), QStringLiteral("result=OK"));
    QCOMPARE(lines.at(lines.size() - 2), QStringLiteral("kept: 0 links, 0 form fields, 0 bookmarks; dropped: 0"));
    QCOMPARE(lines.first(), QStringLiteral("Tavrell processing 0%"));
    QCOMPARE(lines.at(lines.size() - 3), QStringLiteral("Tavrell processing 100%"));
    int previous = -1;
    for (const QString &line : lines.mid(0, lines.size() - 2)) {
        static const QRegularExpression re(QStringLiteral("^Tavrell processing (\\d+)%$"));
        const auto m = re.match(line);
        QVERIFY2(m.hasMatch(), qPrintable(line));
        QVERIFY(m.captured(1).toInt() > previous);
        previous = m.captured(1).toInt();
    }
    QVERIFY(runTool({"--help"}).out.contains(QStringLiteral("-addline R G B")));
    QVERIFY(runTool({"--version"}).out.startsWith(QStringLiteral("pdfplyjoin ")));
    const Run missing = runTool({path("nope.pdf"), path("out2.pdf")});
    QCOMPARE(missing.exitCode, 1);
    QVERIFY(missing.err.contains(QStringLiteral("nope.pdf")));
    QVERIFY(!missing.out.contains(QStringLiteral("result=OK")));
}

void TestToolFiles::failureLeavesNothingAndKeepsExistingOutput_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<bool>("fileSizeLimit");  // writes fail, as on a full disk (Unix)
    QTest::addColumn<QStringList>("shim");    // system calls made to fail (Linux)
    QTest::addColumn<QString>("reason");
    QTest::addColumn<int>("pages");  // of the input; 0: a real document of 177 pages
    QTest::newRow("no room on the sheet") << QStringList{"-l", "900", "mm", "-size", "Custom", "100", "mm", "100", "mm"}
                                          << false << QStringList{} << "no room" << 2;
    QTest::newRow("disk full") << QStringList{} << true << QStringList{} << QString::fromLocal8Bit(std::strerror(EFBIG)) << 300;
    QTest::newRow("disk full, named temporary file")
        << QStringList{} << true << QStringList{"SHIM_TMPFILE=none"} << QString::fromLocal8Bit(std::strerror(EFBIG)) << 300;
    QTest::newRow("sync fails") << QStringList{} << false << QStringList{"SHIM_FSYNC=fail"}
                                << QString::fromLocal8Bit(std::strerror(EIO)) << 2;
    // A read error is no file cut short: nothing is made of what could be read.
    const QString readError = QStringLiteral("in.pdf: ") + QString::fromLocal8Bit(std::strerror(EIO));
    QTest::newRow("bad sector at the input's head") << QStringList{} << false << QStringList{"SHIM_BAD_SECTOR=in.pdf@0"}
                                                    << readError << 40;
    QTest::newRow("bad sector in a page") << QStringList{} << false << QStringList{"SHIM_BAD_SECTOR=in.pdf@40"}
                                          << readError << 40;
    QTest::newRow("bad sector at the input's end") << QStringList{} << false << QStringList{"SHIM_BAD_SECTOR=in.pdf@95"}
                                                   << readError << 40;
    // qpdf reads on past a page it cannot read, as past damage.
    QTest::newRow("bad sector in a real document's pages")
        << QStringList{} << false << QStringList{"SHIM_BAD_SECTOR=in.pdf@30"} << readError << 0;
}

void TestToolFiles::failureLeavesNothingAndKeepsExistingOutput()
{
    QFETCH(QStringList, options);
    QFETCH(bool, fileSizeLimit);
    QFETCH(QStringList, shim);
    QFETCH(QString, reason);
    QFETCH(int, pages);
    QStringList env;
    if (!shim.isEmpty()) {
#ifdef SYSCALL_SHIM
        env = shim + QStringList{QStringLiteral("LD_PRELOAD=" SYSCALL_SHIM), QStringLiteral("ASAN_OPTIONS=verify_asan_link_order=0")};
#else
        QSKIP("needs a preloaded library (Linux)");
#endif
    }
    std::function<void()> limit;
    if (fileSizeLimit) {
#ifdef Q_OS_UNIX
        // A write fails at the process's file-size limit, as on a full disk.
        limit = [] {
            const rlimit size{64 * 1024, 64 * 1024};
            setrlimit(RLIMIT_FSIZE, &size);
            std::signal(SIGXFSZ, SIG_IGN);
        };
#else
        QSKIP("needs a file-size limit (Unix)");
#endif
    }
    QString in = path(QStringLiteral("in.pdf"));
    if (pages > 0)
        in = sample(QStringLiteral("in.pdf"), pages);
    else if (!QFile::copy(QStringLiteral("/usr/share/doc/glpk-doc/glpk.pdf"), in))
        QSKIP("needs Debian's glpk-doc");
    const QString out = path(QStringLiteral("out.pdf"));
    QFile existing(out);
    QVERIFY(existing.open(QIODevice::WriteOnly));
    existing.write("previous result");
    existing.close();
    // A failure says why, is no success, keeps the older output and leaves nothing beside it.
    const Run run = runTool(options + QStringList{in, out}, limit, env);
    QCOMPARE(run.exitCode, 1);
    QVERIFY(!run.out.contains(QStringLiteral("result=OK")));
    QVERIFY2(run.err.contains(reason), qPrintable(run.err));
    QVERIFY(existing.open(QIODevice::ReadOnly));
    QCOMPARE(existing.readAll(), QByteArray("previous result"));
    existing.close();
    QCOMPARE(QDir(dir->path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
    // Success replaces it whole.
    QCOMPARE(runTool({in, out}).exitCode, 0);
    QCOMPARE(pageCount(out), (pageCount(in) + 3) / 4);
    QCOMPARE(QDir(dir->path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
}

// The tool that stays for the sheets window meets a read error while it makes a sheet: the
// sheet is refused with the system's words, not shown as far as it was read.
void TestToolFiles::aReadErrorIsNoSheetShown()
{
#ifndef SYSCALL_SHIM
    QSKIP("needs a preloaded library (Linux)");
#else
    const QString in = path(QStringLiteral("in.pdf"));
    if (!QFile::copy(QStringLiteral("/usr/share/doc/glpk-doc/glpk.pdf"), in))
        QSKIP("needs Debian's glpk-doc");
    for (const char *where : {"30", "40"}) {
        QProcess server;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(SYSCALL_SHIM));
        env.insert(QStringLiteral("SHIM_BAD_SECTOR"), QStringLiteral("in.pdf@") + QLatin1String(where));
        server.setProcessEnvironment(env);
        server.start(QStringLiteral(PDFPLYJOIN_PATH), {QStringLiteral("--serve"), in});
        QVERIFY(server.waitForStarted());
        server.write("-per\n2*2\n-sheets\n3\n\n");
        protocol::AnswerReader answers;
        std::optional<protocol::Answer> answer;
        while (!answer && (server.waitForReadyRead(30000) || server.bytesAvailable())) {
            const QByteArray bytes = server.readAll();
            answers.feed(bytes.constData(), size_t(bytes.size()));
            answer = answers.next();
        }
        server.closeWriteChannel();
        server.waitForFinished(30000);
        QVERIFY2(answer && !answer->made, where);
        QVERIFY2(QString::fromStdString(answer->reason).endsWith(QStringLiteral("in.pdf: ")
                                                                 + QString::fromLocal8Bit(std::strerror(EIO))),
                 answer->reason.c_str());
    }
#endif
}

void TestToolFiles::refusesInputAsOutputAndFolders()
{
    const QString in = sample(QStringLiteral("in.pdf"), 2);
    const QByteArray before = [&] { QFile f(in); f.open(QIODevice::ReadOnly); return f.readAll(); }();
    Run run = runTool({in, in});
    QCOMPARE(run.exitCode, 1);
    QVERIFY(run.err.contains(QStringLiteral("input file itself")));
    run = runTool({in, dir->path() + QStringLiteral("/./in.pdf")});
    QCOMPARE(run.exitCode, 1);
    QFile f(in);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), before);
    QDir().mkpath(path("folder.pdf"));
    run = runTool({in, path("folder.pdf")});
    QCOMPARE(run.exitCode, 1);
    QVERIFY(run.err.contains(QStringLiteral("folder")));
    // A missing output folder is found before the input is read (this one is no PDF at all).
    QFile junk(path("junk.pdf"));
    QVERIFY(junk.open(QIODevice::WriteOnly));
    junk.write("not a PDF");
    junk.close();
    run = runTool({path("junk.pdf"), path("gone/out.pdf")});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(QStringLiteral("cannot write in the folder of")), qPrintable(run.err));
}

void TestToolFiles::dashNamedFiles()
{
    const QString in = sample(QStringLiteral("-odd.pdf"), 3);
    QVERIFY(QDir::setCurrent(dir->path()));
    // Without "--" a dash and a letter make an option, whatever follows.
    const Run refused = runTool({"-per", "1*1", "-odd.pdf", "-even.pdf"});
    QCOMPARE(refused.exitCode, 2);
    QVERIFY2(refused.err.contains(QStringLiteral("\"-odd.pdf\"")), qPrintable(refused.err));
    QVERIFY(!QFile::exists(path("-even.pdf")));
    QCOMPARE(runTool({"-per", "1*1", "--", "-odd.pdf", "-x.pdf"}).exitCode, 0);
    QVERIFY(QFile::exists(path("-x.pdf")));
}

void TestToolFiles::killedToolLeavesNothing()
{
#ifdef Q_OS_UNIX
    // Killed while it writes (as an out-of-memory killer or a hard stop does), the tool
    // leaves no file behind, beside the output or anywhere in its folder.
    const QString in = sample(QStringLiteral("in.pdf"), 3000);
    QTemporaryDir outDir;
    QProcess p;
    p.start(QStringLiteral(PDFPLYJOIN_PATH), {"-per", "2*2", in, outDir.filePath(QStringLiteral("out.pdf"))});
    static const QRegularExpression progress(QStringLiteral("processing (\\d+)%"));
    bool writing = false;
    // Only what came since the last read is looked at (a line cut between reads waits for
    // its end): the whole output scanned again after every read would take longer and
    // longer.
    QByteArray unread;
    while (!writing && p.waitForReadyRead(60000)) {
        unread += p.readAllStandardOutput();
        const int end = unread.lastIndexOf('\n') + 1;
        for (auto it = progress.globalMatch(QString::fromLatin1(unread.left(end))); it.hasNext();)
            writing = writing || it.next().captured(1).toInt() > 60;
        unread.remove(0, end);
    }
    QVERIFY(writing);
    ::kill(pid_t(p.processId()), SIGKILL);
    QVERIFY(p.waitForFinished());
    QVERIFY2(p.exitStatus() == QProcess::CrashExit, "the tool finished before it could be killed");
    QCOMPARE(QDir(outDir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
#else
    QSKIP("needs a kill that cannot be caught");
#endif
}

void TestToolFiles::progressWhileReading()
{
    // Reading and building the sheets report progress too, not only writing: count the
    // percentages reported before the writer's share of the scale (60 to 99) begins.
    const QString in = sample(QStringLiteral("in.pdf"), 300);
    Options o;
    o.files.input = in.toStdString();
    o.files.output = path(QStringLiteral("out.pdf")).toStdString();
    QSet<int> beforeWriting;
    impose(o, [&](int percent) {
        if (percent < 60)
            beforeWriting.insert(percent);
    }, [](const std::string &) {});
    QVERIFY2(beforeWriting.size() >= 20, qPrintable(QString::number(beforeWriting.size())));
}

void TestToolFiles::inputReadAsQpdfsOwnFile_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("lines ended by LF, CR and CR LF") << QByteArray("1 0 obj\n<< >>\rendobj\r\n\r\n2 0 obj\n");
    QTest::newRow("ends in line ends") << QByteArray("%%EOF\r\n\n\r");
    QTest::newRow("no line end") << QByteArray("startxref 99");
    QTest::newRow("one byte") << QByteArray("\n");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("over many windows") << QByteArray("stream\r\nx y z\n").repeated(9);
}

// The tool's own reading of the input (in windows of its own, here of 5 bytes so that every
// step crosses one) against qpdf's standard file: the same bytes, places and line ends, from
// every place in the file and past its end.
void TestToolFiles::inputReadAsQpdfsOwnFile()
{
    QFETCH(QByteArray, bytes);
    const QString name = path(QStringLiteral("in.pdf"));
    QFile f(name);
    QVERIFY(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
    f.close();
    const std::string file = name.toStdString();
    InputFile ours(file, 5);
    FileInputSource theirs(file.c_str());
    QStringList said[2];
    int side = 0;
    for (InputSource *in : {static_cast<InputSource *>(&ours), static_cast<InputSource *>(&theirs)}) {
        QStringList &log = said[side++];
        auto note = [&](const char *what, qint64 value) {
            log << QStringLiteral("%1=%2 at %3 last %4").arg(what).arg(value).arg(in->tell()).arg(in->getLastOffset());
        };
        std::string got;
        auto readN = [&](size_t n) {
            got.assign(n, '\0');
            got.resize(in->read(got.data(), n));
            log << QStringLiteral("read %1: [%2] at %3 last %4")
                       .arg(n).arg(QString::fromStdString(got).toHtmlEscaped()).arg(in->tell()).arg(in->getLastOffset());
        };
        // A step that throws is said as such (a place before the start).
        auto step = [&](const std::function<void()> &f) {
            try {
                f();
            } catch (const std::exception &) {
                log << QStringLiteral("threw at %1").arg(in->tell());
            }
        };
        for (qint64 from = 0; from <= bytes.size() + 2; ++from) {
            in->seek(from, SEEK_SET);
            note("line end", in->findAndSkipNextEOL());
            readN(3);
            if (!got.empty())  // qpdf gives back only what it has just read
                in->unreadCh(got.back());
            readN(12);
            in->seek(from, SEEK_SET);
            if (from <= bytes.size())  // a line starts in the file
                log << QString::fromStdString(in->readLine(4));
            step([&] { in->seek(-2, SEEK_CUR); });
            readN(1);
            in->seek(-qMin<qint64>(from, bytes.size()), SEEK_END);
            readN(7);
            readN(40);
            readN(0);
        }
        in->rewind();
        readN(size_t(bytes.size()) + 1);
    }
    QCOMPARE(said[0], said[1]);
}

QTEST_MAIN(TestToolFiles)
#include "tst_toolfiles.moc"
