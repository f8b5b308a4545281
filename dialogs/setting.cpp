#include "setting.h"
#include "widgets/taborder.h"

#include "widgets/controltext.h"
#include "dialogs/dialogframe.h"
#include "run/optionsstring.h"
#include "settings/settingsfile.h"
#include "ui_setting.h"

#include <QColorDialog>

namespace {

struct PageSize
{
    const char *name;
    const char *height;  // mm
    const char *width;   // mm
};

// The last entry, "Custom", takes its size from the hand-edited Width and Height keys.
constexpr PageSize kPageSizes[] = {
    {"A3", "420", "297"},    {"A4", "297", "210"},      {"A5", "210", "148"},
    {"B4", "353", "250"},    {"B5", "250", "176"},      {"Letter", "279.4", "215.9"},
    {"Legal", "355.6", "215.9"}, {"Ledger", "431.8", "279.4"}, {"Custom", nullptr, nullptr},
};
const char *const kSheetUnits[] = {"mm", "inch", "point"};
const char *const kAngles[] = {"0 degree", "90 degrees", "180 degrees", "270 degrees"};

const QString kOne = QStringLiteral("1");
const QString kZero = QStringLiteral("0");

// Sets a radio button's state from code, unchecking included (an exclusive group refuses
// to uncheck its checked button otherwise).
void setRadio(QRadioButton *button, bool checked)
{
    const bool exclusive = button->autoExclusive();
    button->setAutoExclusive(false);
    button->setChecked(checked);
    button->setAutoExclusive(exclusive);
}

} // namespace

Setting::Setting(QWidget *parent) : QDialog(parent), ui(new Ui_Setting)
{
    ui->setupUi(this);
    setUpFixedDialog(this);
    setWindowTitle(tr("Setting"));

    for (const PageSize &size : kPageSizes)
        ui->PageSizeCombo->addItem(QLatin1String(size.name));
    for (const char *unit : kSheetUnits) {
        ui->comboBox_pagesize_height->addItem(QLatin1String(unit));
        ui->comboBox_pagesize_width->addItem(QLatin1String(unit));
    }
    for (const char *angle : kAngles)
        ui->RotateCombo_rotate->addItem(QLatin1String(angle));
    connect(ui->PageSizeCombo, &QComboBox::currentTextChanged, this, &Setting::setText1);

    ui->lineEdit_Height->setText(QStringLiteral("297"));
    ui->lineEdit_Width->setText(QStringLiteral("210"));
    ui->lineEdit_Height->setAlignment(Qt::AlignRight);
    ui->lineEdit_Width->setAlignment(Qt::AlignRight);

    connect(ui->pushButton_Cancle, &QPushButton::clicked, this, &Setting::On_Button_Cancle_Click);
    connect(ui->pushButton, &QPushButton::clicked, this, &Setting::reSet);
    connect(ui->radioButton_remain_original_size, &QRadioButton::clicked, this, &Setting::radioButton_remain_original_size_click);
    connect(ui->radioButton_fit_to_page_size, &QRadioButton::clicked, this, &Setting::radioButton_fit_to_page_size_click);
    connect(ui->radioButton_scaling, &QRadioButton::clicked, this, &Setting::radioButton_scaling_click);
    connect(ui->radioButton_allpages, &QRadioButton::clicked, this, &Setting::radioButton_allpages_click);
    connect(ui->radioButton_oddpages, &QRadioButton::clicked, this, &Setting::radioButton_oddpages_click);
    connect(ui->radioButton_evem_pages, &QRadioButton::clicked, this, &Setting::radioButton_evem_pages_click);
    connect(ui->radioButton_pageno, &QRadioButton::clicked, this, &Setting::radioButton_pageno_click);
    connect(ui->pushButton_setcolor, &QPushButton::clicked, this, &Setting::pushButton_setcolor_click);
    connect(ui->radioButton_addcolor, &QRadioButton::clicked, this, &Setting::radioButton_addcolor_click);

    nameForScreenReaders({
        {ui->spinBox_scaling, "Scale in percent"}, {ui->PageSizeCombo, "Page size"},
        {ui->lineEdit_Height, "Height"}, {ui->comboBox_pagesize_height, "Unit of the height"},
        {ui->lineEdit_Width, "Width"}, {ui->comboBox_pagesize_width, "Unit of the width"},
        {ui->lineEdit_pageno, "Page numbers"}, {ui->RotateCombo_rotate, "Angle"},
    });
    tabInReadingOrder(this);
    LoadParaInfo();
}

Setting::~Setting()
{
    delete ui;
}

void Setting::SetComboxText(QComboBox *&box, QString &text)
{
    selectItemByText(box, text);
}

void Setting::setSizeFieldsEnabled(bool enabled)
{
    ui->lineEdit_Height->setEnabled(enabled);
    ui->comboBox_pagesize_height->setEnabled(enabled);
    ui->lineEdit_Width->setEnabled(enabled);
    ui->comboBox_pagesize_width->setEnabled(enabled);
}

void Setting::setScalingMode(ScalingMode mode)
{
    const bool fit = mode == ScalingMode::FitToPageSize;
    setRadio(ui->radioButton_remain_original_size, mode == ScalingMode::OriginalSize);
    setRadio(ui->radioButton_scaling, mode == ScalingMode::Scale);
    setRadio(ui->radioButton_fit_to_page_size, fit);
    ui->spinBox_scaling->setEnabled(mode == ScalingMode::Scale);
    ui->PageSizeCombo->setEnabled(fit);
    const QComboBox *sizes = ui->PageSizeCombo;
    setSizeFieldsEnabled(fit && sizes->currentIndex() == sizes->count() - 1);
}

void Setting::setPageRange(PageRange range)
{
    setRadio(ui->radioButton_allpages, range == PageRange::All);
    setRadio(ui->radioButton_oddpages, range == PageRange::Odd);
    setRadio(ui->radioButton_evem_pages, range == PageRange::Even);
    setRadio(ui->radioButton_pageno, range == PageRange::List);
    ui->lineEdit_pageno->setEnabled(range == PageRange::List);
}

void Setting::setText1(QString name)
{
    const QString current = ui->PageSizeCombo->currentText();
    const PageSize *found = nullptr;
    for (const PageSize &size : kPageSizes) {
        if (size.height && name == QLatin1String(size.name))
            found = &size;
    }
    if (found) {
        ui->lineEdit_Height->setText(QLatin1String(found->height));
        ui->lineEdit_Width->setText(QLatin1String(found->width));
    } else {
        const SettingsFile file;
        ui->lineEdit_Height->setText(file.read(SettingKey::CustomHeight));
        ui->lineEdit_Width->setText(file.read(SettingKey::CustomWidth));
    }
    const bool custom = current == QLatin1String("Custom");
    if (!custom) {
        ui->comboBox_pagesize_height->setCurrentIndex(0);
        ui->comboBox_pagesize_width->setCurrentIndex(0);
    }
    setSizeFieldsEnabled(custom);
}

void Setting::on_ConvertButton_clicked()
{
    SaveParaInfo();
    accept();
}

void Setting::On_Button_Cancle_Click()
{
    reject();
}

void Setting::reSet()
{
    setRadio(ui->radioButton_addcolor, false);
    ui->pushButton_setcolor->setEnabled(false);
    r = g = b = 0;
    ui->spinBox_scaling->setEnabled(false);
    ui->PageSizeCombo->setEnabled(false);
    setSizeFieldsEnabled(false);
    ui->lineEdit_pageno->setEnabled(false);
    setRadio(ui->radioButton_fit_to_page_size, false);
    setRadio(ui->radioButton_scaling, false);
    setRadio(ui->radioButton_oddpages, false);
    setRadio(ui->radioButton_evem_pages, false);
    setRadio(ui->radioButton_pageno, false);
    setRadio(ui->radioButton_remain_original_size, true);
    setRadio(ui->radioButton_allpages, true);
    ui->RotateCombo_rotate->setCurrentIndex(0);
}

void Setting::radioButton_remain_original_size_click() { setScalingMode(ScalingMode::OriginalSize); }
void Setting::radioButton_scaling_click() { setScalingMode(ScalingMode::Scale); }
void Setting::radioButton_fit_to_page_size_click() { setScalingMode(ScalingMode::FitToPageSize); }
void Setting::radioButton_allpages_click() { setPageRange(PageRange::All); }
void Setting::radioButton_oddpages_click() { setPageRange(PageRange::Odd); }
void Setting::radioButton_evem_pages_click() { setPageRange(PageRange::Even); }
void Setting::radioButton_pageno_click() { setPageRange(PageRange::List); }

void Setting::pushButton_setcolor_click()
{
    const QColor colour = QColorDialog::getColor(Qt::white, nullptr, QString(), QColorDialog::DontUseNativeDialog);
    if (!colour.isValid())
        return;  // cancelled: the line colour stays as it was
    r = colour.red();
    g = colour.green();
    b = colour.blue();
}

void Setting::radioButton_addcolor_click()
{
    // The only radio of its group: a second click must not clear it.
    setRadio(ui->radioButton_addcolor, true);
    ui->pushButton_setcolor->setEnabled(ui->radioButton_addcolor->isChecked());
}

void Setting::SaveParaInfo()
{
    namespace K = SettingKey;
    SettingsFile file;
    file.write(K::RemainOriginalSize, checkedText(ui->radioButton_remain_original_size));
    file.write(K::Scaling, checkedText(ui->radioButton_scaling));
    file.write(K::ScalingPercent, ui->spinBox_scaling->text());
    file.write(K::FitToPageSize, checkedText(ui->radioButton_fit_to_page_size));
    file.write(K::PageSize, ui->PageSizeCombo->currentText());
    file.write(K::PageHeight, ui->lineEdit_Height->text());
    file.write(K::PageHeightUnit, ui->comboBox_pagesize_height->currentText());
    file.write(K::PageWidth, ui->lineEdit_Width->text());
    file.write(K::PageWidthUnit, ui->comboBox_pagesize_width->currentText());
    file.write(K::AllPages, checkedText(ui->radioButton_allpages));
    file.write(K::OddPages, checkedText(ui->radioButton_oddpages));
    file.write(K::EvenPages, checkedText(ui->radioButton_evem_pages));
    file.write(K::PageList, checkedText(ui->radioButton_pageno));
    file.write(K::PageListText, ui->lineEdit_pageno->text());
    file.write(K::Rotate, ui->RotateCombo_rotate->currentText());
    file.write(K::ColorR, QString::number(r, 10));
    file.write(K::ColorG, QString::number(g, 10));
    file.write(K::ColorB, QString::number(b, 10));
    file.write(K::AddLine, checkedText(ui->radioButton_addcolor));
}

void Setting::LoadParaInfo()
{
    // The same reading of the file as a run's options string.
    PageOptions stored;
    {
        const SettingsFile file;
        stored = PageOptions::fromSettings(file);
    }
    r = stored.red.toInt();
    g = stored.green.toInt();
    b = stored.blue.toInt();

    if (stored.addLine == kZero) {
        setRadio(ui->radioButton_addcolor, false);
        ui->pushButton_setcolor->setEnabled(false);
    } else if (stored.addLine == kOne) {
        setRadio(ui->radioButton_addcolor, true);
        ui->pushButton_setcolor->setEnabled(true);
    }

    ui->spinBox_scaling->setValue(stored.scalingPercent.toInt());

    QComboBox *box = ui->PageSizeCombo;
    SetComboxText(box, stored.pageSize);
    ui->lineEdit_Height->setText(stored.height);
    box = ui->comboBox_pagesize_height;
    SetComboxText(box, stored.heightUnit);
    ui->lineEdit_Width->setText(stored.width);
    box = ui->comboBox_pagesize_width;
    SetComboxText(box, stored.widthUnit);

    const ScalingMode mode = scalingMode(stored);
    if (mode != ScalingMode::None)
        setScalingMode(mode);

    ui->lineEdit_pageno->setText(stored.pageListText);

    const PageRange range = pageRange(stored);
    if (range != PageRange::None)
        setPageRange(range);

    box = ui->RotateCombo_rotate;
    SetComboxText(box, stored.rotate);
}
