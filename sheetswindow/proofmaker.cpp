#include "sheetswindow/proofmaker.h"

#include "run/toolcontract.h"
#include "run/toolprocess.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QVariant>

#include <poppler-qt6.h>

#include <algorithm>
#include <climits>
#include <cmath>

namespace {

// The largest picture side, in pixels: a sheet metres wide shown at 100% is cut to this.
constexpr double kLargestSide = 12000;

// What a render asks between its bands: whether a newer picture was asked for meanwhile.
struct RenderTurn
{
    const std::atomic<int> *newest;
    int generation;
};

bool superseded(const QVariant &turn)
{
    const auto *t = reinterpret_cast<const RenderTurn *>(turn.value<quintptr>());
    return t->newest->load() != t->generation;
}

QImage renderSheet(const QByteArray &pdf, const ProofMaker::View &view, const RenderTurn &turn, QSizeF &points)
{
    std::unique_ptr<Poppler::Document> document = Poppler::Document::loadFromData(pdf);
    if (!document || document->isLocked())
        return QImage();
    document->setRenderHint(Poppler::Document::Antialiasing);
    document->setRenderHint(Poppler::Document::TextAntialiasing);
    std::unique_ptr<Poppler::Page> page = document->page(0);
    if (!page)
        return QImage();
    points = page->pageSizeF();
    if (!(points.width() > 0) || !(points.height() > 0))
        return QImage();
    double perPoint = view.actualSize > 0
                          ? view.actualSize
                          : std::min(view.area.width() / points.width(), view.area.height() / points.height());
    perPoint *= view.devicePixelRatio;
    perPoint = std::min(perPoint, kLargestSide / std::max(points.width(), points.height()));
    if (!(perPoint > 0))
        return QImage();
    const QVariant asked = QVariant::fromValue(reinterpret_cast<quintptr>(&turn));
    QImage image = page->renderToImage(72 * perPoint, 72 * perPoint, -1, -1, -1, -1, Poppler::Page::Rotate0, nullptr,
                                       nullptr, superseded, asked);
    if (superseded(asked))
        return QImage();  // cut short: a newer picture is on its way
    image.setDevicePixelRatio(view.devicePixelRatio);
    return image;
}

} // namespace

ProofMaker::ProofMaker(QObject *parent) : QObject(parent), m_grace(ToolProcess::kGrace)
{
    m_renderers.setMaxThreadCount(1);
}

ProofMaker::~ProofMaker()
{
    stopServer();
    if (m_process) {
        ToolProcess *process = m_process;
        m_process = nullptr;
        process->disconnect(this);
        process->endAndWait();
        delete process;
    }
    m_renderGeneration = -1;
    m_renderers.waitForDone();
}

void ProofMaker::setView(const View &view)
{
    if (view == m_view)
        return;
    m_view = view;
    if (!m_pdf.isEmpty())
        render();
}

void ProofMaker::setHeld(bool held)
{
    m_held = held;
    if (!held) {
        startTool();
        return;
    }
    // A run has the machine to itself: a tool at work ends, and what it was making is made
    // again when the run is over (unless something newer is wanted by then).
    if (m_server) {
        if (m_work == Work::Asking && !m_wanted)
            m_wanted = m_running;
        stopServer();
    }
    if (m_work == Work::Making) {
        if (!m_wanted)
            m_wanted = m_running;
        stopTool();
    }
}

void ProofMaker::stopTool()
{
    // The tool removes what it was writing when asked to end.
    m_work = Work::Ending;
    m_process->askToEnd();
}

void ProofMaker::request(const Request &r)
{
    if (m_work == Work::Making && m_running == r) {
        m_wanted.reset();  // it is being made
        return;
    }
    if (m_work == Work::Idle && !m_pdf.isEmpty() && m_made == r && m_madeStamp == QFileInfo(r.input).lastModified()) {
        m_wanted.reset();  // it was made: only shown again
        render();
        return;
    }
    m_wanted = r;
    emit working();
    switch (m_work) {
    case Work::Idle: startTool(); break;
    case Work::Making: stopTool(); break;  // superseded
    case Work::Asking: break;              // answered in a moment; then the newest is asked
    case Work::Ending: break;              // the newest is asked when it has ended
    }
}

void ProofMaker::startTool()
{
    if (m_held || m_work != Work::Idle || !m_wanted)
        return;
    m_running = *m_wanted;
    m_wanted.reset();
    if (m_tool.isEmpty()) {
        emit failed(m_running, -1, QStringLiteral("The tiling tool was not found."));
        return;
    }
    if (m_serverState != Server::DoesNotServe) {
        serve();
        return;
    }
    m_runningOutput = m_folder.filePath(QStringLiteral("sheet-%1.pdf").arg(++m_runs));
    auto *process = new ToolProcess(this);
    m_process = process;
    m_work = Work::Making;
    process->setGrace(m_grace);
    connect(process, &ToolProcess::ended, this, [this, process](const ToolEnd &end) {
        if (process == m_process)
            toolFinished(end);
    });
    process->run(m_tool, proofArguments(m_running.options, QString::number(m_running.sheet + 1), m_running.input,
                                          m_runningOutput));
}

void ProofMaker::toolFinished(const ToolEnd &end)
{
    ToolProcess *process = m_process;
    m_process = nullptr;
    process->deleteLater();
    const bool asked = m_work == Work::Ending;
    m_work = Work::Idle;
    QFile file(m_runningOutput);
    if (!superseded() && end.ok && file.open(QIODevice::ReadOnly)) {
        // Also when it was asked to end too late: what it made is what is wanted.
        m_wanted.reset();
        made(protocol::readSides(end.said.toStdString()), toolWarnings(end.errors), file.readAll());
        file.close();
    } else if (!superseded() && !asked) {
        emit failed(m_running, sheetCountIn(end.said), end.reason);
    }
    // A tool that was asked to end says nothing of the request: that is wanted again, or
    // something newer is.
    file.remove();
    startTool();
}

void ProofMaker::render()
{
    const int generation = ++m_renderGeneration;
    const QByteArray pdf = m_pdf;
    const View view = m_view;
    const Request made = m_made;
    const int count = m_count;
    const QList<QList<int>> pages = m_pages;
    const QString shows = m_shows;
    ++m_rendering;
    m_renderers.start([this, generation, pdf, view, made, count, pages, shows] {
        QSizeF points;
        QImage image;
        const RenderTurn turn{&m_renderGeneration, generation};
        if (generation == m_renderGeneration)
            image = renderSheet(pdf, view, turn, points);
        QMetaObject::invokeMethod(this, [this, generation, image, points, made, count, pages, shows] {
            --m_rendering;
            if (generation != m_renderGeneration)
                return;  // a newer picture is on its way
            if (image.isNull())
                emit failed(made, count, QStringLiteral("The sheet could not be shown."));
            else
                emit rendered(made, count, image, points, pages.value(0), shows);
        }, Qt::QueuedConnection);
    });
}

void ProofMaker::made(const protocol::Sides &sides, const QStringList &warnings, const QByteArray &pdf)
{
    m_pdf = pdf;
    m_made = m_running;
    m_madeStamp = m_server ? m_serverStamp : QFileInfo(m_running.input).lastModified();
    m_count = sides.sheets >= 0 && sides.sheets <= INT_MAX ? int(sides.sheets) : -1;
    m_pages.clear();
    for (const std::vector<int> &pages : sides.pages)
        m_pages << QList<int>(pages.begin(), pages.end());
    m_shows = sides.shows.empty() ? QString() : QString::fromStdString(sides.shows.front()).trimmed();
    emit warned(m_made, warnings);
    render();
}

void ProofMaker::serve()
{
    // The file read again when it changed on disk, or another is shown.
    const QFileInfo input(m_running.input);
    const QDateTime stamp = input.lastModified();
    if (m_server && (m_serverInput != m_running.input || m_serverStamp != stamp))
        stopServer();
    if (!m_server) {
        auto *server = new ToolProcess(this);
        m_server = server;
        m_serverInput = m_running.input;
        m_serverStamp = stamp;
        m_serverState = Server::Unproven;
        m_answers.clear();
        connect(server, &QProcess::readyReadStandardOutput, this, [this, server] {
            if (server == m_server)
                readAnswer();
        });
        connect(server, &QProcess::finished, this, [this, server] { serverEnded(server); });
        connect(server, &ToolProcess::couldNotStart, this, [this, server] { serverEnded(server); });
        server->start(m_tool, {QStringLiteral("--serve"), m_running.input}, QIODevice::ReadWrite);
    }
    QByteArray words;
    for (const QString &word : QProcess::splitCommand(m_running.options))
        words += word.toUtf8() + '\n';
    words += "-sheets\n" + QByteArray::number(m_running.sheet + 1) + "\n\n";
    m_work = Work::Asking;
    m_server->write(words);
}

void ProofMaker::readAnswer()
{
    const QByteArray bytes = m_server->readAllStandardOutput();
    m_answers.feed(bytes.constData(), size_t(bytes.size()));
    const std::optional<protocol::Answer> answer = m_answers.next();
    if (!answer)
        return;  // more to come
    m_serverState = Server::Answered;
    m_work = Work::Idle;
    if (!superseded()) {
        m_wanted.reset();
        if (answer->made) {
            QStringList warnings;
            for (const std::string &w : answer->warnings)
                warnings << QString::fromStdString(w);
            made(answer->sides, warnings,
                 QByteArray(answer->pdf.data(), qsizetype(answer->pdf.size())));
        } else {
            const long long count = answer->sides.sheets;
            emit failed(m_running, count >= 0 && count <= INT_MAX ? int(count) : -1,
                        QString::fromStdString(answer->reason));
        }
    }
    startTool();
}

void ProofMaker::serverEnded(ToolProcess *server)
{
    server->deleteLater();
    if (server != m_server)
        return;  // one that was asked to end
    m_server = nullptr;
    const bool asking = m_work == Work::Asking;
    if (asking)
        m_work = Work::Idle;
    if (m_serverState != Server::Answered) {
        // A tool that does not serve (an older one): one tool a side from now on.
        m_serverState = Server::DoesNotServe;
        if (asking && !m_wanted)
            m_wanted = m_running;
    } else if (asking && !superseded()) {
        emit failed(m_running, -1, QStringLiteral("The tiling tool stopped unexpectedly; it starts again for the next "
                                                  "sheet."));
    }
    startTool();
}

void ProofMaker::stopServer()
{
    if (!m_server)
        return;
    ToolProcess *server = m_server;
    m_server = nullptr;
    if (m_work == Work::Asking)
        m_work = Work::Idle;
    server->disconnect(this);
    server->closeWriteChannel();  // it ends when its input does
    server->endAndWait();
    delete server;
}
