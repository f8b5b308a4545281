// The main window: its form, start-up state, toolbar, context menu, resize rule and presets.
#include "app/sheetwin.h"
#include "testenv.h"
#include "ui_sheetwin.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QScrollBar>
#include <QTimer>

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void init() { env = std::make_unique<TestEnv>(); }
    void cleanup() { env.reset(); }

    void formHasEveryNamedWidget_data();
    void formHasEveryNamedWidget();
    void bareFormBeforeTheWindowCompletesIt();
    void startUpState();
    void outputFolderRestoredAtStartUp();
    void toolbarLooks();
    void contextMenuEntriesInOrder();
    void resizeRule_data();
    void resizeRule();
    void bottomRowKeepsItsSizes();
    void unitAndPresetLists();
    void presetWritesGrid_data();
    void presetWritesGrid();

private:
    std::unique_ptr<TestEnv> env;
    QColor menuColour;
};

void TestMainWindow::formHasEveryNamedWidget_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("cls");
    const char *rows[][2] = {
        {"centralwidget", "QWidget"}, {"toolButton_AddFile", "QToolButton"}, {"toolButton_Delete", "QToolButton"},
        {"toolButton_Clear", "QToolButton"}, {"toolButton_Setting", "QToolButton"}, {"toolButton_Start", "QToolButton"},
        {"toolButton_About", "QToolButton"}, {"frame", "QFrame"}, {"tableWidget_Files", "QTableWidget"},
        {"label", "QLabel"}, {"lineEdit_OutputPath", "QLineEdit"}, {"toolButton_Change", "QToolButton"},
        {"PusButton_Browse", "QPushButton"}, {"progressBar", "QProgressBar"}, {"textEdit", "QTextEdit"},
        {"groupBox", "QGroupBox"}, {"radioButton_horizontal", "QRadioButton"},
        {"radioButton_horizontalreversed", "QRadioButton"}, {"radioButton_vertical", "QRadioButton"},
        {"radioButton_verticalreversed", "QRadioButton"}, {"groupBox_4", "QGroupBox"},
        {"comboBox_pagers_per_sheet", "QComboBox"}, {"lineEdit_pages_per_sheet_horizontal", "QLineEdit"},
        {"label_3", "QLabel"}, {"lineEdit_pages_per_sheet_vertical", "QLineEdit"}, {"groupBox_2", "QGroupBox"},
        {"label_4", "QLabel"}, {"label_5", "QLabel"}, {"lineEdit_x", "QLineEdit"}, {"lineEdit_y", "QLineEdit"},
        {"comboBox_x", "QComboBox"}, {"comboBox_y", "QComboBox"}, {"groupBox_3", "QGroupBox"},
        {"comboBox_left", "QComboBox"}, {"comboBox_right", "QComboBox"}, {"comboBox_top", "QComboBox"},
        {"comboBox_bottom", "QComboBox"}, {"lineEdit_left", "QLineEdit"}, {"lineEdit_right", "QLineEdit"},
        {"lineEdit_top", "QLineEdit"}, {"lineEdit_bottom", "QLineEdit"}, {"label_6", "QLabel"},
        {"label_7", "QLabel"}, {"label_8", "QLabel"}, {"label_9", "QLabel"}, {"frame_preview", "QFrame"},
    };
    for (auto &row : rows)
        QTest::newRow(row[0]) << QString::fromLatin1(row[0]) << QString::fromLatin1(row[1]);
}

void TestMainWindow::formHasEveryNamedWidget()
{
    QFETCH(QString, name);
    QFETCH(QString, cls);
    Sheetwin w;
    QWidget *found = w.findChild<QWidget *>(name);
    QVERIFY2(found, qPrintable(name));
    QCOMPARE(QString::fromLatin1(found->metaObject()->className()), cls);
}

void TestMainWindow::bareFormBeforeTheWindowCompletesIt()
{
    QMainWindow bare;
    Ui_Sheetwin form;
    form.setupUi(&bare);
    QCOMPARE(bare.objectName(), QStringLiteral("Sheetwin"));
    QCOMPARE(bare.windowTitle(), QStringLiteral("MainWindow"));
    QCOMPARE(bare.size(), QSize(762, 606));
    QCOMPARE(form.toolButton_Start->text(), QStringLiteral("..."));
    QCOMPARE(form.progressBar->value(), 24);
    QCOMPARE(form.toolButton_Delete->iconSize(), QSize(71, 71));
    QCOMPARE(form.radioButton_horizontalreversed->geometry(), QRect(130, 20, 125, 17));  // as wide as its text needs
    QCOMPARE(form.lineEdit_bottom->geometry(), QRect(80, 80, 71, 16));
    QCOMPARE(form.groupBox_4->minimumSize(), QSize(261, 51));
    QCOMPARE(form.groupBox_4->maximumSize(), QSize(16777215, 41));
    QCOMPARE(form.tableWidget_Files->editTriggers(), QAbstractItemView::NoEditTriggers);
    QVERIFY(form.tableWidget_Files->horizontalHeader()->isHidden());
    QVERIFY(form.tableWidget_Files->horizontalHeader()->stretchLastSection());
    QCOMPARE(form.tableWidget_Files->horizontalHeaderItem(2)->text(), QStringLiteral("Result"));
    QVERIFY(form.frame->styleSheet().contains(QStringLiteral(":/MyImage/Image/Top.png")));
    QCOMPARE(form.comboBox_x->count(), 0);
    QVERIFY(!bare.windowIcon().isNull());
}

void TestMainWindow::startUpState()
{
    Sheetwin w;
    Ui_Sheetwin *ui = w.ui;
    QCOMPARE(w.windowTitle(), QStringLiteral("Tavrell PDF Plyjoin"));
    QCOMPARE(ui->toolButton_Start->text(), QStringLiteral("Start"));
    QCOMPARE(ui->progressBar->value(), 0);
    QCOMPARE(ui->tableWidget_Files->rowCount(), 0);
    QCOMPARE(ui->tableWidget_Files->columnCount(), 3);
    QCOMPARE(ui->tableWidget_Files->horizontalHeaderItem(0)->text(), QStringLiteral("File Name"));
    QCOMPARE(ui->tableWidget_Files->selectionBehavior(), QAbstractItemView::SelectRows);
    QCOMPARE(ui->tableWidget_Files->dragDropMode(), QAbstractItemView::DragOnly);
    QVERIFY(w.acceptDrops());
    QVERIFY(ui->textEdit->isReadOnly());
    QVERIFY(w.testAttribute(Qt::WA_DeleteOnClose));
    QVERIFY(!ui->lineEdit_OutputPath->isReadOnly());
}

void TestMainWindow::outputFolderRestoredAtStartUp()
{
    TestEnv::store("OutputFolder", env->dir->path());
    Sheetwin w;
    QCOMPARE(w.ui->lineEdit_OutputPath->text(), env->dir->path());
}

void TestMainWindow::toolbarLooks()
{
    Sheetwin w;
    const struct { QToolButton *button; const char *text; } buttons[] = {
        {w.ui->toolButton_AddFile, "Add"}, {w.ui->toolButton_Delete, "Delete"}, {w.ui->toolButton_Clear, "Clear"},
        {w.ui->toolButton_Setting, "Setting"}, {w.ui->toolButton_Preview, "Preview"}, {w.ui->toolButton_Start, "Start"},
        {w.ui->toolButton_About, "About"},
    };
    for (const auto &b : buttons) {
        QCOMPARE(b.button->text(), QLatin1String(b.text));
        QCOMPARE(b.button->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
        QVERIFY(b.button->autoRaise());
        QCOMPARE(b.button->iconSize(), QSize(48, 48));
        QVERIFY(!b.button->icon().isNull());
        QCOMPARE(b.button->size(), QSize(70, 75));
    }
}

void TestMainWindow::contextMenuEntriesInOrder()
{
    Sheetwin w;
    QCOMPARE(w.ui->tableWidget_Files->contextMenuPolicy(), Qt::ActionsContextMenu);
    QStringList texts;
    for (const QAction *a : w.ui->tableWidget_Files->actions())
        texts << a->text();
    QCOMPARE(texts, (QStringList{"Add File(s)", "View PDF File", "Delete Selected Item(s)", "Delete All Item(s)",
                                 "Preview Sheets", "Open Result"}));

    // The menu a right click shows looks like the desktop's menus, not like the grey table.
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QTableWidget *table = w.ui->tableWidget_Files;
    QImage tableLook = table->viewport()->grab().toImage();
    QTimer::singleShot(0, [&] {
        if (QWidget *menu = QApplication::activePopupWidget()) {
            const QImage look = menu->grab().toImage();
            menuColour = look.pixelColor(look.width() / 2, look.height() - 3);
            menu->close();
        }
    });
    QContextMenuEvent right(QContextMenuEvent::Mouse, QPoint(20, 20), table->viewport()->mapToGlobal(QPoint(20, 20)));
    QCoreApplication::sendEvent(table->viewport(), &right);
    QVERIFY(menuColour.isValid());
    QCOMPARE(tableLook.pixelColor(5, tableLook.height() - 5), QColor(122, 122, 122));
    QVERIFY2(menuColour != QColor(122, 122, 122), qPrintable(menuColour.name()));
    // The table's scroll bars keep its grey.
    table->setRowCount(200);
    QTRY_VERIFY(table->verticalScrollBar()->isVisible());
    const QImage bar = table->verticalScrollBar()->grab().toImage();
    QCOMPARE(bar.pixelColor(bar.width() / 2, bar.height() - 30), QColor(122, 122, 122));
    QCOMPARE(w.fooAction->parent(), w.ui->tableWidget_Files);
}

void TestMainWindow::resizeRule_data()
{
    QTest::addColumn<int>("windowWidth");  // 0: as it opens
    QTest::newRow("first look") << 0;
    QTest::newRow("wide") << 1400;
    QTest::newRow("default") << 762;
    QTest::newRow("narrow") << 500;
}

void TestMainWindow::resizeRule()
{
    QFETCH(int, windowWidth);
    Sheetwin w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    if (windowWidth > 0) {
        w.resize(windowWidth, 700);
        QTRY_COMPARE(w.width(), qMax(windowWidth, w.minimumSizeHint().width()));
    }
    QTableWidget *table = w.ui->tableWidget_Files;
    QTRY_COMPARE(table->columnWidth(0), qMax(table->width() - 250, 400));
    QCOMPARE(table->columnWidth(1), 150);
}

void TestMainWindow::bottomRowKeepsItsSizes()
{
    Sheetwin w;
    w.show();
    for (const QSize size : {QSize(762, 606), QSize(1300, 900), QSize(400, 300)}) {
        w.resize(size);
        QTest::qWait(20);
        QCOMPARE(w.ui->frame_preview->size(), QSize(200, 200));
        QVERIFY(w.ui->textEdit->height() >= 130);
    }
}

void TestMainWindow::unitAndPresetLists()
{
    Sheetwin w;
    for (QComboBox *box : {w.ui->comboBox_x, w.ui->comboBox_y, w.ui->comboBox_left, w.ui->comboBox_right,
                           w.ui->comboBox_top, w.ui->comboBox_bottom}) {
        QStringList items;
        for (int i = 0; i < box->count(); ++i)
            items << box->itemText(i);
        QCOMPARE(items, (QStringList{"mm", "cm", "inch", "point"}));
    }
    QStringList presets;
    for (int i = 0; i < w.ui->comboBox_pagers_per_sheet->count(); ++i)
        presets << w.ui->comboBox_pagers_per_sheet->itemText(i);
    QCOMPARE(presets, (QStringList{"2x2", "3x3", "4x4", "5x5", "Custom"}));
}

void TestMainWindow::presetWritesGrid_data()
{
    QTest::addColumn<QString>("preset");
    QTest::addColumn<QString>("count");
    QTest::addColumn<bool>("editable");
    QTest::newRow("3x3") << "3x3" << "3" << false;
    QTest::newRow("5x5") << "5x5" << "5" << false;
    QTest::newRow("Custom") << "Custom" << "" << true;
    QTest::newRow("back to 2x2 from Custom") << "2x2" << "2" << false;
}

void TestMainWindow::presetWritesGrid()
{
    QFETCH(QString, preset);
    QFETCH(QString, count);
    QFETCH(bool, editable);
    Sheetwin w;
    QComboBox *box = w.ui->comboBox_pagers_per_sheet;
    box->setCurrentText(QStringLiteral("Custom"));
    w.ui->lineEdit_pages_per_sheet_horizontal->setText(QStringLiteral("8"));
    box->setCurrentText(preset == QLatin1String("Custom") ? QStringLiteral("4x4") : QStringLiteral("Custom"));
    box->setCurrentText(preset);
    QCOMPARE(w.ui->lineEdit_pages_per_sheet_horizontal->text(), count);
    QCOMPARE(w.ui->lineEdit_pages_per_sheet_vertical->text(), count);
    QCOMPARE(w.ui->lineEdit_pages_per_sheet_horizontal->isEnabled(), editable);
    QCOMPARE(w.ui->lineEdit_pages_per_sheet_vertical->isEnabled(), editable);
    // A text that is no preset changes nothing.
    w.comboBox_pagers_per_sheet_currentIndexChanged(QStringLiteral("2*2"));
    QCOMPARE(w.ui->lineEdit_pages_per_sheet_vertical->text(), count);
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
