#include "handoff.h"
#include "peer.h"
#include "picturepdf.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::size_t kLongestName = 200;  // bytes of a job's file name before ".pdf"

void removeFolder(const std::string &path)
{
    if (DIR *dir = opendir(path.c_str())) {
        while (dirent *entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..")
                unlink((path + "/" + name).c_str());
        }
        closedir(dir);
    }
    rmdir(path.c_str());
}

std::vector<std::string> entries(const std::string &folder)
{
    std::vector<std::string> names;
    if (DIR *dir = opendir(folder.c_str())) {
        while (dirent *entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..")
                names.push_back(name);
        }
        closedir(dir);
    }
    return names;
}

bool syncFolder(const std::string &folder)
{
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = fsync(fd) == 0;
    close(fd);
    return ok;
}

// Writes a file whole and to the disk; false with the reason.
bool writeFile(const std::string &path, const std::function<bool(std::FILE *)> &write, std::string &error)
{
    std::FILE *file = std::fopen(path.c_str(), "wbx");
    if (!file) {
        error = std::strerror(errno);
        return false;
    }
    errno = 0;
    bool ok = write(file);
    ok = std::fflush(file) == 0 && ok;
    if (!ok && error.empty() && errno)
        error = std::strerror(errno);
    ok = fsync(fileno(file)) == 0 && ok;
    ok = std::fclose(file) == 0 && ok;
    if (!ok && error.empty())
        error = errno ? std::strerror(errno) : "the job could not be written";
    return ok;
}

bool copyFile(const std::string &from, std::FILE *out)
{
    std::FILE *in = std::fopen(from.c_str(), "rb");
    if (!in)
        return false;
    char buffer[65536];
    bool ok = true;
    for (std::size_t n; ok && (n = std::fread(buffer, 1, sizeof buffer, in)) > 0;)
        ok = std::fwrite(buffer, 1, n, out) == n;
    ok = ok && !std::ferror(in);
    std::fclose(in);
    return ok;
}

// The length of the UTF-8 character at `at`, or 0 where the bytes there are none.
std::size_t utf8Length(const std::string &text, std::size_t at)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    std::size_t length;
    unsigned long point;
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2, point = lead & 0x1F;
    else if (lead >= 0xE0 && lead <= 0xEF)
        length = 3, point = lead & 0x0F;
    else if (lead >= 0xF0 && lead <= 0xF4)
        length = 4, point = lead & 0x07;
    else
        return 0;
    if (at + length > text.size())
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80)
            return 0;
        point = point << 6 | (byte(at + i) & 0x3F);
    }
    // No overlong forms, no surrogates, nothing past U+10FFFF.
    const unsigned long least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (point < least[length] || (point >= 0xD800 && point <= 0xDFFF) || point > 0x10FFFF)
        return 0;
    return length;
}

bool isUtf8(const std::string &text)
{
    for (std::size_t at = 0, n; at < text.size(); at += n) {
        if ((n = utf8Length(text, at)) == 0)
            return false;
    }
    return true;
}

bool endsWith(const std::string &text, const std::string &end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

std::string readWhole(const std::string &path)
{
    std::FILE *file = std::fopen(path.c_str(), "rb");
    std::string text;
    if (!file)
        return text;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0 && text.size() < (1 << 20);)
        text.append(buffer, n);
    std::fclose(file);
    return text;
}

// A document received whole: a PDF whose last kilobyte ends it, a JPEG that ends.
bool isWholeDocument(const std::string &file, const std::string &format)
{
    std::FILE *in = std::fopen(file.c_str(), "rb");
    if (!in)
        return false;
    std::string tail(1024, '\0');
    const bool sought = fseeko(in, 0, SEEK_END) == 0;
    const off_t size = sought ? ftello(in) : 0;
    const off_t from = size > off_t(tail.size()) ? size - off_t(tail.size()) : 0;
    tail.resize(sought && fseeko(in, from, SEEK_SET) == 0 ? std::fread(&tail[0], 1, tail.size(), in) : 0);
    std::fclose(in);
    if (format == "application/pdf")
        return tail.find("%%EOF") != std::string::npos && tail.find("startxref") != std::string::npos;
    if (format == "image/jpeg") {
        const std::size_t end = tail.find_last_not_of(std::string("\0\r\n ", 4));
        return end != std::string::npos && end >= 1 && static_cast<unsigned char>(tail[end - 1]) == 0xFF
               && static_cast<unsigned char>(tail[end]) == 0xD9;
    }
    return false;
}

} // namespace

std::string jobFileName(const ReceivedJob &job)
{
    std::string name;
    // A title that is a file's path ("/home/ann/report.pdf", as some applications name their
    // jobs) is named by the file.
    const std::string title = job.title.find('/') != std::string::npos && job.title.back() != '/'
                                  ? job.title.substr(job.title.rfind('/') + 1)
                                  : job.title;
    if (isUtf8(title)) {
        for (const char c : title) {
            const unsigned char u = static_cast<unsigned char>(c);
            name += (u < 0x20 || c == '/' || c == '\\' || u == 0x7f) ? ' ' : c;
        }
    }
    while (!name.empty() && (name.front() == ' ' || name.front() == '.'))
        name.erase(name.begin());
    while (!name.empty() && name.back() == ' ')
        name.pop_back();
    // A title that already names a PDF keeps its ending once.
    if (name.size() > 4 && endsWith(name, ".pdf"))
        name.resize(name.size() - 4);
    // Cut before the character that would cross the limit.
    if (name.size() > kLongestName) {
        std::size_t at = 0;
        for (std::size_t n; at < name.size() && at + (n = utf8Length(name, at)) <= kLongestName;)
            at += n;
        name.resize(at);
        while (!name.empty() && name.back() == ' ')
            name.pop_back();
    }
    if (name.empty())
        name = "Print job " + std::to_string(job.id);
    return name + ".pdf";
}

std::string jobAttributesText(const ReceivedJob &job)
{
    // One "key=value" a line; values on one line each.
    auto line = [](const char *key, std::string value) {
        for (char &c : value) {
            if (c == '\n' || c == '\r')
                c = ' ';
        }
        return std::string(key) + "=" + value + "\n";
    };
    return line("title", job.title) + line("user", job.user) + line("format", job.format) + line("sides", job.sides)
           + line("media", job.media) + line("copies", std::to_string(job.copies)) + line("job", std::to_string(job.id))
           + line("spool", job.spool);
}

ReceivedJob jobFromAttributesText(const std::string &text)
{
    ReceivedJob job;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t equals = line.find('=');
        if (equals == std::string::npos)
            continue;
        const std::string key = line.substr(0, equals), value = line.substr(equals + 1);
        if (key == "title")
            job.title = value;
        else if (key == "user")
            job.user = value;
        else if (key == "format")
            job.format = value;
        else if (key == "sides")
            job.sides = value;
        else if (key == "media")
            job.media = value;
        else if (key == "copies")
            job.copies = std::max(1, std::atoi(value.c_str()));
        else if (key == "job")
            job.id = std::atoi(value.c_str());
        else if (key == "spool")
            job.spool = value;
    }
    return job;
}

std::string keepJob(const std::string &jobsFolder, const ReceivedJob &job,
                    const std::function<bool(std::FILE *file)> &write, std::string &error)
{
    char stamp[32];
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    localtime_r(&now, &parts);
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &parts);
    // Named by the time, the job and this process: a folder name is never used twice.
    static unsigned serial = 0;
    const std::string name = std::string(stamp) + "-" + std::to_string(job.id) + "-" + std::to_string(getpid()) + "-"
                             + std::to_string(__atomic_add_fetch(&serial, 1, __ATOMIC_RELAXED));
    const std::string part = jobsFolder + "/." + name + ".part", done = jobsFolder + "/" + name;
    if (mkdir(part.c_str(), 0700) != 0) {
        error = std::strerror(errno);
        return std::string();
    }
    const std::string text = jobAttributesText(job);
    const bool ok = writeFile(part + "/" + jobFileName(job), write, error)
                    && writeFile(part + "/job.ini", [&text](std::FILE *f) {
                           return std::fwrite(text.data(), 1, text.size(), f) == text.size();
                       }, error)
                    && syncFolder(part) && std::rename(part.c_str(), done.c_str()) == 0 && syncFolder(jobsFolder);
    if (!ok) {
        if (error.empty())
            error = std::strerror(errno);
        removeFolder(part);
        removeFolder(done);
        return std::string();
    }
    return done + "/" + jobFileName(job);
}

std::string documentFormat(const std::string &file)
{
    std::FILE *in = std::fopen(file.c_str(), "rb");
    if (!in)
        return std::string();
    char head[1024];
    const std::size_t n = std::fread(head, 1, sizeof head, in);
    std::fclose(in);
    const std::string start(head, n);
    if (n >= 3 && static_cast<unsigned char>(head[0]) == 0xFF && static_cast<unsigned char>(head[1]) == 0xD8
        && static_cast<unsigned char>(head[2]) == 0xFF)
        return "image/jpeg";
    if (start.find("%PDF-") != std::string::npos)
        return "application/pdf";
    return std::string();
}

bool writeDocumentAsPdf(const std::string &file, const std::string &format, const std::string &scratch,
                        std::FILE *out, std::string &error)
{
    const std::string found = documentFormat(file);
    if (format == "image/jpeg" || (format != "application/pdf" && found == "image/jpeg")) {
        PicturePdf pictures(scratch);
        return pictures.addJpegPage(file, error) && pictures.write(out, error);
    }
    if (found != "application/pdf") {
        error = "the document is neither a PDF nor a JPEG";
        return false;
    }
    if (!copyFile(file, out)) {
        error = "the document could not be copied";
        return false;
    }
    return true;
}

bool tellProgram(const std::string &socketPath)
{
    const int fd = peer::connectToUsersSocket(socketPath, getuid());
    if (fd < 0)
        return false;
    const char message[] = "--jobs\n";
    const bool told = ::write(fd, message, sizeof message - 1) == ssize_t(sizeof message - 1);
    close(fd);
    return told;
}

pid_t startProgram()
{
    // Beside this program (as installed and as built), else wherever PATH finds it;
    // $PLYJOIN_PROGRAM where set (tests).
    std::string name = "plyjoin";
    if (const char *named = std::getenv("PLYJOIN_PROGRAM"))
        name = named;
    char self[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n > 0) {
        self[n] = '\0';
        std::string beside = self;
        beside = beside.substr(0, beside.rfind('/') + 1) + "plyjoin";
        if (!std::getenv("PLYJOIN_PROGRAM") && access(beside.c_str(), X_OK) == 0)
            name = beside;
    }
    // Detached twice over: the program outlives this one and leaves no zombie behind. The
    // middle process says the program's process id through a pipe.
    int said[2];
    if (pipe2(said, O_CLOEXEC) != 0)
        return -1;
    const pid_t child = fork();
    if (child == 0) {
        setsid();
        const pid_t program = fork();
        if (program == 0) {
            const int null = open("/dev/null", O_RDWR);
            if (null >= 0) {
                dup2(null, 0);
                dup2(null, 1);
                dup2(null, 2);
            }
            execlp(name.c_str(), name.c_str(), "--jobs", static_cast<char *>(nullptr));
            _exit(127);
        }
        (void)!::write(said[1], &program, sizeof program);
        _exit(0);
    }
    close(said[1]);
    pid_t program = -1;
    if (child > 0) {
        if (::read(said[0], &program, sizeof program) != ssize_t(sizeof program))
            program = -1;
        waitpid(child, nullptr, 0);
    }
    close(said[0]);
    return program;
}

bool programRuns(pid_t pid)
{
    if (pid <= 0)
        return false;
    // Not this printer's child: the system's process table says whether it runs.
    std::FILE *stat = std::fopen(("/proc/" + std::to_string(pid) + "/stat").c_str(), "r");
    if (!stat)
        return false;
    char state = 'X';
    const int read = std::fscanf(stat, "%*d %*s %c", &state);
    std::fclose(stat);
    return read == 1 && state != 'Z' && state != 'X';
}

ProgramStarter::Outcome ProgramStarter::tellOrStart(Clock::time_point now)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_tell()) {
        m_started.reset();
        return Told;
    }
    if (m_started && now - *m_started < m_patience && m_runs(m_pid))
        return StartUnderWay;
    m_pid = m_start();
    m_started = now;
    return Started;
}

std::string spoolIdentity(const std::string &file)
{
    struct stat st;
    if (stat(file.c_str(), &st) != 0)
        return std::string();
    const std::string name = file.substr(file.rfind('/') + 1);
    return name + " " + std::to_string(st.st_size) + " " + std::to_string(st.st_mtim.tv_sec) + "."
           + std::to_string(st.st_mtim.tv_nsec);
}

int recoverSpool(const std::string &spool, const std::string &jobsFolder, std::string &said)
{
    // Job folders half-written, and the spool files the kept jobs came from.
    std::set<std::string> kept;
    for (const std::string &name : entries(jobsFolder)) {
        const std::string path = jobsFolder + "/" + name;
        if (name[0] == '.' && endsWith(name, ".part")) {
            removeFolder(path);
            said += "removed the half-written job " + name + "\n";
        } else if (name[0] != '.') {
            const ReceivedJob job = jobFromAttributesText(readWhole(path + "/job.ini"));
            if (!job.spool.empty())
                kept.insert(job.spool);
        }
    }
    int recovered = 0;
    for (const std::string &name : entries(spool)) {
        const std::string path = spool + "/" + name;
        struct stat st;
        if (endsWith(name, ".job") || lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            continue;
        const std::string sidecar = path + ".job";
        const bool described = access(sidecar.c_str(), F_OK) == 0;
        ReceivedJob job = described ? jobFromAttributesText(readWhole(sidecar)) : ReceivedJob();
        job.spool = spoolIdentity(path);
        if (!described) {
            job.format = documentFormat(path);
            // PAPPL names the file "pPPPPPjJJJJJJJJJ-TITLE.EXT".
            const std::size_t dash = name.find('-'), dot = name.rfind('.');
            if (name[0] == 'p' && dash != std::string::npos && dot != std::string::npos && dot > dash)
                job.title = name.substr(dash + 1, dot - dash - 1);
        }
        if (kept.count(job.spool)) {
            said += "removed " + name + ", kept already\n";
        } else if (name[0] != '.' && (described || isWholeDocument(path, job.format))) {
            std::string error;
            const std::string scratch = spool + "/.recover-" + std::to_string(getpid());
            if (keepJob(jobsFolder, job, [&](std::FILE *out) {
                    return writeDocumentAsPdf(path, job.format, scratch, out, error);
                }, error).empty()) {
                said += "could not keep " + name + ": " + error + "\n";
                continue;  // left for the next start
            }
            ++recovered;
            said += "kept " + name + ", received before the printer ended\n";
        } else {
            said += "removed " + name + ", received in part\n";
        }
        unlink(path.c_str());
        unlink(sidecar.c_str());
    }
    // Sidecars whose document is gone.
    for (const std::string &name : entries(spool)) {
        if (endsWith(name, ".job") && access((spool + "/" + name.substr(0, name.size() - 4)).c_str(), F_OK) != 0)
            unlink((spool + "/" + name).c_str());
    }
    return recovered;
}
