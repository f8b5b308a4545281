// The jobs printed to the printer "Tavrell PDF Plyjoin" (printer/): each waits in the user's
// jobs folder, in a folder of its own holding the PDF named by its title and what the job
// asked for (job.ini). Every job kept there is listed at every start of the program until its
// row is removed; removing the row moves the PDF to the desktop's trash (a slip of the hand
// can be undone there) and the job's folder goes.
#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include <optional>

struct PrintedJob
{
    QString pdf;      // the PDF's path
    int copies = 1;
    QString sides;    // one-sided, two-sided-long-edge, two-sided-short-edge; empty: not said
    QString media;    // the paper asked for, by its PWG name; empty: not said
    // What the job asked for, in words: "2 copies, two-sided (long edge), A4".
    QString describe() const;
};

class PrintedJobs : public QObject
{
    Q_OBJECT

public:
    // `folder`: the jobs folder (empty: there is none, as on Windows).
    explicit PrintedJobs(QString folder, QObject *parent = nullptr);

    QString folder() const { return m_folder; }
    // The jobs waiting, oldest first.
    QList<PrintedJob> waiting() const;
    // The job whose PDF `path` is, where it is one.
    std::optional<PrintedJob> jobOf(const QString &path) const;
    // Done with a job: its PDF to the desktop's trash, then its folder goes. False (and nothing
    // removed) where `path` is no job's PDF or the PDF could not be moved.
    bool forget(const QString &path) const;

private:
    QString m_folder;
};

// The user's jobs folder (empty on Windows, where there is no printer application).
QString printedJobsFolder();
