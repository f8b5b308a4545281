// The user's printer "Tavrell PDF Plyjoin" as the program sees it: started where it does not
// run (it is the user's as long as the program is used), and said in the window where it
// cannot be reached, so that what applications print to it is not waited for in vain.
#pragma once

#include <QObject>
#include <QString>

class QTimer;

class PrinterLink : public QObject
{
    Q_OBJECT

public:
    // `runtime`: the user's private runtime folder (empty: there is none, for `why`).
    PrinterLink(QString runtime, QString why, QObject *parent = nullptr);
    // The user's printer answers on its socket.
    bool runs() const;
    // Starts `program` ("plyjoin-printer") where the user's printer does not run, and waits
    // `patience` milliseconds for it to answer.
    void start(const QString &program, int patience = 10000);

signals:
    // The printer cannot be reached, in the window's words.
    void unreachable(const QString &words);

private:
    QString m_runtime, m_why;
    QTimer *m_poll = nullptr;
};
