#include "app/sheetwin.h"

#include "about.h"
#include "widgets/controltext.h"
#include "widgets/desktopopen.h"
#include "widgets/formfont.h"
#include "app/layoutpresets.h"
#include "run/runcontroller.h"
#include "setting.h"
#include "settings/settings.h"
#include "settings/settingsfile.h"
#include "settings/sheetoptions.h"
#include "sheetswindow/sheetswindow.h"
#include "widgets/taborder.h"
#include "widgets/toolbutton.h"
#include "ui_sheetwin.h"

#include <QAction>
#include <QDesktopServices>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMenu>
#include <QPainter>
#include <QMessageBox>
#include <QResizeEvent>
#include <QMimeData>
#include <QScreen>
#include <QShortcut>


QStringList sheetOptionsSummary(const SheetChoices &chosen)
{
    const SheetChoices o = inEffect(chosen);
    QStringList on;
    if (o.booklet)
        on << (o.fold == Folds::Quarto   ? QStringLiteral("booklet (quarto)")
               : o.fold == Folds::Octavo ? QStringLiteral("booklet (octavo)")
                                         : QStringLiteral("booklet"));
    // A booklet is two-sided: its edge is said only where it is not the usual one.
    if (o.bothSides != Duplex::None && !(o.booklet && o.bothSides == bookletEdge(Duplex::None)))
        on << (o.bothSides == Duplex::Long ? QStringLiteral("both sides (long edge)")
                                           : QStringLiteral("both sides (short edge)"));
    if (o.stack)
        on << QStringLiteral("cut and stack");
    if (o.repeat)
        on << QStringLiteral("step and repeat");
    if (o.bleed)
        on << QStringLiteral("bleed");
    if (o.cropMarks)
        on << QStringLiteral("crop marks");
    if (o.frame)
        on << QStringLiteral("frame");
    if (o.slug)
        on << QStringLiteral("slug line");
    // The fit the person chose; one the others imply goes without saying.
    if (chosen.fit == Fit::Actual)
        on << QStringLiteral("actual size");
    else if (chosen.fit == Fit::Shrink)
        on << QStringLiteral("shrink only");
    if (o.autoRotate)
        on << QStringLiteral("pages turned to fit");
    return on;
}

namespace {

const char *const kUnits[] = {"mm", "cm", "inch", "point"};

} // namespace

Sheetwin::Sheetwin(QWidget *parent)
    : QMainWindow(parent), ui(new Ui_Sheetwin), m_printedJobs(new PrintedJobs(printedJobsFolder(), this))
{
    ui->setupUi(this);
    m_files = new FileList(ui->tableWidget_Files, m_printedJobs, this);
    // A sheet option changed (in the sheets window): a booklet shows in this window too.
    m_settings = new Settings(this);
    connect(m_settings, &Settings::sheetChoicesChanged, this, &Sheetwin::followSheetOptions);
    useFormFont(this);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Tavrell PDF Plyjoin"));

    setAcceptDrops(true);
    ui->tableWidget_Files->setDropIndicatorShown(true);
    ui->tableWidget_Files->setDragDropMode(QAbstractItemView::DragOnly);
    ui->tableWidget_Files->setDragDropOverwriteMode(true);

    // Centre on the available area of the primary screen.
    move(0, 0);
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    QPalette pal = palette();
    pal.setBrush(QPalette::Window,
                 QBrush(QPixmap(QStringLiteral(":/MyImage/Image/bg1.png"))
                            .scaled(size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation)));
    setPalette(pal);

    connectButtons();
    setUpTableMenu();
    setUpLayoutControls();
    ui->textEdit->setReadOnly(true);
    setUpTableInput();
    nameControls();

    // Tab leaves the table (the arrows move within it) and follows each group's reading
    // order: each value, then its unit.
    ui->tableWidget_Files->setTabKeyNavigation(false);
    tabInReadingOrder(this);
    setUpRun();
    InitAllChoice();
    const SheetChoices stored = m_settings->sheetChoices();
    m_booklet = stored.booklet;
    m_bookletGrid = stored.fold;
    applyBookletLook();
    showSheetOptionsOn(stored);
    LoadParaInfo();
}

void Sheetwin::connectButtons()
{
    connect(ui->toolButton_About, &QToolButton::clicked, this, &Sheetwin::On_Button_About);
    connect(ui->toolButton_AddFile, &QToolButton::clicked, this, &Sheetwin::On_Button_AddFile);
    connect(ui->toolButton_Delete, &QToolButton::clicked, this, &Sheetwin::On_Button_RemoveFile);
    connect(ui->toolButton_Clear, &QToolButton::clicked, this, &Sheetwin::On_Button_ClearFile);
    connect(ui->toolButton_Setting, &QToolButton::clicked, this, &Sheetwin::On_Button_Setting);
    connect(ui->toolButton_Start, &QToolButton::clicked, this, &Sheetwin::On_Button_Start);
    connect(ui->toolButton_Change, &QToolButton::clicked, this, &Sheetwin::On_Button_OutputFolder);
    connect(ui->tableWidget_Files, &QTableWidget::doubleClicked, this, &Sheetwin::On_TableWidget_DoubleClicked);
    connect(ui->PusButton_Browse, &QPushButton::clicked, this, &Sheetwin::On_Button_Browse);
    connect(ui->tableWidget_Files, &QTableWidget::cellDoubleClicked, this, &Sheetwin::openFile);
    connect(ui->toolButton_Preview, &QToolButton::clicked, this, &Sheetwin::On_Button_Preview);

}

// The table's menu (its right click).
void Sheetwin::setUpTableMenu()
{
    QTableWidget *table = ui->tableWidget_Files;
    table->setContextMenuPolicy(Qt::ActionsContextMenu);
    table->setStyleSheet(QStringLiteral("background-color:rgb(122,122,122)"));
    fooAction = new QAction(QStringLiteral("Add File(s)"), table);
    barAction = new QAction(QStringLiteral("View PDF File"), table);
    deloneAction = new QAction(QStringLiteral("Delete Selected Item(s)"), table);
    delallAction = new QAction(QStringLiteral("Delete All Item(s)"), table);
    connect(fooAction, &QAction::triggered, this, &Sheetwin::On_Button_AddFile);
    connect(barAction, &QAction::triggered, this, &Sheetwin::openFile);
    connect(deloneAction, &QAction::triggered, this, &Sheetwin::On_Button_RemoveFile);
    connect(delallAction, &QAction::triggered, this, &Sheetwin::On_Button_ClearFile);
    table->addAction(fooAction);
    table->addAction(barAction);
    table->addAction(deloneAction);
    table->addAction(delallAction);
    sheetsAction = new QAction(QStringLiteral("Preview Sheets"), table);
    connect(sheetsAction, &QAction::triggered, this, &Sheetwin::On_Button_Preview);
    table->addAction(sheetsAction);
    openResultAction = new QAction(QStringLiteral("Open Result"), table);
    openResultAction->setEnabled(false);
    connect(openResultAction, &QAction::triggered, this, &Sheetwin::openResult);
    table->addAction(openResultAction);
}

// The layout controls: their choices, and every change to the preview and the sheets window.
void Sheetwin::setUpLayoutControls()
{
    const auto lengths = lengthControls();
    for (const LengthControl &length : lengths) {
        for (const char *unit : kUnits)
            length.unit->addItem(QLatin1String(unit));
    }
    for (const LayoutPreset &preset : kLayoutPresets)
        ui->comboBox_pagers_per_sheet->addItem(QLatin1String(preset.text));

    // Every change of a layout control to `slot`: the order buttons clicked, the edits' texts
    // (lengths, then the grid), the unit boxes' and the preset's choices.
    const auto connectLayout = [this, &lengths](void (Sheetwin::*slot)()) {
        for (QRadioButton *order : {ui->radioButton_horizontal, ui->radioButton_horizontalreversed,
                                    ui->radioButton_vertical, ui->radioButton_verticalreversed})
            connect(order, &QRadioButton::clicked, this, slot);
        for (const LengthControl &length : lengths)
            connect(length.edit, &QLineEdit::textChanged, this, slot);
        for (QLineEdit *edit : {ui->lineEdit_pages_per_sheet_horizontal, ui->lineEdit_pages_per_sheet_vertical})
            connect(edit, &QLineEdit::textChanged, this, slot);
        for (const LengthControl &length : lengths)
            connect(length.unit, &QComboBox::currentTextChanged, this, slot);
        connect(ui->comboBox_pagers_per_sheet, &QComboBox::currentTextChanged, this, slot);
    };
    connect(ui->comboBox_pagers_per_sheet, &QComboBox::currentTextChanged, this,
            &Sheetwin::comboBox_pagers_per_sheet_currentIndexChanged);
    connectLayout(&Sheetwin::updatePreview);

    // The sheets window, when it is open, follows every change of the layout and the row.
    connectLayout(&Sheetwin::refreshSheets);
    connect(ui->tableWidget_Files, &QTableWidget::currentCellChanged, this, &Sheetwin::refreshSheets);
    connect(ui->tableWidget_Files, &QTableWidget::currentCellChanged, this, &Sheetwin::updateOpenResult);
    connect(ui->tableWidget_Files->model(), &QAbstractItemModel::rowsRemoved, this, &Sheetwin::refreshSheets);
    connect(ui->tableWidget_Files->model(), &QAbstractItemModel::rowsInserted, this, &Sheetwin::refreshSheets);
}

// The table as the keyboard, the mouse and dropped files use it.
void Sheetwin::setUpTableInput()
{
    QTableWidget *table = ui->tableWidget_Files;
    // A path too long for its cell shows as one line, elided in the middle.
    table->setWordWrap(false);
    // The column rule holds whenever the table changes its width, the first layout included.
    table->installEventFilter(this);
    // The right click on the cells, to show the table's menu without the table's grey.
    table->viewport()->installEventFilter(this);
    // Files dropped on an edit field join the list; the field keeps its text.
    for (QLineEdit *edit : findChildren<QLineEdit *>())
        edit->installEventFilter(this);
    auto *remove = new QShortcut(QKeySequence::Delete, table, this, &Sheetwin::On_Button_RemoveFile);
    remove->setContext(Qt::WidgetWithChildrenShortcut);
}

void Sheetwin::nameControls()
{
    nameForScreenReaders({
        {ui->tableWidget_Files, "Files"}, {ui->lineEdit_OutputPath, "Output folder"},
        {ui->progressBar, "Progress"}, {ui->textEdit, "What the tiling tool said"},
        {ui->comboBox_pagers_per_sheet, "Pages per sheet"}, {ui->lineEdit_pages_per_sheet_horizontal, "Columns"},
        {ui->lineEdit_pages_per_sheet_vertical, "Rows"}, {ui->lineEdit_x, "Gutter X"},
        {ui->comboBox_x, "Unit of gutter X"}, {ui->lineEdit_y, "Gutter Y"}, {ui->comboBox_y, "Unit of gutter Y"},
        {ui->lineEdit_left, "Left margin"}, {ui->comboBox_left, "Unit of the left margin"},
        {ui->lineEdit_right, "Right margin"}, {ui->comboBox_right, "Unit of the right margin"},
        {ui->lineEdit_top, "Top margin"}, {ui->comboBox_top, "Unit of the top margin"},
        {ui->lineEdit_bottom, "Bottom margin"}, {ui->comboBox_bottom, "Unit of the bottom margin"},
        {ui->frame_preview, "Layout preview"},
    });
}

Sheetwin::~Sheetwin()
{
    // Rows taken down with the window are not removed by the person: printed jobs stay.
    ui->tableWidget_Files->model()->disconnect(this);
    SaveParaInfo();
    // Its tool ends as a stopped run's does.
    delete m_sheets;
    // A tool still running is asked to end, and killed only if it does not: it removes
    // what it was writing, so nothing half-written is left behind.
    m_run->stopAndWait();
    delete ui;
}

void Sheetwin::InitAllChoice()
{
    setToolButton(ui->toolButton_About, tr("About"), QStringLiteral(":/MyImage/Image/about.png"));
    setWindowTitle(tr("Tavrell PDF Plyjoin"));

    DymicUpdateStartButtonIconText(g_bProcess);

    setToolButton(ui->toolButton_AddFile, tr("Add"), QStringLiteral(":/MyImage/Image/add.png"));
    setToolButton(ui->toolButton_Delete, tr("Delete"), QStringLiteral(":/MyImage/Image/delete.png"));
    setToolButton(ui->toolButton_Clear, tr("Clear"), QStringLiteral(":/MyImage/Image/clear.png"));
    setToolButton(ui->toolButton_Setting, tr("Setting"), QStringLiteral(":/MyImage/Image/setting.png"));
    setToolButton(ui->toolButton_Preview, tr("Preview"), QStringLiteral(":/MyImage/Image/preview.png"));

    QTableWidget *table = ui->tableWidget_Files;
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setRowCount(0);
    table->setColumnCount(3);
    table->horizontalHeaderItem(0)->setText(tr("File Name"));
    table->horizontalHeaderItem(1)->setText(tr("File Size"));
    table->setColumnWidth(1, 110);

    ui->lineEdit_OutputPath->setText(readSetting(SettingKey::OutputFolder));
    ui->progressBar->setValue(0);
}

void Sheetwin::resizeEvent(QResizeEvent *)
{
    applyColumnRule();
}

void Sheetwin::applyColumnRule()
{
    QTableWidget *table = ui->tableWidget_Files;
    table->setColumnWidth(0, qMax(table->width() - 250, 400));
    table->setColumnWidth(1, 150);
}

bool Sheetwin::eventFilter(QObject *watched, QEvent *event)
{
    QTableWidget *table = ui->tableWidget_Files;
    if (watched == table || watched == table->viewport()) {
        if (watched == table && event->type() == QEvent::Resize)
            applyColumnRule();
        // The table's actions as its menu, as the toolkit shows them, but not a child of the
        // table: the table's style sheet would paint the menu grey too.
        if (event->type() == QEvent::ContextMenu && table->contextMenuPolicy() == Qt::ActionsContextMenu
            && !table->actions().isEmpty()) {
            updateOpenResult();  // the result may have gone since
            QMenu::exec(table->actions(), static_cast<QContextMenuEvent *>(event)->globalPos(), nullptr, this);
            return true;
        }
        return false;
    }
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
        // Files pass on to the window's drop; text still drops into the field.
        if (static_cast<QDropEvent *>(event)->mimeData()->hasUrls()) {
            event->ignore();
            return true;
        }
        return false;
    default:
        return false;
    }
}

void Sheetwin::On_Button_About()
{
    about *dialog = new about(nullptr);
    dialog->exec();
    delete dialog;
}

void Sheetwin::On_Button_Setting()
{
    Setting *dialog = new Setting(nullptr);
    dialog->exec();
    delete dialog;
    refreshSheets();  // an Apply changed the options
}

void Sheetwin::On_Button_Preview()
{
    if (g_bProcess)
        return;
    if (!m_sheets) {
        // A window of its own, owned by this one: this window's modality does not block it,
        // and the window manager keeps it in front of this one.
        m_sheets = new SheetsWindow(this, m_settings);
        m_sheets->setAttribute(Qt::WA_DeleteOnClose);
    }
    m_sheets->show();
    m_sheets->raise();
    m_sheets->activateWindow();
    refreshSheets();
}

void Sheetwin::followSheetOptions(const SheetChoices &options)
{
    showSheetOptionsOn(options);
    const bool booklet = options.booklet;
    if (booklet != m_booklet || options.fold != m_bookletGrid) {
        m_booklet = booklet;
        m_bookletGrid = options.fold;
        applyBookletLook();
        updatePreview();
    }
    refreshSheets();
}

void Sheetwin::applyBookletLook()
{
    // A booklet has its own grid and order.
    const QString why = m_booklet ? tr("Booklet is on in the sheets window: its pages lie in the order that folds.")
                                  : QString();
    for (QGroupBox *group : {ui->groupBox_4, ui->groupBox}) {
        group->setEnabled(!m_booklet);
        group->setToolTip(why);
    }
}

void Sheetwin::showSheetOptionsOn(const SheetChoices &options)
{
    // Every run uses the sheet options, the sheets window open or not: the Preview button says
    // which are on, and a mark on its picture shows that some are.
    const QStringList on = sheetOptionsSummary(options);
    QString tip = tr("The real sheets of the current file, as Start would make them");
    if (!on.isEmpty())
        tip += QLatin1Char('\n') + tr("Sheet options on (every run uses them): %1").arg(on.join(QStringLiteral(", ")));
    ui->toolButton_Preview->setToolTip(tip);
    QPixmap picture(QStringLiteral(":/MyImage/Image/preview.png"));
    if (!on.isEmpty()) {
        QPainter painter(&picture);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(Qt::white, 2));
        painter.setBrush(QColor(230, 120, 0));
        painter.drawEllipse(QRectF(picture.width() - 17, 1, 16, 16));
    }
    ui->toolButton_Preview->setIcon(QIcon(picture));
}

void Sheetwin::ClearnInfo()
{
    QTableWidget *table = ui->tableWidget_Files;
    for (int row = 0; row < table->rowCount(); ++row)
        table->setItem(row, 2, new QTableWidgetItem(QString()));
}

void Sheetwin::sayInPane(const QString &text)
{
    ui->textEdit->setPlainText(text);
}

// --- the file list's buttons, menu and drops ----------------------------------------------

void Sheetwin::On_Button_AddFile()
{
    if (g_bProcess)
        return;
    const QString startFolder = readSetting(SettingKey::InputFolder);
    const QStringList files = QFileDialog::getOpenFileNames(
        this, tr("Select one or more files to open"), startFolder,
        tr("PDF File (*.pdf);;All Supported Files (*.*)"));
    if (files.isEmpty())
        return;
    const QString &first = files.first();
    writeSetting(SettingKey::InputFolder, first.left(first.lastIndexOf(QLatin1Char('/'))));
    m_files->addChosen(files);
}

void Sheetwin::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData()->hasFormat(QStringLiteral("text/uri-list")))
        event->acceptProposedAction();
}

void Sheetwin::dropEvent(QDropEvent *event)
{
    for (const QUrl &url : event->mimeData()->urls()) {
        const QString path = url.toLocalFile();
        if (path.isEmpty())
            break;  // not a local file: this and every later entry are ignored
        m_files->addDropped(path);
    }
}

void Sheetwin::addFilesFromCommandLine(const QStringList &paths)
{
    m_files->addFromCommandLine(paths);
}

void Sheetwin::On_Button_RemoveFile()
{
    if (g_bProcess)
        return;
    m_files->removeCurrentAndSelected();
}

void Sheetwin::On_Button_ClearFile()
{
    if (g_bProcess)
        return;
    m_files->removeEveryRow();
}

void Sheetwin::On_Button_OutputFolder()
{
    if (g_bProcess)
        return;
    const QString stored = readSetting(SettingKey::OutputFolder);
    ui->lineEdit_OutputPath->setText(stored);
    const QString start = QFileInfo::exists(stored) ? stored : QString();
    const QString chosen = QDir::toNativeSeparators(QFileDialog::getExistingDirectory(
        this, tr("Open directory"), start, QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks));
    if (chosen.isEmpty())
        return;
    writeSetting(SettingKey::OutputFolder, chosen);
    ui->lineEdit_OutputPath->clear();
    ui->lineEdit_OutputPath->setText(chosen);
}

void Sheetwin::On_Button_Browse()
{
    const QFileInfo folder(ui->lineEdit_OutputPath->text());
    if (!folder.exists()) {
        warn(QStringLiteral("Please select a correct output folder!"));
        return;
    }
    // A relative folder is taken from the program's working folder; the desktop needs it whole.
#ifdef Q_OS_WIN
    QProcess::startDetached(QStringLiteral("explorer"), {QDir::toNativeSeparators(folder.absoluteFilePath())});
#else
    QDesktopServices::openUrl(QUrl::fromLocalFile(folder.absoluteFilePath()));
#endif
}

// A double-click on a cell reaches both this slot and openFile, which opens the row's file;
// opening the cell's text here too would open that file twice.
void Sheetwin::On_TableWidget_DoubleClicked()
{
}

// The current row's file, from "View PDF File" or a double-click on any of the row's cells
// (a double-click on a cell without an item opens nothing).
void Sheetwin::openFile()
{
    QTableWidget *table = ui->tableWidget_Files;
    if (sender() == table && !table->currentItem())
        return;
    const QString path = m_files->pathOf(table->currentRow());
    if (!path.isEmpty())
        openDocument(path);
}

void Sheetwin::takePrintedJobs(bool showNewest)
{
    const int newest = m_files->addPrintedJobs();
    if (newest < 0 || !showNewest || g_bProcess)
        return;
    ui->tableWidget_Files->setCurrentCell(newest, 0);
    raise();
    activateWindow();
    On_Button_Preview();
}
