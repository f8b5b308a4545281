// The window's side of a run. The RunController (run/runcontroller.h) runs the tool row by
// row; these slots start and stop it, tell it what each row runs, and show what it reports.
// The run flag, the row and its success mirror the controller's state.
#include "app/sheetwin.h"
#include "run/runcontroller.h"
#include "run/windowwords.h"
#include "settings/settings.h"
#include "settings/settingsfile.h"
#include "settings/sheetoptions.h"
#include "sheetswindow/sheetswindow.h"
#include "ui_sheetwin.h"
#include "widgets/desktopopen.h"
#include "widgets/toolbutton.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QUrl>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>

bool g_bProcess = false;

void Sheetwin::DymicUpdateStartButtonIconText(bool bProcess)
{
    if (bProcess)
        setToolButton(ui->toolButton_Start, tr("Stop"), QStringLiteral(":/MyImage/Image/stop.png"));
    else
        setToolButton(ui->toolButton_Start, tr("Start"), QStringLiteral(":/MyImage/Image/start.png"));
}

void Sheetwin::DymicUpdateOutputLineText(bool bProcess)
{
    ui->lineEdit_OutputPath->setReadOnly(bProcess);
}

void Sheetwin::warn(const QString &text)
{
    QMessageBox::information(this, QStringLiteral("Warning"), text, QMessageBox::Yes);
}

void Sheetwin::openDocument(const QString &path)
{
    openPdfWithDesktop(path, this, [this, path](bool opened) {
        if (!opened)
            warn(QStringLiteral("No program to open PDF files was found. The file is:\n") + QDir::toNativeSeparators(path));
    });
}

QString Sheetwin::GetSetParameter()
{
    return buildOptionsString(PageOptions::fromSettings(SettingsFile()), layoutValues())
           + sheetOptionsWords(m_settings->sheetChoices());
}

SheetChoices Sheetwin::sheetChoicesFor(int row) const
{
    SheetChoices choices = m_settings->sheetChoices();
    const std::optional<PrintedJob> job = m_files->printedJobOf(row);
    if (job && choices.bothSides == Duplex::None && !choices.booklet) {
        if (job->sides == QLatin1String("two-sided-long-edge"))
            choices.bothSides = Duplex::Long;
        else if (job->sides == QLatin1String("two-sided-short-edge"))
            choices.bothSides = Duplex::Short;
    }
    return choices;
}

QString Sheetwin::optionsFor(int row)
{
    return buildOptionsString(PageOptions::fromSettings(SettingsFile()), layoutValues())
           + sheetOptionsWords(sheetChoicesFor(row));
}

void Sheetwin::setUpRun()
{
    m_run = new RunController([this](int row, ToolJob &job) { return planRow(row, job); }, this);
    connect(m_run, &RunController::runningChanged, this, &Sheetwin::showRunning);
    connect(m_run, &RunController::rowStarted, this, [this](int row) {
        iNowConvertIndex = row;
        isexecuteok = 0;
        qPro = m_run->process();
        ui->progressBar->setMaximum(100);
        ui->progressBar->setValue(0);
        ui->tableWidget_Files->setCurrentCell(row, 0);
        // The run shows as running once its first row has started, not while the tool is
        // still being looked for.
        DymicUpdateStartButtonIconText(true);
        DymicUpdateOutputLineText(true);
    });
    connect(m_run, &RunController::toolOutput, this, &Sheetwin::echo);
    connect(m_run, &RunController::progressChanged, ui->progressBar, &QProgressBar::setValue);
    connect(m_run, &RunController::rowWarned, this, [this](int, const QStringList &warnings) {
        m_rowWarnings.clear();
        for (const QString &w : warnings)
            m_rowWarnings << inWindowWords(w);
    });
    connect(m_run, &RunController::rowFinished, this, [this](int row, bool ok, const QString &reason) {
        iNowConvertIndex = row;
        isexecuteok = ok ? 1 : 0;
        m_rowFailure = inWindowWords(reason);
        ExeEnd();
    });
}

bool Sheetwin::planRow(int row, ToolJob &job)
{
    QTableWidget *table = ui->tableWidget_Files;
    if (row < 0 || row >= table->rowCount())
        return false;
    const QString tool = findTool(QDir::currentPath(), QCoreApplication::applicationDirPath());
    if (tool.isEmpty()) {
        warn(QStringLiteral("The tiling tool was not found. It was looked for at:\n")
             + toolCandidates(QDir::currentPath(), QCoreApplication::applicationDirPath()).join(QLatin1Char('\n')));
        return false;
    }
    strParameter = optionsFor(row);
    const QTableWidgetItem *nameItem = table->item(row, 0);
    const QString input = QDir::toNativeSeparators(nameItem ? nameItem->text() : QString());
    const QString output = freeOutputPath(ui->lineEdit_OutputPath->text(), input);
    // The process gets the words of the command line as a list, so names with quotes,
    // blanks or a leading dash reach the tool intact.
    job.program = tool;
    job.arguments = toolArguments(strParameter, input, output);
    m_rowOutput = output;
    return true;
}

// The one place the run flag is written.
void Sheetwin::showRunning(bool running)
{
    g_bProcess = running;
    setRunControlsEnabled(!running);
    ui->toolButton_Start->setEnabled(true);
    if (!running) {
        iNowConvertIndex = 0;
        qPro = nullptr;
        ui->progressBar->setValue(0);
    }
    if (!running) {
        DymicUpdateStartButtonIconText(false);
        DymicUpdateOutputLineText(false);
    }
}

void Sheetwin::setRunControlsEnabled(bool enabled)
{
    for (QWidget *w : {static_cast<QWidget *>(ui->toolButton_AddFile), static_cast<QWidget *>(ui->toolButton_Delete),
                       static_cast<QWidget *>(ui->toolButton_Clear), static_cast<QWidget *>(ui->toolButton_Setting),
                       static_cast<QWidget *>(ui->toolButton_About), static_cast<QWidget *>(ui->toolButton_Change),
                       static_cast<QWidget *>(ui->PusButton_Browse), static_cast<QWidget *>(ui->toolButton_Preview)})
        w->setEnabled(enabled);
    for (QAction *action : {fooAction, barAction, deloneAction, delallAction, sheetsAction})
        action->setEnabled(enabled);
    // A run is not slowed by the sheets window: its tool waits.
    if (m_sheets)
        m_sheets->setHeld(!enabled);
    if (enabled)
        updateOpenResult();
}

void Sheetwin::updateOpenResult()
{
    openResultAction->setEnabled(!g_bProcess && QFileInfo::exists(resultOf(ui->tableWidget_Files->currentRow())));
}

QString Sheetwin::resultOf(int row) const
{
    const QTableWidgetItem *result = row >= 0 ? ui->tableWidget_Files->item(row, 2) : nullptr;
    if (!result || result->text() != QLatin1String("ok"))
        return QString();
    return result->data(kOutputRole).toString();
}

void Sheetwin::openResult()
{
    const QString output = resultOf(ui->tableWidget_Files->currentRow());
    if (!output.isEmpty() && QFileInfo::exists(output))
        openDocument(output);
}

void Sheetwin::refreshSheets()
{
    if (!m_sheets)
        return;
    QTableWidget *table = ui->tableWidget_Files;
    const int row = table->currentRow() >= 0 ? table->currentRow() : 0;
    const QTableWidgetItem *item = row < table->rowCount() ? table->item(row, 0) : nullptr;
    m_sheets->setTool(findTool(QDir::currentPath(), QCoreApplication::applicationDirPath()));
    const QTableWidgetItem *result = row < table->rowCount() ? table->item(row, 2) : nullptr;
    m_sheets->setMade(resultOf(row), result ? result->data(kOptionsRole).toString() : QString());
    // A printed job's sheets start with the two sides and the copies it asked for.
    const std::optional<PrintedJob> job = m_files->printedJobOf(row);
    const SheetChoices stored = m_settings->sheetChoices(), forRow = sheetChoicesFor(row);
    m_sheets->setPrintedJob(forRow.bothSides != stored.bothSides ? forRow.bothSides : Duplex::None,
                            job ? job->copies : 1);
    m_sheets->setSource(item ? QDir::toNativeSeparators(item->text()) : QString(), optionsFor(row));
}

void Sheetwin::On_Button_Start()
{
    if (m_run->isRunning()) {
        // Stop needs no check: a run must stop even if its folder has gone.
        KillProcess();
        return;
    }
    if (ui->tableWidget_Files->rowCount() == 0)
        return;
    if (!QFileInfo::exists(ui->lineEdit_OutputPath->text())) {
        warn(QStringLiteral("Please select a correct output folder!"));
        return;
    }
    iNowConvertIndex = 0;
    if (!ExeCmd())
        KillProcess();
}

int Sheetwin::ExeCmd()
{
    return m_run->start(iNowConvertIndex) ? 1 : 0;
}

void Sheetwin::echo()
{
    ui->textEdit->setPlainText(m_run->lastOutput());
    if (m_run->rowSucceeded())
        isexecuteok = 1;
}

int Sheetwin::ExeEnd()
{
    QTableWidget *table = ui->tableWidget_Files;
    if (iNowConvertIndex >= 0 && iNowConvertIndex < table->rowCount()) {
        auto *result = new QTableWidgetItem(isexecuteok == 1 ? QStringLiteral("ok") : QStringLiteral("fail"));
        if (isexecuteok == 1) {
            result->setData(kOutputRole, m_rowOutput);  // what Open Result opens
            result->setData(kOptionsRole, strParameter);  // and what it was made with, for Print
        }
        if (isexecuteok != 1) {
            // The reason stays with its row; the pane shows the latest.
            result->setToolTip(m_rowFailure);
            ui->textEdit->setPlainText(m_rowFailure);
        } else if (!m_rowWarnings.isEmpty()) {
            // Made, but not whole: what was lost stays with the row, and the pane says it.
            const QString said = tr("Made with warnings:") + QLatin1Char('\n') + m_rowWarnings.join(QLatin1Char('\n'));
            result->setToolTip(said);
            ui->textEdit->setPlainText(ui->textEdit->toPlainText() + QLatin1Char('\n') + said);
        }
        m_rowWarnings.clear();
        table->setItem(iNowConvertIndex, 2, result);
    }
    isexecuteok = 0;
    ++iNowConvertIndex;
    qPro = nullptr;
    return 1;
}

void Sheetwin::KillProcess()
{
    if (m_run->isRunning()) {
        // The run ends when the tool has ended; until then Stop cannot be pressed again.
        ui->toolButton_Start->setEnabled(false);
        m_run->stop();
    }
}

void Sheetwin::removeFolder(const QString &folder)
{
    emptyFolder(folder);
}
