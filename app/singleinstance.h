// One program a user (a settings folder): the first to start listens on its local socket; a
// second hands its words (files to list, or --jobs) to the first and ends.
#pragma once

#include <QObject>
#include <QStringList>

class QLocalServer;

class SingleInstance : public QObject
{
    Q_OBJECT

public:
    explicit SingleInstance(QObject *parent = nullptr);
    // True where another program took `words`: this one ends.
    bool handedToAnother(const QStringList &words);
    // Listens for the words of later starts (and of the printer application).
    void listen();

signals:
    void wordsReceived(const QStringList &words);

private:
    QLocalServer *m_server = nullptr;
};
