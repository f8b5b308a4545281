#include "sheetswindow/proofmaker.h"

#include "run/toolcontract.h"
#include "run/toolprocess.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QVariant>

#include <poppler-qt6.h>

#include <algorithm>
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
        if (m_serving && !m_hasWanted) {
            m_wanted = m_running;
            m_hasWanted = true;
        }
        m_serving = false;
        stopServer();
    }
    if (m_process && !m_stopping) {
        if (!m_hasWanted) {
            m_wanted = m_running;
            m_hasWanted = true;
        }
        stopTool();
    }
}

void ProofMaker::stopTool()
{
    // The tool removes what it was writing when asked to end.
    m_stopping = true;
    m_process->askToEnd();
}

void ProofMaker::request(const Request &r)
{
    if (m_process && m_running == r && !m_stopping) {
        m_hasWanted = false;  // it is being made
        return;
    }
    if (!m_process && !m_serving && !m_pdf.isEmpty() && m_made == r && m_madeStamp == QFileInfo(r.input).lastModified()) {
        m_hasWanted = false;  // it was made: only shown again
        render();
        return;
    }
    m_wanted = r;
    m_hasWanted = true;
    emit working();
    if (m_serving)
        return;  // answered in a moment; then the newest is asked
    if (!m_process) {
        startTool();
    } else if (!m_stopping) {
        stopTool();  // superseded
    }
}

void ProofMaker::startTool()
{
    if (m_held || m_process || m_serving || !m_hasWanted)
        return;
    m_running = m_wanted;
    m_hasWanted = false;
    m_stopping = false;
    if (m_tool.isEmpty()) {
        emit failed(m_running, -1, QStringLiteral("The tiling tool was not found."));
        return;
    }
    if (!m_noServer) {
        serve();
        return;
    }
    m_runningOutput = m_folder.filePath(QStringLiteral("sheet-%1.pdf").arg(++m_runs));
    auto *process = new ToolProcess(this);
    m_process = process;
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
    QFile file(m_runningOutput);
    const bool superseded = m_hasWanted && m_wanted != m_running;
    if (!superseded && end.ok && file.open(QIODevice::ReadOnly)) {
        // Also when it was asked to end too late: what it made is what is wanted.
        m_hasWanted = false;
        made(end.said + end.errors, file.readAll());
        file.close();
    } else if (!superseded && !m_stopping) {
        emit failed(m_running, sheetCountIn(end.said), end.reason);
    }
    // A tool that was asked to end says nothing of the request: that is wanted again, or
    // something newer is.
    m_stopping = false;
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
    const QString shows = m_shows.value(0);
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

void ProofMaker::made(const QString &said, const QByteArray &pdf)
{
    m_pdf = pdf;
    m_made = m_running;
    m_madeStamp = m_server ? m_serverStamp : QFileInfo(m_running.input).lastModified();
    m_count = sheetCountIn(said);
    m_pages = sheetPagesIn(said);
    m_shows = sheetWordsIn(said);
    emit warned(m_made, toolWarnings(said));
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
        m_answered = false;
        m_answer.clear();
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
    m_serving = true;
    m_server->write(words);
}

void ProofMaker::readAnswer()
{
    m_answer += m_server->readAllStandardOutput();
    // Lines up to "pdf=LENGTH" and its bytes, or up to "error=...".
    qsizetype at = 0;
    QString said;
    while (true) {
        const qsizetype end = m_answer.indexOf('\n', at);
        if (end < 0)
            return;  // more to come
        const QByteArray line = m_answer.mid(at, end - at);
        at = end + 1;
        said += QString::fromUtf8(line) + QLatin1Char('\n');
        if (line.startsWith("pdf=")) {
            const qsizetype length = line.mid(4).toLongLong();
            if (m_answer.size() - at < length)
                return;
            const QByteArray pdf = m_answer.mid(at, length);
            m_answer.remove(0, at + length);
            m_answered = true;
            m_serving = false;
            if (!(m_hasWanted && m_wanted != m_running)) {
                m_hasWanted = false;
                made(said, pdf);
            }
            startTool();
            return;
        }
        if (line.startsWith("error=")) {
            m_answer.remove(0, at);
            m_serving = false;
            m_answered = true;
            if (!(m_hasWanted && m_wanted != m_running)) {
                const QString reason = QString::fromUtf8(line.mid(line.indexOf(' ') + 1));
                emit failed(m_running, sheetCountIn(said), reason);
            }
            startTool();
            return;
        }
    }
}

void ProofMaker::serverEnded(ToolProcess *server)
{
    server->deleteLater();
    if (server != m_server)
        return;  // one that was asked to end
    m_server = nullptr;
    const bool asking = m_serving;
    m_serving = false;
    if (!m_answered) {
        // A tool that does not serve (an older one): one tool a side from now on.
        m_noServer = true;
        if (asking && !m_hasWanted) {
            m_wanted = m_running;
            m_hasWanted = true;
        }
    } else if (asking && !(m_hasWanted && m_wanted != m_running)) {
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
    m_serving = false;
    server->disconnect(this);
    server->closeWriteChannel();  // it ends when its input does
    server->endAndWait();
    delete server;
}
