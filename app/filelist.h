// The input files' table: rows added by the rules of each way in (the file dialog, a drop,
// the command line, a printed job), removed, and read. A printed job's row removed is the
// job done with. The table knows nothing of runs: the window refuses edits while one runs.
#pragma once

#include "app/printedjobs.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <optional>

class QTableWidget;

class FileList : public QObject
{
    Q_OBJECT

public:
    FileList(QTableWidget *table, PrintedJobs *jobs, QObject *parent = nullptr);

    // Files chosen in the file dialog: those named ".pdf" in any case, with the dialog's size.
    void addChosen(const QStringList &paths);
    // A dropped file: a PDF ("pdf" or "PDF"), not a folder, not listed yet. False where it is
    // not added.
    bool addDropped(const QString &path);
    // Names from the command line (or the desktop's "Open with"), by the rules of a drop;
    // names that are no existing file are skipped.
    void addFromCommandLine(const QStringList &paths);
    // The printed jobs waiting that are not listed yet, each with what it asked for. The
    // newest row added, or -1.
    int addPrintedJobs();
    // The current row, then every selected row.
    void removeCurrentAndSelected();
    void removeEveryRow();

    // The file a row lists; empty where there is none.
    QString pathOf(int row) const;
    // The printed job a row lists, where it is one.
    std::optional<PrintedJob> printedJobOf(int row) const;

private:
    void appendRow(const QString &path, const QString &sizeText);

    QTableWidget *m_table;
    PrintedJobs *m_jobs;
};
