#include "print/printjob.h"

#include "run/toolcontract.h"
#include "run/toolprocess.h"
#ifdef PLYJOIN_CUPS
#include "print/cupsqueue.h"
#endif

#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QThreadPool>

#include <poppler-qt6.h>

#include <memory>

PrintJob::PrintJob(const Request &request, QPrinter *printer, QObject *parent)
    : QObject(parent), m_request(request), m_printer(printer)
{
}

PrintJob::~PrintJob()
{
    stop();
}

void PrintJob::start()
{
    if (!m_request.imposed.isEmpty() && QFileInfo::exists(m_request.imposed)) {
        sheetsReady(m_request.imposed);
        return;
    }
    // Made as Start would make it, into a folder of the job's own.
    const QString output = m_folder.filePath(QStringLiteral("sheets.pdf"));
    runTool(QStringLiteral("Making the sheets"), toolArguments(m_request.options, m_request.input, output), output,
            [this](const QString &file) { sheetsReady(file); });
}

void PrintJob::runTool(const QString &what, const QStringList &arguments, const QString &output,
                       const std::function<void(const QString &)> &then)
{
    if (m_request.tool.isEmpty()) {
        fail(QStringLiteral("The tiling tool was not found."));
        return;
    }
    auto *tool = new ToolProcess(this);
    m_tool = tool;
    connect(tool, &ToolProcess::said, this, [this, what](const QString &chunk) {
        const int percent = progressInChunk(chunk);
        if (percent >= 0)
            emit progress(what, percent);
    });
    connect(tool, &ToolProcess::ended, this, [this, tool, output, then](const ToolEnd &end) {
        tool->deleteLater();
        if (m_stopped)
            return;
        if (!end.ok) {
            fail(end.reason);
            return;
        }
        then(output);
    });
    emit progress(what, 0);
    tool->run(m_request.tool, arguments);
}

void PrintJob::sheetsReady(const QString &file)
{
    const PaperChoice &paper = m_request.paper;
    if (paper.found && !paper.asTheyAre && m_request.toFile.isEmpty()) {
        placeOnPaper(file);
        return;
    }
    m_file = file;
    send();
}

void PrintJob::placeOnPaper(const QString &file)
{
    // One sheet to a paper, scaled down to fit its printable part and centred, turned as
    // the sheet lies: fronts and backs stay behind each other.
    const PaperChoice &paper = m_request.paper;
    const QSizeF size = paper.landscape ? paper.paper.size.transposed() : paper.paper.size;
    const auto points = [](double v) { return QString::number(v, 'f', 3); };
    const QStringList words{QStringLiteral("-per"), QStringLiteral("1*1"), QStringLiteral("-size"), QStringLiteral("Custom"),
                            points(size.width()), QStringLiteral("pt"), points(size.height()), QStringLiteral("pt"),
                            QStringLiteral("-fit"), QStringLiteral("shrink"),
                            QStringLiteral("-l"), points(paper.margins.left()), QStringLiteral("pt"),
                            QStringLiteral("-r"), points(paper.margins.right()), QStringLiteral("pt"),
                            QStringLiteral("-t"), points(paper.margins.top()), QStringLiteral("pt"),
                            QStringLiteral("-b"), points(paper.margins.bottom()), QStringLiteral("pt")};
    const QString output = m_folder.filePath(QStringLiteral("on-paper.pdf"));
    runTool(QStringLiteral("Placing the sheets on %1").arg(paper.paper.name), words + QStringList{QStringLiteral("--"), file, output},
            output, [this, size](const QString &placed) {
                m_request.sheet = size;
                m_file = placed;
                send();
            });
}

void PrintJob::send()
{
    const Request &r = m_request;
    if (!r.toFile.isEmpty()) {
        // To a file: the imposed PDF itself.
        QFile::remove(r.toFile);
        if (!QFile::copy(m_file, r.toFile)) {
            fail(QStringLiteral("%1 cannot be written.").arg(r.toFile));
            return;
        }
        m_done = true;
        emit finished(true, QStringLiteral("Written to %1.").arg(r.toFile));
        return;
    }
    const QList<int> pages = pagesToPrint(r.sideCount, r.from, r.to);
    if (r.byHand) {
        m_hand = handTwoSided(r.sideCount, pages.value(0, 1), pages.value(pages.size() - 1, r.sideCount), r.faceUp);
        m_parts << Part{m_file, m_hand.fronts.pageRanges, false, true};
        // The backs in the order handJobPages gives: a blank sheet (0) before them or after.
        const QList<int> backs = handJobPages(m_hand).value(1);
        if (backs.value(0, -1) == 0)
            m_parts << Part{blankPage(), QString(), false, false};
        if (m_hand.backs.pageCount > 0)
            m_parts << Part{m_file, m_hand.backs.pageRanges, m_hand.backs.reverse, false};
        if (backs.size() > 1 && backs.last() == 0)
            m_parts << Part{blankPage(), QString(), false, false};
    } else {
        m_parts << Part{m_file, r.from > 0 || r.to > 0 ? pageRanges(pages) : QString(), false, false};
    }
    sendNext();
}

void PrintJob::sendNext()
{
    if (m_stopped)
        return;
    if (m_parts.isEmpty()) {
        m_done = true;
        emit finished(true, m_request.byHand ? QStringLiteral("The fronts and the backs are printed.") : m_lastSaid);
        return;
    }
    const Part part = m_parts.takeFirst();
    const auto next = [this, part] {
        if (part.beforeTurn) {
            m_waitingForTurn = true;
            emit handTurnNeeded();
        } else {
            sendNext();
        }
    };
#ifdef PLYJOIN_CUPS
    if (!m_request.queue.isEmpty()) {
        auto *job = new CupsJob(this);
        m_job = job;
        connect(job, &CupsJob::progress, this, [this](const QString &state) { emit progress(state, -1); });
        connect(job, &CupsJob::finished, this, [this, job, next](bool accepted, const QString &message) {
            job->deleteLater();
            if (m_stopped)
                return;
            if (!accepted) {
                fail(message);
                return;
            }
            m_lastSaid = message;
            emit progress(message, 100);
            next();
        });
        CupsJob::Request request;
        request.queue = m_request.queue;
        request.file = part.file;
        request.title = QFileInfo(m_request.input).fileName();
        request.sides = sidesKeyword(m_request.asked);
        request.sheet = m_request.sheet;
        request.copies = m_request.byHand ? 1 : m_request.copies;
        request.collate = m_request.collate;
        request.pageRanges = part.pageRanges;
        request.reverse = part.reverse;
        emit progress(QStringLiteral("Sending to %1").arg(m_request.queue), -1);
        job->start(request);
        return;
    }
#endif
    drawSheets(part.file == m_file ? part.pageRanges : QStringLiteral("blank"), part.reverse, next);
}

void PrintJob::drawSheets(const QString &pages, bool reverse, const std::function<void()> &then)
{
    // The pages to draw, from the ranges (every page where there are none).
    QList<int> list;
    if (pages != QLatin1String("blank")) {
        if (pages.isEmpty()) {
            for (int page = 1; page <= m_request.sideCount; ++page)
                list << page;
        } else {
            for (const QString &range : pages.split(QLatin1Char(','))) {
                const int dash = int(range.indexOf(QLatin1Char('-')));
                const int a = range.left(dash < 0 ? range.size() : dash).toInt(), b = dash < 0 ? a : range.mid(dash + 1).toInt();
                for (int page = a; page <= b; ++page)
                    list << page;
            }
        }
        if (reverse)
            std::reverse(list.begin(), list.end());
    }
    auto painter = std::make_shared<QPainter>();
    if (!painter->begin(m_printer)) {
        fail(QStringLiteral("The printer %1 cannot be drawn on.").arg(m_printer->printerName()));
        return;
    }
    if (list.isEmpty()) {  // a blank page: begun and ended
        painter->end();
        then();
        return;
    }
    auto document = std::shared_ptr<Poppler::Document>(Poppler::Document::load(m_file).release());
    if (!document) {
        painter->end();
        fail(QStringLiteral("%1 cannot be read.").arg(m_file));
        return;
    }
    const double dpi = m_printer->resolution();
    // One sheet at a time: rendered on a worker at the printer's resolution, drawn here.
    auto drawFrom = std::make_shared<std::function<void(int)>>();
    *drawFrom = [this, list, painter, document, dpi, then, drawFrom](int i) {
        if (m_stopped) {
            painter->end();
            return;
        }
        if (i >= list.size()) {
            painter->end();
            then();
            return;
        }
        emit progress(QStringLiteral("Printing sheet %1 of %2").arg(i + 1).arg(list.size()), 100 * i / int(list.size()));
        const int page = list[i] - 1;
        QThreadPool::globalInstance()->start([this, document, page, dpi, painter, drawFrom, i] {
            std::unique_ptr<Poppler::Page> p(document->page(page));
            const QImage image = p ? p->renderToImage(dpi, dpi) : QImage();
            QMetaObject::invokeMethod(this, [this, image, painter, drawFrom, i] {
                if (i > 0)
                    m_printer->newPage();
                if (!image.isNull())
                    painter->drawImage(QRect(QPoint(0, 0), painter->viewport().size()), image);
                (*drawFrom)(i + 1);
            }, Qt::QueuedConnection);
        });
    };
    (*drawFrom)(0);
}

void PrintJob::continueWithBacks()
{
    if (!m_waitingForTurn)
        return;
    m_waitingForTurn = false;
    sendNext();
}

void PrintJob::stop()
{
    if (m_stopped || m_done)
        return;
    m_stopped = true;
    if (m_tool)
        m_tool->endAndWait();
#ifdef PLYJOIN_CUPS
    if (m_job)
        m_job->cancel();
#endif
}

void PrintJob::fail(const QString &message)
{
    m_done = true;
    emit finished(false, message);
}

QString PrintJob::blankPage()
{
    const QString path = m_folder.filePath(QStringLiteral("blank.pdf"));
    if (!QFileInfo::exists(path)) {
        QPdfWriter writer(path);
        writer.setPageSize(QPageSize(m_request.sheet, QPageSize::Point, QString(), QPageSize::ExactMatch));
        writer.setPageMargins(QMarginsF());
        QPainter painter(&writer);  // one page, nothing on it
    }
    return path;
}
