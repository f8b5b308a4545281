#include "sheetswindow/sheetswindow.h"

#include "run/optionsstring.h"
#include "run/windowwords.h"
#include "settings/settingsfile.h"
#include "settings/sheetoptions.h"
#include "sheetswindow/foldingwords.h"
#include "print/papertab.h"
#include "print/printjob.h"
#include "print/posterborder.h"
#include "print/turnstack.h"
#include "run/pageruns.h"
#include "run/toolcontract.h"
#include "run/toolprocess.h"
#include "widgets/controltext.h"
#include "widgets/desktopopen.h"
#include "ui_sheetswindow.h"
#ifndef Q_OS_WIN
#include "userplaces.h"
#endif

#include <QAccessible>
#include <QComboBox>
#include <QAccessibleWidget>
#include <QCloseEvent>
#include <QDir>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QFileInfo>
#include <QRegularExpression>
#include <QScreen>
#include <QShortcut>
#include <QStyle>

#include <algorithm>
#include <cmath>

namespace {

// The program's own printer's queue, which prints into the program: no place for its sheets.
#ifdef Q_OS_WIN
constexpr const char *kOwnQueue = "";
#else
constexpr const char *kOwnQueue = userplaces::kQueueName;
#endif

QString millimetres(double points)
{
    return QString::number(std::round(points * 25.4 / 72 * 10) / 10, 'f', 1).remove(QRegularExpression(QStringLiteral("\\.0$")));
}

// Roles the toolkit cannot tell from the classes: the window is a window (not a pane of
// another), the sheet a picture.
QAccessibleInterface *accessibleRoles(const QString &className, QObject *object)
{
    auto *widget = qobject_cast<QWidget *>(object);
    if (!widget)
        return nullptr;
    if (className == QLatin1String("SheetsWindow"))
        return new QAccessibleWidget(widget, QAccessible::Window);
    if (className == QLatin1String("SheetView"))
        return new QAccessibleWidget(widget, QAccessible::Graphic);
    return nullptr;
}

// "Sheet 3 of 45" for a side, counting sheets.
QString sheetText(int side, int sides, bool twoSided)
{
    const int sheet = twoSided ? side / 2 + 1 : side + 1;
    if (sides < 0)
        return SheetsWindow::tr("Sheet %1").arg(sheet);
    return SheetsWindow::tr("Sheet %1 of %2").arg(sheet).arg(twoSided ? (sides + 1) / 2 : sides);
}

QString sideText(int side)
{
    return side % 2 == 0 ? SheetsWindow::tr("front") : SheetsWindow::tr("back");
}

} // namespace

QRectF inkOnSheet(const QImage &image, const QSizeF &points)
{
    if (image.isNull() || !points.isValid())
        return QRectF();
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    int left = rgb.width(), top = rgb.height(), right = -1, bottom = -1;
    for (int y = 0; y < rgb.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(rgb.constScanLine(y));
        for (int x = 0; x < rgb.width(); ++x) {
            if (qGray(line[x]) < 250) {
                left = std::min(left, x), right = std::max(right, x);
                top = std::min(top, y), bottom = std::max(bottom, y);
            }
        }
    }
    if (right < 0)
        return QRectF();
    const double sx = points.width() / rgb.width(), sy = points.height() / rgb.height();
    return QRectF(left * sx, top * sy, (right + 1 - left) * sx, (bottom + 1 - top) * sy);
}

BarWords barWords(const SheetChoices &options, int side, int sides, bool twoSided, const QString &shows)
{
    BarWords w;
    if (options.cut) {
        // "Page 3 of 16", "cut from sheet 2, back".
        w.sheet = sides < 0 ? SheetsWindow::tr("Page %1").arg(side + 1) : SheetsWindow::tr("Page %1 of %2").arg(side + 1).arg(sides);
        w.side = shows;
        w.whole = shows.isEmpty() ? w.sheet : w.sheet + QStringLiteral(", ") + shows;
    } else if (options.poster) {
        // "Tile B3 of 12", "sheet 4 of 13".
        const QString sheet = sides < 0 ? SheetsWindow::tr("sheet %1").arg(side + 1)
                                        : SheetsWindow::tr("sheet %1 of %2").arg(side + 1).arg(sides);
        w.sheet = shows.isEmpty() ? sheet : shows;
        w.side = shows.isEmpty() ? QString() : sheet;
        w.whole = shows.isEmpty() ? sheet : shows + QStringLiteral(" (") + sheet + QLatin1Char(')');
    } else {
        w.sheet = sheetText(side, sides, twoSided);
        w.side = twoSided ? sideText(side) : QString();
        w.whole = w.side.isEmpty() ? w.sheet : w.sheet + QStringLiteral(", ") + w.side;
    }
    return w;
}

QString describeSide(int side, int sides, bool twoSided, const QList<int> &pages)
{
    // Runs of three and more read as "9 to 12".
    QStringList parts;
    int count = 0;
    for (const auto &[first, last] : consecutiveRuns(pages)) {
        count += last - first + 1;
        if (last - first >= 2) {
            parts << SheetsWindow::tr("%1 to %2").arg(first).arg(last);
        } else {
            for (int page = first; page <= last; ++page)
                parts << QString::number(page);
        }
    }
    QString shows;
    if (parts.isEmpty()) {
        shows = SheetsWindow::tr("blank");
    } else {
        const QString last = parts.takeLast();
        const QString list = parts.isEmpty() ? last : parts.join(QStringLiteral(", ")) + SheetsWindow::tr(" and ") + last;
        shows = (count == 1 ? SheetsWindow::tr("page %1") : SheetsWindow::tr("pages %1")).arg(list);
    }
    QString text = sheetText(side, sides, twoSided);
    if (twoSided)
        text += QStringLiteral(", ") + sideText(side);
    return text + QStringLiteral(": ") + shows;
}

SheetsWindow::SheetsWindow(QWidget *parent, Settings *settings)
    : QWidget(parent, Qt::Window), ui(new Ui_SheetsWindow), m_settings(settings ? settings : new Settings(this))
{
    static const bool rolesInstalled = (QAccessible::installFactory(accessibleRoles), true);
    Q_UNUSED(rolesInstalled);
    ui->setupUi(this);
    setObjectName(QStringLiteral("SheetsWindow"));
    setWindowTitle(tr("Sheets"));
    const QByteArray geometry = m_settings->sheetsWindowGeometry();
    if (geometry.isEmpty() || !restoreGeometry(geometry))
        resize(760, 640);

    // Drawn by the style, not by the font's arrows (which some fonts lack).
    ui->toolButton_First->setIcon(style()->standardIcon(QStyle::SP_MediaSkipBackward));
    ui->toolButton_Previous->setArrowType(Qt::LeftArrow);
    ui->toolButton_Next->setArrowType(Qt::RightArrow);
    ui->toolButton_Last->setIcon(style()->standardIcon(QStyle::SP_MediaSkipForward));
    connect(ui->toolButton_First, &QToolButton::clicked, this, [this] { setCurrentSide(0); });
    connect(ui->toolButton_Previous, &QToolButton::clicked, this, [this] { setCurrentSide(m_side - 1); });
    connect(ui->toolButton_Next, &QToolButton::clicked, this, [this] { setCurrentSide(m_side + 1); });
    connect(ui->toolButton_Last, &QToolButton::clicked, this, [this] {
        if (m_count > 0)
            setCurrentSide(m_count - 1);
    });
    const std::pair<QKeySequence, QToolButton *> keys[] = {
        {QKeySequence(Qt::Key_Home), ui->toolButton_First}, {QKeySequence(Qt::Key_PageUp), ui->toolButton_Previous},
        {QKeySequence(Qt::Key_PageDown), ui->toolButton_Next}, {QKeySequence(Qt::Key_End), ui->toolButton_Last}};
    for (const auto &[key, button] : keys)
        connect(new QShortcut(key, this), &QShortcut::activated, button, &QToolButton::click);
    connect(ui->toolButton_Print, &QToolButton::clicked, this, &SheetsWindow::print);
    connect(new QShortcut(QKeySequence::Print, this), &QShortcut::activated, ui->toolButton_Print, &QToolButton::click);
    connect(ui->toolButton_ActualSize, &QToolButton::toggled, this, [this](bool actual) {
        ui->sheetView->setActualSize(actual);
        updateView();
    });

    setUpOptions();
    connect(ui->sheetView, &SheetView::resized, this, &SheetsWindow::updateView);
    connect(ui->sheetView, &SheetView::turnRequested, this, [this](int sides) {
        if (m_count > 0 && m_message.isEmpty())
            setCurrentSide(m_side + sides);
    });
    connect(&m_proofs, &ProofMaker::rendered, this, &SheetsWindow::shown);
    connect(&m_proofs, &ProofMaker::failed, this, &SheetsWindow::refused);
    connect(&m_proofs, &ProofMaker::warned, this, [this](const ProofMaker::Request &request, const QStringList &warnings) {
        if (request.input != m_input || (m_printJob && !m_statusIsWarning))
            return;
        // What the tool ignores the window has greyed out already (it always names a grid).
        QStringList words;
        for (const QString &w : warnings) {
            if (!w.contains(QLatin1String(" ignored ")))
                words << inWindowWords(w);
        }
        setStatus(words.join(QLatin1Char('\n')), true);
    });
    connect(&m_proofs, &ProofMaker::working, this, [this] { ui->sheetView->setDimmed(true); });
    showMessage(tr("Add a PDF to see its sheets."));
    updateBar();
}

SheetsWindow::~SheetsWindow()
{
    delete m_printJob;  // ends what it was doing before the printer goes
    saveGeometryToSettings();
    delete ui;
}

QList<SheetsWindow::OptionControl> SheetsWindow::optionControls() const
{
    return {
#define PLYJOIN_SHEET_OPTION_CONTROL(name, member, key, value, control, option, words) {key, ui->control},
        PLYJOIN_SHEET_OPTIONS(PLYJOIN_SHEET_OPTION_CONTROL)
#undef PLYJOIN_SHEET_OPTION_CONTROL
    };
}

SheetChoices SheetsWindow::sheetOptions() const
{
    return m_chosen;
}

SheetChoices SheetsWindow::shownOptions() const
{
    SheetChoices shown = inEffect(m_chosen);
    // What a printed job asked for, where nothing else says otherwise: its two sides.
    if (shown.bothSides == Duplex::None)
        shown.bothSides = m_jobEdge;
    return shown;
}

void SheetsWindow::setUpOptions()
{
    for (QComboBox *box : {ui->comboBox_CreepUnit, ui->comboBox_CropMarksUnit, ui->comboBox_BackShiftUnit,
                           ui->comboBox_BleedUnit})
        box->addItems({QStringLiteral("mm"), QStringLiteral("cm"), QStringLiteral("inch"), QStringLiteral("point")});
    ui->comboBox_BothSides->addItems({QStringLiteral("off"), QStringLiteral("short edge"), QStringLiteral("long edge")});
    ui->comboBox_Fit->addItems({QStringLiteral("fit"), QStringLiteral("actual size"), QStringLiteral("shrink only")});
    ui->comboBox_Fold->addItems({QStringLiteral("one fold"), QStringLiteral("quarto"), QStringLiteral("octavo")});
    ui->comboBox_Scan->addItems(
        {QStringLiteral("front, back"), QStringLiteral("fronts, then backs"), QStringLiteral("fronts, then backs reversed")});
    ui->comboBox_PosterSize->addItems({QStringLiteral("A0"), QStringLiteral("A1"), QStringLiteral("A2"), QStringLiteral("A3"),
                                       QStringLiteral("2 x 1 sheets"), QStringLiteral("2 x 2 sheets"),
                                       QStringLiteral("3 x 2 sheets"), QStringLiteral("3 x 3 sheets"),
                                       QStringLiteral("4 x 3 sheets"), QStringLiteral("4 x 4 sheets")});
    ui->comboBox_OverlapUnit->addItems({QStringLiteral("mm"), QStringLiteral("cm"), QStringLiteral("inch"), QStringLiteral("point")});
    {
        // Each control as the person left it (a length as typed), then what is in effect.
        for (const OptionControl &row : optionControls())
            setControlText(row.control, m_settings->text(row.key));
        m_chosen = m_settings->sheetChoices();
    }
    connect(ui->pushButton_Calibration, &QPushButton::clicked, this, &SheetsWindow::writeCalibrationSheet);
    showChoices();
    // A person's change is their choice, kept in the settings file; what the choices imply
    // is shown beside them, never kept.
    for (const OptionControl &row : optionControls()) {
        onControlChanged(row.control, this, [this, row] {
            if (m_showing)
                return;
            const QString text = controlText(row.control);
            setSheetOptionText(m_chosen, row.key, text);
            showChoices();
            updateBar();
            m_settings->setSheetOption(row.key, text);
        });
    }
}

QWidget *SheetsWindow::optionControl(const char *key) const
{
    for (const OptionControl &row : optionControls()) {
        if (qstrcmp(row.key, key) == 0)
            return row.control;
    }
    return nullptr;
}

void SheetsWindow::showChoices()
{
    m_showing = true;
    const SheetChoices shown = shownOptions();
    for (const OptionControl &row : optionControls()) {
        const QString text = sheetOptionText(shown, row.key);
        // A control keeps the person's own text for a value it reads as (a length as typed).
        SheetChoices asShown = shown;
        setSheetOptionText(asShown, row.key, controlText(row.control));
        if (asShown != shown)
            setControlText(row.control, text);
    }
    m_showing = false;
    updateOptionsEnabled();
}

void SheetsWindow::setPrintedJob(Duplex edge, int copies)
{
    m_jobCopies = std::max(1, copies);
    if (m_jobEdge == edge)
        return;
    m_jobEdge = edge;
    showChoices();
    updateBar();
}

void SheetsWindow::updateOptionsEnabled()
{
    const bool booklet = ui->checkBox_Booklet->isChecked();
    const SheetChoices options = shownOptions();
    const Chosen chosen = chosenOf(options);
    // Each group as the tool's rules have it: what has no effect with the rest is greyed out,
    // and says why.
    const auto follow = [](std::initializer_list<QWidget *> group, const std::string &why) {
        for (QWidget *w : group) {
            // The control's own tip where the rules leave it alone.
            if (!w->property("ownToolTip").isValid())
                w->setProperty("ownToolTip", w->toolTip());
            w->setEnabled(why.empty());
            w->setToolTip(why.empty() ? w->property("ownToolTip").toString() : ruleInWindowWords(why));
        }
    };
    follow({ui->label_Signature, ui->spinBox_Signature, ui->label_Creep, ui->lineEdit_Creep, ui->comboBox_CreepUnit,
            ui->checkBox_RightToLeft},
           whyNot(chosen, Switch::BookletOnly));
    follow({ui->checkBox_SpineMarks, ui->checkBox_FoldMarks, ui->label_Sewing, ui->spinBox_Sewing},
           whyNot(chosen, Switch::BinderMarks));
    // A back shift and its test sheet where sheets have backs.
    follow({ui->label_BackShift, ui->lineEdit_BackShiftX, ui->lineEdit_BackShiftY, ui->comboBox_BackShiftUnit,
            ui->pushButton_Calibration},
           whyNot(chosen, Switch::BackShift));
    // The Booklet box turns binding on.
    ui->label_Fold->setEnabled(booklet);
    ui->comboBox_Fold->setEnabled(booklet);
    // Cut and stack with step and repeat, and either in a booklet, which has its own order.
    for (const auto &[box, option, ticked] : {std::tuple{ui->checkBox_Stack, Switch::Stack, &SheetChoices::stack},
                                              std::tuple{ui->checkBox_Repeat, Switch::Repeat, &SheetChoices::repeat}}) {
        SheetChoices without = m_chosen;
        without.*ticked = false;
        follow({box}, box->isChecked() && !booklet ? std::string() : whyNot(chosenOf(without), option));
    }
    // Cut apart and posters: one or the other, each where the rest allows it; their own
    // options where they are chosen; no marks on what they make.
    for (const auto &[box, option, ticked] : {std::tuple{ui->checkBox_Cut, Switch::Cut, &SheetChoices::cut},
                                              std::tuple{ui->checkBox_Poster, Switch::Poster, &SheetChoices::poster}}) {
        SheetChoices without = m_chosen;
        without.*ticked = false;
        const std::string why = whyNot(chosenOf(without), option);
        follow({box}, box->isChecked() && why.empty() ? std::string() : why);
    }
    follow({ui->label_Scan, ui->comboBox_Scan}, whyNot(chosen, Switch::Scan));
    follow({ui->label_PosterSize, ui->comboBox_PosterSize, ui->label_Overlap, ui->lineEdit_Overlap,
            ui->comboBox_OverlapUnit, ui->checkBox_Overview},
           whyNot(chosen, Switch::PosterOnly));
    follow({ui->checkBox_DropBlank}, whyNot(chosen, Switch::DropBlank));
    follow({ui->label_Fit, ui->comboBox_Fit, ui->checkBox_Bleed}, whyNot(chosen, Switch::Sizing));
    follow({ui->label_BothSides, ui->comboBox_BothSides}, whyNot(chosen, Switch::BothSides));
    const std::string marks = whyNot(chosen, Switch::Marks);
    follow({ui->checkBox_CropMarks, ui->checkBox_Frame, ui->checkBox_Slug}, marks);
    ui->lineEdit_CropMarks->setEnabled(ui->checkBox_CropMarks->isChecked() && marks.empty());
    ui->comboBox_CropMarksUnit->setEnabled(ui->checkBox_CropMarks->isChecked() && marks.empty());
    ui->lineEdit_Frame->setEnabled(ui->checkBox_Frame->isChecked() && marks.empty());
    ui->lineEdit_Bleed->setEnabled(ui->checkBox_Bleed->isChecked() && ui->checkBox_Bleed->isEnabled());
    ui->comboBox_BleedUnit->setEnabled(ui->checkBox_Bleed->isChecked() && ui->checkBox_Bleed->isEnabled());
}

void SheetsWindow::writeCalibrationSheet()
{
    if (m_calibration)
        return;  // one at a time
    const QString tool = m_proofs.tool();
    if (tool.isEmpty()) {
        QMessageBox::information(this, QStringLiteral("Warning"), QStringLiteral("The tiling tool was not found."),
                                 QMessageBox::Yes);
        return;
    }
    const QString output = QDir(m_proofs.folder()).filePath(QStringLiteral("calibration.pdf"));
    auto *process = new ToolProcess(this);
    m_calibration = process;
    connect(process, &ToolProcess::ended, this, [this, process, output](const ToolEnd &end) {
        m_calibration = nullptr;
        process->deleteLater();
        if (!end.ok) {
            QMessageBox::information(this, QStringLiteral("Warning"), end.reason, QMessageBox::Yes);
            return;
        }
        openPdfWithDesktop(output, this, [this, output](bool opened) {
            if (!opened)
                QMessageBox::information(this, QStringLiteral("Warning"),
                                         QStringLiteral("No program to open PDF files was found. The file is:\n")
                                             + QDir::toNativeSeparators(output),
                                         QMessageBox::Yes);
        });
    });
    process->run(tool, calibrationArguments(m_options, shownOptions(), output));
}

void SheetsWindow::setMade(const QString &file, const QString &options)
{
    m_made = file;
    m_madeOptions = options;
}

void SheetsWindow::preparePrinter(Sides made)
{
    m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    // The sheet's size, the way it lies, and the sides it was made for.
    const bool landscape = m_points.width() > m_points.height();
    const QSizeF upright = landscape ? m_points.transposed() : m_points;
    m_printer->setPageSize(QPageSize(upright, QPageSize::Point, QString(), QPageSize::ExactMatch));
    m_printer->setPageOrientation(landscape ? QPageLayout::Landscape : QPageLayout::Portrait);
    m_printer->setFullPage(true);
    m_printer->setDuplex(made == Sides::LongEdge    ? QPrinter::DuplexLongSide
                         : made == Sides::ShortEdge ? QPrinter::DuplexShortSide
                                                    : QPrinter::DuplexNone);
    m_printer->setDocName(QFileInfo(m_input).fileName());
    m_printer->setCopyCount(m_jobCopies);
    // The printer printed on last, where it is still there.
    const QString last = m_settings->lastPrinter();
    const QString own = QString::fromLatin1(kOwnQueue);
    if (!last.isEmpty() && last != own && QPrinterInfo::availablePrinterNames().contains(last))
        m_printer->setPrinterName(last);
    else if (!own.isEmpty() && m_printer->printerName() == own) {
        for (const QString &name : QPrinterInfo::availablePrinterNames()) {
            if (name != own) {
                m_printer->setPrinterName(name);
                break;
            }
        }
    }
}

void SheetsWindow::print()
{
    if (m_printJob) {
        m_printJob->stop();
        printEnded(false, tr("Stopped."));
        return;
    }
    if (m_input.isEmpty() || m_count <= 0 || !m_points.isValid())
        return;
    const Sides made = sidesOfSheets(shownOptions());
    preparePrinter(made);
    QPrintDialog dialog(m_printer.get(), this);
    dialog.setWindowTitle(tr("Print the sheets"));
    dialog.setOptions(QAbstractPrintDialog::PrintToFile | QAbstractPrintDialog::PrintPageRange
                      | QAbstractPrintDialog::PrintCollateCopies | QAbstractPrintDialog::PrintShowPageSize);
    dialog.setMinMax(1, m_count);
    // The program's own printer is no place to print its sheets: they would come back here.
    if (auto *printers = dialog.findChild<QComboBox *>(QStringLiteral("printers"))) {
        const int own = *kOwnQueue ? printers->findText(QString::fromLatin1(kOwnQueue)) : -1;
        if (own >= 0) {
            if (printers->currentIndex() == own && printers->count() > 1)
                printers->setCurrentIndex(own == 0 ? 1 : 0);
            printers->removeItem(own);
        }
    }
    // What the printer chosen can do with these sheets, asked of it before anything leaves.
    auto *paperTab = new PaperTab(m_points, inkOnSheet(m_image, m_points), made != Sides::OneSided);
    dialog.setOptionTabs({paperTab});
    paperTab->follow(m_printer->printerName(), dialog.findChild<QComboBox *>(QStringLiteral("printers")));
    if (dialog.exec() != QDialog::Accepted)
        return;

    PrintJob::Request r;
    r.tool = m_proofs.tool();
    r.input = m_input;
    r.options = m_options;
    r.imposed = m_madeOptions == m_options ? m_made : QString();
    r.sheet = m_points;
    r.sideCount = m_count;
    r.toFile = m_printer->outputFileName();
    r.copies = m_printer->copyCount();
#ifdef PLYJOIN_CUPS
    if (r.toFile.isEmpty())
        r.queue = m_printer->printerName();
#endif
    if (!r.queue.isEmpty()) {
        paperTab->ask(r.queue);  // the printer as it was chosen at last
        r.paper = paperTab->choice();
        // A poster keeps clear of the printer's border: its margins widened to it.
        const QStringList widened = posterBorderWords(r.options, r.paper);
        if (!widened.isEmpty()) {
            r.options += QLatin1Char(' ') + widened.join(QLatin1Char(' '));
            r.imposed.clear();
        }
        // More copies than the printer makes: as many as it makes, said.
        const int most = paperTab->maxCopies();
        if (most > 0 && r.copies > most) {
            QMessageBox::information(this, tr("Print"), tr("The printer makes at most %1 copies at a time: %1 are printed.").arg(most));
            r.copies = most;
        }
    }
    r.collate = m_printer->collateCopies();
    if (m_printer->printRange() == QPrinter::PageRange) {
        r.from = m_printer->fromPage();
        r.to = m_printer->toPage();
    }
    if (!chooseSides(r, made, paperTab->printsBothSides()))
        return;
    m_settings->setLastPrinter(r.queue);
    startPrintJob(r);
}

bool SheetsWindow::chooseSides(PrintJob::Request &r, Sides made, bool printsBothSides)
{
    const QPrinter::DuplexMode duplex = m_printer->duplex();
    Sides chosen = duplex == QPrinter::DuplexLongSide    ? Sides::LongEdge
                   : duplex == QPrinter::DuplexShortSide ? Sides::ShortEdge
                   : duplex == QPrinter::DuplexAuto      ? made
                                                         : Sides::OneSided;
    if (made != Sides::OneSided && r.toFile.isEmpty()) {
        // The printer's own duplex unit, as its queue (its CUPS attributes) says.
        const QList<QPrinter::DuplexMode> modes = QPrinterInfo(*m_printer).supportedDuplexModes();
        const bool unit = printsBothSides && (modes.contains(QPrinter::DuplexLongSide) || modes.contains(QPrinter::DuplexShortSide));
        if (!unit) {
            QMessageBox::information(this, tr("Print"),
                                     tr("The printer %1 cannot print on both sides by itself: the sheets are printed "
                                        "two-sided by hand, the fronts first.")
                                         .arg(m_printer->printerName()));
            r.byHand = true;
        } else {
            // The printer chosen prints both sides itself: the sheets go as they were made,
            // whatever the dialog's own two-sided setting kept from another printer says (the
            // Paper tab says so). One question, one printer: they cannot disagree.
            chosen = made;
        }
    }
    r.madeFor = made;
    r.asked = r.byHand ? Sides::OneSided : chosen;
    if (r.byHand)
        r.faceUp = faceUp(m_printer->printerName());
    return true;
}

void SheetsWindow::startPrintJob(const PrintJob::Request &r)
{
    auto *job = new PrintJob(r, m_printer.get(), this);
    m_printJob = job;
    connect(job, &PrintJob::progress, this, [this, input = r.input](const QString &state, int percent) {
        if (input == m_input)
            setStatus(percent >= 0 && percent < 100 ? QStringLiteral("%1: %2%").arg(state).arg(percent) : state);
    });
    connect(job, &PrintJob::handTurnNeeded, this, [this, job, r] {
        const HandTwoSided &plan = job->handPlan();
        TurnStackDialog turn(r.madeFor, m_points.height() >= m_points.width(), plan.sheets,
                             plan.backs.blankFirst || plan.backs.blankLast, this);
        if (turn.exec() == QDialog::Accepted && m_printJob == job) {
            job->continueWithBacks();
        } else if (m_printJob == job) {
            job->stop();
            printEnded(false, tr("Stopped: the backs are not printed."));
        }
    });
    connect(job, &PrintJob::finished, this, &SheetsWindow::printEnded);
    ui->toolButton_Print->setText(tr("Stop"));
    ui->toolButton_Print->setAccessibleName(tr("Stop printing"));
    job->start();
}

void SheetsWindow::setStatus(const QString &text, bool proofWarnings)
{
    ui->label_PrintState->setText(text);
    ui->label_PrintState->setToolTip(text);
    m_statusIsWarning = proofWarnings && !text.isEmpty();
}

void SheetsWindow::printEnded(bool ok, const QString &message)
{
    if (m_printJob && m_printJob->request().input == m_input)
        setStatus(message);
    ui->toolButton_Print->setText(tr("Print"));
    ui->toolButton_Print->setAccessibleName(tr("Print"));
    if (m_printJob)
        m_printJob->deleteLater();
    m_printJob = nullptr;
    if (!ok && message != tr("Stopped.") && !message.startsWith(tr("Stopped")))
        QMessageBox::information(this, QStringLiteral("Warning"), tr("The sheets were not printed: %1").arg(message),
                                 QMessageBox::Yes);
}

bool SheetsWindow::faceUp(const QString &printer)
{
    if (const Settings::Face said = m_settings->printerFace(printer); said != Settings::Face::Unknown)
        return said == Settings::Face::Up;
    QMessageBox ask(QMessageBox::Question, tr("Print"),
                    tr("Does the printer %1 lay the printed sheets face down (most printers) or face up?").arg(printer),
                    QMessageBox::NoButton, this);
    QPushButton *down = ask.addButton(tr("Face down"), QMessageBox::AcceptRole);
    ask.addButton(tr("Face up"), QMessageBox::RejectRole);
    ask.setDefaultButton(down);
    ask.exec();
    const bool up = ask.clickedButton() != down;
    m_settings->setPrinterFace(printer, up);
    return up;
}

void SheetsWindow::setTool(const QString &path)
{
    m_proofs.setTool(path);
}

void SheetsWindow::setHeld(bool held)
{
    m_proofs.setHeld(held);
}

void SheetsWindow::setSource(const QString &input, const QString &options)
{
    if (input != m_input) {
        m_side = 0;
        m_count = -1;
        setStatus(QString());
    }
    m_input = input;
    m_options = options;
    setWindowTitle(input.isEmpty() ? tr("Sheets") : tr("Sheets - %1").arg(QFileInfo(input).fileName()));
    if (input.isEmpty()) {
        showMessage(tr("Add a PDF to see its sheets."));
        updateBar();
        return;
    }
    request();
}

void SheetsWindow::setCurrentSide(int side)
{
    side = std::max(0, m_count > 0 ? std::min(side, m_count - 1) : side);
    if (side == m_side && !m_image.isNull() && m_latest.sheet == side)
        return;
    m_side = side;
    updateBar();
    if (!m_input.isEmpty())
        request();
}

void SheetsWindow::request()
{
    m_latest = {m_input, m_options, m_side};
    updateView();
    m_proofs.request(m_latest);
}

void SheetsWindow::shown(const ProofMaker::Request &request, int count, const QImage &image, const QSizeF &points,
                         const QList<int> &pages, const QString &shows)
{
    if (request.input != m_input)
        return;  // of a file no longer shown
    m_count = count;
    m_image = image;
    m_points = points;
    m_pages = pages;
    m_shows = shows;
    m_message.clear();
    ui->sheetView->setImage(image);
    ui->sheetView->setDimmed(request != m_latest);
    updateBar();
    emit sideShown(request.sheet, count);
}

void SheetsWindow::refused(const ProofMaker::Request &request, int count, const QString &reason)
{
    if (request != m_latest)
        return;
    if (count > 0 && request.sheet >= count) {
        // Fewer sides than before (a larger grid): the last one.
        m_count = count;
        setCurrentSide(count - 1);
        return;
    }
    showMessage(inWindowWords(reason));
    updateBar();
}

void SheetsWindow::showMessage(const QString &message)
{
    m_message = message;
    m_image = QImage();
    m_pages.clear();
    ui->sheetView->setMessage(message);
}

void SheetsWindow::updateBar()
{
    const SheetChoices options = shownOptions();
    // The folding, whole: the label wraps its lines at any width of the panel.
    ui->label_FoldHow->setText(foldingInstruction(options));
    ui->label_FoldHow->setAccessibleDescription(foldingInstruction(options));
    ui->label_FoldHow->setVisible(options.booklet);
    // Pages cut apart and a poster's sheets are pages of their own, each said as the tool
    // says what it is.
    const bool parts = options.cut || options.poster;
    const bool twoSided = !parts && hasBacks(chosenOf(options));
    const bool shown = !m_input.isEmpty() && m_message.isEmpty() && m_count > 0;
    const BarWords words = barWords(options, m_side, shown ? m_count : -1, twoSided, m_shows);
    ui->label_Sheet->setText(m_input.isEmpty() ? QString() : words.sheet);
    ui->label_Side->setText(m_input.isEmpty() ? QString() : words.side);
    ui->label_Size->setText(m_image.isNull() ? QString()
                                             : tr("%1 x %2 mm").arg(millimetres(m_points.width()), millimetres(m_points.height())));
    // Only a side on screen can be left for another.
    ui->toolButton_First->setEnabled(shown && m_side > 0);
    ui->toolButton_Previous->setEnabled(shown && m_side > 0);
    ui->toolButton_Next->setEnabled(shown && m_side < m_count - 1);
    ui->toolButton_Last->setEnabled(shown && m_side < m_count - 1);
    ui->toolButton_Print->setEnabled(shown || m_printJob);
    ui->sheetView->setAccessibleDescription(!m_message.isEmpty() ? m_message
                                            : m_image.isNull()   ? QString()
                                            : parts              ? words.whole
                                                                 : describeSide(m_side, m_count, twoSided, m_pages));
}

void SheetsWindow::updateView()
{
    ProofMaker::View view;
    view.area = ui->sheetView->room();
    view.devicePixelRatio = devicePixelRatioF();
    view.actualSize = ui->toolButton_ActualSize->isChecked() ? logicalDpiX() / 72.0 : 0;
    m_proofs.setView(view);
}

void SheetsWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    updateView();
}

void SheetsWindow::closeEvent(QCloseEvent *event)
{
    saveGeometryToSettings();
    QWidget::closeEvent(event);
}

void SheetsWindow::saveGeometryToSettings()
{
    m_settings->setSheetsWindowGeometry(saveGeometry());
}
