#include "app/printedjobs.h"
#include "print/papernames.h"

#ifndef Q_OS_WIN
#include "userplaces.h"
#endif

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>

namespace {

// The desktop's trash, made where it is missing: Qt 6.4 "moves a file to the trash" into
// ./files of the working folder where it cannot make the trash's folder. A file that did not
// land in a trash comes back.
bool moveToTrash(const QString &file)
{
#ifndef Q_OS_WIN
    QDir().mkpath(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
#endif
    QString trashed;
    if (!QFile::moveToTrash(file, &trashed))
        return false;
    const QString where = QDir::cleanPath(QFileInfo(trashed).absoluteFilePath());
    if (QDir::isAbsolutePath(trashed) && where.contains(QLatin1String("Trash")))
        return true;
    QFile::rename(where, file);
    return false;
}

} // namespace

QString PrintedJob::describe() const
{
    QStringList words;
    words << (copies == 1 ? QObject::tr("1 copy") : QObject::tr("%1 copies").arg(copies));
    if (sides == QLatin1String("two-sided-long-edge"))
        words << QObject::tr("two-sided (long edge)");
    else if (sides == QLatin1String("two-sided-short-edge"))
        words << QObject::tr("two-sided (short edge)");
    else if (sides == QLatin1String("one-sided"))
        words << QObject::tr("one-sided");
    if (!media.isEmpty())
        words << paperName(media);
    return words.join(QStringLiteral(", "));
}

PrintedJobs::PrintedJobs(QString folder, QObject *parent) : QObject(parent), m_folder(std::move(folder)) {}

QList<PrintedJob> PrintedJobs::waiting() const
{
    QList<PrintedJob> jobs;
    if (m_folder.isEmpty())
        return jobs;
    // Folders named by their time: the oldest first. A folder whose name begins with a dot
    // is still being written.
    const QFileInfoList folders = QDir(m_folder).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo &folder : folders) {
        const QFileInfoList pdfs = QDir(folder.filePath()).entryInfoList({QStringLiteral("*.pdf")}, QDir::Files);
        if (pdfs.isEmpty())
            continue;
        if (const auto job = jobOf(pdfs.first().absoluteFilePath()))
            jobs.append(*job);
    }
    return jobs;
}

std::optional<PrintedJob> PrintedJobs::jobOf(const QString &path) const
{
    if (m_folder.isEmpty())
        return std::nullopt;
    const QFileInfo file(path);
    const QString folder = QDir::cleanPath(file.absolutePath());
    // Only a PDF right inside a job's own folder, right inside the jobs folder.
    const QString attributes = folder + QStringLiteral("/job.ini");
    if (QDir::cleanPath(QFileInfo(folder).absolutePath()) != QDir::cleanPath(m_folder) || !QFileInfo::exists(attributes)
        || file.suffix() != QLatin1String("pdf"))
        return std::nullopt;
    PrintedJob job;
    job.pdf = QDir::cleanPath(file.absoluteFilePath());
    QFile ini(attributes);
    if (ini.open(QIODevice::ReadOnly)) {
        // "key=value" lines.
        for (const QByteArray &line : ini.readAll().split('\n')) {
            const int equals = line.indexOf('=');
            const QByteArray key = line.left(equals);
            const QString value = QString::fromUtf8(line.mid(equals + 1));
            if (key == "copies")
                job.copies = qMax(1, value.toInt());
            else if (key == "sides")
                job.sides = value;
            else if (key == "media")
                job.media = value;
        }
    }
    return job;
}

bool PrintedJobs::forget(const QString &path) const
{
    const auto job = jobOf(path);
    if (!job || (QFileInfo::exists(job->pdf) && !moveToTrash(job->pdf)))
        return false;
    QDir(QFileInfo(job->pdf).absolutePath()).removeRecursively();
    return true;
}

QString printedJobsFolder()
{
#ifdef Q_OS_WIN
    return QString();  // the printer application is for Linux
#else
    return QString::fromStdString(userplaces::jobsFolder());
#endif
}
