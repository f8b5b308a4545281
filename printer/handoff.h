// A job the printer received, handed to the user's program: written whole into the user's
// jobs folder (a folder of its own, named by the time and the job's number, holding the PDF
// named by the job's title and the job's attributes), then the program is told, or started
// when it does not run. Nothing half-written is ever seen: the job's folder takes its name
// only when complete and on the disk. What a killed printer leaves is finished or removed at
// its next start (recoverSpool).
#pragma once

#include <chrono>
#include <cstdio>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include <sys/types.h>

struct ReceivedJob
{
    int id = 0;
    std::string title;     // "job-name"
    std::string user;      // who printed it, as the client named itself
    std::string format;    // as received: application/pdf, image/jpeg, image/pwg-raster
    std::string sides;     // one-sided, two-sided-long-edge, two-sided-short-edge
    std::string media;     // the paper asked for, by its PWG name (iso_a4_210x297mm)
    int copies = 1;
    std::string spool;     // the spool file it was kept from: its name, size and time
};

// The job's file name: its title (the file's name where the title is a path), without what
// no file name may hold, cut at a character (at most 200 bytes), ".pdf" after it;
// "Print job N.pdf" for a job without a title or whose title is no UTF-8 text.
std::string jobFileName(const ReceivedJob &job);

// The job's attributes as kept beside it ("key=value" lines), and read back.
std::string jobAttributesText(const ReceivedJob &job);
ReceivedJob jobFromAttributesText(const std::string &text);

// Writes the job into `jobsFolder`: `write` puts the PDF's bytes into the file it is given
// and says whether it could. Returns the PDF's path, or empty with `error` set (a full disk:
// nothing is left).
std::string keepJob(const std::string &jobsFolder, const ReceivedJob &job,
                    const std::function<bool(std::FILE *file)> &write, std::string &error);

// Writes a received document as a PDF: a PDF as it is, a JPEG as a page of its own size
// (`scratch`: a file name the conversion may use). False with the reason.
bool writeDocumentAsPdf(const std::string &file, const std::string &format, const std::string &scratch,
                        std::FILE *out, std::string &error);
// The format of a document by its first bytes: application/pdf, image/jpeg, or empty.
std::string documentFormat(const std::string &file);

// Tells the running program of this user that jobs wait (its socket); false where none of
// this user's listens there.
bool tellProgram(const std::string &socket);
// Starts the program (beside this one, else on PATH), detached, with --jobs; its process id,
// or -1 where it could not be started.
pid_t startProgram();
// Whether the process started runs still (and is not a zombie).
bool programRuns(pid_t pid);

// One start of the program at a time for a burst of jobs: a job that finds the program not
// yet listening while a start is under way (the program started runs, and has not taken
// longer than the patience) waits for it: the program lists every kept job when it starts.
// A program that ended before it was told of a job, closed by its user, is started again.
class ProgramStarter
{
public:
    using Clock = std::chrono::steady_clock;
    enum Outcome { Told, Started, StartUnderWay };
    ProgramStarter(std::function<bool()> tell, std::function<pid_t()> start, std::function<bool(pid_t)> runs,
                   std::chrono::seconds patience = std::chrono::seconds(30))
        : m_tell(std::move(tell)), m_start(std::move(start)), m_runs(std::move(runs)), m_patience(patience)
    {
    }
    Outcome tellOrStart(Clock::time_point now = Clock::now());

private:
    std::function<bool()> m_tell;
    std::function<pid_t()> m_start;
    std::function<bool(pid_t)> m_runs;
    std::chrono::seconds m_patience;
    std::mutex m_mutex;
    std::optional<Clock::time_point> m_started;
    pid_t m_pid = -1;
};

// At the printer's start, before it takes jobs: a job folder half-written is removed; a
// document the printer received whole but did not keep (a sidecar "FILE.job" says its
// attributes, or it is a whole PDF or JPEG) is kept; one kept already, a partial upload and
// scratch files are removed. Returns the number of jobs kept; `said` gets a line for each
// thing done.
int recoverSpool(const std::string &spool, const std::string &jobsFolder, std::string &said);
// The identity a spool file's kept job records: its name, size and modification time.
std::string spoolIdentity(const std::string &file);
