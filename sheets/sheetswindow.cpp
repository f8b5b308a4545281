#include "sheets/sheetswindow.h"

#include "run/optionsstring.h"
#include "settings/settingsfile.h"
#include "widgets/controltext.h"
#include "ui_sheetswindow.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QRegularExpression>
#include <QScreen>
#include <QShortcut>
#include <QStyle>

#include <cmath>

namespace {

QString millimetres(double points)
{
    return QString::number(std::round(points * 25.4 / 72 * 10) / 10, 'f', 1).remove(QRegularExpression(QStringLiteral("\\.0$")));
}

} // namespace

SheetsWindow::SheetsWindow(QWidget *parent) : QWidget(parent, Qt::Window), ui(new Ui_SheetsWindow)
{
    ui->setupUi(this);
    setObjectName(QStringLiteral("SheetsWindow"));
    setWindowTitle(tr("Sheets"));
    const QByteArray geometry = QByteArray::fromBase64(readSetting(SettingKey::SheetsWindowGeometry).toLatin1());
    if (geometry.isEmpty() || !restoreGeometry(geometry))
        resize(760, 640);

    // Drawn by the style, not by the font's arrows (which some fonts lack).
    ui->toolButton_First->setIcon(style()->standardIcon(QStyle::SP_MediaSkipBackward));
    ui->toolButton_Previous->setArrowType(Qt::LeftArrow);
    ui->toolButton_Next->setArrowType(Qt::RightArrow);
    ui->toolButton_Last->setIcon(style()->standardIcon(QStyle::SP_MediaSkipForward));
    connect(ui->toolButton_First, &QToolButton::clicked, this, [this] { setCurrentSheet(0); });
    connect(ui->toolButton_Previous, &QToolButton::clicked, this, [this] { setCurrentSheet(m_sheet - 1); });
    connect(ui->toolButton_Next, &QToolButton::clicked, this, [this] { setCurrentSheet(m_sheet + 1); });
    connect(ui->toolButton_Last, &QToolButton::clicked, this, [this] {
        if (m_count > 0)
            setCurrentSheet(m_count - 1);
    });
    const std::pair<QKeySequence, QToolButton *> keys[] = {
        {QKeySequence(Qt::Key_Home), ui->toolButton_First}, {QKeySequence(Qt::Key_PageUp), ui->toolButton_Previous},
        {QKeySequence(Qt::Key_PageDown), ui->toolButton_Next}, {QKeySequence(Qt::Key_End), ui->toolButton_Last}};
    for (const auto &[key, button] : keys)
        connect(new QShortcut(key, this), &QShortcut::activated, button, &QToolButton::click);
    connect(ui->toolButton_ActualSize, &QToolButton::toggled, this, [this](bool actual) {
        ui->sheetView->setActualSize(actual);
        updateView();
    });

    setUpOptions();
    connect(ui->sheetView, &SheetView::resized, this, &SheetsWindow::updateView);
    connect(&m_preview, &SheetPreview::rendered, this, &SheetsWindow::shown);
    connect(&m_preview, &SheetPreview::failed, this, &SheetsWindow::refused);
    connect(&m_preview, &SheetPreview::working, this, [this] { ui->sheetView->setDimmed(true); });
    showMessage(tr("Add a PDF to see its sheets."));
    updateBar();
}

SheetsWindow::~SheetsWindow()
{
    saveGeometryToSettings();
    delete ui;
}

void SheetsWindow::setUpOptions()
{
    namespace K = SettingKey;
    for (QComboBox *box : {ui->comboBox_CreepUnit, ui->comboBox_CropMarksUnit})
        box->addItems({QStringLiteral("mm"), QStringLiteral("cm"), QStringLiteral("inch"), QStringLiteral("point")});
    ui->comboBox_Duplex->addItems({QStringLiteral("short edge"), QStringLiteral("long edge")});
    {
        const SettingsFile file;
        const auto checked = [&](const char *key) { return file.read(key) == QLatin1String("1"); };
        ui->checkBox_Booklet->setChecked(checked(K::Booklet));
        ui->spinBox_Signature->setValue(file.read(K::Signature).toInt());
        ui->lineEdit_Creep->setText(file.read(K::Creep));
        selectItemByText(ui->comboBox_CreepUnit, file.read(K::CreepUnit));
        ui->checkBox_RightToLeft->setChecked(checked(K::RightToLeft));
        selectItemByText(ui->comboBox_Duplex, file.read(K::Duplex));
        ui->checkBox_CropMarks->setChecked(checked(K::CropMarks));
        ui->lineEdit_CropMarks->setText(file.read(K::CropMarksLength));
        selectItemByText(ui->comboBox_CropMarksUnit, file.read(K::CropMarksUnit));
        ui->checkBox_Frame->setChecked(checked(K::Frame));
        ui->lineEdit_Frame->setText(file.read(K::FrameWidth));
    }
    updateOptionsEnabled();

    // Each control saves its key when it changes.
    auto saved = [this](const char *key, const QString &value) {
        writeSetting(key, value);
        updateOptionsEnabled();
        emit sheetOptionsChanged();
    };
    const std::pair<QCheckBox *, const char *> checks[] = {{ui->checkBox_Booklet, K::Booklet},
                                                          {ui->checkBox_RightToLeft, K::RightToLeft},
                                                          {ui->checkBox_CropMarks, K::CropMarks},
                                                          {ui->checkBox_Frame, K::Frame}};
    for (const auto &[box, key] : checks)
        connect(box, &QCheckBox::toggled, this, [saved, box = box, key = key] { saved(key, checkedText(box)); });
    const std::pair<QLineEdit *, const char *> edits[] = {{ui->lineEdit_Creep, K::Creep},
                                                         {ui->lineEdit_CropMarks, K::CropMarksLength},
                                                         {ui->lineEdit_Frame, K::FrameWidth}};
    for (const auto &[edit, key] : edits)
        connect(edit, &QLineEdit::textChanged, this, [saved, key = key](const QString &text) { saved(key, text); });
    const std::pair<QComboBox *, const char *> boxes[] = {{ui->comboBox_CreepUnit, K::CreepUnit},
                                                         {ui->comboBox_Duplex, K::Duplex},
                                                         {ui->comboBox_CropMarksUnit, K::CropMarksUnit}};
    for (const auto &[box, key] : boxes)
        connect(box, &QComboBox::currentTextChanged, this, [saved, key = key](const QString &text) { saved(key, text); });
    connect(ui->spinBox_Signature, &QSpinBox::valueChanged, this,
            [saved](int value) { saved(SettingKey::Signature, QString::number(value)); });
}

void SheetsWindow::updateOptionsEnabled()
{
    const bool booklet = ui->checkBox_Booklet->isChecked();
    for (QWidget *w : {static_cast<QWidget *>(ui->label_Signature), static_cast<QWidget *>(ui->spinBox_Signature),
                       static_cast<QWidget *>(ui->label_Creep), static_cast<QWidget *>(ui->lineEdit_Creep),
                       static_cast<QWidget *>(ui->comboBox_CreepUnit), static_cast<QWidget *>(ui->checkBox_RightToLeft),
                       static_cast<QWidget *>(ui->label_Duplex), static_cast<QWidget *>(ui->comboBox_Duplex)})
        w->setEnabled(booklet);
    ui->lineEdit_CropMarks->setEnabled(ui->checkBox_CropMarks->isChecked());
    ui->comboBox_CropMarksUnit->setEnabled(ui->checkBox_CropMarks->isChecked());
    ui->lineEdit_Frame->setEnabled(ui->checkBox_Frame->isChecked());
}

void SheetsWindow::setTool(const QString &path)
{
    m_preview.setTool(path);
}

void SheetsWindow::setHeld(bool held)
{
    m_preview.setHeld(held);
}

void SheetsWindow::setSource(const QString &input, const QString &options)
{
    if (input != m_input) {
        m_sheet = 0;
        m_count = -1;
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

void SheetsWindow::setCurrentSheet(int sheet)
{
    sheet = std::max(0, m_count > 0 ? std::min(sheet, m_count - 1) : sheet);
    if (sheet == m_sheet && !m_image.isNull() && m_latest.sheet == sheet)
        return;
    m_sheet = sheet;
    updateBar();
    if (!m_input.isEmpty())
        request();
}

void SheetsWindow::request()
{
    m_latest = {m_input, m_options, m_sheet};
    updateView();
    m_preview.request(m_latest);
}

void SheetsWindow::shown(const SheetPreview::Request &request, int count, const QImage &image, const QSizeF &points)
{
    if (request.input != m_input)
        return;  // of a file no longer shown
    m_count = count;
    m_image = image;
    m_points = points;
    m_message.clear();
    ui->sheetView->setImage(image);
    ui->sheetView->setDimmed(request != m_latest);
    updateBar();
    emit sheetShown(request.sheet, count);
}

void SheetsWindow::refused(const SheetPreview::Request &request, int count, const QString &reason)
{
    if (request != m_latest)
        return;
    if (count > 0 && request.sheet >= count) {
        // Fewer sheets than before (a larger grid): the last one.
        m_count = count;
        setCurrentSheet(count - 1);
        return;
    }
    showMessage(inWindowWords(reason));
    updateBar();
}

void SheetsWindow::showMessage(const QString &message)
{
    m_message = message;
    m_image = QImage();
    ui->sheetView->setMessage(message);
}

void SheetsWindow::updateBar()
{
    const bool known = m_count > 0;
    ui->label_Sheet->setText(m_input.isEmpty() ? QString()
                             : known        ? tr("Sheet %1 of %2").arg(m_sheet + 1).arg(m_count)
                                            : tr("Sheet %1").arg(m_sheet + 1));
    const bool twoSided = m_options.contains(QLatin1String(" -booklet")) || m_options.contains(QLatin1String(" -duplex "));
    ui->label_Side->setText(twoSided && !m_input.isEmpty() ? (m_sheet % 2 == 0 ? tr("front") : tr("back")) : QString());
    ui->label_Size->setText(m_image.isNull() ? QString()
                                             : tr("%1 x %2 mm").arg(millimetres(m_points.width()), millimetres(m_points.height())));
    ui->toolButton_First->setEnabled(m_sheet > 0);
    ui->toolButton_Previous->setEnabled(m_sheet > 0);
    ui->toolButton_Next->setEnabled(!m_input.isEmpty() && (!known || m_sheet < m_count - 1));
    ui->toolButton_Last->setEnabled(known && m_sheet < m_count - 1);
}

void SheetsWindow::updateView()
{
    SheetPreview::View view;
    view.area = ui->sheetView->room();
    view.devicePixelRatio = devicePixelRatioF();
    view.actualSize = ui->toolButton_ActualSize->isChecked() ? logicalDpiX() / 72.0 : 0;
    m_preview.setView(view);
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
    writeSetting(SettingKey::SheetsWindowGeometry, QString::fromLatin1(saveGeometry().toBase64()));
}
