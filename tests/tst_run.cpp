// A run through the real window with real child processes: a scripted stand-in for the
// tiling tool in the working directory, and the real pdfplyjoin end to end.
#include "app/sheetwin.h"
#include "run/toolcontract.h"
#include "samplepdf.h"
#include "standin.h"
#include "testenv.h"
#include "ui_sheetwin.h"

#include <QAction>
#include <QDesktopServices>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <QMessageBox>
#include <QMimeData>
#include <QPointer>
#include <QTimer>
#include <csignal>

#ifndef Q_OS_WIN
#include <sys/types.h>
#include <signal.h>
#endif


// Records the files the window hands to the desktop to open.
class FileOpened : public QObject
{
    Q_OBJECT
public:
    FileOpened() { QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "open"); }
    ~FileOpened() override { QDesktopServices::unsetUrlHandler(QStringLiteral("file")); }
    QList<QUrl> urls;
public slots:
    void open(const QUrl &url) { urls << url; }
};

class TestRun : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void progressParsing_data();
    void progressParsing();
    void outputNames_data();
    void outputNames();
    void commandLineTextAndArguments();

    void threeRowsOkFailOk();
    void progressBarFollowsTool();
    void stopDuringSecondRow();
    void rowsDroppedDuringRunAreProcessed();
    void startGuards();
    void missingToolIsReported();
    void toolThatCannotStartFailsItsRow();
    void namesReachToolIntact();
    void workFolderEmptiedBeforeEachFile();
    void closingWindowStopsTool();
    void realToolEndToEnd();

private:
    QString input(const QString &name, const QByteArray &script);
    void installStandIn(bool executable = true);
    void addRows(Sheetwin &w, const QStringList &paths);
    static QStringList results(Sheetwin &w);
    static void waitIdle(Sheetwin &w);
    QStringList loggedRuns();

    std::unique_ptr<TestEnv> env;
    QString workDir, outDir, previousDir;
};

void TestRun::init()
{
    env = std::make_unique<TestEnv>();
    g_bProcess = false;
    workDir = env->path(QStringLiteral("work"));
    outDir = env->path(QStringLiteral("out"));
    QDir().mkpath(workDir);
    QDir().mkpath(outDir);
    previousDir = QDir::currentPath();
    QDir::setCurrent(workDir);
}

void TestRun::cleanup()
{
    QDir::setCurrent(previousDir);
    g_bProcess = false;
    env.reset();
}

QString TestRun::input(const QString &name, const QByteArray &script)
{
    const QString path = env->path(QStringLiteral("in/") + name);
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    f.write(script);
    return path;
}

void TestRun::installStandIn(bool executable)
{
    QVERIFY(installStandInTool(QDir(workDir).filePath(toolFileName()), executable));
}

void TestRun::addRows(Sheetwin &w, const QStringList &paths)
{
    dropFiles(&w, paths);
}

QStringList TestRun::results(Sheetwin &w)
{
    QStringList texts;
    for (int row = 0; row < w.ui->tableWidget_Files->rowCount(); ++row) {
        const QTableWidgetItem *item = w.ui->tableWidget_Files->item(row, 2);
        texts << (item ? item->text() : QStringLiteral("-"));
    }
    return texts;
}

void TestRun::waitIdle(Sheetwin &w)
{
    QTRY_VERIFY_WITH_TIMEOUT(!g_bProcess, 20000);
    QCOMPARE(w.ui->toolButton_Start->text(), QStringLiteral("Start"));
    QCOMPARE(w.ui->progressBar->value(), 0);
    for (QWidget *b : {static_cast<QWidget *>(w.ui->toolButton_AddFile), static_cast<QWidget *>(w.ui->toolButton_Delete),
                       static_cast<QWidget *>(w.ui->toolButton_Clear), static_cast<QWidget *>(w.ui->toolButton_Setting),
                       static_cast<QWidget *>(w.ui->toolButton_About), static_cast<QWidget *>(w.ui->toolButton_Change),
                       static_cast<QWidget *>(w.ui->PusButton_Browse)})
        QVERIFY(b->isEnabled());
    QVERIFY(w.fooAction->isEnabled());
    QVERIFY(!w.ui->lineEdit_OutputPath->isReadOnly());
}

QStringList TestRun::loggedRuns()
{
    return standInRuns(workDir);
}

void TestRun::progressParsing_data()
{
    QTest::addColumn<QString>("chunk");
    QTest::addColumn<int>("progress");
    QTest::newRow("one digit") << "Tavrell processing 7%\n" << 7;
    QTest::newRow("two digits") << "Tavrell processing 45%" << 45;
    QTest::newRow("three digits") << "Tavrell processing 100%" << 100;
    QTest::newRow("marker at end") << "x Tavrell processing " << 0;
    QTest::newRow("two markers, later counts") << "Tavrell processing 12%\nTavrell processing 34%\n" << 34;
    QTest::newRow("no marker") << "hello" << -1;
    QTest::newRow("third character a digit, second not") << "Tavrell processing 9x9" << 0;
}

void TestRun::progressParsing()
{
    QFETCH(QString, chunk);
    QFETCH(int, progress);
    QCOMPARE(progressInChunk(chunk), progress);
}

void TestRun::outputNames_data()
{
    QTest::addColumn<QStringList>("existing");
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");
    QTest::newRow("free") << QStringList{} << "/x/report.pdf" << "report.pdf";
    QTest::newRow("numbered") << QStringList{"report.pdf", "report0001.pdf"} << "/x/report.pdf" << "report0002.pdf";
    QTest::newRow("no extension") << QStringList{} << "/x/notes" << "notes.pdf";
    QTest::newRow("dots in name") << QStringList{"a.b.pdf"} << "/x/a.b.c.PDF" << "a.b.c.pdf";
    QTest::newRow("dots in name, taken") << QStringList{"a.b.pdf"} << "/x/a.b.PDF" << "a.b0001.pdf";
}

void TestRun::outputNames()
{
    QFETCH(QStringList, existing);
    QFETCH(QString, input);
    QFETCH(QString, expected);
    for (const QString &name : existing) {
        QFile f(QDir(outDir).filePath(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    QCOMPARE(freeOutputPath(outDir, QDir::toNativeSeparators(input)), outDir + QDir::separator() + expected);
}

void TestRun::commandLineTextAndArguments()
{
    QCOMPARE(commandLineText(QStringLiteral("/t/pdfplyjoin"), QStringLiteral(" -rt 0  -order H  -per 2*2"),
                             QStringLiteral("/in/a.pdf"), QStringLiteral("/out/a.pdf")),
             QStringLiteral("\"/t/pdfplyjoin\"  -rt 0  -order H  -per 2*2 \"/in/a.pdf\" \"/out/a.pdf\""));
    QCOMPARE(toolArguments(QStringLiteral(" -pr 1, 3 -rt 90  -order  -per 1*1"), QStringLiteral("-odd.pdf"), QStringLiteral("o.pdf")),
             (QStringList{"-pr", "1,", "3", "-rt", "90", "-order", "-per", "1*1", "--", "-odd.pdf", "o.pdf"}));
}

void TestRun::threeRowsOkFailOk()
{
    REQUIRE_STAND_IN();
    installStandIn();
    Sheetwin w;
    w.ui->lineEdit_OutputPath->setText(outDir);
    addRows(w, {input("one.pdf", "echo 'Tavrell processing 100%'; echo result=OK\n"),
                input("two.pdf", "echo 'Tavrell processing 5%'; echo 'pdfplyjoin: two.pdf is encrypted and needs a password' >&2\n"),
                input("three.pdf", "echo result=OK; exit 3\n"),
                input("four.pdf", "echo 'pdfplyjoin: warning: four.pdf: pages 3-5 had no readable content and are blank'"
                                  " >&2; echo result=OK\n")});
    QTest::mouseClick(w.ui->toolButton_Start, Qt::LeftButton);
    QVERIFY(g_bProcess);
    QCOMPARE(w.ui->toolButton_Start->text(), QStringLiteral("Stop"));
    QCOMPARE(w.ui->textEdit->toPlainText(), QString());  // the tool's output only, none yet
    QVERIFY(!w.ui->toolButton_AddFile->isEnabled());
    QVERIFY(!w.delallAction->isEnabled());
    QVERIFY(w.ui->lineEdit_OutputPath->isReadOnly());
    waitIdle(w);
    QCOMPARE(results(w), (QStringList{"ok", "fail", "ok", "ok"}));
    // Why a row failed stays with its row; so does what a row that was made lost.
    QCOMPARE(w.ui->tableWidget_Files->item(1, 2)->toolTip(), QStringLiteral("two.pdf is encrypted and needs a password"));
    QVERIFY(w.ui->tableWidget_Files->item(0, 2)->toolTip().isEmpty());
    const QString lost = QStringLiteral("Made with warnings:\nfour.pdf: pages 3-5 had no readable content and are blank");
    QCOMPARE(w.ui->tableWidget_Files->item(3, 2)->toolTip(), lost);
    QVERIFY2(w.ui->textEdit->toPlainText().endsWith(lost), qPrintable(w.ui->textEdit->toPlainText()));
    const QStringList runs = loggedRuns();
    QCOMPARE(runs.size(), 4);
    QVERIFY(runs[0].endsWith(QStringLiteral("--\n") + QDir::toNativeSeparators(env->path("in/one.pdf")) + QLatin1Char('\n')
                             + outDir + QDir::separator() + QStringLiteral("one.pdf\n")));
    QVERIFY(runs[0].startsWith(QStringLiteral("-rt\n0\n-order\nH\n-per\n2*2\n")));
}

void TestRun::progressBarFollowsTool()
{
    REQUIRE_STAND_IN();
    installStandIn();
    Sheetwin w;
    w.ui->lineEdit_OutputPath->setText(outDir);
    addRows(w, {input("slow.pdf", "echo 'Tavrell processing 45%'; sleep 0.6; echo 'Tavrell processing 7%'; sleep 30\n")});
    w.On_Button_Start();
    QTRY_COMPARE(w.ui->progressBar->value(), 45);
    QTRY_COMPARE(w.ui->progressBar->value(), 7);
    QVERIFY(w.ui->textEdit->toPlainText().contains(QStringLiteral("Tavrell processing 7%")));
    w.On_Button_Start();  // stop
    waitIdle(w);
    QCOMPARE(results(w), QStringList{"fail"});
}

void TestRun::stopDuringSecondRow()
{
    REQUIRE_STAND_IN();
    installStandIn();
    Sheetwin w;
    w.ui->lineEdit_OutputPath->setText(outDir);
    addRows(w, {input("a.pdf", "echo result=OK\n"), input("b.pdf", "echo 'Tavrell processing 50%'; sleep 30\n"),
                input("c.pdf", "echo result=OK\n")});
    w.ui->tableWidget_Files->setItem(2, 2, new QTableWidgetItem(QStringLiteral("old")));
    w.On_Button_Start();
    QTRY_COMPARE(w.ui->progressBar->value(), 50);
    QCOMPARE(w.ui->tableWidget_Files->currentRow(), 1);
    // Stop works even when the output folder has gone meanwhile.
    QDir(outDir).removeRecursively();
    QTest::mouseClick(w.ui->toolButton_Start, Qt::LeftButton);
    waitIdle(w);
    QCOMPARE(results(w), (QStringList{"ok", "fail", "old"}));
    QCOMPARE(w.ui->textEdit->toPlainText(), QStringLiteral("Stopped."));
    // Nothing starts after the stop.
    QTest::qWait(500);
    QCOMPARE(loggedRuns().size(), 2);
}

void TestRun::rowsDroppedDuringRunAreProcessed()
{
    REQUIRE_STAND_IN();
    installStandIn();
    Sheetwin w;
    w.ui->lineEdit_OutputPath->setText(outDir);
    addRows(w, {input("a.pdf", "sleep 0.5; echo result=OK\n")});
    w.On_Button_Start();
    addRows(w, {input("b.pdf", "echo result=OK\n")});
    waitIdle(w);
    QCOMPARE(results(w), (QStringList{"ok", "ok"}));
}

void TestRun::startGuards()
{
    REQUIRE_STAND_IN();
    installStandIn();
    Sheetwin w;
    w.ui->lineEdit_OutputPath->setText(env->path("missing"));
    w.On_Button_Start();  // empty table: nothing at all, not even the folder warning
    QVERIFY(!g_bProcess);
    addRows(w, {input("a.pdf", "echo result=OK\n")});
    QString shown;
    QTimer::singleShot(0, [&shown] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        shown = box ? box->text() : QStringLiteral("no box");
        if (box)
            box->button(QMessageBox::Yes)->click();
    });
    w.On_Button_Start();
    QCOMPARE(shown, QStringLiteral("Please select a correct output folder!"));
    QVERIFY(!g_bProcess);
    QCOMPARE(results(w), QStringList{"-"});
}

void TestRun::missingToolIsReported()
{
    Sheetwin w;
    w.ui->lineEdit_OutputPath->setText(outDir);
    addRows(w, {input("a.pdf", "echo result=OK\n")});
    QString shown, startText;
    QTimer::singleShot(0, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        shown = box ? box->windowTitle() + QLatin1Char('|') + box->text() : QStringLiteral("no box");
        startText = w.ui->toolButton_Start->text();
        if (box)
            box->button(QMessageBox::Yes)->click();
    });
    w.On_Button_Start();
    QVERIFY(shown.startsWith(QStringLiteral("Warning|The tiling tool was not found")));
    QCOMPARE(startText, QStringLiteral("Start"));  // no row started
    QVERIFY(shown.contains(QDir::toNativeSeparators(QDir(workDir).filePath(toolFileName()))));
    waitIdle(w);
    QCOMPARE(results(w), QStringList{"-"});

    // An empty file is no tool either.
    QFile empty(QDir(workDir).filePath(toolFileName()));
    QVERIFY(empty.open(QIODevice::WriteOnly));
    empty.close();
    QTimer::singleShot(0, [] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()))
            box->button(QMessageBox::Yes)->click();
    });
    w.On_Button_Start();
    waitIdle(w);
    QCOMPARE(results(w), QStringList{"-"});
}

void TestRun::toolThatCannotStartFailsItsRow()
{
    REQUIRE_STAND_IN();
    installStandIn(false);
    Sheetwin w;
    w.ui->lineEdit_OutputPath->setText(outDir);
    addRows(w, {input("a.pdf", "echo result=OK\n"), input("b.pdf", "echo result=OK\n")});
    w.On_Button_Start();
    waitIdle(w);
    QCOMPARE(results(w), (QStringList{"fail", "fail"}));
    // The system's reason, in the pane and on the row.
    const QString reason = w.ui->tableWidget_Files->item(1, 2)->toolTip();
    QVERIFY2(reason.startsWith(QStringLiteral("The tiling tool could not be started: ")), qPrintable(reason));
    QCOMPARE(w.ui->textEdit->toPlainText(), reason);
}

void TestRun::namesReachToolIntact()
{
    REQUIRE_STAND_IN();
    installStandIn();
    Sheetwin w;
    w.ui->lineEdit_OutputPath->setText(outDir);
    const QString odd = input(QStringLiteral("-odd \"quoted\" naïve.pdf"), "echo result=OK\n");
    addRows(w, {odd});
    w.ui->lineEdit_pages_per_sheet_horizontal->setText(QStringLiteral("3"));
    w.On_Button_Start();
    waitIdle(w);
    QCOMPARE(results(w), QStringList{"ok"});
    const QStringList args = loggedRuns().value(0).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(args.mid(args.size() - 3),
             (QStringList{"--", QDir::toNativeSeparators(odd),
                          outDir + QDir::separator() + QStringLiteral("-odd \"quoted\" naïve.pdf")}));
    QVERIFY(args.contains(QStringLiteral("3*2")));
    // The pane keeps the tool's last output.
    QCOMPARE(w.ui->textEdit->toPlainText().trimmed(), QStringLiteral("result=OK"));
}

void TestRun::workFolderEmptiedBeforeEachFile()
{
    REQUIRE_STAND_IN();
    installStandIn();
    const QString work = env->path(QStringLiteral("skellzip"));
    QDir().mkpath(work + QStringLiteral("/deep/deeper"));
    for (const QString &f : {QStringLiteral("/x.tmp"), QStringLiteral("/.hidden"), QStringLiteral("/deep/deeper/y")}) {
        QFile file(work + f);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    Sheetwin w;
    w.ui->lineEdit_OutputPath->setText(outDir);
    addRows(w, {input("a.pdf", "ls -A \"$APPDATA/skellzip\" > listing; echo result=OK\n")});
    w.On_Button_Start();
    waitIdle(w);
    QVERIFY(QDir(work).exists());
    QVERIFY(QDir(work).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot));
    QFile listing(QDir(workDir).filePath(QStringLiteral("listing")));
    QVERIFY(listing.open(QIODevice::ReadOnly));
    QCOMPARE(listing.readAll(), QByteArray());
}

void TestRun::closingWindowStopsTool()
{
    REQUIRE_STAND_IN();
    installStandIn();
    QPointer<Sheetwin> w = new Sheetwin;
    w->ui->lineEdit_OutputPath->setText(outDir);
    // Asked to end, the tool removes what it was writing; killed, it could not.
    addRows(*w, {input("a.pdf", "trap 'rm -f partial; exit 143' TERM; echo $$ > pid; touch partial\n"
                                "echo 'Tavrell processing 10%'; while :; do sleep 0.05; done\n")});
    w->show();
    w->On_Button_Start();
    QTRY_COMPARE(w->ui->progressBar->value(), 10);
    QFile pidFile(QDir(workDir).filePath(QStringLiteral("pid")));
    QVERIFY(pidFile.open(QIODevice::ReadOnly));
    const qint64 pid = pidFile.readAll().trimmed().toLongLong();
    QVERIFY(pid > 0);
    w->close();
    QTRY_VERIFY(w.isNull());
    QVERIFY(!g_bProcess);
#ifndef Q_OS_WIN
    QTRY_VERIFY(::kill(pid_t(pid), 0) != 0);
#endif
    QVERIFY(!QFile::exists(QDir(workDir).filePath(QStringLiteral("partial"))));
}

void TestRun::realToolEndToEnd()
{
    QVERIFY(QFile::copy(QStringLiteral(PDFPLYJOIN_PATH), QDir(workDir).filePath(toolFileName())));
    QFile::setPermissions(QDir(workDir).filePath(toolFileName()),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QDir().mkpath(env->path(QStringLiteral("in")));
    const struct { const char *name; int pages; const char *output; int sheets; } files[] = {
        {"report.pdf", 10, "report0001.pdf", 2}, {"handout.pdf", 3, "handout.pdf", 1}, {"proofs.pdf", 7, "proofs.pdf", 2}};
    QStringList inputs;
    for (const auto &f : files) {
        inputs << env->path(QStringLiteral("in/") + QLatin1String(f.name));
        writeSamplePdf(inputs.last().toStdString(), mixedSamplePages(f.pages));
    }
    TestEnv::store("radioButton_remain_original_size", QStringLiteral("0"));
    TestEnv::store("radioButton_fit_to_page_size", QStringLiteral("1"));
    TestEnv::store("radioButton_addcolor", QStringLiteral("1"));
    Sheetwin w;
    w.ui->lineEdit_OutputPath->setText(outDir);
    QFile taken(QDir(outDir).filePath(QStringLiteral("report.pdf")));
    QVERIFY(taken.open(QIODevice::WriteOnly));
    taken.close();
    w.ui->comboBox_pagers_per_sheet->setCurrentText(QStringLiteral("Custom"));
    w.ui->lineEdit_pages_per_sheet_horizontal->setText(QStringLiteral("3"));
    w.ui->lineEdit_pages_per_sheet_vertical->setText(QStringLiteral("2"));
    clickRadio(w.ui->radioButton_verticalreversed);
    w.ui->lineEdit_left->setText(QStringLiteral("1"));
    w.ui->comboBox_left->setCurrentText(QStringLiteral("cm"));
    w.ui->lineEdit_x->setText(QStringLiteral("4"));
    // A file the tool refuses, and says why.
    const QString locked = env->path(QStringLiteral("in/locked.pdf"));
    writeEncryptedCopy(inputs.first().toStdString(), locked.toStdString(), "user");
    addRows(w, QStringList(inputs) << locked);
    w.On_Button_Start();
    waitIdle(w);
    QCOMPARE(results(w), (QStringList{"ok", "ok", "ok", "fail"}));
    QCOMPARE(w.ui->tableWidget_Files->item(3, 2)->toolTip(),
             QDir::toNativeSeparators(locked) + QStringLiteral(" is encrypted and needs a password"));
    for (const auto &f : files) {
        const QString out = QDir(outDir).filePath(QLatin1String(f.output));
        QVERIFY2(QFile::exists(out), f.output);
        QPDF pdf;
        pdf.processFile(out.toLocal8Bit().constData());
        std::vector<QPDFPageObjectHelper> sheets = QPDFPageDocumentHelper(pdf).getAllPages();
        QCOMPARE(int(sheets.size()), f.sheets);
        const auto media = sheets.front().getMediaBox().getArrayAsRectangle();
        QCOMPARE(QSize(qRound(media.urx - media.llx), qRound(media.ury - media.lly)), QSize(595, 842));  // A4
    }
    // Open Result opens what the row's run wrote: the numbered name, report.pdf being taken;
    // nothing for a failed row or a result that has gone.
    FileOpened opened;
    w.ui->tableWidget_Files->setCurrentCell(0, 0);
    QVERIFY(w.openResultAction->isEnabled());
    w.openResultAction->trigger();
    QTRY_COMPARE(opened.urls, QList<QUrl>{QUrl::fromLocalFile(QDir(outDir).filePath(QStringLiteral("report0001.pdf")))});
    w.ui->tableWidget_Files->setCurrentCell(3, 0);
    QVERIFY(!w.openResultAction->isEnabled());
    QFile::remove(QDir(outDir).filePath(QStringLiteral("handout.pdf")));
    w.ui->tableWidget_Files->setCurrentCell(1, 0);
    QVERIFY(!w.openResultAction->isEnabled());
}

QTEST_MAIN(TestRun)
#include "tst_run.moc"
