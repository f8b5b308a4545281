#include "app/singleinstance.h"

#include "peer.h"
#include "userplaces.h"

#include <QElapsedTimer>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

SingleInstance::SingleInstance(QString runtime, QObject *parent) : QObject(parent), m_runtime(std::move(runtime)) {}

SingleInstance::~SingleInstance()
{
    if (m_server)
        m_server->close();
    if (m_lock >= 0)
        ::close(m_lock);
}

bool SingleInstance::handedToAnother(const QStringList &words)
{
    if (m_runtime.isEmpty())
        return false;
    const std::string path = userplaces::programSocket(m_runtime.toStdString());
    const int fd = peer::connectToUsersSocket(path, getuid());
    if (fd < 0)
        return false;
    const QByteArray message = (words.join(QLatin1Char('\n')) + QStringLiteral("\n\n")).toUtf8();
    const bool written = ::write(fd, message.constData(), size_t(message.size())) == message.size();
    ::close(fd);
    return written;
}

bool SingleInstance::listen()
{
    if (m_runtime.isEmpty() || m_server)
        return m_server != nullptr;
    // The program that listens is the one holding the lock: a socket file left by a program
    // that ended is no one's, one in use is never removed.
    const QString lock = m_runtime + QStringLiteral("/program.lock");
    const int fd = ::open(QFile::encodeName(lock).constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0 || flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    m_lock = fd;
    const QString path = QString::fromStdString(userplaces::programSocket(m_runtime.toStdString()));
    QLocalServer::removeServer(path);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(path)) {
        delete m_server;
        m_server = nullptr;
        return false;
    }
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            // Another user's words are not heard.
            if (peer::unixSocketUser(int(socket->socketDescriptor())) != long(getuid())) {
                socket->abort();
                continue;
            }
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                // Words a line each; an empty line or the end of the connection ends them.
                while (socket->canReadLine()) {
                    const QString line = QString::fromUtf8(socket->readLine()).trimmed();
                    if (!line.isEmpty())
                        emit wordsReceived({line});
                }
            });
        }
    });
    return true;
}

bool SingleInstance::handOverJobs()
{
    // Started by the printer while a burst of jobs arrives: at most one of the programs
    // started becomes the listening one; the others hand their jobs to it.
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 5000) {
        if (handedToAnother({QStringLiteral("--jobs")}))
            return true;
        if (listen())
            return false;
        QThread::msleep(100);
    }
    return false;
}
