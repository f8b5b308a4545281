// The tiling tool as a child process, and the one way it is ended: asked to end (the tool then
// removes what it was writing), and killed only if it has not ended after a grace.
#pragma once

#include <QProcess>
#include <QTimer>

class ToolProcess : public QProcess
{
    Q_OBJECT

public:
    // How long a tool asked to end has to end by itself before it is killed.
    static constexpr int kGrace = 2000;  // milliseconds

    explicit ToolProcess(QObject *parent = nullptr);

    void setGrace(int milliseconds) { m_grace = milliseconds; }
    // Asks the tool to end, and kills it if it has not after the grace. Returns at once; the
    // end comes as finished().
    void askToEnd();
    // The same, waiting for the end here: for the end of the program.
    void endAndWait();

signals:
    // The tool could not be started, and why: sent from the event loop, never from inside
    // start(), so that whoever started it has finished what it was doing.
    void couldNotStart(const QString &reason);

private:
    int m_grace = kGrace;
    QTimer m_killTimer;
};
