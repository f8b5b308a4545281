// Printing the sheets of one file, in the background: the tool makes the file as Start would
// (unless it is made already), and it goes to the printer: on a CUPS queue the PDF itself; to
// a file, copied there; elsewhere (Windows) each sheet drawn by Poppler onto the printer at its
// resolution. Printing two-sided by hand sends the fronts, then waits while the person turns
// the stack (handTurnNeeded, then continueWithBacks), then sends the backs. Stop ends
// whatever is under way, the tool and the job on the server too.
#pragma once

#include "print/printplan.h"

#include <QObject>
#include <QPointer>
#include <QSizeF>
#include <QTemporaryDir>

#include <functional>

class CupsJob;
class QPrinter;
class ToolProcess;

class PrintJob : public QObject
{
    Q_OBJECT

public:
    struct Request
    {
        // What to impose, as a run would: the tool, the file and the options string; or the
        // file the row's run imposed with these options.
        QString tool, input, options;
        QString imposed;
        QSizeF sheet;            // points
        int sideCount = 0;       // pages of the imposed file
        // Where and how, from the print dialog.
        QString queue;           // the CUPS queue; empty: the printer itself, or a file
        QString toFile;          // print to this file
        // The sides the sheets were imposed for (by hand, the edge the stack is turned on),
        // and what the printer is asked to do (by hand, one side at a time).
        Sides madeFor = Sides::OneSided;
        Sides asked = Sides::OneSided;
        int copies = 1;
        bool collate = true;
        int from = 0, to = 0;    // pages of the imposed file; 0: all
        bool byHand = false;     // two-sided by hand
        bool faceUp = false;     // the printer lays its output face up
        // The printer's paper, where the sheets are not a size it has: each sheet is placed
        // on it, scaled and centred, before the job leaves.
        PaperChoice paper;
    };

    // `printer` is used where sheets are drawn onto it (no CUPS queue, no file); it must
    // outlive the job.
    PrintJob(const Request &request, QPrinter *printer, QObject *parent = nullptr);
    ~PrintJob() override;

    void start();
    void stop();
    // The person has turned the stack: the backs go.
    void continueWithBacks();
    const HandTwoSided &handPlan() const { return m_hand; }
    const Request &request() const { return m_request; }

signals:
    // What is happening, in words, and how far (0 to 100, or -1 unknown).
    void progress(const QString &state, int percent);
    // The fronts are printed: the stack is to be turned over on the sheets' edge.
    void handTurnNeeded();
    void finished(bool ok, const QString &message);

private:
    // The sheets are imposed, in `file`: on to the paper and the printer.
    void sheetsReady(const QString &file);
    // Runs the tool once more to place each sheet on the printer's paper.
    void placeOnPaper(const QString &file);
    // Starts the tool with these words; `then` takes the file it wrote.
    void runTool(const QString &what, const QStringList &arguments, const QString &output,
                 const std::function<void(const QString &)> &then);
    void send();
    void sendNext();
    // Draws the pages ("1-3,5", all where empty, none for "blank") onto the printer, one at
    // a time, then calls `then`.
    void drawSheets(const QString &pages, bool reverse, const std::function<void()> &then);
    void fail(const QString &message);
    QString blankPage();

    Request m_request;
    QPrinter *m_printer;
    QTemporaryDir m_folder;
    QString m_file;
    QPointer<ToolProcess> m_tool;
    QPointer<CupsJob> m_job;
    HandTwoSided m_hand;
    // The jobs still to send: a file, its pages and their order.
    struct Part
    {
        QString file, pageRanges;
        bool reverse = false;
        bool beforeTurn = false;  // the fronts of printing by hand
    };
    QList<Part> m_parts;
    QString m_lastSaid = QStringLiteral("Sent to the printer.");
    bool m_waitingForTurn = false;
    bool m_stopped = false;
    bool m_done = false;
};
