// The run controller without a window: a scripted stand-in for the tool, real child
// processes, and what the controller reports through its signals.
#include "run/runcontroller.h"
#include "run/toolcontract.h"
#include "settings/settingsfile.h"
#include "standin.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

class TestRunController : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void successMarkSplitAnywhere();
    void failureReasons_data();
    void failureReasons();

    void rowsInTurnWithReasons();
    void stopAsksToolToEndFirst();
    void stopKillsToolThatWillNotEnd();
    void toolThatCannotStart();
    void workFolderLinksNeverFollowed();
    void workFolderUnderNonAsciiAppdata();

private:
    // A controller running the stand-in on the given scripts, one row each.
    RunController *controller(const QList<QByteArray> &scripts);
    QString script(const QString &name, const QByteArray &body);

    std::unique_ptr<QTemporaryDir> dir;
    QString previousDir;
    QStringList inputs;
    std::unique_ptr<RunController> run;
};

void TestRunController::init()
{
    dir = std::make_unique<QTemporaryDir>();
    qputenv("APPDATA", dir->path().toLocal8Bit());
    previousDir = QDir::currentPath();
    QDir::setCurrent(dir->path());
    QVERIFY(installStandInTool(dir->filePath(QStringLiteral("tool"))));
    inputs.clear();
}

void TestRunController::cleanup()
{
    run.reset();
    QDir::setCurrent(previousDir);
    qunsetenv("APPDATA");
    dir.reset();
}

QString TestRunController::script(const QString &name, const QByteArray &body)
{
    QFile f(dir->filePath(name));
    if (f.open(QIODevice::WriteOnly))
        f.write(body);
    return f.fileName();
}

RunController *TestRunController::controller(const QList<QByteArray> &scripts)
{
    for (const QByteArray &body : scripts)
        inputs << script(QStringLiteral("row%1.pdf").arg(inputs.size()), body);
    const QString tool = dir->filePath(QStringLiteral("tool"));
    run = std::make_unique<RunController>([this, tool](int row, ToolJob &job) {
        if (row >= inputs.size())
            return false;
        job.program = tool;
        job.arguments = toolArguments(QStringLiteral(" -per 2*2"), inputs[row], dir->filePath(QStringLiteral("out.pdf")));
        return true;
    });
    return run.get();
}

void TestRunController::successMarkSplitAnywhere()
{
    const QString output = QStringLiteral("Tavrell processing 100%\nresult=OK\n");
    for (int split = 0; split <= output.size(); ++split) {
        ToolOutputReader reader;
        reader.feed(output.left(split));
        reader.feed(output.mid(split));
        QVERIFY2(reader.succeeded(), qPrintable(QString::number(split)));
    }
    ToolOutputReader reader;
    reader.feed(QStringLiteral("result=O"));
    reader.feed(QStringLiteral("x"));
    QVERIFY(!reader.succeeded());
}

void TestRunController::failureReasons_data()
{
    QTest::addColumn<QString>("errors");
    QTest::addColumn<bool>("stopped");
    QTest::addColumn<bool>("crashed");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("startError");
    QTest::addColumn<QString>("reason");
    QTest::newRow("the tool's words") << "pdfplyjoin: a.pdf is encrypted and needs a password\n" << false << false << 1 << ""
                                      << "a.pdf is encrypted and needs a password";
    QTest::newRow("errors before warnings")
        << "pdfplyjoin: warning: page 3 has no valid MediaBox; US Letter is assumed\npdfplyjoin: cannot write in the folder of /x/a.pdf: Permission denied\n"
        << false << false << 1 << "" << "cannot write in the folder of /x/a.pdf: Permission denied";
    QTest::newRow("only warnings") << "pdfplyjoin: warning: damaged\n" << false << false << 0 << ""
                                   << "The tiling tool ended without reporting success.\nwarning: damaged";
    QTest::newRow("crashed, silent") << "" << false << true << 0 << "" << "The tiling tool stopped unexpectedly.";
    QTest::newRow("failed, silent") << "" << false << false << 4 << "" << "The tiling tool failed (exit status 4).";
    QTest::newRow("stopped") << "pdfplyjoin: interrupted\n" << true << false << 143 << "" << "Stopped.";
    QTest::newRow("not started") << "" << false << false << 0 << "Permission denied"
                                 << "The tiling tool could not be started: Permission denied";
}

void TestRunController::failureReasons()
{
    QFETCH(QString, errors);
    QFETCH(bool, stopped);
    QFETCH(bool, crashed);
    QFETCH(int, exitCode);
    QFETCH(QString, startError);
    QFETCH(QString, reason);
    QCOMPARE(failureReason(errors, stopped, crashed, exitCode, startError), reason);
}

void TestRunController::rowsInTurnWithReasons()
{
    REQUIRE_STAND_IN();
    RunController *c = controller({"echo 'Tavrell processing 40%'; echo result=OK\n",
                                   "echo 'pdfplyjoin: \"1,5\" is not a number (after -l)' >&2; exit 2\n",
                                   "echo 'pdfplyjoin: no page of b.pdf is selected' >&2; exit 1\n",
                                   "echo result=OK; exit 3\n"});
    QSignalSpy running(c, &RunController::runningChanged);
    QSignalSpy started(c, &RunController::rowStarted);
    QSignalSpy progress(c, &RunController::progressChanged);
    QSignalSpy finished(c, &RunController::rowFinished);
    QVERIFY(c->start());
    QVERIFY(c->isRunning());
    QTRY_COMPARE_WITH_TIMEOUT(running.size(), 2, 20000);
    QCOMPARE(running.at(0).at(0).toBool(), true);
    QCOMPARE(running.at(1).at(0).toBool(), false);
    QCOMPARE(started.size(), 4);
    QCOMPARE(progress.value(0).value(0).toInt(), 40);
    QCOMPARE(finished.size(), 4);
    QStringList rows;
    for (const QList<QVariant> &row : finished)
        rows << row[1].toString() + QLatin1Char('|') + row[2].toString();
    // Each failed row says only its own reason.
    QCOMPARE(rows, (QStringList{"true|", "false|\"1,5\" is not a number (after -l)",
                                "false|no page of b.pdf is selected", "true|"}));
    QVERIFY(!c->process());
}

void TestRunController::stopAsksToolToEndFirst()
{
    REQUIRE_STAND_IN();
    // The tool takes a moment to clean up after it is asked to end: the stop does not wait
    // for it, the clean-up happens, and no later row starts.
    RunController *c = controller({"trap 'sleep 0.3; rm -f partial; exit 143' TERM\n"
                                   "touch partial; echo 'Tavrell processing 10%'\n"
                                   "while :; do sleep 0.05; done\n",
                                   "echo result=OK\n", "echo result=OK\n"});
    QSignalSpy progress(c, &RunController::progressChanged);
    QSignalSpy finished(c, &RunController::rowFinished);
    QVERIFY(c->start());
    QTRY_COMPARE_WITH_TIMEOUT(progress.size(), 1, 20000);
    QVERIFY(QFile::exists(dir->filePath(QStringLiteral("partial"))));
    c->stop();
    QVERIFY(c->isRunning() && c->isStopping());  // returned at once, the tool still cleaning up
    QTRY_VERIFY_WITH_TIMEOUT(!c->isRunning(), 20000);
    QVERIFY(!QFile::exists(dir->filePath(QStringLiteral("partial"))));
    QCOMPARE(finished.size(), 1);
    QCOMPARE(finished[0][1].toBool(), false);
    QCOMPARE(finished[0][2].toString(), QStringLiteral("Stopped."));
    QTest::qWait(500);
    QCOMPARE(standInRuns(dir->path()).size(), 1);
}

void TestRunController::stopKillsToolThatWillNotEnd()
{
    REQUIRE_STAND_IN();
    RunController *c = controller({"trap '' TERM; echo 'Tavrell processing 10%'; while :; do sleep 0.05; done\n"});
    c->setStopGrace(200);
    QSignalSpy progress(c, &RunController::progressChanged);
    QSignalSpy finished(c, &RunController::rowFinished);
    QVERIFY(c->start());
    QTRY_COMPARE_WITH_TIMEOUT(progress.size(), 1, 20000);
    c->stop();
    QTRY_VERIFY_WITH_TIMEOUT(!c->isRunning(), 20000);
    QCOMPARE(finished.size(), 1);
    QCOMPARE(finished[0][1].toBool(), false);
}

void TestRunController::toolThatCannotStart()
{
    REQUIRE_STAND_IN();
    RunController *c = controller({"echo result=OK\n", "echo result=OK\n"});
    QFile::setPermissions(dir->filePath(QStringLiteral("tool")), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    QSignalSpy finished(c, &RunController::rowFinished);
    QVERIFY(c->start());
    QTRY_VERIFY_WITH_TIMEOUT(!c->isRunning(), 20000);
    QCOMPARE(finished.size(), 2);
    const QString reason = finished[0][2].toString();
    QVERIFY2(reason.startsWith(QStringLiteral("The tiling tool could not be started: ")) && reason.contains(QStringLiteral("ermission")),
             qPrintable(reason));
}

void TestRunController::workFolderLinksNeverFollowed()
{
#ifdef Q_OS_UNIX
    // Files elsewhere, reached through links in and in place of the work folder.
    QTemporaryDir elsewhere;
    for (const char *name : {"keep1", "sub/keep2"}) {
        QDir().mkpath(QFileInfo(elsewhere.filePath(QLatin1String(name))).path());
        QFile f(elsewhere.filePath(QLatin1String(name)));
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    const QString work = dir->filePath(QStringLiteral("skellzip"));
    QVERIFY(QFile::link(elsewhere.path(), work));
    QCOMPARE(workFolder(), work);
    emptyFolder(workFolder());
    QVERIFY(QFile::exists(elsewhere.filePath(QStringLiteral("keep1"))));
    QVERIFY(QFile::exists(elsewhere.filePath(QStringLiteral("sub/keep2"))));

    QVERIFY(QFile::remove(work));
    QVERIFY(QDir().mkpath(work + QStringLiteral("/own")));
    QVERIFY(QFile::link(elsewhere.path(), work + QStringLiteral("/folder-link")));
    QVERIFY(QFile::link(elsewhere.filePath(QStringLiteral("keep1")), work + QStringLiteral("/own/file-link")));
    RunController *c = controller({"echo result=OK\n"});
    QVERIFY(c->start());
    QTRY_VERIFY_WITH_TIMEOUT(!c->isRunning(), 20000);
    QVERIFY(QDir(work).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot));
    QVERIFY(QFile::exists(elsewhere.filePath(QStringLiteral("keep1"))));
    QVERIFY(QFile::exists(elsewhere.filePath(QStringLiteral("sub/keep2"))));
#else
    QSKIP("symbolic links");
#endif
}

void TestRunController::workFolderUnderNonAsciiAppdata()
{
    // APPDATA is read once, as the system encodes it: the settings file and the work folder
    // lie in the same folder.
    const QString appdata = dir->filePath(QStringLiteral("d\u00fcr"));
    QVERIFY(QDir().mkpath(appdata + QStringLiteral("/skellzip")));
    QFile stale(appdata + QStringLiteral("/skellzip/stale"));
    QVERIFY(stale.open(QIODevice::WriteOnly));
    stale.close();
    qputenv("APPDATA", appdata.toLocal8Bit());
    QCOMPARE(QFileInfo(GetSettingInfoFileName()).absolutePath(), QFileInfo(appdata).absoluteFilePath());
    QCOMPARE(workFolder(), QDir::toNativeSeparators(appdata + QStringLiteral("/skellzip")));
    emptyFolder(workFolder());
    QVERIFY(!stale.exists());
}

QTEST_GUILESS_MAIN(TestRunController)
#include "tst_runcontroller.moc"
