// plyjoin: the CUPS backend of the system's queue "Tavrell_PDF_Plyjoin" (device plyjoin:/).
//
// CUPS runs it as root (it is mode 0700) for each job, with the user CUPS authenticated as the
// job's owner (the queue's policy makes CUPS authenticate local users by their socket's
// credentials). It opens the job's document, becomes that user, and only then goes near
// anything of the user's: it prints the job into the user's own printer application through
// its socket in the user's runtime folder, checking that the process listening there is the
// user's; where none runs, it keeps the job in the user's jobs folder itself, to be listed
// when the program next starts. A job is thus only ever delivered to the user who printed it,
// whoever else listens anywhere.
//
//   plyjoin job-id user title copies options [file]
#include "cupsjob.h"
#include "handoff.h"
#include "peer.h"
#include "userplaces.h"

#include <cups/backend.h>
#include <cups/cups.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int fail(cups_backend_t status, const std::string &message)
{
    std::fprintf(stderr, "ERROR: %s\n", message.c_str());
    return status;
}

// Becomes the user for good: no way back to root remains.
bool becomeUser(const passwd &user)
{
    if (geteuid() != 0)
        return getuid() == user.pw_uid;
    if (user.pw_uid != 0) {
        if (initgroups(user.pw_name, user.pw_gid) != 0 || setgid(user.pw_gid) != 0 || setuid(user.pw_uid) != 0)
            return false;
        if (setuid(0) == 0 || getuid() != user.pw_uid || geteuid() != user.pw_uid)
            return false;
    }
    // The user's own places, whatever CUPS's environment says.
    setenv("HOME", user.pw_dir, 1);
    setenv("USER", user.pw_name, 1);
    for (const char *name : {"XDG_RUNTIME_DIR", "XDG_DATA_HOME", "PLYJOIN_JOBS"})
        unsetenv(name);
    return true;
}

enum class Delivery { Printed, NoPrinter, Failed };

// The job printed into the user's printer over its private socket.
Delivery printToPrinter(int document, const ReceivedJob &job, const std::string &user, std::string &error)
{
    const std::string runtime = userplaces::runtimeFolder(false);
    if (runtime.empty())
        return Delivery::NoPrinter;
    const std::string socket = userplaces::printerSocket(runtime);
    http_t *http = httpConnect2(socket.c_str(), 0, nullptr, AF_LOCAL, HTTP_ENCRYPTION_NEVER, 1, 30000, nullptr);
    if (!http)
        return Delivery::NoPrinter;
    if (peer::unixSocketUser(httpGetFd(http)) != long(getuid())) {
        httpClose(http);
        return Delivery::NoPrinter;  // someone else's: nothing is sent
    }
    ipp_t *request = ippNewRequest(IPP_OP_PRINT_JOB);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, "ipp://localhost/ipp/print");
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, user.c_str());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "job-name", nullptr, job.title.c_str());
    const bool known = job.format == "application/pdf" || job.format == "image/jpeg";
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_MIMETYPE, "document-format", nullptr,
                 known ? job.format.c_str() : "application/octet-stream");
    ippAddInteger(request, IPP_TAG_JOB, IPP_TAG_INTEGER, "copies", job.copies);
    if (!job.sides.empty())
        ippAddString(request, IPP_TAG_JOB, IPP_TAG_KEYWORD, "sides", nullptr, job.sides.c_str());
    if (!job.media.empty())
        ippAddString(request, IPP_TAG_JOB, IPP_TAG_KEYWORD, "media", nullptr, job.media.c_str());
    http_status_t status = cupsSendRequest(http, request, "/ipp/print", CUPS_LENGTH_VARIABLE);
    char buffer[65536];
    ssize_t n = 0;
    while (status == HTTP_STATUS_CONTINUE && (n = read(document, buffer, sizeof buffer)) > 0)
        status = cupsWriteRequestData(http, buffer, std::size_t(n));
    ipp_t *response = cupsGetResponse(http, "/ipp/print");
    const ipp_status_t answer = cupsLastError();
    error = cupsLastErrorString() ? cupsLastErrorString() : "";
    ippDelete(request);
    ippDelete(response);
    httpClose(http);
    if (n < 0) {
        error = std::strerror(errno);
        return Delivery::Failed;
    }
    return answer <= IPP_STATUS_OK_CONFLICTING ? Delivery::Printed : Delivery::Failed;
}

// No printer of the user's runs: the job waits in the jobs folder, listed when the program
// next starts (or now, where it runs).
bool keepForLater(int document, const ReceivedJob &job, std::string &error)
{
    const std::string spool = userplaces::spoolFolder(), jobs = userplaces::jobsFolder();
    if (!userplaces::makePrivateFolder(spool) || !userplaces::makePrivateFolder(jobs)) {
        error = "the folders " + spool + " and " + jobs + " cannot be made";
        return false;
    }
    // The document as a file of the user's, then kept as the printer keeps it.
    const std::string copy = spool + "/.backend-" + std::to_string(getpid());
    const int out = open(copy.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    bool ok = out >= 0;
    char buffer[65536];
    for (ssize_t n; ok && (n = read(document, buffer, sizeof buffer)) > 0;)
        ok = write(out, buffer, std::size_t(n)) == n;
    ok = out >= 0 && close(out) == 0 && ok;
    ok = ok && !keepJob(jobs, job, [&](std::FILE *file) {
                    return writeDocumentAsPdf(copy, job.format, copy + ".pdf", file, error);
                }, error).empty();
    unlink(copy.c_str());
    const std::string runtime = userplaces::runtimeFolder(false);
    if (ok && !runtime.empty())
        tellProgram(userplaces::programSocket(runtime));
    return ok;
}

} // namespace

int main(int argc, char *argv[])
{
    // Asked for the devices it finds: none to add by hand; the package makes the one queue.
    if (argc == 1)
        return CUPS_BACKEND_OK;
    if (argc < 6 || argc > 7) {
        std::fprintf(stderr, "Usage: %s job-id user title copies options [file]\n", argv[0]);
        return CUPS_BACKEND_FAILED;
    }
    // The document, opened as CUPS gave it, before anything else.
    const int document = argc == 7 ? open(argv[6], O_RDONLY | O_CLOEXEC) : dup(STDIN_FILENO);
    if (document < 0)
        return fail(CUPS_BACKEND_FAILED, "the job's document cannot be read");
    const passwd *found = getpwnam(argv[2]);
    if (!found)
        return fail(CUPS_BACKEND_CANCEL, std::string("the job's owner \"") + argv[2] + "\" is no user of this machine");
    passwd user = *found;
    const std::string name = user.pw_name, home = user.pw_dir;
    user.pw_name = const_cast<char *>(name.c_str());
    user.pw_dir = const_cast<char *>(home.c_str());
    if (!becomeUser(user))
        return fail(CUPS_BACKEND_STOP, "this backend must run as root (mode 0700) to print for its users");
    const char *type = std::getenv("FINAL_CONTENT_TYPE") ? std::getenv("FINAL_CONTENT_TYPE") : std::getenv("CONTENT_TYPE");
    const ReceivedJob job = jobOfQueue(argv[3], argv[4], argv[5], type ? type : "");
    std::string error;
    switch (printToPrinter(document, job, name, error)) {
    case Delivery::Printed:
        std::fprintf(stderr, "INFO: Opened in Tavrell PDF Plyjoin\n");
        return CUPS_BACKEND_OK;
    case Delivery::Failed:
        // Nothing is lost: CUPS keeps the job and tries again.
        std::fprintf(stderr, "ERROR: the printer did not take the job: %s\n", error.c_str());
        return CUPS_BACKEND_RETRY;
    case Delivery::NoPrinter:
        break;
    }
    if (!keepForLater(document, job, error))
        return fail(CUPS_BACKEND_RETRY, "the job could not be kept: " + error);
    std::fprintf(stderr, "INFO: Kept; it opens when Tavrell PDF Plyjoin starts\n");
    return CUPS_BACKEND_OK;
}
