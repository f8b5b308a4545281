// The input file table and the output folder row, driven through the real window.
#ifndef Q_OS_WIN
#include "app/printerlink.h"
#endif
#include "app/sheetwin.h"
#include "app/sizetext.h"
#include "testenv.h"
#include "ui_sheetwin.h"

#include <QAction>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QMimeData>
#include <QTimer>

// Records the URLs the program asks the desktop to open, instead of opening them.
class UrlRecorder : public QObject
{
    Q_OBJECT
public:
    UrlRecorder()
    {
        QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "open");
    }
    ~UrlRecorder() override { QDesktopServices::unsetUrlHandler(QStringLiteral("file")); }
    QList<QUrl> opened;
public slots:
    void open(const QUrl &url) { opened << url; }
};

class TestFileList : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        env = std::make_unique<TestEnv>();
        g_bProcess = false;
    }
    void cleanup()
    {
        g_bProcess = false;
        env.reset();
    }

    void sizeTexts_data();
    void sizeTexts();
    void dropRules();
    void commandLineFiles();
    void dropStopsAtFirstNonLocalUrl();
    void dropSizeTextsAndEmptyFile();
    void dragNeedsUriList();
    void addByDialogRules();
    void addByDialogCancelled();
    void removeCurrentAndSelectedRows();
    void clearRemovesEverything();
    void chooseOutputFolderRemembersIt();
    void chooseOutputFolderCancelled();
    void browseWarnsForMissingFolder();
    void doubleClickOpensOnce();
    void viewActionOpensCurrentRow();
    void slotsDoNothingDuringRun();
    void printedJobsListedUntilTheirRowGoes_data();
    void printedJobsListedUntilTheirRowGoes();
    void printerUnreachableIsSaid_data();
    void printerUnreachableIsSaid();

private:
    QString makeFile(const QString &name, qint64 size);
    void drop(Sheetwin &w, const QList<QUrl> &urls, QWidget *target = nullptr);
    static QStringList column(Sheetwin &w, int col);
    // Answers the next modal dialog from the event loop.
    static void answerFileDialog(const QStringList &selection);
    static void closeMessageBox(QString *text);

    std::unique_ptr<TestEnv> env;
};

QString TestFileList::makeFile(const QString &name, qint64 size)
{
    const QString path = env->path(name);
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || !f.resize(size))
        qFatal("cannot make %s", qPrintable(path));
    return path;
}

void TestFileList::drop(Sheetwin &w, const QList<QUrl> &urls, QWidget *target)
{
    QMimeData data;
    data.setUrls(urls);
    QWidget *receiver = target ? target : &w;
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&w, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent dropEvent(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(receiver, &dropEvent);
}

QStringList TestFileList::column(Sheetwin &w, int col)
{
    QStringList texts;
    QTableWidget *t = w.ui->tableWidget_Files;
    for (int row = 0; row < t->rowCount(); ++row)
        texts << (t->item(row, col) ? t->item(row, col)->text() : QStringLiteral("<none>"));
    return texts;
}

void TestFileList::answerFileDialog(const QStringList &selection)
{
    QTimer::singleShot(0, [selection] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            qFatal("no file dialog");
        if (selection.isEmpty()) {
            dialog->reject();
            return;
        }
        if (dialog->fileMode() == QFileDialog::Directory) {
            dialog->selectFile(selection.first());
        } else {
            QStringList quoted;
            for (const QString &s : selection)
                quoted << QLatin1Char('"') + QFileInfo(s).fileName() + QLatin1Char('"');
            dialog->setDirectory(QFileInfo(selection.first()).path());
            dialog->selectFile(quoted.join(QLatin1Char(' ')));
        }
        QMetaObject::invokeMethod(dialog, "accept");
    });
}

void TestFileList::closeMessageBox(QString *text)
{
    QTimer::singleShot(0, [text] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            qFatal("no message box");
        *text = box->windowTitle() + QLatin1Char('|') + box->text();
        box->button(QMessageBox::Yes)->click();
    });
}

void TestFileList::sizeTexts_data()
{
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<QString>("dialog");
    QTest::addColumn<QString>("dropped");
    QTest::newRow("123456") << qint64(123456) << "123.456     KB" << "       123,456 KB";
    QTest::newRow("1048576 edge") << qint64(1048576) << "1048.576    KB" << "      1048,576 KB";
    QTest::newRow("one more") << qint64(1048577) << "1048.577    KB" << "         1,049 MB";
    QTest::newRow("2.5 million") << qint64(2500000) << "2500.000    KB" << "         2,500 MB";
    QTest::newRow("5 GiB") << qint64(5368709120) << "5368709.120 KB" << "      5368,709 MB";
}

void TestFileList::sizeTexts()
{
    QFETCH(qint64, bytes);
    QFETCH(QString, dialog);
    QFETCH(QString, dropped);
    QCOMPARE(dialogSizeText(bytes), dialog);
    QCOMPARE(dropSizeText(bytes), dropped);
}

void TestFileList::dropRules()
{
    const QString a = makeFile("a.PDF", 10);
    const QString b = makeFile("b.Pdf", 10);
    const QString c = makeFile("c.pdf", 10);
    const QString txt = makeFile("notes.txt", 10);
    QDir().mkpath(env->path("folder.pdf"));
    Sheetwin w;
    drop(w, {QUrl::fromLocalFile(a), QUrl::fromLocalFile(b), QUrl::fromLocalFile(env->path("folder.pdf")),
             QUrl::fromLocalFile(txt), QUrl::fromLocalFile(c), QUrl::fromLocalFile(a)},
         w.ui->tableWidget_Files->viewport());
    QCOMPARE(column(w, 0), (QStringList{a, c}));
    // A file already listed is not added again.
    drop(w, {QUrl::fromLocalFile(c)});
    QCOMPARE(column(w, 0), (QStringList{a, c}));
    // A long path shows on one line; the whole of it is the cell's tool tip.
    QVERIFY(!w.ui->tableWidget_Files->wordWrap());
    QCOMPARE(w.ui->tableWidget_Files->item(1, 0)->toolTip(), c);

    // Dropped on an edit field, a file joins the list; the field keeps its text.
    const QString d = makeFile("d.pdf", 10), e = makeFile("e.pdf", 10);
    QStringList expected{a, c};
    for (const auto &[edit, file] : {std::pair{w.ui->lineEdit_left, d}, std::pair{w.ui->lineEdit_OutputPath, e}}) {
        const QString before = edit->text();
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(file)});
        data.setText(QUrl::fromLocalFile(file).toString());
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(edit, &enter);
        QDropEvent dropEvent(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(edit, &dropEvent);
        QCOMPARE(edit->text(), before);
        QCOMPARE(column(w, 0), expected << file);
    }
}

void TestFileList::commandLineFiles()
{
    // The rules of a drop: existing PDF files, each once, the rest skipped silently.
    const QString a = makeFile("a.pdf", 10), spaced = makeFile("b c.PDF", 10), odd = makeFile("d.Pdf", 10);
    const QString relative = makeFile("rel/r.pdf", 10);
    QDir().mkpath(env->path("folder.pdf"));
    const QString previous = QDir::currentPath();
    QDir::setCurrent(env->path("rel"));
    Sheetwin w;
    w.addFilesFromCommandLine({a, spaced, odd, env->path("missing.pdf"), env->path("folder.pdf"), a, "r.pdf"});
    QDir::setCurrent(previous);
    QCOMPARE(column(w, 0), (QStringList{a, spaced, relative}));
}

void TestFileList::dropStopsAtFirstNonLocalUrl()
{
    const QString a = makeFile("a.pdf", 10), b = makeFile("b.pdf", 10);
    Sheetwin w;
    drop(w, {QUrl::fromLocalFile(a), QUrl(QStringLiteral("https://example.org/x.pdf")), QUrl::fromLocalFile(b)});
    QCOMPARE(column(w, 0), QStringList{a});
}

void TestFileList::dropSizeTextsAndEmptyFile()
{
    const QString big = makeFile("big.pdf", 3000000000LL);  // sparse
    const QString empty = makeFile("empty.pdf", 0);
    Sheetwin w;
    drop(w, {QUrl::fromLocalFile(big), QUrl::fromLocalFile(empty)});
    QCOMPARE(column(w, 1), (QStringList{"      3000,000 MB", "<none>"}));
}

void TestFileList::dragNeedsUriList()
{
    Sheetwin w;
    QMimeData text;
    text.setText(QStringLiteral("hello"));
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
    enter.setAccepted(false);
    QCoreApplication::sendEvent(&w, &enter);
    QVERIFY(!enter.isAccepted());
}

void TestFileList::addByDialogRules()
{
    const QString a = makeFile("in/a.PDF", 123456);
    const QString b = makeFile("in/b.Pdf", 0);
    const QString c = makeFile("in/c.txt", 5);
    Sheetwin w;
    answerFileDialog({a, b, c});
    w.On_Button_AddFile();
    // Case does not matter here, and there is no duplicate check.
    QCOMPARE(column(w, 0), (QStringList{a, b}));
    QCOMPARE(column(w, 1), (QStringList{"123.456     KB", "<none>"}));
    QCOMPARE(TestEnv::stored("InputFolder"), env->path("in"));
    answerFileDialog({a});
    QTest::mouseClick(w.ui->toolButton_AddFile, Qt::LeftButton);
    QCOMPARE(column(w, 0), (QStringList{a, b, a}));
}

void TestFileList::addByDialogCancelled()
{
    Sheetwin w;
    answerFileDialog({});
    w.On_Button_AddFile();
    QCOMPARE(w.ui->tableWidget_Files->rowCount(), 0);
    QCOMPARE(TestEnv::stored("InputFolder"), QStringLiteral("<absent>"));
}

void TestFileList::removeCurrentAndSelectedRows()
{
    QList<QUrl> urls;
    QStringList paths;
    for (int i = 0; i < 6; ++i) {
        paths << makeFile(QStringLiteral("f%1.pdf").arg(i), 10);
        urls << QUrl::fromLocalFile(paths.last());
    }
    Sheetwin w;
    drop(w, urls);
    QTableWidget *t = w.ui->tableWidget_Files;
    t->setSelectionMode(QAbstractItemView::MultiSelection);
    t->setCurrentCell(4, 0);  // current and selected
    t->selectRow(2);
    w.On_Button_RemoveFile();
    QCOMPARE(column(w, 0), (QStringList{paths[0], paths[1], paths[3], paths[5]}));

    // Scattered selection with the current row elsewhere.
    t->clearSelection();
    t->selectRow(0);
    t->selectRow(3);
    t->setCurrentCell(1, 0, QItemSelectionModel::NoUpdate);
    w.deloneAction->trigger();
    QCOMPARE(column(w, 0), QStringList{paths[3]});

    // The Delete key does the same, but not during a run.
    drop(w, {urls[0], urls[1]});
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    t->setFocus();
    t->clearSelection();
    t->setCurrentCell(1, 0);
    g_bProcess = true;
    QTest::keyClick(t, Qt::Key_Delete);
    QCOMPARE(t->rowCount(), 3);
    g_bProcess = false;
    QTest::keyClick(t, Qt::Key_Delete);
    QCOMPARE(column(w, 0), (QStringList{paths[3], paths[1]}));
}

void TestFileList::clearRemovesEverything()
{
    Sheetwin w;
    drop(w, {QUrl::fromLocalFile(makeFile("a.pdf", 1)), QUrl::fromLocalFile(makeFile("b.pdf", 1))});
    w.delallAction->trigger();
    QCOMPARE(w.ui->tableWidget_Files->rowCount(), 0);
}

void TestFileList::chooseOutputFolderRemembersIt()
{
    const QString folder = env->path("out");
    QDir().mkpath(folder);
    Sheetwin w;
    answerFileDialog({folder});
    QTest::mouseClick(w.ui->toolButton_Change, Qt::LeftButton);
    QCOMPARE(w.ui->lineEdit_OutputPath->text(), QDir::toNativeSeparators(folder));
    QCOMPARE(TestEnv::stored("OutputFolder"), QDir::toNativeSeparators(folder));
}

void TestFileList::chooseOutputFolderCancelled()
{
    TestEnv::store("OutputFolder", QStringLiteral("/stored/folder"));
    Sheetwin w;
    w.ui->lineEdit_OutputPath->setText(QStringLiteral("typed"));
    answerFileDialog({});
    w.On_Button_OutputFolder();
    QCOMPARE(w.ui->lineEdit_OutputPath->text(), QStringLiteral("/stored/folder"));
    QCOMPARE(TestEnv::stored("OutputFolder"), QStringLiteral("/stored/folder"));
}

void TestFileList::browseWarnsForMissingFolder()
{
    UrlRecorder urls;
    Sheetwin w;
    w.ui->lineEdit_OutputPath->setText(env->path("missing"));
    QString shown;
    closeMessageBox(&shown);
    QTest::mouseClick(w.ui->PusButton_Browse, Qt::LeftButton);
    QCOMPARE(shown, QStringLiteral("Warning|Please select a correct output folder!"));
    QVERIFY(urls.opened.isEmpty());

#ifndef Q_OS_WIN  // Windows opens the folder in its Explorer, not through a URL
    w.ui->lineEdit_OutputPath->setText(env->dir->path());
    QTest::mouseClick(w.ui->PusButton_Browse, Qt::LeftButton);
    QCOMPARE(urls.opened, QList<QUrl>{QUrl::fromLocalFile(env->dir->path())});
    // A folder given relative to the working folder opens as a whole path.
    QDir().mkpath(env->path("out"));
    const QString previous = QDir::currentPath();
    QDir::setCurrent(env->dir->path());
    w.ui->lineEdit_OutputPath->setText(QStringLiteral("out"));
    QTest::mouseClick(w.ui->PusButton_Browse, Qt::LeftButton);
    QDir::setCurrent(previous);
    QCOMPARE(urls.opened.last(), QUrl::fromLocalFile(env->path("out")));
#endif
}

void TestFileList::doubleClickOpensOnce()
{
    UrlRecorder urls;
    const QString a = makeFile("a.pdf", 2000), b = makeFile("b.pdf", 0);
    Sheetwin w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    drop(w, {QUrl::fromLocalFile(a), QUrl::fromLocalFile(b)});
    QTableWidget *t = w.ui->tableWidget_Files;
    auto doubleClick = [t](int row, int col) {
        const QPoint at = t->visualRect(t->model()->index(row, col)).center();
        QTest::mouseClick(t->viewport(), Qt::LeftButton, Qt::NoModifier, at);
        QTest::mouseDClick(t->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    };
    // The desktop is asked in the background: the window does not wait for it.
    doubleClick(0, 0);
    QTRY_COMPARE(urls.opened, QList<QUrl>{QUrl::fromLocalFile(a)});
    doubleClick(0, 1);  // the size cell opens its row's file too
    QTRY_COMPARE(urls.opened, (QList<QUrl>{QUrl::fromLocalFile(a), QUrl::fromLocalFile(a)}));
    doubleClick(1, 1);  // no item
    doubleClick(1, 2);  // no item
    QTest::qWait(300);
    QCOMPARE(urls.opened.size(), 2);
}

void TestFileList::viewActionOpensCurrentRow()
{
    UrlRecorder urls;
    Sheetwin w;
    w.barAction->trigger();  // empty table: nothing
    QVERIFY(urls.opened.isEmpty());
    const QString a = makeFile("a b.pdf", 10), b = makeFile("c.pdf", 10);
    drop(w, {QUrl::fromLocalFile(a), QUrl::fromLocalFile(b)});
    w.ui->tableWidget_Files->setCurrentCell(1, 1);
    w.barAction->trigger();
    QTRY_COMPARE(urls.opened, QList<QUrl>{QUrl::fromLocalFile(b)});
}

void TestFileList::slotsDoNothingDuringRun()
{
    TestEnv::store("OutputFolder", QStringLiteral("/stored"));
    Sheetwin w;
    const QString a = makeFile("a.pdf", 10);
    drop(w, {QUrl::fromLocalFile(a)});
    w.ui->tableWidget_Files->setCurrentCell(0, 0);
    w.ui->lineEdit_OutputPath->setText(QStringLiteral("typed"));
    g_bProcess = true;
    w.On_Button_AddFile();         // would block on a dialog if it did anything
    w.On_Button_OutputFolder();
    w.On_Button_RemoveFile();
    w.On_Button_ClearFile();
    QCOMPARE(w.ui->tableWidget_Files->rowCount(), 1);
    QCOMPARE(w.ui->lineEdit_OutputPath->text(), QStringLiteral("typed"));
    // A drop still adds rows.
    drop(w, {QUrl::fromLocalFile(makeFile("b.pdf", 10))});
    QCOMPARE(w.ui->tableWidget_Files->rowCount(), 2);
}

void TestFileList::printedJobsListedUntilTheirRowGoes_data()
{
    QTest::addColumn<QByteArray>("attributes");
    QTest::addColumn<QString>("said");
    QTest::newRow("all asked for") << QByteArray("copies=2\nsides=two-sided-long-edge\nmedia=iso_a4_210x297mm\n")
                                   << "2 copies, two-sided (long edge), A4";
    QTest::newRow("nothing asked for") << QByteArray("title=x\n") << "1 copy";
    QTest::newRow("Letter, short edge") << QByteArray("sides=two-sided-short-edge\nmedia=na_letter_8.5x11in\n")
                                        << "1 copy, two-sided (short edge), Letter";
    QTest::newRow("an envelope") << QByteArray("media=na_number-10_4.125x9.5in\n") << "1 copy, Envelope #10";
    QTest::newRow("a photo size") << QByteArray("media=na_index-4x6_4x6in\n") << "1 copy, 4 x 6 in";
}

void TestFileList::printedJobsListedUntilTheirRowGoes()
{
#ifdef Q_OS_WIN
    QSKIP("the printer application is for Linux");
#endif
    QFETCH(QByteArray, attributes);
    QFETCH(QString, said);
    // A job the printer kept, in the user's jobs folder.
    const QString jobs = env->path(QStringLiteral("jobs")), job = jobs + QStringLiteral("/20260101-120000-5-1-1");
    const QString pdf = makeFile(QStringLiteral("jobs/20260101-120000-5-1-1/Quarterly report.pdf"), 100);
    QFile ini(job + QStringLiteral("/job.ini"));
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write(attributes);
    ini.close();
    qputenv("PLYJOIN_JOBS", jobs.toLocal8Bit());
    qputenv("XDG_DATA_HOME", env->path(QStringLiteral("data")).toLocal8Bit());
    // Listed at every start, shown or not; what it asked for goes with its row.
    for (int start = 0; start < 2; ++start) {
        Sheetwin w;
        w.takePrintedJobs(false);
        QCOMPARE(column(w, 0), QStringList{pdf});
        QCOMPARE(w.ui->tableWidget_Files->item(0, 0)->data(Qt::AccessibleDescriptionRole).toString(),
                 QStringLiteral("Printed to \"Tavrell PDF Plyjoin\": ") + said);
    }
    // Its row removed: the PDF to the trash, the job's folder gone; not listed again.
    {
        Sheetwin w;
        w.takePrintedJobs(false);
        w.ui->tableWidget_Files->setCurrentCell(0, 0);
        w.On_Button_RemoveFile();
    }
    QVERIFY(!QFileInfo::exists(job));
    QVERIFY(QFileInfo::exists(env->path(QStringLiteral("data/Trash/files/Quarterly report.pdf"))));
    Sheetwin w;
    w.takePrintedJobs(false);
    QCOMPARE(w.ui->tableWidget_Files->rowCount(), 0);
    qunsetenv("PLYJOIN_JOBS");
    qunsetenv("XDG_DATA_HOME");
}

void TestFileList::printerUnreachableIsSaid_data()
{
#ifndef Q_OS_WIN
    QTest::addColumn<bool>("runtime");
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("said");  // a word of what the window says; empty: nothing
    QTest::newRow("no private runtime folder") << false << PLYJOIN_PRINTER_PATH << "not this user's own";
    QTest::newRow("a printer that does not answer") << true << "/bin/true" << "it did not start";
    QTest::newRow("a program that is not there") << true << "/nonexistent/plyjoin-printer" << "could not be started";
    QTest::newRow("the printer") << true << PLYJOIN_PRINTER_PATH << "";
#endif
}

void TestFileList::printerUnreachableIsSaid()
{
#ifdef Q_OS_WIN
    QSKIP("the printer application is for Linux");
#else
    QFETCH(bool, runtime);
    QFETCH(QString, program);
    QFETCH(QString, said);
    const QString folder = env->path(QStringLiteral("run/plyjoin"));
    QDir().mkpath(folder);
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", env->path(QStringLiteral("run")).toLocal8Bit());
    qputenv("XDG_DATA_HOME", env->path(QStringLiteral("data")).toLocal8Bit());
    PrinterLink link(runtime ? folder : QString(), QStringLiteral("the folder /tmp/plyjoin-0 is not this user's own"));
    QSignalSpy spy(&link, &PrinterLink::unreachable);
    link.start(program, 3000);
    if (said.isEmpty()) {
        QTRY_VERIFY_WITH_TIMEOUT(link.runs(), 5000);
        QProcess::execute(program, {QStringLiteral("stop")});
        QCOMPARE(spy.count(), 0);
    } else {
        QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 1, 5000);
        QVERIFY2(spy.at(0).at(0).toString().contains(said), qPrintable(spy.at(0).at(0).toString()));
    }
    qunsetenv("XDG_RUNTIME_DIR");
    qunsetenv("XDG_DATA_HOME");
#endif
}

QTEST_MAIN(TestFileList)
#include "tst_filelist.moc"
