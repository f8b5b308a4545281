#include "app/printerlink.h"

#include "peer.h"
#include "userplaces.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTimer>

#include <memory>
#include <unistd.h>

namespace {

QString unreachableWords(const QString &why)
{
    return QObject::tr("The printer \"Tavrell PDF Plyjoin\" cannot be reached: %1. What applications print to it "
                       "waits until it runs; it starts with this program, or with \"plyjoin-printer server\".")
        .arg(why);
}

} // namespace

PrinterLink::PrinterLink(QString runtime, QString why, QObject *parent)
    : QObject(parent), m_runtime(std::move(runtime)), m_why(std::move(why))
{
}

bool PrinterLink::runs() const
{
    if (m_runtime.isEmpty())
        return false;
    const int fd = peer::connectToUsersSocket(userplaces::printerSocket(m_runtime.toStdString()), getuid());
    if (fd >= 0)
        ::close(fd);
    return fd >= 0;
}

void PrinterLink::start(const QString &program, int patience)
{
    if (m_runtime.isEmpty()) {
        emit unreachable(unreachableWords(m_why));
        return;
    }
    if (runs() || m_poll)
        return;
    // Of its own: it keeps nothing of this program's (its output, its terminal) open.
    QProcess printer;
    printer.setProgram(program);
    printer.setArguments({QStringLiteral("server")});
    printer.setStandardInputFile(QProcess::nullDevice());
    printer.setStandardOutputFile(QProcess::nullDevice());
    printer.setStandardErrorFile(QProcess::nullDevice());
    if (!printer.startDetached()) {
        emit unreachable(unreachableWords(tr("%1 could not be started").arg(program)));
        return;
    }
    m_poll = new QTimer(this);
    auto since = std::make_shared<QElapsedTimer>();
    since->start();
    connect(m_poll, &QTimer::timeout, this, [this, since, patience] {
        const bool answers = runs();
        if (!answers && since->elapsed() < patience)
            return;
        m_poll->deleteLater();
        m_poll = nullptr;
        if (!answers)
            emit unreachable(unreachableWords(tr("it did not start")));
    });
    m_poll->start(100);
}
