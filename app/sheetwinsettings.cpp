// The main window's layout controls in the settings file.
#include "widgets/controltext.h"
#include "app/sheetwin.h"
#include "settings/settingsfile.h"
#include "ui_sheetwin.h"

namespace {

const QString kChecked = QStringLiteral("1");

} // namespace

void Sheetwin::SetComboxText(QComboBox *&box, QString &text)
{
    selectItemByText(box, text);
}

void Sheetwin::SaveParaInfo()
{
    namespace K = SettingKey;
    const LayoutValues layout = layoutValues();
    SettingsFile file;
    file.write(K::Horizontal, checkedText(ui->radioButton_horizontal));
    file.write(K::HorizontalReversed, checkedText(ui->radioButton_horizontalreversed));
    file.write(K::Vertical, checkedText(ui->radioButton_vertical));
    file.write(K::VerticalReversed, checkedText(ui->radioButton_verticalreversed));
    for (int i = 0; i < 6; ++i) {
        file.write(kLengthKeys[i].edit, layout.lengths[i].text);
        file.write(kLengthKeys[i].unit, layout.lengths[i].unit);
    }
    file.write(K::PagesPerSheet, ui->comboBox_pagers_per_sheet->currentText());
    file.write(K::Columns, layout.columns);
    file.write(K::Rows, layout.rows);
}

void Sheetwin::LoadParaInfo()
{
    namespace K = SettingKey;
    QString orders[4], texts[6], units[6], preset, columns, rows;
    {
        const SettingsFile file;
        const char *orderKeys[4] = {K::Horizontal, K::HorizontalReversed, K::Vertical, K::VerticalReversed};
        for (int i = 0; i < 4; ++i)
            orders[i] = file.read(orderKeys[i]);
        for (int i = 0; i < 6; ++i) {
            texts[i] = file.read(kLengthKeys[i].edit);
            units[i] = file.read(kLengthKeys[i].unit);
        }
        preset = file.read(K::PagesPerSheet);
        columns = file.read(K::Columns);
        rows = file.read(K::Rows);
    }

    // The first order stored as "1" is checked; those before it are unchecked, those
    // after it are left alone. Checking from code sends no clicked().
    QRadioButton *orderButtons[4] = {ui->radioButton_horizontal, ui->radioButton_horizontalreversed,
                                     ui->radioButton_vertical, ui->radioButton_verticalreversed};
    for (int i = 0; i < 4; ++i) {
        if (orders[i] == kChecked) {
            orderButtons[i]->setChecked(true);
            break;
        }
        // An exclusive group cannot uncheck its checked button directly.
        orderButtons[i]->setAutoExclusive(false);
        orderButtons[i]->setChecked(false);
        orderButtons[i]->setAutoExclusive(true);
    }

    QLineEdit *edits[6] = {ui->lineEdit_left, ui->lineEdit_right, ui->lineEdit_top,
                           ui->lineEdit_bottom, ui->lineEdit_x, ui->lineEdit_y};
    QComboBox *unitBoxes[6] = {ui->comboBox_left, ui->comboBox_right, ui->comboBox_top,
                               ui->comboBox_bottom, ui->comboBox_x, ui->comboBox_y};
    for (int i = 0; i < 6; ++i) {
        edits[i]->setText(texts[i]);
        SetComboxText(unitBoxes[i], units[i]);
    }

    QComboBox *presetBox = ui->comboBox_pagers_per_sheet;
    SetComboxText(presetBox, preset);
    ui->lineEdit_pages_per_sheet_horizontal->setText(columns);
    ui->lineEdit_pages_per_sheet_vertical->setText(rows);
    const bool custom = presetBox->currentIndex() == presetBox->count() - 1;
    ui->lineEdit_pages_per_sheet_horizontal->setEnabled(custom);
    ui->lineEdit_pages_per_sheet_vertical->setEnabled(custom);
}
