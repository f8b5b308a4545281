// The sheets window: the real sheets of one listed file, as Start would make them, one side
// at a time, kept up to date while the layout changes.
//
// How the pieces meet: the main window says which file and which options string (setSource)
// and where the tool is; a ProofMaker makes and renders the side asked for in the
// background; the SheetView shows it, dimmed while a newer one is being made, or the tool's
// reason when there is none. The bar below moves between sides and counts sheets (a sheet
// printed on both sides is a front and a back). The panel beside it holds the sheet options
// (booklet, crop marks, frame), one row of optionControls() each, kept in the settings file
// and used by every run; a change is saved at once through the settings the main window lends
// (Settings, which announces it), and the main window gives the new options string back.
//
// The window belongs to the main window (a window of its own, owned by it), so that the main
// window's modality leaves it its clicks and keys.
#pragma once

#include "print/printjob.h"
#include "run/optionsstring.h"
#include "settings/settings.h"
#include "sheetchoices.h"
#include "sheetswindow/proofmaker.h"

#include <QHash>
#include <QImage>
#include <QPointer>

#include <memory>
#include <QWidget>

class PrintJob;
class QPrinter;
class Ui_SheetsWindow;

class SheetsWindow : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(int sideCount READ sideCount NOTIFY sideShown)
    Q_PROPERTY(int currentSide READ currentSide WRITE setCurrentSide NOTIFY sideShown)
    Q_PROPERTY(QImage sideImage READ sideImage NOTIFY sideShown)
    Q_PROPERTY(QString message READ message)

public:
    // `settings`: the main window's; none: the window reads and writes the file through its own.
    explicit SheetsWindow(QWidget *parent = nullptr, Settings *settings = nullptr);
    ~SheetsWindow() override;

    Ui_SheetsWindow *ui;

    void setTool(const QString &path);
    // The file the current row's run made, and the options string it was made with: printed
    // as it is while the window shows the same options.
    void setMade(const QString &file, const QString &options);
    // The file and the options string (as for a run); an empty file shows why there is none.
    void setSource(const QString &input, const QString &options);
    // While a run is in progress, no tool of the window runs.
    void setHeld(bool held);

    // Output pages of the whole document (the sides of the sheets); -1 while unknown.
    int sideCount() const { return m_count; }
    int currentSide() const { return m_side; }
    void setCurrentSide(int side);
    // The side on screen, whole, as rendered.
    QImage sideImage() const { return m_image; }
    // Why no side is shown; empty while one is.
    QString message() const { return m_message; }
    // The sheet options the person chose (as the settings file keeps them).
    SheetChoices sheetOptions() const;
    // The sheet options as they take effect and the panel shows them: what the choices
    // imply, and the two sides a printed job asked for, beside the choices.
    SheetChoices shownOptions() const;
    // The file shown is a job printed to "Tavrell PDF Plyjoin" that asked for two sides on
    // `edge`, and for `copies`: the sheets' Both sides and the print dialog's copies start
    // there (Duplex::None, 1: it is no such job).
    void setPrintedJob(Duplex edge, int copies = 1);

    ProofMaker &proofs() { return m_proofs; }

signals:
    // A newly rendered side is on screen.
    void sideShown(int side, int count);

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void request();
    void shown(const ProofMaker::Request &request, int count, const QImage &image, const QSizeF &points,
               const QList<int> &pages, const QString &shows);
    void refused(const ProofMaker::Request &request, int count, const QString &reason);
    void showMessage(const QString &message);
    // The status line says something of the file shown, at this moment: it is cleared when
    // another file is shown. A proof's warnings are shown there while nothing is printed.
    void setStatus(const QString &text, bool proofWarnings = false);
    void updateBar();
    void updateView();
    void saveGeometryToSettings();
    // The sheet options' controls, each with its key in the settings file.
    struct OptionControl
    {
        const char *key;
        QWidget *control;
    };
    QList<OptionControl> optionControls() const;
    QWidget *optionControl(const char *key) const;
    // Shows the options in effect in their controls (the choices and what they imply), without
    // taking what is shown for a choice.
    void showChoices();
    SheetChoices m_chosen;             // what the person chose
    Settings *m_settings;              // the main window's, or its own
    Duplex m_jobEdge = Duplex::None;   // the two sides a printed job asked for
    int m_jobCopies = 1;
    bool m_showing = false;
    // The panel of sheet options: filled from the settings file, each change saved.
    void setUpOptions();
    void updateOptionsEnabled();
    // Writes the test sheet that measures the back shift, for these settings, and opens it.
    void writeCalibrationSheet();
    // Print: the platform's print dialog, then a PrintJob in the background; again: Stop.
    void print();
    // The printer preset with the sheet's size and the sides it was made for.
    void preparePrinter(Sides made);
    // The sides sent, or printing two-sided by hand, asked where the printer or the person's
    // choice differs from what the sheets were made for; false where the person cancels.
    bool chooseSides(PrintJob::Request &r, Sides made, bool printsBothSides);
    void startPrintJob(const PrintJob::Request &r);
    void printEnded(bool ok, const QString &message);
    // Whether the printer lays its output face up: asked once per printer, then kept.
    bool faceUp(const QString &printer);

    ProofMaker m_proofs;
    QString m_input, m_options;
    int m_side = 0;
    int m_count = -1;
    QImage m_image;
    QSizeF m_points;
    QList<int> m_pages;  // of the input, on the side shown
    QString m_shows;     // what the side is, where it is no sheet of pages (a page cut out, a tile)
    QString m_message;
    ProofMaker::Request m_latest;
    QObject *m_calibration = nullptr;  // the tool writing the test sheet
    QString m_made, m_madeOptions;
    bool m_statusIsWarning = false;
    std::unique_ptr<QPrinter> m_printer;
    QPointer<PrintJob> m_printJob;
};

// The bar's words for the side shown: the sheet ("Sheet 3 of 45", a page cut apart "Page 3
// of 16", a poster's tile as the tool names it, "Tile B3 of 12"), beside it the side ("back",
// "cut from sheet 2, back", "sheet 4 of 13"), and both as one for screen readers.
struct BarWords
{
    QString sheet, side, whole;
};
BarWords barWords(const SheetChoices &options, int side, int sides, bool twoSided, const QString &shows);

// What a screen reader says of a side: "Sheet 3 of 45, front: pages 9 to 12". `side` and
// `sides` count sides from 0 and in all (-1 unknown); `pages` are the input's, in any order.
QString describeSide(int side, int sides, bool twoSided, const QList<int> &pages);

// Where the side's picture has ink, in points from the sheet's top left (empty: none).
QRectF inkOnSheet(const QImage &image, const QSizeF &points);
