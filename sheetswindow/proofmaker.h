// Proofs: the sides of one file as Start would make them, one at a time, in the background.
//
// A request names the input, the options string and the side. The tiling tool stays, one for
// the file shown (pdfplyjoin --serve): it reads the file once and answers each request with
// that side alone as a small PDF, in milliseconds; it is started again when another file is
// shown or the file changes on disk, and a tool that ends unexpectedly is said and started
// again for the next request. A newer request overtakes an older one: the older answer is
// dropped and the newest is asked next. (A tool that does not serve makes each side alone
// (-sheets) into a temporary folder of the maker's own, with the same command line as a run;
// a newer request then asks the older tool to end.) Poppler renders on a worker thread; a
// rendered sheet can be rendered again at another scale without the tool.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QImage>
#include <QList>
#include <QObject>
#include <QSizeF>
#include <QString>
#include <QTemporaryDir>
#include <QThreadPool>

#include <atomic>
#include <optional>

#include "protocol.h"

class ToolProcess;
struct ToolEnd;

class ProofMaker : public QObject
{
    Q_OBJECT

public:
    struct Request
    {
        QString input;    // the PDF
        QString options;  // the options string, as for a run
        int sheet = 0;    // from 0
        bool operator==(const Request &o) const
        {
            return input == o.input && options == o.options && sheet == o.sheet;
        }
        bool operator!=(const Request &o) const { return !(*this == o); }
    };

    explicit ProofMaker(QObject *parent = nullptr);
    // Ends a running tool as a stopped run does, and waits for a render in progress.
    ~ProofMaker() override;

    void setTool(const QString &path) { m_tool = path; }
    const QString &tool() const { return m_tool; }
    // Time a superseded tool has to end by itself before it is killed.
    void setStopGrace(int milliseconds) { m_grace = milliseconds; }
    // Where the pictures go: fitted into `area` (logical pixels), or at `actualSize` logical
    // pixels per point when that is above 0; sharp at the device pixel ratio.
    struct View
    {
        QSizeF area{400, 400};
        double devicePixelRatio = 1;
        double actualSize = 0;
        bool operator==(const View &o) const
        {
            return area == o.area && devicePixelRatio == o.devicePixelRatio && actualSize == o.actualSize;
        }
    };
    void setView(const View &view);
    // While held, no tool starts (a run is in progress); the latest request waits.
    void setHeld(bool held);

    void request(const Request &request);
    bool isToolRunning() const { return m_work != Work::Idle; }
    // A tool runs, a request waits, or a picture is being rendered.
    bool isBusy() const { return m_work != Work::Idle || m_wanted || m_rendering > 0; }
    // The maker's own temporary folder, removed with it.
    QString folder() const { return m_folder.path(); }

signals:
    // A sheet is ready: `count` sides in the whole document (-1 unknown), the side's size
    // in points, and the numbers of the document's pages it shows.
    // `shows` is what the side is where it is no sheet of pages, in the tool's words ("cut
    // from sheet 2, back", "Tile B3 of 12").
    void rendered(const ProofMaker::Request &request, int count, const QImage &image, const QSizeF &points,
                  const QList<int> &pages, const QString &shows);
    // The tool made the request and warned of what it made (pages larger than their cells,
    // links dropped), each warning in its words; none: empty.
    void warned(const ProofMaker::Request &request, const QStringList &warnings);
    // The tool refused the request; `reason` in its words.
    void failed(const ProofMaker::Request &request, int count, const QString &reason);
    // The newest request is being made (the picture shown is older).
    void working();

private:
    // What the maker does with the running request.
    enum class Work {
        Idle,    // nothing: the next wanted request may be asked
        Asking,  // the staying tool makes it
        Making,  // a tool of its own makes it (m_process)
        Ending,  // that tool was asked to end (superseded, or a run holds the maker)
    };
    // What the staying tool has shown of itself.
    enum class Server {
        Unproven,      // started, no answer yet
        Answered,      // it serves
        DoesNotServe,  // it ended before its first answer: one tool a side from now on
    };

    void startTool();
    void stopTool();
    void toolFinished(const ToolEnd &end);
    void render();
    // The staying tool: asked for the running request, its answer read, its end followed.
    void serve();
    void readAnswer();
    void serverEnded(ToolProcess *server);
    void stopServer();
    // The running request made: the sides the tool said, its warnings, the PDF.
    void made(const protocol::Sides &sides, const QStringList &warnings, const QByteArray &pdf);
    // A newer request than the running one waits.
    bool superseded() const { return m_wanted && *m_wanted != m_running; }

    Work m_work = Work::Idle;
    Server m_serverState = Server::Unproven;
    ToolProcess *m_server = nullptr;
    QString m_serverInput;
    QDateTime m_serverStamp;   // the file's time when the tool read it
    QDateTime m_madeStamp;     // the file's time when the side shown was made of it
    protocol::AnswerReader m_answers;

    QString m_tool;
    QTemporaryDir m_folder;
    QThreadPool m_renderers;
    ToolProcess *m_process = nullptr;
    Request m_running;          // what the running tool makes
    QString m_runningOutput;
    std::optional<Request> m_wanted;  // the newest request, not yet asked
    bool m_held = false;
    int m_grace;
    int m_runs = 0;
    // The last sheet made, kept for rendering again at another scale.
    Request m_made;
    QByteArray m_pdf;
    int m_count = -1;
    QList<QList<int>> m_pages;
    QString m_shows;
    View m_view;
    int m_rendering = 0;  // renders on their way
    std::atomic<int> m_renderGeneration{0};  // read by the renderer to skip what is superseded
};
