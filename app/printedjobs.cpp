// Jobs printed to the printer application (printer/): each waits in the user's jobs folder,
// in a folder of its own, as a PDF named by its title. They are listed as rows whenever the
// printer application says a new one came, and at start those the program had not shown yet
// (it ended before it could); the newest is shown in the sheets window, in front. A job's
// file stays until its row is removed.
#include "app/sheetwin.h"
#include "ui_sheetwin.h"

#ifndef Q_OS_WIN
#include "userplaces.h"
#endif

#include <QDir>
#include <QFile>
#include <QFileInfo>

QString printedJobsFolder()
{
#ifdef Q_OS_WIN
    return QString();  // the printer application is for Linux
#else
    return QString::fromStdString(userplaces::jobsFolder());
#endif
}

void Sheetwin::takePrintedJobs()
{
    const QString folder = printedJobsFolder();
    const QDir jobs(folder);
    if (folder.isEmpty() || !jobs.exists())
        return;
    QTableWidget *table = ui->tableWidget_Files;
    int newest = -1;
    // Folders named by their time: the oldest first. A folder whose name begins with a dot
    // is still being written.
    for (const QFileInfo &job : jobs.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        // A job once shown as a row is acknowledged: it comes back only until then (a program
        // that ended before it could show it).
        const QString acknowledged = QDir(job.filePath()).filePath(QStringLiteral("shown"));
        const QFileInfoList pdfs = QDir(job.filePath()).entryInfoList({QStringLiteral("*.pdf")}, QDir::Files);
        if (pdfs.isEmpty() || QFileInfo::exists(acknowledged))
            continue;
        const int rows = table->rowCount();
        addDroppedFile(QDir::fromNativeSeparators(pdfs.first().absoluteFilePath()));
        if (table->rowCount() > rows) {
            newest = table->rowCount() - 1;
            QFile mark(acknowledged);
            mark.open(QIODevice::WriteOnly);
        }
    }
    // What the printer application could not do for itself, said once.
    const QString note = QDir(jobs.filePath(QStringLiteral(".."))).filePath(QStringLiteral("queue-needed.txt"));
    QFile said(note);
    if (said.open(QIODevice::ReadOnly)) {
        const QString command = QString::fromUtf8(said.readAll()).trimmed();
        said.close();
        ui->textEdit->setPlainText(tr("The printer \"Tavrell PDF Plyjoin\" could not be added to the system's printers. "
                                      "An administrator adds it with:\n%1").arg(command));
        QFile::rename(note, note + QStringLiteral(".said"));
    }
    if (newest < 0 || g_bProcess)
        return;
    table->setCurrentCell(newest, 0);
    raise();
    activateWindow();
    On_Button_Preview();
}

void Sheetwin::forgetPrintedJob(const QString &path)
{
    const QString folder = QDir::cleanPath(printedJobsFolder());
    if (folder.isEmpty() || folder == QLatin1String("."))
        return;
    const QFileInfo file(path);
    const QString job = QDir::cleanPath(file.absolutePath());
    // Only a job's own folder, right inside the jobs folder, goes.
    if (QDir::cleanPath(QFileInfo(job).absolutePath()) != folder || !QFileInfo(job + QStringLiteral("/job.ini")).exists())
        return;
    QDir(job).removeRecursively();
}
