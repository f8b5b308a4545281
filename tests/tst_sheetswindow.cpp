// The sheets window through the real main window and the real tool: the pixels of the sheet
// shown, the tool's reasons, one tool at a time, and nothing left behind.
#include "app/sheetwin.h"
#include "run/toolcontract.h"
#include "samplepdf.h"
#include "setting.h"
#include "standin.h"
#include "sheetswindow/sheetswindow.h"
#include "testenv.h"
#include "ui_setting.h"
#include "ui_sheetswindow.h"
#include "ui_sheetwin.h"

#include <QElapsedTimer>
#include <QMimeData>
#include <QTimer>

#ifdef Q_OS_LINUX
#include <unistd.h>
#endif

class TestSheets : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void pagesWhereTheyLand_data();
    void pagesWhereTheyLand();
    void whyNoSheetIsShown_data();
    void whyNoSheetIsShown();
    void manyChangesOneToolTheLastShown();
    void sidesDescribed_data();
    void sidesDescribed();
    void stoppedToolIsNoFailure_data();
    void stoppedToolIsNoFailure();
    void theStayingToolFollowsTheFile();
    void closingEndsTheToolAndLeavesNothing();
    void impliedValuesGoWithTheirReason_data();
    void impliedValuesGoWithTheirReason();
    void aPrintedJobStartsAsItAsked();

private:
    SheetsWindow *open(Sheetwin &w, const QStringList &files);
    QString colouredPdf(const QString &name, int pages);

    std::unique_ptr<TestEnv> env;
    QString previousDir;
};

namespace {

// The number of the filled sample page whose colour is nearest to the pixel's.
int pageAt(const QImage &image, double fx, double fy)
{
    const QColor c = image.pixelColor(int(fx * image.width()), int(fy * image.height()));
    int best = 0, bestDistance = 60 * 60;  // farther from every page's colour: none (white)
    for (int n = 1; n <= 12; ++n) {
        const SampleColour s = sampleColour(n);
        const int d = (c.red() - s.red) * (c.red() - s.red) + (c.green() - s.green) * (c.green() - s.green)
                      + (c.blue() - s.blue) * (c.blue() - s.blue);
        if (d < bestDistance)
            best = n, bestDistance = d;
    }
    return best;
}

// Pages in the cells of a grid on the sheet (its corners as fractions of the sheet), read
// row by row from the top left; each cell is sampled beside its middle, clear of the
// page's number.
QString pagesInGrid(const QImage &image, const QRectF &grid, int columns, int rows)
{
    QStringList pages;
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            const double w = grid.width() / columns, h = grid.height() / rows;
            pages << QString::number(pageAt(image, grid.left() + (c + 0.8) * w, grid.top() + (r + 0.8) * h));
        }
    }
    return pages.join(QLatin1Char(' '));
}

// Until the sheet of the last change is on screen (or why there is none).
bool settled(SheetsWindow *sheets)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 30000) {
        QTest::qWait(20);
        if (!sheets->proofs().isBusy() && (!sheets->sideImage().isNull() || !sheets->message().isEmpty()))
            return true;
    }
    return false;
}

int toolsRunning()
{
#ifdef Q_OS_LINUX
    int count = 0;
    const QString self = QString::number(getpid());
    for (const QString &pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QString text = QString::fromLatin1(stat.readAll());
        const QStringList after = text.mid(text.lastIndexOf(QLatin1Char(')')) + 2).split(QLatin1Char(' '));
        if (text.contains(QStringLiteral("(pdfplyjoin)")) && after.value(1) == self && after.value(0) != QLatin1String("Z"))
            ++count;
    }
    return count;
#else
    return 0;
#endif
}

} // namespace

void TestSheets::init()
{
    env = std::make_unique<TestEnv>();
    g_bProcess = false;
    previousDir = QDir::currentPath();
    QDir::setCurrent(env->dir->path());
    const QString tool = env->path(toolFileName());
    QVERIFY(QFile::copy(QStringLiteral(PDFPLYJOIN_PATH), tool));
    QFile::setPermissions(tool, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

void TestSheets::cleanup()
{
    QDir::setCurrent(previousDir);
    env.reset();
}

QString TestSheets::colouredPdf(const QString &name, int pages)
{
    SamplePage page;
    page.filled = true;
    writeSamplePdf(env->path(name).toStdString(), std::vector<SamplePage>(size_t(pages), page));
    return env->path(name);
}

SheetsWindow *TestSheets::open(Sheetwin &w, const QStringList &files)
{
    dropFiles(&w, files);
    QTest::mouseClick(w.ui->toolButton_Preview, Qt::LeftButton);
    for (QWidget *top : QApplication::topLevelWidgets()) {
        if (top->objectName() == QLatin1String("SheetsWindow") && top->isVisible())
            return static_cast<SheetsWindow *>(top);
    }
    return nullptr;
}

void TestSheets::pagesWhereTheyLand_data()
{
    QTest::addColumn<int>("document");    // its pages
    QTest::addColumn<QString>("change");
    QTest::addColumn<QRectF>("grid");     // where the cells lie on the sheet, as fractions
    QTest::addColumn<int>("columns");
    QTest::addColumn<QString>("pages");   // in the cells, row by row (0: blank)
    QTest::addColumn<QString>("size");
    QTest::addColumn<int>("side");        // on screen after the change, of
    QTest::addColumn<int>("sides");
    QTest::addColumn<QString>("bar");     // what the bar says of it
    const double margin = 100 * 72 / 25.4, width = margin + 2 * 595;
    const QRectF whole(0, 0, 1, 1);
    QTest::newRow("2x2, as opened") << 8 << "" << whole << 2 << "1 2 3 4" << "419.8 x 594.1 mm" << 0 << 2 << "Sheet 1 of 2";
    QTest::newRow("order changed") << 8 << "vertical reversed" << whole << 2 << "3 1 4 2" << "419.8 x 594.1 mm" << 0 << 2
                                   << "Sheet 1 of 2";
    QTest::newRow("left margin typed") << 8 << "left margin" << QRectF(margin / width, 0, 1 - margin / width, 1) << 2
                                       << "1 2 3 4" << "519.8 x 594.1 mm" << 0 << 2 << "Sheet 1 of 2";
    QTest::newRow("page options applied") << 8 << "apply 90 degrees and even pages" << whole << 2 << "2 4 6 8"
                                          << "594.1 x 419.8 mm" << 0 << 1 << "Sheet 1 of 1";
    QTest::newRow("a larger grid on the last side: fewer sides") << 8 << "3x3 on the second side" << whole << 3
                                                                 << "1 2 3 4 5 6 7 8 0" << "629.7 x 891.1 mm" << 0 << 1
                                                                 << "Sheet 1 of 1";
    QTest::newRow("booklet: the first front") << 6 << "booklet" << whole << 2 << "0 1" << "419.8 x 297 mm" << 0 << 4
                                              << "Sheet 1 of 2 front";
    QTest::newRow("booklet, long edge: the first back turned") << 6 << "booklet long edge" << whole << 2 << "0 2"
                                                               << "419.8 x 297 mm" << 1 << 4 << "Sheet 1 of 2 back";
}

void TestSheets::pagesWhereTheyLand()
{
    QFETCH(int, document);
    QFETCH(QString, change);
    QFETCH(QRectF, grid);
    QFETCH(int, columns);
    QFETCH(QString, pages);
    QFETCH(QString, size);
    QFETCH(int, side);
    QFETCH(int, sides);
    QFETCH(QString, bar);
    Sheetwin w;
    SheetsWindow *sheets = open(w, {colouredPdf(QStringLiteral("colours.pdf"), document)});
    QVERIFY(sheets);
    QVERIFY(settled(sheets));
    if (change == QLatin1String("vertical reversed")) {
        QTest::mouseClick(w.ui->radioButton_verticalreversed, Qt::LeftButton, Qt::NoModifier, QPoint(6, 8));
    } else if (change == QLatin1String("left margin")) {
        w.ui->lineEdit_left->clear();
        QTest::keyClicks(w.ui->lineEdit_left, QStringLiteral("100"));
    } else if (change.startsWith(QLatin1String("apply"))) {
        QTimer::singleShot(0, [] {
            auto *d = qobject_cast<Setting *>(QApplication::activeModalWidget());
            if (!d)
                return;
            d->ui->RotateCombo_rotate->setCurrentText(QStringLiteral("90 degrees"));
            clickRadio(d->ui->radioButton_evem_pages);
            QTest::mouseClick(d->ui->ConvertButton, Qt::LeftButton);
        });
        QTest::mouseClick(w.ui->toolButton_Setting, Qt::LeftButton);
    } else if (change.startsWith(QLatin1String("3x3"))) {
        sheets->setCurrentSide(1);
        QVERIFY(settled(sheets));
        w.ui->comboBox_pagers_per_sheet->setCurrentText(QStringLiteral("3x3"));
    } else if (change.startsWith(QLatin1String("booklet"))) {
        if (change.endsWith(QLatin1String("long edge")))
            sheets->ui->comboBox_BothSides->setCurrentText(QStringLiteral("long edge"));
        sheets->ui->checkBox_Booklet->click();
        // The main window shows it: two pages a side, its grid and order not to be chosen.
        QVERIFY(!w.ui->groupBox_4->isEnabled() && !w.ui->groupBox->isEnabled());
        QCOMPARE(w.previewEdit.size(), 2);
        if (change.endsWith(QLatin1String("long edge"))) {
            QVERIFY(settled(sheets));
            sheets->setCurrentSide(1);
        }
    }
    QVERIFY(settled(sheets));
    QCOMPARE(sheets->currentSide(), side);
    QCOMPARE(sheets->sideCount(), sides);
    const int cells = int(pages.count(QLatin1Char(' '))) + 1;
    QCOMPARE(pagesInGrid(sheets->sideImage(), grid, columns, (cells + columns - 1) / columns), pages);
    if (grid.left() > 0)  // the margin is bare
        QCOMPARE(pageAt(sheets->sideImage(), grid.left() / 2, 0.5), 0);
    QCOMPARE(sheets->ui->label_Size->text(), size);
    QCOMPARE((sheets->ui->label_Sheet->text() + QLatin1Char(' ') + sheets->ui->label_Side->text()).trimmed(), bar);
    // The next sheet, by the key.
    if (change.isEmpty()) {
        QTest::keyClick(sheets, Qt::Key_PageDown);
        QVERIFY(settled(sheets));
        QCOMPARE(sheets->currentSide(), 1);
        QCOMPARE(pagesInGrid(sheets->sideImage(), grid, 2, 2), QStringLiteral("5 6 7 8"));
        QCOMPARE(sheets->ui->label_Sheet->text(), QStringLiteral("Sheet 2 of 2"));
    }
}

void TestSheets::whyNoSheetIsShown_data()
{
    QTest::addColumn<bool>("listed");
    QTest::addColumn<QString>("leftMargin");
    QTest::addColumn<QString>("message");
    QTest::newRow("no file") << false << "0" << "Add a PDF to see its sheets.";
    QTest::newRow("not a number") << true << "abc" << "\"abc\" is not a number";
    QTest::newRow("too large") << true << "1e10" << "too large to place";
}

void TestSheets::whyNoSheetIsShown()
{
    QFETCH(bool, listed);
    QFETCH(QString, leftMargin);
    QFETCH(QString, message);
    Sheetwin w;
    w.ui->lineEdit_left->setText(leftMargin);
    SheetsWindow *sheets = open(w, listed ? QStringList{colouredPdf(QStringLiteral("colours.pdf"), 2)} : QStringList());
    QVERIFY(sheets);
    QVERIFY(settled(sheets));
    QVERIFY2(sheets->message().contains(message), qPrintable(sheets->message()));
    QVERIFY(sheets->sideImage().isNull());
    for (QToolButton *b : {sheets->ui->toolButton_First, sheets->ui->toolButton_Previous, sheets->ui->toolButton_Next,
                           sheets->ui->toolButton_Last})
        QVERIFY2(!b->isEnabled(), qPrintable(b->objectName()));
}

void TestSheets::manyChangesOneToolTheLastShown()
{
    Sheetwin w;
    SheetsWindow *sheets = open(w, {colouredPdf(QStringLiteral("colours.pdf"), 40)});
    QVERIFY(sheets);
    QVERIFY(settled(sheets));
    int most = 0;
    for (int margin = 1; margin <= 100; ++margin) {
        w.ui->lineEdit_left->setText(QString::number(margin));
        QTest::qWait(margin % 10);  // some come together, some apart
        most = std::max(most, toolsRunning());
    }
    QVERIFY(settled(sheets));
    QVERIFY2(most <= 1, qPrintable(QString::number(most)));
    QCOMPARE(sheets->ui->label_Size->text(), QStringLiteral("519.8 x 594.1 mm"));  // the 100 mm margin
}

void TestSheets::sidesDescribed_data()
{
    QTest::addColumn<int>("side");
    QTest::addColumn<int>("sides");
    QTest::addColumn<bool>("twoSided");
    QTest::addColumn<QList<int>>("pages");
    QTest::addColumn<QString>("said");
    QTest::newRow("N-up") << 2 << 45 << false << QList<int>{9, 10, 11, 12} << "Sheet 3 of 45: pages 9 to 12";
    QTest::newRow("a booklet's back, by slot") << 5 << 10 << true << QList<int>{11, 6} << "Sheet 3 of 5, back: pages 6 and 11";
    QTest::newRow("two-sided, odd sides") << 4 << 5 << true << QList<int>{5} << "Sheet 3 of 3, front: page 5";
    QTest::newRow("runs and a stray page") << 0 << 1 << false << QList<int>{7, 1, 2, 3, 5} << "Sheet 1 of 1: pages 1 to 3, 5 and 7";
    QTest::newRow("blank, count unknown") << 0 << -1 << false << QList<int>{} << "Sheet 1: blank";
}

void TestSheets::sidesDescribed()
{
    QFETCH(int, side);
    QFETCH(int, sides);
    QFETCH(bool, twoSided);
    QFETCH(QList<int>, pages);
    QFETCH(QString, said);
    QCOMPARE(describeSide(side, sides, twoSided, pages), said);
}

void TestSheets::stoppedToolIsNoFailure_data()
{
    QTest::addColumn<bool>("undone");  // else a run begins
    QTest::newRow("a change undone while its successor's tool ends") << true;
    QTest::newRow("a run begins while a tool works") << false;
}

// A tool asked to end (superseded, or for a run) ends with a signal's status: that is no
// reason to show, and what it was making is made when it is wanted again.
void TestSheets::stoppedToolIsNoFailure()
{
    REQUIRE_STAND_IN();
    QFETCH(bool, undone);
    const QString tool = env->path(QStringLiteral("standin"));
    QVERIFY(installStandInTool(tool));
    writeSamplePdf(env->path(QStringLiteral("sheet.pdf")).toStdString(), {SamplePage()});
    // The "input": waits as long as `delay` says, then writes the sheet where it was asked to.
    const QString input = env->path(QStringLiteral("slow.pdf"));
    QFile script(input);
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write("sleep $(cat delay)\nout=$(tail -n 2 args.log | head -n 1)\n"
                 "cp sheet.pdf \"$out\" && echo sheets=1 && echo pages=1 && echo result=OK\n");
    script.close();
    QFile delay(env->path(QStringLiteral("delay")));
    QVERIFY(delay.open(QIODevice::WriteOnly) && delay.write("30\n") > 0);
    delay.close();

    ProofMaker preview;
    preview.setTool(tool);
    QSignalSpy failed(&preview, &ProofMaker::failed), rendered(&preview, &ProofMaker::rendered);
    const ProofMaker::Request a{input, QStringLiteral(" -per 2*2"), 0}, b{input, QStringLiteral(" -per 3*3"), 0};
    preview.request(a);
    QTRY_VERIFY(preview.isToolRunning());
    if (undone) {
        preview.request(b);  // a is asked to end ...
        preview.request(a);  // ... and wanted again before it has
    } else {
        preview.setHeld(true);
        QTRY_VERIFY(!preview.isToolRunning());
        QVERIFY(preview.isBusy());
    }
    QVERIFY(delay.open(QIODevice::WriteOnly) && delay.write("0\n") > 0);
    delay.close();
    if (!undone)
        preview.setHeld(false);
    QTRY_VERIFY_WITH_TIMEOUT(!preview.isBusy(), 30000);
    QCOMPARE(failed.size(), 0);
    QCOMPARE(rendered.size(), 1);
    QCOMPARE(rendered.at(0).at(0).value<ProofMaker::Request>(), a);
}

// The tool that stays reads the file again when it changes on disk, and one that ends
// unexpectedly is said, then started again for the next request.
void TestSheets::theStayingToolFollowsTheFile()
{
    const QString input = env->path(QStringLiteral("doc.pdf"));
    writeSamplePdf(input.toStdString(), std::vector<SamplePage>(8));
    ProofMaker preview;
    preview.setTool(QStringLiteral(PDFPLYJOIN_PATH));
    QSignalSpy rendered(&preview, &ProofMaker::rendered), failed(&preview, &ProofMaker::failed);
    const ProofMaker::Request r{input, QStringLiteral(" -per 2*2"), 0};
    preview.request(r);
    QTRY_COMPARE(rendered.size(), 1);
    QCOMPARE(rendered.at(0).at(1).toInt(), 2);
    // The same request of a file grown to 20 pages: 5 sheets.
    writeSamplePdf(input.toStdString(), std::vector<SamplePage>(20));
    QFile file(input);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(10), QFileDevice::FileModificationTime));
    file.close();
    preview.request(r);
    QTRY_COMPARE(rendered.size(), 2);
    QCOMPARE(rendered.at(1).at(1).toInt(), 5);
    // The tool ends unexpectedly: the next request is answered by a new one.
#ifdef Q_OS_WIN
    QSKIP("ended from outside with pkill, which Windows has not");
#endif
    QCOMPARE(QProcess::execute(QStringLiteral("pkill"), {QStringLiteral("-KILL"), QStringLiteral("-f"), QStringLiteral("--"),
                                                         QStringLiteral("--serve ") + input}),
             0);
    QTest::qWait(200);
    preview.request({input, QStringLiteral(" -per 2*2"), 1});
    QTRY_VERIFY(rendered.size() == 3 || failed.size() > 0);
    if (rendered.size() < 3) {
        preview.request({input, QStringLiteral(" -per 2*2"), 2});
        QTRY_COMPARE(rendered.size(), 3);
    }
    QCOMPARE(rendered.last().at(4).value<QList<int>>().value(0) > 4, true);
}

void TestSheets::closingEndsTheToolAndLeavesNothing()
{
    QString folder;
    {
        Sheetwin w;
        SheetsWindow *sheets = open(w, {colouredPdf(QStringLiteral("colours.pdf"), 400)});
        QVERIFY(sheets);
        QVERIFY(settled(sheets));
        folder = sheets->proofs().folder();
        QVERIFY(QFileInfo::exists(folder));
        sheets->close();  // its tool goes with it
        QTRY_VERIFY(!QFileInfo::exists(folder));
        sheets = open(w, {});
        QVERIFY(sheets);
        folder = sheets->proofs().folder();
        w.ui->lineEdit_left->setText(QStringLiteral("7"));
        QTRY_VERIFY(sheets->proofs().isToolRunning());
    }  // the main window closes while the tool runs
    QCOMPARE(toolsRunning(), 0);
    QVERIFY(!QFileInfo::exists(folder));
    QCOMPARE(QDir(env->dir->path()).entryList(QStringList{QStringLiteral("*.pdf")}, QDir::Files),
             QStringList{QStringLiteral("colours.pdf")});
}

void TestSheets::impliedValuesGoWithTheirReason_data()
{
    QTest::addColumn<QStringList>("reason");  // the boxes that imply the value
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("shown");       // the value shown while the reason holds
    QTest::addColumn<QString>("word");        // the tool's word for it, gone with the reason
    QTest::newRow("a booklet is printed on both sides") << QStringList{"checkBox_Booklet"} << "BothSides"
                                                        << "short edge" << " -duplex";
    QTest::newRow("cards with a bleed keep their size") << QStringList{"checkBox_Repeat", "checkBox_Bleed"} << "Fit"
                                                        << "actual size" << " -fit";
}

// A value the window shows because of others is not kept as if the person had chosen it:
// after a restart, taking its reason away takes it away too.
void TestSheets::impliedValuesGoWithTheirReason()
{
    QFETCH(QStringList, reason);
    QFETCH(QString, key);
    QFETCH(QString, shown);
    QFETCH(QString, word);
    const QString pdf = colouredPdf(QStringLiteral("colours.pdf"), 4);
    const auto control = [&key](SheetsWindow *sheets) {
        return sheets->findChild<QComboBox *>(QStringLiteral("comboBox_") + key);
    };
    {
        Sheetwin w;
        SheetsWindow *sheets = open(w, {pdf});
        QVERIFY(sheets);
        for (const QString &box : reason)
            sheets->findChild<QCheckBox *>(box)->click();
        QCOMPARE(control(sheets)->currentText(), shown);
        QCOMPARE(TestEnv::stored(key.toLatin1().constData()), QStringLiteral("<absent>"));
    }
    Sheetwin w;
    SheetsWindow *sheets = open(w, {pdf});
    QVERIFY(sheets);
    QCOMPARE(control(sheets)->currentText(), shown);
    sheets->findChild<QCheckBox *>(reason.first())->click();
    QVERIFY(control(sheets)->currentText() != shown);
    QVERIFY2(!w.GetSetParameter().contains(word), qPrintable(w.GetSetParameter()));
    QVERIFY(settled(sheets));
}

// A job printed to "Tavrell PDF Plyjoin" two-sided, twice: its sheets start with backs on
// the edge it asked for and the print dialog at two copies; nothing of it is stored.
void TestSheets::aPrintedJobStartsAsItAsked()
{
#ifdef Q_OS_WIN
    QSKIP("the printer application is for Linux");
#endif
    const QString job = env->path(QStringLiteral("jobs/20260101-120000-5-1-1"));
    QDir().mkpath(job);
    QVERIFY(QFile::copy(colouredPdf(QStringLiteral("colours.pdf"), 8), job + QStringLiteral("/Minutes.pdf")));
    QFile ini(job + QStringLiteral("/job.ini"));
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write("title=Minutes\ncopies=2\nsides=two-sided-long-edge\n");
    ini.close();
    qputenv("PLYJOIN_JOBS", env->path(QStringLiteral("jobs")).toLocal8Bit());
    Sheetwin w;
    w.takePrintedJobs(false);
    qunsetenv("PLYJOIN_JOBS");
    w.ui->tableWidget_Files->setCurrentCell(0, 0);
    QTest::mouseClick(w.ui->toolButton_Preview, Qt::LeftButton);
    SheetsWindow *sheets = w.findChild<SheetsWindow *>();
    QVERIFY(sheets && settled(sheets));
    QCOMPARE(sheets->ui->comboBox_BothSides->currentText(), QStringLiteral("long edge"));
    QCOMPARE(sheets->ui->label_Side->text(), QStringLiteral("front"));
    QVERIFY(w.GetSetParameter().contains(QStringLiteral(" -duplex long")) == false);
    QCOMPARE(TestEnv::stored("BothSides"), QStringLiteral("<absent>"));
    int copies = 0;
    QTimer::singleShot(0, [&copies] {
        QWidget *dialog = QApplication::activeModalWidget();
        if (auto *box = dialog ? dialog->findChild<QSpinBox *>(QStringLiteral("copies")) : nullptr)
            copies = box->value();
        if (dialog)
            dialog->close();
    });
    QTest::mouseClick(sheets->ui->toolButton_Print, Qt::LeftButton);
    QCOMPARE(copies, 2);
}

QTEST_MAIN(TestSheets)
#include "tst_sheetswindow.moc"
