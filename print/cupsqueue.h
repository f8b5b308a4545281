// A job for a CUPS queue: the imposed PDF itself (so that text stays text and the job stays
// small) sent to the queue the print dialog chose, with the sides, media, copies, collation
// and pages asked, and followed until the printer has it, or refused with the reason. The
// talking to the server happens off the window's thread. Only where the program is built with
// CUPS (PLYJOIN_CUPS).
#pragma once

#include "print/printplan.h"

#include <QObject>
#include <QSizeF>
#include <QString>

#include <atomic>
#include <thread>

class CupsJob : public QObject
{
    Q_OBJECT

public:
    struct Request
    {
        QString queue;
        QString file;            // the PDF sent
        QString title;
        QString sides;           // IPP's keyword ("two-sided-long-edge")
        QSizeF sheet;            // points: the media asked for
        int copies = 1;
        bool collate = true;
        QString pageRanges;      // "1-3,5"; empty: every page
        bool reverse = false;    // the last page first
    };

    explicit CupsJob(QObject *parent = nullptr);
    // Cancels a job still on its way and waits for the server to hear it.
    ~CupsJob() override;

    void start(const Request &request);
    // Cancels the job, on the server too as long as it has not been printed.
    void cancel();
    bool isRunning() const { return m_worker.joinable() && !m_done; }

signals:
    // The job's number and state, in words: "job 12: pending".
    void progress(const QString &state);
    // Accepted (printed by the server onto the printer, or still going after a while), or
    // refused, and why.
    void finished(bool accepted, const QString &message);

private:
    void run(const Request &request);
    void say(const QString &state);
    void end(bool accepted, const QString &message);

    std::thread m_worker;
    std::atomic<bool> m_cancel{false};
    std::atomic<bool> m_done{false};
};

// What a queue's printer can do, as CUPS says (asked before a job leaves): its papers with
// their printable areas, whether it prints both sides, whether it takes PDF.
struct PrinterAbilities
{
    bool known = false;
    QString error;          // why nothing is known
    QList<Paper> papers;
    QString defaultPaper;   // its name
    QStringList readyPapers;  // the names of those in its trays, where it says
    bool twoSided = false;
    bool takesPdf = true;
    int maxCopies = 0;      // 0: not said
};
PrinterAbilities askPrinter(const QString &queue);
