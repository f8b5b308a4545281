// The tiling tool as a child process: the one way it is run to its end (its output collected,
// its progress passed on, its end judged and said once), and the one way it is ended: asked to
// end (the tool then removes what it was writing), and killed only if it has not ended after
// a grace.
#pragma once

#include "run/toolcontract.h"

#include <QProcess>
#include <QTimer>

// How a run of the tool ended.
struct ToolEnd
{
    // It made what it was asked: it said so ("result=OK"), which it does once its file is
    // whole and in place; how it ends after that does not undo it.
    bool ok = false;
    QString said;     // its standard output (the last part of a long one)
    QString errors;   // its standard error (the same)
    QString reason;   // why it did not, in words for a person; empty when ok
};

class ToolProcess : public QProcess
{
    Q_OBJECT

public:
    // How long a tool asked to end has to end by itself before it is killed.
    static constexpr int kGrace = 2000;  // milliseconds

    explicit ToolProcess(QObject *parent = nullptr);

    void setGrace(int milliseconds) { m_grace = milliseconds; }
    // Runs the tool to its end: what it says comes as said(), its end as ended(), once, also
    // when it cannot start. (A tool that stays, answering requests, is started with start().)
    void run(const QString &program, const QStringList &arguments, OpenMode mode = QIODevice::ReadOnly);
    // Asks the tool to end, and kills it if it has not after the grace. Returns at once; the
    // end comes as finished() (and ended(), whose reason then says it was stopped).
    void askToEnd();
    // The same, waiting for the end here: for the end of the program.
    void endAndWait();

signals:
    // The tool could not be started, and why: sent from the event loop, never from inside
    // start(), so that whoever started it has finished what it was doing.
    void couldNotStart(const QString &reason);
    // What a tool that was run says on its standard output, as it comes.
    void said(const QString &chunk);
    void ended(const ToolEnd &end);

private:
    void collect();
    void judge(bool crashed, int exitCode);

    int m_grace = kGrace;
    QTimer m_killTimer;
    bool m_stopped = false;
    ToolOutputReader m_reader;  // whether it said it made what it was asked
    ToolEnd m_end;
};
