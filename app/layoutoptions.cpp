// Layout controls: the pages-per-sheet presets and the preview drawn from the controls.
#include "app/layoutpresets.h"
#include "app/previewgeometry.h"
#include "app/sheetwin.h"
#include "ui_sheetwin.h"

namespace {

const QString kTileStyle = QStringLiteral("background-color:rgb(170,255,255)");

} // namespace

void Sheetwin::comboBox_pagers_per_sheet_currentIndexChanged(QString strcmp)
{
    for (const LayoutPreset &preset : kLayoutPresets) {
        if (strcmp != QLatin1String(preset.text))
            continue;
        ui->lineEdit_pages_per_sheet_horizontal->setText(QLatin1String(preset.count));
        ui->lineEdit_pages_per_sheet_vertical->setText(QLatin1String(preset.count));
        ui->lineEdit_pages_per_sheet_horizontal->setEnabled(preset.editable);
        ui->lineEdit_pages_per_sheet_vertical->setEnabled(preset.editable);
        return;
    }
}

std::array<Sheetwin::LengthControl, 6> Sheetwin::lengthControls() const
{
    return {{{kLengthKeys[0], ui->lineEdit_left, ui->comboBox_left},
             {kLengthKeys[1], ui->lineEdit_right, ui->comboBox_right},
             {kLengthKeys[2], ui->lineEdit_top, ui->comboBox_top},
             {kLengthKeys[3], ui->lineEdit_bottom, ui->comboBox_bottom},
             {kLengthKeys[4], ui->lineEdit_x, ui->comboBox_x},
             {kLengthKeys[5], ui->lineEdit_y, ui->comboBox_y}}};
}

LayoutValues Sheetwin::layoutValues() const
{
    LayoutValues v;
    if (ui->radioButton_horizontal->isChecked())
        v.order = FillOrder::Horizontal;
    else if (ui->radioButton_horizontalreversed->isChecked())
        v.order = FillOrder::HorizontalReversed;
    else if (ui->radioButton_vertical->isChecked())
        v.order = FillOrder::Vertical;
    else if (ui->radioButton_verticalreversed->isChecked())
        v.order = FillOrder::VerticalReversed;
    else
        v.order = FillOrder::None;

    const auto lengths = lengthControls();
    for (size_t i = 0; i < lengths.size(); ++i)
        v.lengths[i] = {lengths[i].edit->text(), lengths[i].unit->currentText()};
    v.columns = ui->lineEdit_pages_per_sheet_horizontal->text();
    v.rows = ui->lineEdit_pages_per_sheet_vertical->text();
    return v;
}

void Sheetwin::updatePreview()
{
    // One repaint of the frame for the whole rebuild, not one per tile.
    QWidget *frame = ui->frame_preview;
    frame->setUpdatesEnabled(false);
    qDeleteAll(previewEdit);
    previewEdit.clear();

    LayoutValues layout = layoutValues();
    if (m_booklet) {  // the sections' grid, whatever the grid edits hold
        layout.columns = m_bookletGrid == Folds::Octavo ? QStringLiteral("4") : QStringLiteral("2");
        layout.rows = m_bookletGrid != Folds::One ? QStringLiteral("2")
                                                                                                        : QStringLiteral("1");
        layout.order = FillOrder::Horizontal;
    }
    const QVector<PreviewTile> tiles = previewTiles(layout);
    previewEdit.reserve(tiles.size());
    for (const PreviewTile &tile : tiles) {
        QTextEdit *edit = new QTextEdit(ui->frame_preview);
        edit->setReadOnly(true);
        edit->setFocusPolicy(Qt::NoFocus);  // a picture, not a control
        edit->setStyleSheet(kTileStyle);
        edit->setGeometry(tile.rect);
        edit->setPlainText(QString::number(tile.number));
        previewEdit.append(edit);
        edit->show();
    }
    frame->setUpdatesEnabled(true);
}
