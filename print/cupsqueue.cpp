#include "print/cupsqueue.h"
#include "print/papernames.h"

#include <QFile>
#include <QMetaObject>

#include <cups/cups.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>

namespace {

// How long the job is followed before it counts as handed over anyway (a long job on a slow
// printer), and how often.
constexpr auto kFollowFor = std::chrono::seconds(120);
constexpr auto kPoll = std::chrono::milliseconds(300);

struct Connection
{
    http_t *http = nullptr;
    cups_dest_t *dest = nullptr;
    cups_dinfo_t *info = nullptr;
    ~Connection()
    {
        if (info)
            cupsFreeDestInfo(info);
        if (dest)
            cupsFreeDests(1, dest);
        if (http)
            httpClose(http);
    }
    // Connects to the server (CUPS_SERVER, else the system's) and finds the queue; an empty
    // text when it did, else why not.
    QString open(const QString &queue)
    {
        http = httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, 30000, nullptr);
        if (!http)
            return QStringLiteral("The print server %1 cannot be reached.").arg(QString::fromUtf8(cupsServer()));
        dest = cupsGetNamedDest(http, queue.toUtf8().constData(), nullptr);
        if (!dest)
            return QStringLiteral("There is no printer queue named \"%1\" on %2.").arg(queue, QString::fromUtf8(cupsServer()));
        info = cupsCopyDestInfo(http, dest);
        return QString();
    }
};

QString lastError()
{
    return QString::fromUtf8(cupsLastErrorString());
}

// A job's state and what the server says of it.
struct JobState
{
    ipp_jstate_t state = IPP_JSTATE_PENDING;
    QString reasons, message;
    bool known = false;
};

JobState jobState(http_t *http, int id)
{
    JobState s;
    ipp_t *request = ippNewRequest(IPP_OP_GET_JOB_ATTRIBUTES);
    const QByteArray uri = QByteArray("ipp://localhost/jobs/") + QByteArray::number(id);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "job-uri", nullptr, uri.constData());
    static const char *const wanted[] = {"job-state", "job-state-reasons", "job-printer-state-message"};
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 3, nullptr, wanted);
    ipp_t *response = cupsDoRequest(http, request, "/");
    if (!response)
        return s;
    if (ipp_attribute_t *a = ippFindAttribute(response, "job-state", IPP_TAG_ENUM)) {
        s.state = ipp_jstate_t(ippGetInteger(a, 0));
        s.known = true;
    }
    if (ipp_attribute_t *a = ippFindAttribute(response, "job-state-reasons", IPP_TAG_KEYWORD)) {
        QStringList reasons;
        for (int i = 0; i < ippGetCount(a); ++i)
            reasons << QString::fromUtf8(ippGetString(a, i, nullptr));
        s.reasons = reasons.join(QStringLiteral(", "));
    }
    if (ipp_attribute_t *a = ippFindAttribute(response, "job-printer-state-message", IPP_TAG_TEXT))
        s.message = QString::fromUtf8(ippGetString(a, 0, nullptr));
    ippDelete(response);
    return s;
}

// The queue's printer is stopped: its state, and why.
bool printerStopped(http_t *http, const QByteArray &queue, QString &why)
{
    cups_dest_t *dest = cupsGetNamedDest(http, queue.constData(), nullptr);
    if (!dest)
        return false;
    const char *state = cupsGetOption("printer-state", dest->num_options, dest->options);
    const char *message = cupsGetOption("printer-state-message", dest->num_options, dest->options);
    const char *reasons = cupsGetOption("printer-state-reasons", dest->num_options, dest->options);
    const bool stopped = state && QByteArray(state) == QByteArray::number(int(IPP_PSTATE_STOPPED));
    why = QString::fromUtf8(message && *message ? message : reasons ? reasons : "");
    cupsFreeDests(1, dest);
    return stopped;
}

QString stateWord(ipp_jstate_t state)
{
    switch (state) {
    case IPP_JSTATE_PENDING: return QStringLiteral("waiting");
    case IPP_JSTATE_HELD: return QStringLiteral("held");
    case IPP_JSTATE_PROCESSING: return QStringLiteral("printing");
    case IPP_JSTATE_STOPPED: return QStringLiteral("stopped");
    case IPP_JSTATE_CANCELED: return QStringLiteral("cancelled");
    case IPP_JSTATE_ABORTED: return QStringLiteral("aborted");
    case IPP_JSTATE_COMPLETED: return QStringLiteral("printed");
    }
    return QString();
}

// The job's options, as IPP names them; the media by its size (PWG's self-describing name).
int jobOptions(const CupsJob::Request &request, cups_option_t **options)
{
    int count = 0;
    auto add = [&](const char *name, const QString &value) {
        count = cupsAddOption(name, value.toUtf8().constData(), count, options);
    };
    add("sides", request.sides);
    if (request.sheet.isValid()) {
        // Media are named upright; a landscape sheet is the same medium turned.
        const int a = int(std::lround(request.sheet.width() * 2540 / 72)), b = int(std::lround(request.sheet.height() * 2540 / 72));
        if (pwg_media_t *media = pwgMediaForSize(std::min(a, b), std::max(a, b)))
            add("media", QString::fromUtf8(media->pwg));
        add("orientation-requested", a > b ? QStringLiteral("4") : QStringLiteral("3"));  // landscape, portrait
    }
    add("copies", QString::number(std::max(1, request.copies)));
    add("collate", request.collate ? QStringLiteral("true") : QStringLiteral("false"));
    if (!request.pageRanges.isEmpty())
        add("page-ranges", request.pageRanges);
    if (request.reverse)
        add("outputorder", QStringLiteral("reverse"));
    return count;
}

} // namespace

CupsJob::CupsJob(QObject *parent) : QObject(parent) {}

CupsJob::~CupsJob()
{
    m_cancel = true;
    if (m_worker.joinable())
        m_worker.join();
}

void CupsJob::start(const Request &request)
{
    if (m_worker.joinable())
        m_worker.join();
    m_cancel = false;
    m_done = false;
    m_worker = std::thread([this, request] { run(request); });
}

void CupsJob::cancel()
{
    m_cancel = true;
}

void CupsJob::say(const QString &state)
{
    QMetaObject::invokeMethod(this, [this, state] { emit progress(state); }, Qt::QueuedConnection);
}

void CupsJob::end(bool accepted, const QString &message)
{
    m_done = true;
    QMetaObject::invokeMethod(this, [this, accepted, message] { emit finished(accepted, message); }, Qt::QueuedConnection);
}

namespace {

struct Outcome
{
    bool accepted;
    QString message;
};

// Follows a job until the printer has it, or a while.
Outcome follow(Connection &c, int id, const QString &queueName, const std::atomic<bool> &cancel,
               const std::function<void(const QString &)> &say)
{
    const auto until = std::chrono::steady_clock::now() + kFollowFor;
    const QByteArray queue = queueName.toUtf8();
    while (std::chrono::steady_clock::now() < until) {
        if (cancel) {
            cupsCancelDestJob(c.http, c.dest, id);
            return {false, QStringLiteral("Stopped: job %1 is cancelled.").arg(id)};
        }
        const JobState s = jobState(c.http, id);
        if (s.known)
            say(QStringLiteral("job %1: %2").arg(id).arg(stateWord(s.state)));
        const QString why = !s.message.isEmpty() ? s.message : s.reasons;
        switch (s.state) {
        case IPP_JSTATE_COMPLETED:
            return {true, QStringLiteral("Job %1 is %2 on %3.").arg(id).arg(stateWord(s.state), queueName)};
        case IPP_JSTATE_PROCESSING:
            break;  // its filters and the printer may still refuse it
        case IPP_JSTATE_CANCELED:
        case IPP_JSTATE_ABORTED:
        case IPP_JSTATE_STOPPED:
            return {false, QStringLiteral("Job %1 on %2 was %3: %4").arg(id).arg(queueName, stateWord(s.state), why)};
        case IPP_JSTATE_PENDING:
        case IPP_JSTATE_HELD: {
            QString stopped;
            if (printerStopped(c.http, queue, stopped))
                return {false, QStringLiteral("The printer %1 is stopped%2: job %3 waits in its queue until the "
                                              "printer is started again.")
                                   .arg(queueName, stopped.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(stopped))
                                   .arg(id)};
            break;
        }
        }
        std::this_thread::sleep_for(kPoll);
    }
    return {true, QStringLiteral("Job %1 is on its way to %2.").arg(id).arg(queueName)};
}

} // namespace

void CupsJob::run(const Request &request)
{
    Connection c;
    const QString missing = c.open(request.queue);
    if (!missing.isEmpty())
        return end(false, missing);
    QFile file(request.file);
    if (!file.open(QIODevice::ReadOnly))
        return end(false, QStringLiteral("%1 cannot be read: %2").arg(request.file, file.errorString()));

    cups_option_t *options = nullptr;
    const int count = jobOptions(request, &options);

    int id = 0;
    const QByteArray title = request.title.toUtf8();
    ipp_status_t status = cupsCreateDestJob(c.http, c.dest, c.info, &id, title.constData(), count, options);
    if (status > IPP_STATUS_OK_CONFLICTING || id <= 0) {
        cupsFreeOptions(count, options);
        return end(false, QStringLiteral("%1 refused the job: %2").arg(request.queue, lastError()));
    }
    say(QStringLiteral("job %1: sending").arg(id));
    if (cupsStartDestDocument(c.http, c.dest, c.info, id, title.constData(), CUPS_FORMAT_PDF, count, options, 1)
        != HTTP_STATUS_CONTINUE) {
        cupsFreeOptions(count, options);
        cupsCancelDestJob(c.http, c.dest, id);
        return end(false, QStringLiteral("%1 refused the job: %2").arg(request.queue, lastError()));
    }
    cupsFreeOptions(count, options);
    bool written = true;
    while (!file.atEnd() && written && !m_cancel) {
        const QByteArray chunk = file.read(64 * 1024);
        written = cupsWriteRequestData(c.http, chunk.constData(), size_t(chunk.size())) == HTTP_STATUS_CONTINUE;
    }
    status = cupsFinishDestDocument(c.http, c.dest, c.info);
    if (m_cancel) {
        cupsCancelDestJob(c.http, c.dest, id);
        return end(false, QStringLiteral("Stopped: job %1 is cancelled.").arg(id));
    }
    if (!written || status > IPP_STATUS_OK_CONFLICTING)
        return end(false, QStringLiteral("%1 did not take job %2: %3").arg(request.queue).arg(id).arg(lastError()));

    const Outcome outcome = follow(c, id, request.queue, m_cancel, [this](const QString &state) { say(state); });
    end(outcome.accepted, outcome.message);
}

// Follows a job until the printer has it: whether it was accepted, and what to say.

PrinterAbilities askPrinter(const QString &queue)
{
    PrinterAbilities a;
    Connection c;
    a.error = c.open(queue);
    if (!a.error.isEmpty())
        return a;
    if (!c.info) {
        a.error = lastError();
        return a;
    }
    a.known = true;
    // Sizes in hundredths of a millimetre; the printable area's margins too.
    const double perUnit = 72.0 / 2540;
    const int count = cupsGetDestMediaCount(c.http, c.dest, c.info, 0);
    for (int i = 0; i < count; ++i) {
        cups_size_t size;
        if (!cupsGetDestMediaByIndex(c.http, c.dest, c.info, i, 0, &size) || size.width <= 0 || size.length <= 0)
            continue;
        const char *localized = cupsLocalizeDestMedia(c.http, c.dest, c.info, 0, &size);
        Paper paper{QString::fromUtf8(size.media), QSizeF(size.width * perUnit, size.length * perUnit),
                    QMarginsF(size.left * perUnit, size.top * perUnit, size.right * perUnit, size.bottom * perUnit),
                    paperName(QString::fromUtf8(size.media), localized ? QString::fromUtf8(localized) : QString())};
        // The same paper with other margins (borderless) comes once, with its border.
        const bool seen = std::any_of(a.papers.begin(), a.papers.end(), [&paper](const Paper &p) {
            return std::fabs(p.size.width() - paper.size.width()) < 1 && std::fabs(p.size.height() - paper.size.height()) < 1;
        });
        if (!seen)
            a.papers << paper;
    }
    const int loaded = cupsGetDestMediaCount(c.http, c.dest, c.info, CUPS_MEDIA_FLAGS_READY);
    for (int i = 0; i < loaded; ++i) {
        cups_size_t size;
        if (!cupsGetDestMediaByIndex(c.http, c.dest, c.info, i, CUPS_MEDIA_FLAGS_READY, &size))
            continue;
        // By its size: the names of the ready ones may carry a tray's margins.
        for (const Paper &p : a.papers) {
            if (std::fabs(p.size.width() - size.width * perUnit) < 1 && std::fabs(p.size.height() - size.length * perUnit) < 1)
                a.readyPapers << p.name;
        }
    }
    cups_size_t fallback;
    if (cupsGetDestMediaDefault(c.http, c.dest, c.info, 0, &fallback))
        a.defaultPaper = QString::fromUtf8(fallback.media);
    a.twoSided = cupsCheckDestSupported(c.http, c.dest, c.info, CUPS_SIDES, CUPS_SIDES_TWO_SIDED_PORTRAIT)
                 || cupsCheckDestSupported(c.http, c.dest, c.info, CUPS_SIDES, CUPS_SIDES_TWO_SIDED_LANDSCAPE);
    a.takesPdf = cupsCheckDestSupported(c.http, c.dest, c.info, "document-format", CUPS_FORMAT_PDF)
                 || cupsCheckDestSupported(c.http, c.dest, c.info, "document-format", CUPS_FORMAT_AUTO);
    if (ipp_attribute_t *copies = cupsFindDestSupported(c.http, c.dest, c.info, CUPS_COPIES)) {
        // ippGetRange answers the lower bound and writes the upper one.
        int upper = 0;
        if (ippGetValueTag(copies) == IPP_TAG_RANGE && ippGetRange(copies, 0, &upper) >= 1)
            a.maxCopies = upper;
    }
    return a;
}
