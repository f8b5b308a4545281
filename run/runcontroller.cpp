#include "run/runcontroller.h"

#include "settings/settingsfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

// The tool's standard error is kept up to this size: enough for any reason, bounded for a
// tool that warns about every object of a damaged file.
constexpr int kMaxErrorText = 64 * 1024;

} // namespace

RunController::RunController(Planner planner, QObject *parent) : QObject(parent), m_planner(std::move(planner))
{
    m_killTimer.setSingleShot(true);
    connect(&m_killTimer, &QTimer::timeout, this, [this] {
        if (m_process)
            m_process->kill();
    });
}

RunController::~RunController()
{
    stopAndWait();
}

bool RunController::start(int firstRow)
{
    if (m_running)
        return false;
    m_row = firstRow;
    m_running = true;
    m_stopping = false;
    emit runningChanged(true);
    if (startRow())
        return true;
    endRun();
    return false;
}

bool RunController::startRow()
{
    ToolJob job;
    if (!m_planner(m_row, job))
        return false;
    emptyFolder(workFolder());

    m_reader.reset();
    m_lastOutput.clear();
    m_errors.clear();
    auto *process = new QProcess(this);
    m_process = process;
    process->setProcessChannelMode(QProcess::SeparateChannels);
    connect(process, &QProcess::readyReadStandardOutput, this, &RunController::readOutput);
    connect(process, &QProcess::readyReadStandardError, this, &RunController::readErrors);
    connect(process, &QProcess::finished, this, [this, process](int exitCode, QProcess::ExitStatus status) {
        processFinished(process, status == QProcess::CrashExit, exitCode);
    });
    connect(process, &QProcess::errorOccurred, this, [this, process](QProcess::ProcessError error) {
        // A tool that cannot start sends no finished(); its row ends from the event loop,
        // not from inside start().
        if (error == QProcess::FailedToStart)
            QMetaObject::invokeMethod(this, [this, process] { failedToStart(process); }, Qt::QueuedConnection);
    });
    emit rowStarted(m_row);
    process->start(job.program, job.arguments, QIODevice::ReadWrite);
    return true;
}

void RunController::readOutput()
{
    if (!m_process)
        return;
    const QString chunk = QString::fromLatin1(m_process->readAllStandardOutput());
    if (chunk.isEmpty())
        return;
    const int percent = m_reader.feed(chunk);
    m_lastOutput = chunk;
    emit toolOutput(chunk);
    if (percent >= 0)
        emit progressChanged(percent);
}

void RunController::readErrors()
{
    if (!m_process)
        return;
    m_errors += QString::fromLocal8Bit(m_process->readAllStandardError());
    if (m_errors.size() > kMaxErrorText)
        m_errors = m_errors.right(kMaxErrorText);
}

void RunController::processFinished(QProcess *process, bool crashed, int exitCode)
{
    if (process != m_process)
        return;  // a late signal of a process already handled
    readOutput();
    readErrors();
    const bool ok = m_reader.succeeded();
    finishRow(ok, ok ? QString() : failureReason(m_errors, m_stopping, crashed, exitCode, QString()));
}

void RunController::failedToStart(QProcess *process)
{
    if (process != m_process)
        return;
    finishRow(false, failureReason(QString(), false, false, 0, process->errorString()));
}

void RunController::finishRow(bool ok, const QString &reason)
{
    m_killTimer.stop();
    m_process->disconnect(this);
    m_process->deleteLater();
    m_process = nullptr;
    emit rowFinished(m_row, ok, reason);
    ++m_row;
    if (m_stopping || !startRow())
        endRun();
}

void RunController::endRun()
{
    const bool wasRunning = m_running;
    m_running = false;
    m_stopping = false;
    if (wasRunning)
        emit runningChanged(false);
}

void RunController::stop()
{
    if (!m_running || m_stopping)
        return;
    if (!m_process) {
        endRun();
        return;
    }
    m_stopping = true;
    if (m_process->state() == QProcess::NotRunning)
        return;  // its end is on the way
    m_process->terminate();
    m_killTimer.start(m_grace);
}

void RunController::stopAndWait()
{
    if (!m_process) {
        endRun();
        return;
    }
    QProcess *process = m_process;
    process->disconnect(this);
    m_process = nullptr;
    m_killTimer.stop();
    if (process->state() != QProcess::NotRunning) {
        process->terminate();
        if (!process->waitForFinished(m_grace)) {
            process->kill();
            process->waitForFinished(30000);
        }
    }
    delete process;
    endRun();
}

QString workFolder()
{
    const QString appdata = appDataFolder();
    return appdata.isEmpty() ? QString() : QDir::toNativeSeparators(appdata + QStringLiteral("/skellzip"));
}

void emptyFolder(const QString &folder)
{
    const QFileInfo info(folder);
    if (folder.isEmpty() || info.isSymLink() || !info.isDir())
        return;
    QDir dir(folder);
    const QFileInfoList entries =
        dir.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Unsorted);
    for (const QFileInfo &entry : entries) {
        bool link = entry.isSymLink();
#if QT_VERSION >= QT_VERSION_CHECK(6, 4, 0)
        link = link || entry.isJunction();
#endif
        if (link || !entry.isDir()) {
            QFile::remove(entry.filePath());  // a link goes, what it points at stays
        } else {
            emptyFolder(entry.filePath());
            dir.rmdir(entry.fileName());
        }
    }
}
