// The input file table and the output folder row.
#include "app/sheetwin.h"
#include "app/sizetext.h"
#include "settings/settingsfile.h"
#include "ui_sheetwin.h"

#include <QDesktopServices>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QMimeData>
#include <QProcess>
#include <QSet>
#include <QUrl>
#include <algorithm>

void Sheetwin::appendFileRow(const QString &path, const QString &sizeText)
{
    QTableWidget *table = ui->tableWidget_Files;
    const int row = table->rowCount();
    table->insertRow(row);
    auto *name = new QTableWidgetItem(path);
    name->setToolTip(path);  // the cell shows the path elided in the middle
    table->setItem(row, 0, name);
    if (!sizeText.isEmpty())
        table->setItem(row, 1, new QTableWidgetItem(sizeText));
}

void Sheetwin::On_Button_AddFile()
{
    if (g_bProcess)
        return;
    const QString startFolder = readSetting(SettingKey::InputFolder);
    const QStringList files = QFileDialog::getOpenFileNames(
        this, tr("Select one or more files to open"), startFolder,
        tr("PDF File (*.pdf);;All Supported Files (*.*)"));
    if (files.isEmpty())
        return;
    const QString &first = files.first();
    writeSetting(SettingKey::InputFolder, first.left(first.lastIndexOf(QLatin1Char('/'))));

    for (const QString &path : files) {
        const QString extension = path.mid(path.lastIndexOf(QLatin1Char('.')) + 1).toLower();
        if (extension != QLatin1String("pdf"))
            continue;
        const qint64 size = QFileInfo(path).size();
        appendFileRow(path, size > 0 ? dialogSizeText(size) : QString());
    }
}

void Sheetwin::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData()->hasFormat(QStringLiteral("text/uri-list")))
        event->acceptProposedAction();
}

void Sheetwin::dropEvent(QDropEvent *event)
{
    for (const QUrl &url : event->mimeData()->urls()) {
        const QString path = url.toLocalFile();
        if (path.isEmpty())
            break;  // not a local file: this and every later entry are ignored
        addDroppedFile(path);
    }
}

void Sheetwin::addDroppedFile(const QString &path)
{
    const QFileInfo info(path);
    if (info.isDir())
        return;
    const QString suffix = info.suffix();
    if (suffix != QLatin1String("pdf") && suffix != QLatin1String("PDF"))
        return;
    QTableWidget *table = ui->tableWidget_Files;
    for (int row = 0; row < table->rowCount(); ++row) {
        const QTableWidgetItem *item = table->item(row, 0);
        if (item && item->text() == path)
            return;
    }
    const qint64 size = info.size();
    appendFileRow(path, size > 0 ? dropSizeText(size) : QString());
}

void Sheetwin::addFilesFromCommandLine(const QStringList &paths)
{
    for (const QString &path : paths) {
        const QFileInfo info(path);
        if (info.isFile())
            addDroppedFile(QDir::fromNativeSeparators(info.absoluteFilePath()));
    }
}

void Sheetwin::On_Button_RemoveFile()
{
    if (g_bProcess)
        return;
    QTableWidget *table = ui->tableWidget_Files;
    const int current = table->currentRow();
    if (current >= 0)
        table->removeRow(current);

    QList<int> rows;
    for (const QModelIndex &index : table->selectionModel()->selectedIndexes())
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    for (auto it = rows.crbegin(); it != rows.crend(); ++it)
        table->removeRow(*it);
}

void Sheetwin::On_Button_ClearFile()
{
    if (g_bProcess)
        return;
    QTableWidget *table = ui->tableWidget_Files;
    for (int row = table->rowCount() - 1; row >= 0; --row)
        table->removeRow(row);
}

void Sheetwin::On_Button_OutputFolder()
{
    if (g_bProcess)
        return;
    const QString stored = readSetting(SettingKey::OutputFolder);
    ui->lineEdit_OutputPath->setText(stored);
    const QString start = QFileInfo::exists(stored) ? stored : QString();
    const QString chosen = QDir::toNativeSeparators(QFileDialog::getExistingDirectory(
        this, tr("Open directory"), start, QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks));
    if (chosen.isEmpty())
        return;
    writeSetting(SettingKey::OutputFolder, chosen);
    ui->lineEdit_OutputPath->clear();
    ui->lineEdit_OutputPath->setText(chosen);
}

void Sheetwin::On_Button_Browse()
{
    const QFileInfo folder(ui->lineEdit_OutputPath->text());
    if (!folder.exists()) {
        warn(QStringLiteral("Please select a correct output folder!"));
        return;
    }
    // A relative folder is taken from the program's working folder; the desktop needs it whole.
#ifdef Q_OS_WIN
    QProcess::startDetached(QStringLiteral("explorer"), {QDir::toNativeSeparators(folder.absoluteFilePath())});
#else
    QDesktopServices::openUrl(QUrl::fromLocalFile(folder.absoluteFilePath()));
#endif
}

// A double-click on a cell reaches both this slot and openFile, which opens the row's file;
// opening the cell's text here too would open that file twice.
void Sheetwin::On_TableWidget_DoubleClicked()
{
}

// The current row's file, from "View PDF File" or a double-click on any of the row's cells
// (a double-click on a cell without an item opens nothing).
void Sheetwin::openFile()
{
    QTableWidget *table = ui->tableWidget_Files;
    if (table->rowCount() == 0 || table->currentRow() < 0)
        return;
    if (sender() == table && !table->currentItem())
        return;
    const QTableWidgetItem *item = table->item(table->currentRow(), 0);
    if (!item || item->text().isEmpty())
        return;
    openDocument(item->text());
}

void Sheetwin::takePrintedJobs(bool showNewest)
{
    QTableWidget *table = ui->tableWidget_Files;
    int newest = -1;
    for (const PrintedJob &job : m_printedJobs->waiting()) {
        const int rows = table->rowCount();
        addDroppedFile(job.pdf);
        if (table->rowCount() == rows)
            continue;  // listed already
        newest = rows;
        // What the job asked for goes with its row.
        const QString asked = tr("Printed to \"Tavrell PDF Plyjoin\": %1").arg(job.describe());
        QTableWidgetItem *name = table->item(rows, 0);
        name->setToolTip(job.pdf + QLatin1Char('\n') + asked);
        name->setData(Qt::AccessibleDescriptionRole, asked);
    }
    if (newest < 0 || !showNewest || g_bProcess)
        return;
    table->setCurrentCell(newest, 0);
    raise();
    activateWindow();
    On_Button_Preview();
}

void Sheetwin::forgetPrintedJob(const QString &path)
{
    m_printedJobs->forget(path);
}

std::optional<PrintedJob> Sheetwin::printedJobOf(const QString &path) const
{
    return m_printedJobs->jobOf(path);
}
