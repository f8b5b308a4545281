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
    const LayoutValues layout = layoutValues();  // the grid as the options string reads it
    SettingsFile file;
    file.write(K::Horizontal, checkedText(ui->radioButton_horizontal));
    file.write(K::HorizontalReversed, checkedText(ui->radioButton_horizontalreversed));
    file.write(K::Vertical, checkedText(ui->radioButton_vertical));
    file.write(K::VerticalReversed, checkedText(ui->radioButton_verticalreversed));
    for (const LengthControl &length : lengthControls()) {
        file.write(length.keys.edit, length.edit->text());
        file.write(length.keys.unit, length.unit->currentText());
    }
    file.write(K::PagesPerSheet, ui->comboBox_pagers_per_sheet->currentText());
    file.write(K::Columns, layout.columns);
    file.write(K::Rows, layout.rows);
}

void Sheetwin::LoadParaInfo()
{
    namespace K = SettingKey;
    const auto lengths = lengthControls();
    QString orders[4], texts[6], units[6], preset, columns, rows;
    {
        const SettingsFile file;
        const char *orderKeys[4] = {K::Horizontal, K::HorizontalReversed, K::Vertical, K::VerticalReversed};
        for (int i = 0; i < 4; ++i)
            orders[i] = file.read(orderKeys[i]);
        for (size_t i = 0; i < lengths.size(); ++i) {
            texts[i] = file.read(lengths[i].keys.edit);
            units[i] = file.read(lengths[i].keys.unit);
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

    for (size_t i = 0; i < lengths.size(); ++i) {
        lengths[i].edit->setText(texts[i]);
        QComboBox *unit = lengths[i].unit;
        SetComboxText(unit, units[i]);
    }

    QComboBox *presetBox = ui->comboBox_pagers_per_sheet;
    SetComboxText(presetBox, preset);
    ui->lineEdit_pages_per_sheet_horizontal->setText(columns);
    ui->lineEdit_pages_per_sheet_vertical->setText(rows);
    const bool custom = presetBox->currentIndex() == presetBox->count() - 1;
    ui->lineEdit_pages_per_sheet_horizontal->setEnabled(custom);
    ui->lineEdit_pages_per_sheet_vertical->setEnabled(custom);
}
