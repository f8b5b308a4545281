#include "run/toolprocess.h"

ToolProcess::ToolProcess(QObject *parent) : QProcess(parent)
{
    setProcessChannelMode(QProcess::SeparateChannels);
    m_killTimer.setSingleShot(true);
    connect(&m_killTimer, &QTimer::timeout, this, &QProcess::kill);
    connect(this, &QProcess::finished, &m_killTimer, &QTimer::stop);
    connect(this, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            QMetaObject::invokeMethod(this, [this] { emit couldNotStart(errorString()); }, Qt::QueuedConnection);
    });
}

void ToolProcess::askToEnd()
{
    if (state() == QProcess::NotRunning)
        return;  // its end is on the way
    terminate();
    m_killTimer.start(m_grace);
}

void ToolProcess::endAndWait()
{
    m_killTimer.stop();
    if (state() == QProcess::NotRunning)
        return;
    terminate();
    if (!waitForFinished(m_grace)) {
        kill();
        waitForFinished(30000);
    }
}
