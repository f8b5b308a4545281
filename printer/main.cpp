// plyjoin-printer: a driverless IPP Everywhere printer, "Tavrell PDF Plyjoin", that any
// application prints into. It runs as the user, one for each user, in the user's session;
// what it receives it keeps in the user's jobs folder and hands to the program, which shows it
// as a row ready to impose and print on a real printer.
//
//   plyjoin-printer server [-o server-port=N] [-o spool-directory=DIR] [-o log-file=FILE]
//                          [-o log-level=LEVEL]
//   plyjoin-printer uri      the address IPP clients of this user print to
//   plyjoin-printer stop     ends this user's printer
//
// Who may use it is decided by the kernel, never by what a client writes about itself:
// - its IPP socket lies in the user's runtime folder, which only the user may enter; the
//   system's CUPS queue reaches it there through the backend (printer/backend.cpp), acting
//   for the user CUPS authenticated;
// - on localhost TCP, for IPP clients of the user's, every request that reads or changes jobs
//   or the printer is refused (403, client-error-forbidden) unless the kernel's socket table
//   says the connection is the user's own.
// Nothing is announced on the network.
//
// PDF is taken as it is, JPEG as a page of its own size; PWG raster (which IPP Everywhere
// clients may send) is taken page by page within caps, its lines compressed as they come.
#include "handoff.h"
#include "peer.h"
#include "picturepdf.h"
#include "userplaces.h"

#include <pappl/pappl.h>

#include <arpa/inet.h>
#include <cerrno>
#include <clocale>
#include <condition_variable>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <langinfo.h>
#include <memory>
#include <mutex>
#include <netinet/in.h>
#include <set>
#include <string>
#include <sys/file.h>
#include <thread>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char kDriver[] = "plyjoin";
const char kDeviceId[] = "MFG:Tavrell;MDL:PDF Plyjoin;CMD:PDF,JPEG,PWGRaster;CLS:PRINTER;";

// The papers an application may ask for: the ISO, North American, Japanese and envelope sizes
// in common use, and any size in between.
const char *const kMedia[] = {
    "iso_a4_210x297mm", "na_letter_8.5x11in", "iso_a5_148x210mm", "iso_a3_297x420mm", "na_legal_8.5x14in",
    "na_ledger_11x17in", "iso_a6_105x148mm", "iso_a2_420x594mm", "iso_a1_594x841mm", "iso_a0_841x1189mm",
    "iso_b4_250x353mm", "iso_b5_176x250mm", "iso_b6_125x176mm", "jis_b4_257x364mm", "jis_b5_182x257mm",
    "na_executive_7.25x10.5in", "na_invoice_5.5x8.5in", "na_govt-letter_8x10in", "na_foolscap_8.5x13in",
    "om_folio_210x330mm", "na_index-3x5_3x5in", "na_index-4x6_4x6in", "na_5x7_5x7in", "na_index-5x8_5x8in",
    "om_small-photo_100x150mm", "jpn_hagaki_100x148mm", "iso_ra4_215x305mm", "iso_sra3_320x450mm",
    "na_arch-a_9x12in", "na_arch-b_12x18in", "na_super-b_13x19in", "na_number-10_4.125x9.5in",
    "iso_dl_110x220mm", "iso_c4_229x324mm", "iso_c5_162x229mm", "iso_c6_114x162mm", "na_monarch_3.875x7.5in",
    "custom_min_1x1in", "custom_max_48x96in"};

struct Places
{
    std::string runtime, jobs, spool;
};
Places g_places;
std::unique_ptr<ProgramStarter> g_starter;

// The paper of the user's locale: Letter where Letter is the custom, else A4.
const char *localePaper()
{
    std::setlocale(LC_PAPER, "");
    const auto width = reinterpret_cast<std::intptr_t>(nl_langinfo(_NL_PAPER_WIDTH));
    const auto height = reinterpret_cast<std::intptr_t>(nl_langinfo(_NL_PAPER_HEIGHT));
    return width == 216 && height == 279 ? "na_letter_8.5x11in" : "iso_a4_210x297mm";
}

// The machine's queue offers its paper (the machine's) where an application must choose one:
// for this user, the paper of the user's locale, where that is another and the user has not
// chosen one for the queue.
void offerLocalePaper()
{
    pwg_media_t *paper = pwgMediaForPWG(localePaper());
    cups_dest_t *dests = nullptr;
    const int count = cupsGetDests2(CUPS_HTTP_DEFAULT, &dests);
    cups_dest_t *queue = cupsGetDest(userplaces::kQueueName, nullptr, count, dests);
    cups_size_t size{};
    cups_dinfo_t *info = queue ? cupsCopyDestInfo(CUPS_HTTP_DEFAULT, queue) : nullptr;
    pwg_media_t *now = info && cupsGetDestMediaDefault(CUPS_HTTP_DEFAULT, queue, info, 0, &size)
                           ? pwgMediaForPWG(size.media)
                           : nullptr;
    if (info)
        cupsFreeDestInfo(info);
    // The user's own choice is kept: an lpoptions line for the queue names one.
    const char *home = std::getenv("HOME");
    std::ifstream own(std::string(home ? home : "") + "/.cups/lpoptions");
    bool chosen = false;
    for (std::string line; std::getline(own, line);)
        chosen = chosen || (line.find(userplaces::kQueueName) != std::string::npos
                            && (line.find("PageSize=") != std::string::npos || line.find("media=") != std::string::npos));
    if (queue && paper && paper->ppd && now && std::strcmp(now->pwg, paper->pwg) != 0 && !chosen) {
        queue->num_options = cupsAddOption("PageSize", paper->ppd, queue->num_options, &queue->options);
        cupsSetDests2(CUPS_HTTP_DEFAULT, count, dests);
    }
    cupsFreeDests(count, dests);
}

std::string attribute(pappl_job_t *job, const char *name)
{
    ipp_attribute_t *a = papplJobGetAttribute(job, name);
    if (!a)
        return std::string();
    char text[1024];
    ippAttributeString(a, text, sizeof text);
    return text;
}

// The paper a job asked for, by its name or its size.
std::string mediaOf(pappl_job_t *job)
{
    if (ipp_attribute_t *media = papplJobGetAttribute(job, "media"))
        return ippGetString(media, 0, nullptr) ? ippGetString(media, 0, nullptr) : "";
    ipp_attribute_t *col = papplJobGetAttribute(job, "media-col");
    ipp_t *c = col ? ippGetCollection(col, 0) : nullptr;
    if (!c)
        return std::string();
    if (ipp_attribute_t *name = ippFindAttribute(c, "media-size-name", IPP_TAG_ZERO))
        return ippGetString(name, 0, nullptr) ? ippGetString(name, 0, nullptr) : "";
    ipp_attribute_t *size = ippFindAttribute(c, "media-size", IPP_TAG_BEGIN_COLLECTION);
    ipp_t *s = size ? ippGetCollection(size, 0) : nullptr;
    if (!s)
        return std::string();
    const int x = ippGetInteger(ippFindAttribute(s, "x-dimension", IPP_TAG_INTEGER), 0);
    const int y = ippGetInteger(ippFindAttribute(s, "y-dimension", IPP_TAG_INTEGER), 0);
    pwg_media_t *pwg = x > 0 && y > 0 ? pwgMediaForSize(x, y) : nullptr;
    return pwg && pwg->pwg ? pwg->pwg : std::string();
}

ReceivedJob describe(pappl_job_t *job)
{
    ReceivedJob r;
    r.id = papplJobGetID(job);
    r.title = papplJobGetName(job) ? papplJobGetName(job) : "";
    r.user = papplJobGetUsername(job) ? papplJobGetUsername(job) : "";
    r.format = papplJobGetFormat(job) ? papplJobGetFormat(job) : "";
    r.sides = attribute(job, "sides");
    r.media = mediaOf(job);
    const int copies = std::atoi(attribute(job, "copies").c_str());
    r.copies = copies > 0 ? copies : 1;
    return r;
}

// Runs a step of a job; no exception ever reaches PAPPL's C code: a failure ends the job with
// its reason.
template <typename Step>
bool guarded(pappl_job_t *job, Step step)
{
    try {
        return step();
    } catch (const std::exception &e) {
        papplJobSetMessage(job, "The job could not be taken: %s", e.what());
    } catch (...) {
        papplJobSetMessage(job, "The job could not be taken.");
    }
    return false;
}

// Keeps the job for the user and tells the program (or starts it); false (the job aborted,
// with the reason as its message) where it cannot be kept.
bool handOver(pappl_job_t *job, const ReceivedJob &received, const std::function<bool(std::FILE *)> &write)
{
    if (!userplaces::makePrivateFolder(g_places.jobs)) {
        papplJobSetMessage(job, "The jobs folder %s cannot be made.", g_places.jobs.c_str());
        return false;
    }
    std::string error;
    const std::string kept = keepJob(g_places.jobs, received, write, error);
    if (kept.empty()) {
        papplJobSetMessage(job, "The job could not be kept: %s", error.c_str());
        papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "Not kept: %s", error.c_str());
        return false;
    }
    papplLogJob(job, PAPPL_LOGLEVEL_INFO, "Kept as %s", kept.c_str());
    g_starter->tellOrStart();
    return true;
}

std::string scratchFor(pappl_job_t *job)
{
    return g_places.spool + "/.scratch-" + std::to_string(papplJobGetID(job)) + "-" + std::to_string(getpid());
}

// PAPPL 1.3 may start one job twice when jobs arrive together (it starts a pending job in a
// thread of its own, and the job is pending until that thread runs): the job is kept by the
// first, and the second waits for it to end, so that nothing is kept twice and the document is
// not taken away while it is kept.
class JobClaims
{
public:
    // True for the first to claim the job; a later one returns once the first is done.
    bool claim(int id)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (m_claimed.insert(id).second)
            return true;
        m_ended.wait(lock, [&] { return m_done.count(id) > 0; });
        return false;
    }
    void done(int id)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_done.insert(id);
        m_ended.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_ended;
    std::set<int> m_claimed, m_done;
};
JobClaims g_claims;

// A document received whole (PDF or JPEG): its attributes are written beside it first, so
// that a printer ended while keeping it keeps it at its next start.
bool keepDocument(pappl_job_t *job, pappl_device_t *, void *)
{
    if (!g_claims.claim(papplJobGetID(job)))
        return true;
    struct Done
    {
        int id;
        ~Done() { g_claims.done(id); }
    } done{papplJobGetID(job)};
    return guarded(job, [job] {
        const std::string file = papplJobGetFilename(job) ? papplJobGetFilename(job) : "";
        ReceivedJob received = describe(job);
        received.spool = spoolIdentity(file);
        const std::string sidecar = file + ".job", text = jobAttributesText(received);
        if (FILE *f = std::fopen(sidecar.c_str(), "wb")) {
            std::fwrite(text.data(), 1, text.size(), f);
            std::fflush(f);
            fsync(fileno(f));
            std::fclose(f);
        }
        std::string error;
        const bool ok = handOver(job, received, [&](std::FILE *out) {
            return writeDocumentAsPdf(file, received.format, scratchFor(job), out, error);
        });
        if (!ok && !error.empty())
            papplJobSetMessage(job, "The job could not be taken: %s", error.c_str());
        unlink(sidecar.c_str());
        return ok;
    });
}

bool printFile(pappl_job_t *job, pappl_pr_options_t *, pappl_device_t *device)
{
    return keepDocument(job, device, nullptr);
}

// Pictures: each page's lines compressed as they come, the PDF made at the job's end.
struct Pictures
{
    explicit Pictures(const std::string &scratch) : pdf(scratch) {}
    PicturePdf pdf;
    bool failed = false;
};

bool startJob(pappl_job_t *job, pappl_pr_options_t *, pappl_device_t *)
{
    return guarded(job, [job] {
        papplJobSetData(job, new Pictures(scratchFor(job)));
        return true;
    });
}

bool startPage(pappl_job_t *job, pappl_pr_options_t *options, pappl_device_t *, unsigned page)
{
    return guarded(job, [&] {
        auto *pictures = static_cast<Pictures *>(papplJobGetData(job));
        if (!pictures)
            return false;
        const RasterPageFormat format = rasterPageFormatOf(options->header);
        std::string error;
        if (page != pictures->pdf.pages() + 1 || !pictures->pdf.startRasterPage(format, error)) {
            papplJobSetMessage(job, "%s", error.empty() ? "The pages came out of order." : error.c_str());
            papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "Refused: %s", error.c_str());
            pictures->failed = true;
            return false;
        }
        return true;
    });
}

bool writeLine(pappl_job_t *job, pappl_pr_options_t *, pappl_device_t *, unsigned y, const unsigned char *line)
{
    return guarded(job, [&] {
        auto *pictures = static_cast<Pictures *>(papplJobGetData(job));
        if (pictures && !pictures->failed && !pictures->pdf.addRasterLine(y, line))
            pictures->failed = true;
        return pictures && !pictures->failed;
    });
}

bool endPage(pappl_job_t *job, pappl_pr_options_t *, pappl_device_t *, unsigned)
{
    return guarded(job, [job] {
        auto *pictures = static_cast<Pictures *>(papplJobGetData(job));
        std::string error;
        if (pictures && !pictures->failed && !pictures->pdf.endRasterPage(error)) {
            papplJobSetMessage(job, "%s", error.c_str());
            pictures->failed = true;
        }
        return pictures && !pictures->failed;
    });
}

bool endJob(pappl_job_t *job, pappl_pr_options_t *, pappl_device_t *)
{
    std::unique_ptr<Pictures> pictures(static_cast<Pictures *>(papplJobGetData(job)));
    papplJobSetData(job, nullptr);
    return guarded(job, [&] {
        if (!pictures || pictures->failed || pictures->pdf.pages() == 0)
            return false;
        ReceivedJob received = describe(job);
        std::string error;
        const bool ok = handOver(job, received, [&](std::FILE *out) { return pictures->pdf.write(out, error); });
        if (!ok && !error.empty())
            papplJobSetMessage(job, "The pictures could not be made into a PDF: %s", error.c_str());
        return ok;
    });
}

void identify(pappl_printer_t *printer, pappl_identify_actions_t, const char *message)
{
    papplLogPrinter(printer, PAPPL_LOGLEVEL_INFO, "Identify: %s", message ? message : "");
}

// What IPP Everywhere asks of a printer that PAPPL does not say itself.
ipp_t *everywhereAttributes()
{
    ipp_t *attrs = ippNew();
    ippAddBoolean(attrs, IPP_TAG_PRINTER, "preferred-attributes-supported", 0);
    const char *const overrides[] = {"document-number", "pages"};
    ippAddStrings(attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "overrides-supported", 2, nullptr, overrides);
    ippAddString(attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "print-rendering-intent-default", nullptr, "auto");
    ippAddString(attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "print-rendering-intent-supported", nullptr, "auto");
    return attrs;
}

bool driverData(pappl_system_t *, const char *, const char *, const char *, pappl_pr_driver_data_t *d, ipp_t **attrs,
                void *)
{
    *attrs = everywhereAttributes();
    d->identify_cb = identify;
    d->identify_default = d->identify_supported = PAPPL_IDENTIFY_ACTIONS_DISPLAY;
    d->printfile_cb = printFile;
    d->rstartjob_cb = startJob;
    d->rstartpage_cb = startPage;
    d->rwriteline_cb = writeLine;
    d->rendpage_cb = endPage;
    d->rendjob_cb = endJob;
    // Documents go through the filters below (PDF and JPEG kept as they are); any other
    // format the client names is sniffed, and refused unless it is one of them.
    d->format = "application/octet-stream";
    std::snprintf(d->make_and_model, sizeof d->make_and_model, "%s", userplaces::kPrinterName);
    d->ppm = 60;
    d->ppm_color = 60;
    d->kind = PAPPL_KIND_DOCUMENT;
    d->color_supported = pappl_color_mode_t(PAPPL_COLOR_MODE_AUTO | PAPPL_COLOR_MODE_COLOR | PAPPL_COLOR_MODE_MONOCHROME);
    d->color_default = PAPPL_COLOR_MODE_AUTO;
    d->content_default = PAPPL_CONTENT_AUTO;
    d->quality_default = IPP_QUALITY_NORMAL;
    d->scaling_default = PAPPL_SCALING_AUTO;
    d->orient_default = IPP_ORIENT_PORTRAIT;
    d->raster_types = pappl_raster_type_t(PAPPL_PWG_RASTER_TYPE_SGRAY_8 | PAPPL_PWG_RASTER_TYPE_SRGB_8);
    d->duplex = PAPPL_DUPLEX_NORMAL;
    d->sides_supported =
        pappl_sides_t(PAPPL_SIDES_ONE_SIDED | PAPPL_SIDES_TWO_SIDED_LONG_EDGE | PAPPL_SIDES_TWO_SIDED_SHORT_EDGE);
    d->sides_default = PAPPL_SIDES_ONE_SIDED;
    d->num_resolution = 2;
    d->x_resolution[0] = d->y_resolution[0] = 300;
    d->x_resolution[1] = d->y_resolution[1] = 600;
    d->x_default = d->y_default = 300;
    d->borderless = true;
    d->left_right = d->bottom_top = 0;
    d->num_media = int(sizeof kMedia / sizeof *kMedia);
    for (int i = 0; i < d->num_media; ++i)
        d->media[i] = kMedia[i];
    d->num_source = 1;
    d->source[0] = "auto";
    d->num_type = 1;
    d->type[0] = "stationery";
    pappl_media_col_t &media = d->media_default;
    const char *paper = localePaper();
    pwg_media_t *pwg = pwgMediaForPWG(paper);
    std::snprintf(media.size_name, sizeof media.size_name, "%s", paper);
    media.size_width = pwg ? pwg->width : 21000;
    media.size_length = pwg ? pwg->length : 29700;
    std::snprintf(media.source, sizeof media.source, "auto");
    std::snprintf(media.type, sizeof media.type, "stationery");
    d->media_ready[0] = media;
    return true;
}

pappl_pr_driver_t kDrivers[] = {{kDriver, userplaces::kPrinterName, kDeviceId, nullptr}};

// TCP requests that read or change jobs or the printer: only the user's own connections.
http_status_t authorize(pappl_client_t *client, const char *, gid_t, void *)
{
    const long uid = peer::tcpSocketUser(httpGetFd(papplClientGetHTTP(client)));
    if (uid == long(getuid()))
        return HTTP_STATUS_CONTINUE;
    papplLogClient(client, PAPPL_LOGLEVEL_WARN, "Refused a request of user %ld: this printer is user %ld's.", uid,
                   long(getuid()));
    return HTTP_STATUS_FORBIDDEN;
}

bool portIsFree(int port)
{
    bool free = true;
    for (int family : {AF_INET, AF_INET6}) {
        const int fd = socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0)
            continue;
        sockaddr_storage address{};
        socklen_t size;
        if (family == AF_INET) {
            auto &in = reinterpret_cast<sockaddr_in &>(address);
            in.sin_family = AF_INET;
            in.sin_port = htons(uint16_t(port));
            in.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            size = sizeof in;
        } else {
            auto &in6 = reinterpret_cast<sockaddr_in6 &>(address);
            in6.sin6_family = AF_INET6;
            in6.sin6_port = htons(uint16_t(port));
            in6.sin6_addr = in6addr_loopback;
            size = sizeof in6;
        }
        const int yes = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        if (bind(fd, reinterpret_cast<sockaddr *>(&address), size) != 0 && errno != EADDRNOTAVAIL)
            free = false;
        close(fd);
    }
    return free;
}

// The user's port where it is free; else one the kernel has free. Someone listening there
// first takes nothing: the queue reaches this printer through its private socket.
int choosePort()
{
    const int preferred = userplaces::preferredPrinterPort();
    if (portIsFree(preferred))
        return preferred;
    for (int attempt = 0; attempt < 20; ++attempt) {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in in{};
        in.sin_family = AF_INET;
        in.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof in;
        int port = 0;
        if (fd >= 0 && bind(fd, reinterpret_cast<sockaddr *>(&in), sizeof in) == 0
            && getsockname(fd, reinterpret_cast<sockaddr *>(&in), &size) == 0)
            port = ntohs(in.sin_port);
        if (fd >= 0)
            close(fd);
        if (port && portIsFree(port))
            return port;
    }
    return 0;
}

bool writeTextFile(const std::string &path, const std::string &text)
{
    const std::string part = path + ".part";
    std::ofstream out(part, std::ios::trunc);
    out << text;
    out.close();
    return out && std::rename(part.c_str(), path.c_str()) == 0;
}

// Every few seconds: the spool folder is there (someone may have removed it), and the session
// the printer was started in still runs (it ends with it).
bool keepUp(pappl_system_t *system, void *)
{
    userplaces::makePrivateFolder(g_places.spool);
    // The session's state as logind keeps it ($PLYJOIN_SESSIONS names the folder for tests).
    static const std::string session = std::getenv("XDG_SESSION_ID") ? std::getenv("XDG_SESSION_ID") : "";
    static const std::string sessions = std::getenv("PLYJOIN_SESSIONS") ? std::getenv("PLYJOIN_SESSIONS")
                                                                          : "/run/systemd/sessions";
    static const std::string state = sessions + "/" + session;
    static const bool tracked = !session.empty() && access(state.c_str(), R_OK) == 0;
    if (tracked) {
        std::ifstream file(state);
        std::string line;
        bool ending = !file;
        while (std::getline(file, line))
            ending = ending || line == "STATE=closing";
        if (ending) {
            papplLog(system, PAPPL_LOGLEVEL_INFO, "The session ended: the printer ends with it.");
            papplSystemShutdown(system);
            return false;
        }
    }
    return true;
}

// Jobs kept at the start from what an ended printer left: the program is told.
bool tellOfRecovered(pappl_system_t *, void *)
{
    g_starter->tellOrStart();
    return false;
}

struct ServerOptions
{
    int port = 0;
    std::string spool, logFile = "-";
    pappl_loglevel_t level = PAPPL_LOGLEVEL_WARN;
};

bool parseOptions(int argc, char *argv[], ServerOptions &o)
{
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "-o") != 0 || i + 1 >= argc) {
            std::fprintf(stderr, "plyjoin-printer: unknown argument %s\n", argv[i]);
            return false;
        }
        const std::string option = argv[++i];
        const std::size_t equals = option.find('=');
        const std::string name = option.substr(0, equals), value = equals == std::string::npos ? "" : option.substr(equals + 1);
        if (name == "server-port")
            o.port = std::atoi(value.c_str());
        else if (name == "spool-directory")
            o.spool = value;
        else if (name == "log-file")
            o.logFile = value;
        else if (name == "log-level")
            o.level = value == "debug" ? PAPPL_LOGLEVEL_DEBUG : value == "info" ? PAPPL_LOGLEVEL_INFO
                    : value == "error" ? PAPPL_LOGLEVEL_ERROR : PAPPL_LOGLEVEL_WARN;
    }
    return true;
}

// This user's printer runs while it holds the lock in the runtime folder; the lock file says
// its process.
int takeLock(const std::string &runtime, bool &taken)
{
    const int fd = open((runtime + "/printer.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    taken = fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0;
    return fd;
}

pid_t runningPrinter(const std::string &runtime)
{
    bool taken = false;
    const int fd = takeLock(runtime, taken);
    pid_t pid = 0;
    if (fd >= 0 && !taken) {
        char text[32] = "";
        if (pread(fd, text, sizeof text - 1, 0) > 0)
            pid = pid_t(std::atol(text));
    }
    if (fd >= 0)
        close(fd);
    return pid;
}

// The system: reached through the user's private socket, and on localhost where a port is
// free; nothing announced on the network. Null where it cannot listen.
pappl_system_t *makeSystem(const ServerOptions &options)
{
    const int port = options.port > 0 ? options.port : choosePort();
    pappl_system_t *system = papplSystemCreate(pappl_soptions_t(PAPPL_SOPTIONS_NO_TLS), userplaces::kPrinterName, port,
                                               nullptr, g_places.spool.c_str(), options.logFile.c_str(), options.level,
                                               nullptr, false);
    if (!system)
        return nullptr;
    papplSystemSetDNSSDName(system, nullptr);
    papplSystemSetHostName(system, "localhost");
    pappl_version_t version{};
    std::snprintf(version.name, sizeof version.name, "plyjoin-printer");
    std::snprintf(version.sversion, sizeof version.sversion, "%s", PLYJOIN_VERSION);
    std::sscanf(PLYJOIN_VERSION, "%hu.%hu.%hu", version.version, version.version + 1, version.version + 2);
    papplSystemSetVersions(system, 1, &version);
    papplSystemSetFooterHTML(system, "Tavrell PDF Plyjoin: what is printed here opens in the program.");
    papplSystemSetAuthCallback(system, "Basic", authorize, nullptr);
    papplSystemSetMaxImageSize(system, 256 * 1024 * 1024, 16384, 16384);
    const std::string socketPath = userplaces::printerSocket(g_places.runtime);
    if (!papplSystemAddListeners(system, socketPath.c_str())) {
        std::fprintf(stderr, "plyjoin-printer: cannot listen on %s\n", socketPath.c_str());
        papplSystemDelete(system);
        return nullptr;
    }
    chmod(socketPath.c_str(), 0600);
    std::string uri;
    if (port > 0 && papplSystemAddListeners(system, "localhost"))
        uri = "ipp://localhost:" + std::to_string(port) + "/ipp/print";
    else
        std::fprintf(stderr, "plyjoin-printer: no port on localhost; printing through the queue only\n");
    writeTextFile(g_places.runtime + "/printer.uri", uri + "\n");
    return system;
}

// The printer, its driver, and the documents it keeps.
bool addPrinter(pappl_system_t *system)
{
    papplSystemSetPrinterDrivers(system, 1, kDrivers, nullptr, nullptr, driverData, nullptr);
    papplSystemAddMIMEFilter(system, "application/pdf", "application/octet-stream", keepDocument, nullptr);
    papplSystemAddMIMEFilter(system, "image/jpeg", "application/octet-stream", keepDocument, nullptr);
    pappl_printer_t *printer = papplPrinterCreate(system, 0, userplaces::kPrinterName, kDriver, kDeviceId, "file:///dev/null");
    if (!printer)
        return false;
    papplPrinterSetDNSSDName(printer, nullptr);
    // Paper without end: what a document is printed on is the real printer's business.
    pappl_supply_t paper{};
    paper.color = PAPPL_SUPPLY_COLOR_NO_COLOR;
    std::snprintf(paper.description, sizeof paper.description, "Paper");
    paper.level = 100;
    paper.type = PAPPL_SUPPLY_TYPE_OTHER;
    papplPrinterSetSupplies(printer, 1, &paper);
    // Many jobs at once; a held one keeps nothing else waiting.
    papplPrinterSetMaxActiveJobs(printer, 0);
    papplPrinterSetMaxCompletedJobs(printer, 100);
    return true;
}

int serve(int argc, char *argv[])
{
    ServerOptions options;
    if (!parseOptions(argc, argv, options))
        return 2;
    std::string why;
    g_places.runtime = userplaces::runtimeFolder(true, &why);
    if (g_places.runtime.empty()) {
        std::fprintf(stderr, "plyjoin-printer: no private runtime folder: %s\n", why.c_str());
        return 1;
    }
    bool taken = false;
    const int lock = takeLock(g_places.runtime, taken);
    if (!taken) {
        std::printf("plyjoin-printer: this user's printer runs already (process %d)\n",
                    int(runningPrinter(g_places.runtime)));
        return 0;
    }
    const std::string pid = std::to_string(getpid()) + "\n";
    if (ftruncate(lock, 0) != 0 || pwrite(lock, pid.data(), pid.size(), 0) != ssize_t(pid.size()))
        std::fprintf(stderr, "plyjoin-printer: the lock file cannot say this process\n");
    g_places.jobs = userplaces::jobsFolder();
    g_places.spool = options.spool.empty() ? userplaces::spoolFolder() : options.spool;
    if (!userplaces::makePrivateFolder(g_places.spool) || !userplaces::makePrivateFolder(g_places.jobs)) {
        std::fprintf(stderr, "plyjoin-printer: the folders %s and %s cannot be made\n", g_places.spool.c_str(),
                     g_places.jobs.c_str());
        return 1;
    }
    const std::string programSocket = userplaces::programSocket(g_places.runtime);
    g_starter = std::make_unique<ProgramStarter>([programSocket] { return tellProgram(programSocket); }, startProgram,
                                                   programRuns);
    // What an ended printer left, before anything new comes.
    std::string said;
    const int recovered = recoverSpool(g_places.spool, g_places.jobs, said);
    if (!said.empty())
        std::fprintf(stderr, "%s", said.c_str());

    pappl_system_t *system = makeSystem(options);
    if (!system)
        return 1;
    if (!addPrinter(system)) {
        papplSystemDelete(system);
        return 1;
    }
    papplSystemAddTimerCallback(system, 0, 2, keepUp, nullptr);
    std::thread(offerLocalePaper).detach();
    if (recovered > 0)
        papplSystemAddTimerCallback(system, time(nullptr) + 1, 0, tellOfRecovered, nullptr);
    papplSystemRun(system);
    papplSystemDelete(system);
    unlink((g_places.runtime + "/printer.uri").c_str());
    close(lock);
    return 0;
}

int sayUri()
{
    const std::string runtime = userplaces::runtimeFolder(false);
    if (runtime.empty() || runningPrinter(runtime) == 0) {
        std::fprintf(stderr, "plyjoin-printer: this user's printer does not run\n");
        return 1;
    }
    std::ifstream file(runtime + "/printer.uri");
    std::string uri;
    std::getline(file, uri);
    std::printf("%s\n", uri.c_str());
    return uri.empty() ? 1 : 0;
}

int stop()
{
    const std::string runtime = userplaces::runtimeFolder(false);
    const pid_t pid = runtime.empty() ? 0 : runningPrinter(runtime);
    if (pid <= 0)
        return 0;
    if (kill(pid, SIGTERM) != 0)
        return 1;
    // Ended once the lock is free again.
    for (int i = 0; i < 100 && runningPrinter(runtime) != 0; ++i)
        usleep(100000);
    return runningPrinter(runtime) == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char *argv[])
{
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "server")
        return serve(argc, argv);
    if (command == "uri")
        return sayUri();
    if (command == "stop")
        return stop();
    if (command == "--version") {
        std::printf("plyjoin-printer %s\n", PLYJOIN_VERSION);
        return 0;
    }
    std::fprintf(stderr, "usage: plyjoin-printer server [-o NAME=VALUE]... | uri | stop | --version\n");
    return command == "--help" ? 0 : 2;
}
