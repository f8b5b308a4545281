// A run: the tiling tool started once per row of the file list, one row at a time, its
// output followed, and a stop that lets the tool clean up before it is killed.
//
// It needs Qt Core only. When a row is due it asks its planner what to run; it owns the
// tool's process, the row being run, the row's success and the reading of the tool's
// output, and tells whoever listens what happened through its signals.
#pragma once

#include "run/toolcontract.h"
#include "run/toolprocess.h"

#include <QObject>
#include <QProcess>
#include <QStringList>

#include <functional>

// What one row runs.
struct ToolJob
{
    QString program;
    QStringList arguments;
};

class RunController : public QObject
{
    Q_OBJECT

public:
    // Fills the job of a row that is due; false when there is no such row or it cannot run
    // (no tool): the run then ends without a result for that row.
    using Planner = std::function<bool(int row, ToolJob &job)>;

    explicit RunController(Planner planner, QObject *parent = nullptr);
    // Stops a running tool as stop() does, but waits for it here.
    ~RunController() override;

    bool isRunning() const { return m_running; }
    bool isStopping() const { return m_stopping; }
    int row() const { return m_row; }
    // True once the tool reported success for the current row.
    bool rowSucceeded() const { return m_reader.succeeded(); }
    // The tool's process for the current row; null between rows.
    QProcess *process() const { return m_process; }
    // The latest chunk of the tool's standard output.
    const QString &lastOutput() const { return m_lastOutput; }

    // Time a stopped tool has to end by itself before it is killed.
    void setStopGrace(int milliseconds) { m_grace = milliseconds; }

    // Starts a run at `firstRow`. False (and no run) when that row cannot run.
    bool start(int firstRow = 0);
    // Asks the tool to end (it removes what it was writing), kills it if it has not ended
    // after the grace, and ends the run: its row fails, no later row starts. Returns at once.
    void stop();
    // The same, waiting for the tool: for the end of the program.
    void stopAndWait();

signals:
    void runningChanged(bool running);
    void rowStarted(int row);
    void progressChanged(int percent);
    void toolOutput(const QString &chunk);
    // What the tool warned of while it made a row (pages it could not read, a damaged file
    // repaired), said before the row's end: a row that is "ok" may still have lost something.
    void rowWarned(int row, const QStringList &warnings);
    // `reason` says why a row failed, in the words of the tool or the system.
    void rowFinished(int row, bool ok, const QString &reason);

private:
    bool startRow();
    void readOutput(const QString &chunk);
    void finishRow(bool ok, const QString &reason);
    void endRun();

    Planner m_planner;
    ToolProcess *m_process = nullptr;
    int m_row = 0;
    bool m_running = false;
    bool m_stopping = false;
    int m_grace = ToolProcess::kGrace;
    ToolOutputReader m_reader;
    QString m_lastOutput;
};

// The work folder emptied before each tool start: "skellzip" in APPDATA; empty when APPDATA
// is not set.
QString workFolder();
// Deletes everything in `folder`, which itself stays. A link is removed, never followed: a
// link in the folder's own place leaves the folder alone.
void emptyFolder(const QString &folder);
