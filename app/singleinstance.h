// The printer's hand-off: one program of a user's listens on the local socket in the user's
// runtime folder (the one that took its lock), and the printer application tells it there
// that jobs wait. A program started for jobs while another listens hands them to it and ends;
// every other start opens a window of its own. Whoever connects is the user's own, as the
// kernel says, or is not heard; no socket someone else could have made is trusted.
#pragma once

#include <QObject>
#include <QStringList>

class QLocalServer;

class SingleInstance : public QObject
{
    Q_OBJECT

public:
    // `runtime`: the user's private runtime folder (userplaces::runtimeFolder); empty: no
    // hand-off at all.
    explicit SingleInstance(QString runtime, QObject *parent = nullptr);
    ~SingleInstance() override;
    // True where a program of this user's listens and took `words`: this one ends.
    bool handedToAnother(const QStringList &words);
    // Becomes the program that listens, unless another one is; true where this one listens.
    bool listen();
    // For a start that brings jobs: hands them to the program that listens, or becomes it;
    // several such starts at once end with one program. True where this one is to end.
    bool handOverJobs();

signals:
    void wordsReceived(const QStringList &words);

private:
    QString m_runtime;
    int m_lock = -1;
    QLocalServer *m_server = nullptr;
};
