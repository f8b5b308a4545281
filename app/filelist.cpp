#include "app/filelist.h"

#include "app/sizetext.h"

#include <QAbstractItemModel>
#include <QDir>
#include <QFileInfo>
#include <QTableWidget>

#include <algorithm>

FileList::FileList(QTableWidget *table, PrintedJobs *jobs, QObject *parent)
    : QObject(parent), m_table(table), m_jobs(jobs)
{
    // A printed job's row removed: the job is done with.
    connect(table->model(), &QAbstractItemModel::rowsAboutToBeRemoved, this,
            [this](const QModelIndex &, int first, int last) {
                for (int row = first; row <= last; ++row) {
                    if (const QTableWidgetItem *item = m_table->item(row, 0))
                        m_jobs->forget(item->text());
                }
            });
}

void FileList::appendRow(const QString &path, const QString &sizeText)
{
    const int row = m_table->rowCount();
    m_table->insertRow(row);
    auto *name = new QTableWidgetItem(path);
    name->setToolTip(path);  // the cell shows the path elided in the middle
    m_table->setItem(row, 0, name);
    if (!sizeText.isEmpty())
        m_table->setItem(row, 1, new QTableWidgetItem(sizeText));
}

void FileList::addChosen(const QStringList &paths)
{
    for (const QString &path : paths) {
        const QString extension = path.mid(path.lastIndexOf(QLatin1Char('.')) + 1).toLower();
        if (extension != QLatin1String("pdf"))
            continue;
        const qint64 size = QFileInfo(path).size();
        appendRow(path, size > 0 ? dialogSizeText(size) : QString());
    }
}

bool FileList::addDropped(const QString &path)
{
    const QFileInfo info(path);
    if (info.isDir())
        return false;
    const QString suffix = info.suffix();
    if (suffix != QLatin1String("pdf") && suffix != QLatin1String("PDF"))
        return false;
    for (int row = 0; row < m_table->rowCount(); ++row) {
        if (pathOf(row) == path)
            return false;
    }
    const qint64 size = info.size();
    appendRow(path, size > 0 ? dropSizeText(size) : QString());
    return true;
}

void FileList::addFromCommandLine(const QStringList &paths)
{
    for (const QString &path : paths) {
        const QFileInfo info(path);
        if (info.isFile())
            addDropped(QDir::fromNativeSeparators(info.absoluteFilePath()));
    }
}

int FileList::addPrintedJobs()
{
    int newest = -1;
    for (const PrintedJob &job : m_jobs->waiting()) {
        if (!addDropped(job.pdf))
            continue;  // listed already
        newest = m_table->rowCount() - 1;
        // What the job asked for goes with its row.
        const QString asked = tr("Printed to \"Tavrell PDF Plyjoin\": %1").arg(job.describe());
        QTableWidgetItem *name = m_table->item(newest, 0);
        name->setToolTip(job.pdf + QLatin1Char('\n') + asked);
        name->setData(Qt::AccessibleDescriptionRole, asked);
    }
    return newest;
}

void FileList::removeCurrentAndSelected()
{
    const int current = m_table->currentRow();
    if (current >= 0)
        m_table->removeRow(current);

    QList<int> rows;
    for (const QModelIndex &index : m_table->selectionModel()->selectedIndexes())
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    for (auto it = rows.crbegin(); it != rows.crend(); ++it)
        m_table->removeRow(*it);
}

void FileList::removeEveryRow()
{
    for (int row = m_table->rowCount() - 1; row >= 0; --row)
        m_table->removeRow(row);
}

QString FileList::pathOf(int row) const
{
    const QTableWidgetItem *item = row >= 0 && row < m_table->rowCount() ? m_table->item(row, 0) : nullptr;
    return item ? item->text() : QString();
}

std::optional<PrintedJob> FileList::printedJobOf(int row) const
{
    const QString path = pathOf(row);
    return path.isEmpty() ? std::nullopt : m_jobs->jobOf(path);
}
