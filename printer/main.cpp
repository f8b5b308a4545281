// plyjoin-printer: a driverless IPP Everywhere printer, "Tavrell PDF Plyjoin", that any
// application prints into. It runs as the user, in the user's session, listening on localhost
// only; what it receives it keeps in the user's jobs folder and hands to the program, which
// shows it as a row ready to impose and print on a real printer.
//
//   plyjoin-printer server [-o server-port=N] [-o listen-hostname=localhost]
//                          [-o spool-directory=DIR] [-o log-file=FILE] [-o log-level=LEVEL]
//
// PDF is taken as it is; JPEG and PWG raster (which IPP Everywhere clients may send) arrive
// here as pictures, decoded by PAPPL, and become PDF pages at their resolution.
#include "handoff.h"
#include "rasterpdf.h"
#include "userplaces.h"

#include <pappl/pappl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <pwd.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

const char kName[] = "Tavrell PDF Plyjoin";
const char kDriver[] = "plyjoin";

// The papers a word processor may ask for; A4 by default.
const char *const kMedia[] = {"iso_a4_210x297mm", "na_letter_8.5x11in", "iso_a5_148x210mm", "iso_a3_297x420mm",
                              "na_legal_8.5x14in", "na_ledger_11x17in", "iso_b5_176x250mm", "iso_a6_105x148mm",
                              "na_executive_7.25x10.5in"};

std::string attribute(pappl_job_t *job, const char *name)
{
    ipp_attribute_t *a = papplJobGetAttribute(job, name);
    if (!a)
        return std::string();
    char text[1024];
    ippAttributeString(a, text, sizeof text);
    return text;
}

std::string thisUser()
{
    const passwd *pw = getpwuid(getuid());
    return pw ? pw->pw_name : "";
}

ReceivedJob describe(pappl_job_t *job)
{
    ReceivedJob r;
    r.id = papplJobGetID(job);
    r.title = papplJobGetName(job) ? papplJobGetName(job) : "";
    r.user = papplJobGetUsername(job) ? papplJobGetUsername(job) : "";
    r.format = papplJobGetFormat(job) ? papplJobGetFormat(job) : "";
    r.sides = attribute(job, "sides");
    r.media = attribute(job, "media");
    const std::string copies = attribute(job, "copies");
    r.copies = copies.empty() ? 1 : std::atoi(copies.c_str());
    return r;
}

// Keeps the job for the user and tells the program; false (the job aborted, with the reason
// as its message) where it cannot be kept.
bool handOver(pappl_job_t *job, const std::function<bool(std::FILE *)> &write)
{
    const ReceivedJob received = describe(job);
    // A job of another user never reaches this user's program.
    const std::string me = thisUser();
    if (!received.user.empty() && me != "root" && received.user != me) {
        papplJobSetMessage(job, "This printer takes jobs of %s only.", me.c_str());
        return false;
    }
    const std::string folder = userplaces::jobsFolder();
    std::string error;
    if (!userplaces::makePrivateFolder(folder)) {
        papplJobSetMessage(job, "The jobs folder %s cannot be made.", folder.c_str());
        return false;
    }
    const std::string kept = keepJob(folder, received, write, error);
    if (kept.empty()) {
        papplJobSetMessage(job, "The job could not be kept: %s", error.c_str());
        papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "Not kept: %s", error.c_str());
        return false;
    }
    papplLogJob(job, PAPPL_LOGLEVEL_INFO, "Kept as %s", kept.c_str());
    if (!tellProgram(userplaces::programSocket()))
        startProgram();
    return true;
}

// PDF, as it is.
bool printFile(pappl_job_t *job, pappl_pr_options_t *, pappl_device_t *)
{
    const char *name = papplJobGetFilename(job);
    return handOver(job, [name](std::FILE *out) {
        std::FILE *in = std::fopen(name, "rb");
        if (!in)
            return false;
        char buffer[65536];
        bool ok = true;
        for (size_t n; ok && (n = std::fread(buffer, 1, sizeof buffer, in)) > 0;)
            ok = std::fwrite(buffer, 1, n, out) == n;
        ok = ok && !std::ferror(in);
        std::fclose(in);
        return ok;
    });
}

// Pictures: the lines of each page gathered, the pages made into a PDF at the job's end.
struct Pictures
{
    std::vector<RasterPage> pages;
    bool failed = false;
};

bool startJob(pappl_job_t *job, pappl_pr_options_t *, pappl_device_t *)
{
    papplJobSetData(job, new Pictures);
    return true;
}

bool startPage(pappl_job_t *job, pappl_pr_options_t *options, pappl_device_t *, unsigned)
{
    auto *pictures = static_cast<Pictures *>(papplJobGetData(job));
    const auto &h = options->header;
    RasterPage page;
    page.width = h.cupsWidth;
    page.height = h.cupsHeight;
    page.components = h.cupsNumColors >= 3 ? 3 : 1;
    page.xResolution = h.HWResolution[0] > 0 ? h.HWResolution[0] : 300;
    page.yResolution = h.HWResolution[1] > 0 ? h.HWResolution[1] : 300;
    if (h.cupsBitsPerPixel != 8 * page.components) {
        papplJobSetMessage(job, "Pictures of %u bits a pixel are not taken.", h.cupsBitsPerPixel);
        pictures->failed = true;
        return false;
    }
    page.pixels.assign(size_t(page.width) * page.height * page.components, '\xff');
    pictures->pages.push_back(std::move(page));
    return true;
}

bool writeLine(pappl_job_t *job, pappl_pr_options_t *, pappl_device_t *, unsigned y, const unsigned char *line)
{
    auto *pictures = static_cast<Pictures *>(papplJobGetData(job));
    RasterPage &page = pictures->pages.back();
    const size_t bytes = size_t(page.width) * page.components;
    if (y < page.height)
        std::memcpy(&page.pixels[size_t(y) * bytes], line, bytes);
    return true;
}

bool endPage(pappl_job_t *, pappl_pr_options_t *, pappl_device_t *, unsigned)
{
    return true;
}

bool endJob(pappl_job_t *job, pappl_pr_options_t *, pappl_device_t *)
{
    auto *pictures = static_cast<Pictures *>(papplJobGetData(job));
    papplJobSetData(job, nullptr);
    bool ok = !pictures->failed && !pictures->pages.empty();
    if (ok) {
        try {
            const std::string pdf = pdfOfPages(pictures->pages);
            ok = handOver(job, [&pdf](std::FILE *out) { return std::fwrite(pdf.data(), 1, pdf.size(), out) == pdf.size(); });
        } catch (const std::exception &e) {
            papplJobSetMessage(job, "The pictures could not be made into a PDF: %s", e.what());
            ok = false;
        }
    }
    delete pictures;
    return ok;
}

bool driverData(pappl_system_t *, const char *, const char *, const char *, pappl_pr_driver_data_t *d, ipp_t **, void *)
{
    d->printfile_cb = printFile;
    d->rstartjob_cb = startJob;
    d->rstartpage_cb = startPage;
    d->rwriteline_cb = writeLine;
    d->rendpage_cb = endPage;
    d->rendjob_cb = endJob;
    d->format = "application/pdf";
    std::snprintf(d->make_and_model, sizeof d->make_and_model, "%s", kName);
    d->ppm = 60;
    d->ppm_color = 60;
    d->kind = PAPPL_KIND_DOCUMENT;
    d->color_supported = pappl_color_mode_t(PAPPL_COLOR_MODE_AUTO | PAPPL_COLOR_MODE_COLOR | PAPPL_COLOR_MODE_MONOCHROME);
    d->color_default = PAPPL_COLOR_MODE_AUTO;
    d->content_default = PAPPL_CONTENT_AUTO;
    d->quality_default = IPP_QUALITY_NORMAL;
    d->scaling_default = PAPPL_SCALING_AUTO;
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
    std::snprintf(media.size_name, sizeof media.size_name, "%s", kMedia[0]);
    media.size_width = 21000;
    media.size_length = 29700;
    std::snprintf(media.source, sizeof media.source, "auto");
    std::snprintf(media.type, sizeof media.type, "stationery");
    d->media_ready[0] = media;
    return true;
}

// The CUPS queue every application's print dialog shows: made once the printer answers, with
// lpadmin; where this user may not, the command an administrator runs is left for the program
// to say.
void makeQueue(int port)
{
    const std::string queue = userplaces::queueName();
    const std::string uri = "ipp://localhost:" + std::to_string(port) + "/ipp/print";
    const std::string note = userplaces::jobsFolder() + "/../queue-needed.txt";
    // Already there and pointing here: nothing to do.
    const std::string check = "lpstat -v '" + queue + "' 2>/dev/null | grep -q '" + uri + "'";
    if (std::system(check.c_str()) == 0)
        return;
    const std::string command = "lpadmin -p '" + queue + "' -D '" + kName + "' -v " + uri + " -m everywhere -E";
    const int status = std::system((command + " >/dev/null 2>&1").c_str());
    if (status != 0 && userplaces::makePrivateFolder(userplaces::jobsFolder())) {
        std::ofstream said(note);
        said << "sudo " << command << "\n";
    } else if (status == 0) {
        std::remove(note.c_str());
    }
}

pappl_pr_driver_t kDrivers[] = {{kDriver, kName, "MFG:Tavrell;MDL:PDF Plyjoin;CMD:PDF,JPEG,PWGRaster;", nullptr}};

pappl_system_t *makeSystem(int num_options, cups_option_t *options, void *)
{
    const char *portText = cupsGetOption("server-port", num_options, options);
    const int port = portText ? std::atoi(portText) : userplaces::printerPort();
    const char *host = cupsGetOption("listen-hostname", num_options, options);
    const char *spool = cupsGetOption("spool-directory", num_options, options);
    const char *log = cupsGetOption("log-file", num_options, options);
    const char *level = cupsGetOption("log-level", num_options, options);
    std::string spoolFolder = spool ? spool : userplaces::jobsFolder() + "/../printer-spool";
    userplaces::makePrivateFolder(spoolFolder);
    pappl_loglevel_t logLevel = PAPPL_LOGLEVEL_WARN;
    if (level) {
        const std::string l = level;
        logLevel = l == "debug" ? PAPPL_LOGLEVEL_DEBUG : l == "info" ? PAPPL_LOGLEVEL_INFO : l == "error" ? PAPPL_LOGLEVEL_ERROR
                                                                                                           : PAPPL_LOGLEVEL_WARN;
    }
    pappl_system_t *system = papplSystemCreate(pappl_soptions_t(PAPPL_SOPTIONS_NO_TLS), kName, port, "_print,_universal",
                                               spoolFolder.c_str(), log ? log : "-", logLevel, nullptr, false);
    if (!system)
        return nullptr;
    // Localhost only, whatever the hostname given says.
    if (!papplSystemAddListeners(system, host && *host && std::strcmp(host, "*") != 0 ? host : "localhost")) {
        papplSystemDelete(system);
        return nullptr;
    }
    papplSystemSetPrinterDrivers(system, 1, kDrivers, nullptr, nullptr, driverData, nullptr);
    papplSystemSetFooterHTML(system, "Tavrell PDF Plyjoin: what is printed here opens in the program.");
    if (!papplPrinterCreate(system, 0, kName, kDriver, kDrivers[0].device_id, "file:///dev/null")) {
        papplSystemDelete(system);
        return nullptr;
    }
    if (!cupsGetOption("no-queue", num_options, options))
        std::thread([port] {
            sleep(1);  // the printer answers once the system runs
            makeQueue(port);
        }).detach();
    return system;
}

} // namespace

int main(int argc, char *argv[])
{
    return papplMainloop(argc, argv, PLYJOIN_VERSION, nullptr, 1, kDrivers, nullptr, driverData, nullptr, nullptr,
                         makeSystem, nullptr, nullptr);
}
