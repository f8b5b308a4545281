// The main window.
//
// How the pieces meet: the form (sheetwin.ui) holds every widget. The file-list slots hand
// tableWidget_Files to a FileList (filelist.h), which adds rows by the rules of each way in
// and lets printed jobs (printedjobs.h) go with their rows. Every change of a
// layout control reaches updatePreview (layoutoptions.cpp), which reads the controls into a
// LayoutValues and draws the tiles that previewTiles() computes. The settings file is read
// and written through settings/settingsfile.h; the window's own load and save of its layout
// controls live in sheetwinsettings.cpp. A run is a RunController
// (run/runcontroller.h): for each row it asks planRow (app/runslots.cpp) for the tool named by
// run/toolcontract.h and its arguments, built with buildOptionsString() from the settings
// file and the same LayoutValues; its signals fill the progress bar, the output pane and the
// Result column. The sheets window (sheets/) shows the real sheets of the current row:
// refreshSheets gives it the row's file and the options string of every change.
#pragma once

#include "app/filelist.h"
#include "app/printedjobs.h"
#include "run/optionsstring.h"
#include "run/toolcontract.h"

#include <QList>
#include "settings/settingsfile.h"

#include <array>
#include <QMainWindow>
#include <QModelIndex>
#include <QPointer>
#include <QProcess>

#include <optional>

class QAction;
class QComboBox;
class QLineEdit;
class QTextEdit;
class RunController;
class Settings;
class SheetsWindow;
class Ui_Sheetwin;
struct ToolJob;

// True while a run is in progress; set and cleared by the run controller only.
extern bool g_bProcess;

// What of the sheet options is on, in words for a person: "booklet, crop marks"; empty when
// nothing is. The Preview button says it.
QStringList sheetOptionsSummary(const SheetChoices &chosen);

class Sheetwin : public QMainWindow
{
    Q_OBJECT

public:
    explicit Sheetwin(QWidget *parent = nullptr);
    ~Sheetwin() override;

    Ui_Sheetwin *ui;
    QString strParameter;
    QProcess *qPro = nullptr;
    QAction *fooAction = nullptr;
    QAction *barAction = nullptr;
    QAction *deloneAction = nullptr;
    QAction *delallAction = nullptr;
    QAction *sheetsAction = nullptr;     // "Preview Sheets"
    QAction *openResultAction = nullptr;  // "Open Result": what the row's run made
    int iNowConvertIndex = 0;
    int isexecuteok = 0;
    QList<QTextEdit *> previewEdit;

    void InitAllChoice();
    void LoadParaInfo();
    void SaveParaInfo();
    QString GetSetParameter();
    void KillProcess();
    void removeFolder(const QString &folder);
    void DymicUpdateStartButtonIconText(bool bProcess);
    void DymicUpdateOutputLineText(bool bProcess);

    // The layout controls as text, read the way the preview and the options string need.
    LayoutValues layoutValues() const;
    // Lists the files named on the command line (or by the desktop's "Open with") by the
    // rules of a drop; names that are no existing PDF file are skipped.
    void addFilesFromCommandLine(const QStringList &paths);
    // Lists the jobs printed to the printer application that are not listed yet (every job
    // waiting, at every start); with `showNewest`, the newest of them in the sheets window.
    void takePrintedJobs(bool showNewest);
    // A word about the program's surroundings (the printer) in the tool-output pane.
    void sayInPane(const QString &text);

public slots:
    void On_Button_About();
    void On_Button_AddFile();
    void On_Button_RemoveFile();
    void On_Button_ClearFile();
    void On_Button_Setting();
    void On_Button_OutputFolder();
    void On_Button_Start();
    void On_Button_Browse();
    int ExeCmd();
    int ExeEnd();
    void ClearnInfo();
    void On_TableWidget_DoubleClicked();
    void resizeEvent(QResizeEvent *event) override;
    void openFile();
    void SetComboxText(QComboBox *&box, QString &text);
    void comboBox_pagers_per_sheet_currentIndexChanged(QString strcmp);
    void updatePreview();
    void echo();
    // Opens (or raises) the sheets window on the current row, the first when none is.
    void On_Button_Preview();

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // The parts of the window, set up in turn.
    void connectButtons();
    void setUpTableMenu();
    void setUpLayoutControls();
    void setUpTableInput();
    void nameControls();
    void setUpRun();
    bool planRow(int row, ToolJob &job);
    // The window as a run starts or ends: what may be used, the Start button, the bar.
    void showRunning(bool running);
    void setRunControlsEnabled(bool enabled);
    void applyColumnRule();
    // The six length controls (left, right, top, bottom margins, the two gutters), each an
    // edit and a unit box with their keys in the settings file: the one list that reading,
    // saving, loading and following them go through.
    struct LengthControl
    {
        LengthKeys keys;
        QLineEdit *edit;
        QComboBox *unit;
    };
    std::array<LengthControl, 6> lengthControls() const;
    void warn(const QString &text);
    // Opens a PDF with the desktop's program for PDFs, or says that there is none.
    void openDocument(const QString &path);

    // The sheets window follows the current row, the layout and the page options.
    void refreshSheets();
    // A sheet option changed in the sheets window: a booklet shows in this window too.
    void followSheetOptions(const SheetChoices &options);
    void applyBookletLook();
    void showSheetOptionsOn(const SheetChoices &options);
    // The sheet options a row is run and shown with: the stored choices, and the two sides its
    // printed job asked for where they say none.
    SheetChoices sheetChoicesFor(int row) const;
    QString optionsFor(int row);
    // Open Result: the output a row's run wrote (kept with its Result cell), opened when
    // the row reads "ok" and the file is there.
    static constexpr int kOutputRole = Qt::UserRole + 1;
    static constexpr int kOptionsRole = Qt::UserRole + 2;
    QString resultOf(int row) const;
    void updateOpenResult();
    void openResult();

    RunController *m_run = nullptr;
    QPointer<SheetsWindow> m_sheets;
    QString m_rowFailure;   // why the row that just ended failed
    QStringList m_rowWarnings;  // what the tool warned of while it made the row
    QString m_rowOutput;    // what the row being run writes
    bool m_booklet = false; // the sheet options make a booklet: its own grid (m_bookletGrid)
    Folds m_bookletGrid = Folds::One;
    PrintedJobs *m_printedJobs = nullptr;
    FileList *m_files = nullptr;
    Settings *m_settings = nullptr;
};
