#include "app/singleinstance.h"

#include "userplaces.h"

#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>

namespace {

QString socketPath()
{
    return QString::fromStdString(userplaces::programSocket());
}

} // namespace

SingleInstance::SingleInstance(QObject *parent) : QObject(parent) {}

bool SingleInstance::handedToAnother(const QStringList &words)
{
    QLocalSocket socket;
    socket.connectToServer(socketPath());
    if (!socket.waitForConnected(1000))
        return false;
    socket.write((words.join(QLatin1Char('\n')) + QStringLiteral("\n\n")).toUtf8());
    socket.waitForBytesWritten(3000);
    socket.disconnectFromServer();
    return true;
}

void SingleInstance::listen()
{
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    // A socket left by a program that ended without removing it is no one's.
    QLocalServer::removeServer(socketPath());
    if (!m_server->listen(socketPath()))
        return;
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
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
}
