// The sheets window: the real sheets of one listed file, as Start would make them, one at a
// time, kept up to date while the layout changes.
//
// How the pieces meet: the main window says which file and which options string (setSource)
// and where the tool is; a SheetPreview makes and renders the sheet asked for in the
// background; the SheetView shows it, dimmed while a newer one is being made, or the tool's
// reason when there is none. The bar below moves between sheets and says the sheet's size.
// The panel beside it holds the sheet options (booklet, crop marks, frame), kept in the
// settings file and used by every run; a change is saved at once and announced
// (sheetOptionsChanged), and the main window gives the new options string back.
#pragma once

#include "sheets/sheetpreview.h"

#include <QImage>
#include <QWidget>

class Ui_SheetsWindow;

class SheetsWindow : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(int sheetCount READ sheetCount NOTIFY sheetShown)
    Q_PROPERTY(int currentSheet READ currentSheet WRITE setCurrentSheet NOTIFY sheetShown)
    Q_PROPERTY(QImage sheetImage READ sheetImage NOTIFY sheetShown)
    Q_PROPERTY(QString message READ message)

public:
    explicit SheetsWindow(QWidget *parent = nullptr);
    ~SheetsWindow() override;

    Ui_SheetsWindow *ui;

    void setTool(const QString &path);
    // The file and the options string (as for a run); an empty file shows why there is none.
    void setSource(const QString &input, const QString &options);
    // While a run is in progress, no tool of the window starts.
    void setHeld(bool held);

    // Output pages of the whole document (a booklet's sides one by one); -1 while unknown.
    int sheetCount() const { return m_count; }
    int currentSheet() const { return m_sheet; }
    void setCurrentSheet(int sheet);
    // The sheet on screen, whole, as rendered.
    QImage sheetImage() const { return m_image; }
    // Why no sheet is shown; empty while one is.
    QString message() const { return m_message; }

    SheetPreview &preview() { return m_preview; }

signals:
    // A newly rendered sheet is on screen.
    void sheetShown(int sheet, int count);
    // A sheet option (booklet, marks) was changed and saved: the options string changes.
    void sheetOptionsChanged();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void request();
    void shown(const SheetPreview::Request &request, int count, const QImage &image, const QSizeF &points);
    void refused(const SheetPreview::Request &request, int count, const QString &reason);
    void showMessage(const QString &message);
    void updateBar();
    void updateView();
    void saveGeometryToSettings();
    // The panel of sheet options: filled from the settings file, each change saved.
    void setUpOptions();
    void updateOptionsEnabled();

    SheetPreview m_preview;
    QString m_input, m_options;
    int m_sheet = 0;
    int m_count = -1;
    QImage m_image;
    QSizeF m_points;
    QString m_message;
    SheetPreview::Request m_latest;
};
