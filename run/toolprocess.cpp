#include "run/toolprocess.h"

namespace {

// What is kept of each of the tool's outputs: the end, where it says how it went; enough for
// any reason, bounded for a tool that warns about every object of a damaged file.
constexpr int kKept = 64 * 1024;

void keepEnd(QString &text)
{
    if (text.size() > kKept)
        text = text.right(kKept);
}

} // namespace

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

void ToolProcess::run(const QString &program, const QStringList &arguments, OpenMode mode)
{
    connect(this, &QProcess::readyReadStandardOutput, this, &ToolProcess::collect);
    connect(this, &QProcess::readyReadStandardError, this, &ToolProcess::collect);
    connect(this, &QProcess::finished, this, [this](int exitCode, QProcess::ExitStatus status) {
        judge(status == QProcess::CrashExit, exitCode);
    });
    connect(this, &ToolProcess::couldNotStart, this, [this](const QString &reason) {
        m_end.reason = failureReason(QString(), false, false, 0, reason);
        emit ended(m_end);
    });
    start(program, arguments, mode);
}

void ToolProcess::collect()
{
    const QString chunk = QString::fromLatin1(readAllStandardOutput());
    m_end.errors += QString::fromLocal8Bit(readAllStandardError());
    keepEnd(m_end.errors);
    if (chunk.isEmpty())
        return;
    m_reader.feed(chunk);
    m_end.said += chunk;
    keepEnd(m_end.said);
    emit said(chunk);
}

void ToolProcess::judge(bool crashed, int exitCode)
{
    collect();
    m_end.ok = m_reader.succeeded();
    if (!m_end.ok)
        m_end.reason = failureReason(m_end.errors, m_stopped, crashed, exitCode, QString());
    emit ended(m_end);
}

void ToolProcess::askToEnd()
{
    if (state() == QProcess::NotRunning)
        return;  // its end is on the way
    m_stopped = true;
    terminate();
    m_killTimer.start(m_grace);
}

void ToolProcess::endAndWait()
{
    m_killTimer.stop();
    if (state() == QProcess::NotRunning)
        return;
    m_stopped = true;
    terminate();
    if (!waitForFinished(m_grace)) {
        kill();
        waitForFinished(30000);
    }
}
