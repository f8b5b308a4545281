#include "handoff.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

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

// Writes a file whole and to the disk; false with the reason.
bool writeFile(const std::string &path, const std::function<bool(std::FILE *)> &write, std::string &error)
{
    std::FILE *file = std::fopen(path.c_str(), "wbx");
    if (!file) {
        error = std::strerror(errno);
        return false;
    }
    bool ok = write(file);
    ok = std::fflush(file) == 0 && ok;
    if (!ok && errno)
        error = std::strerror(errno);
    ok = fsync(fileno(file)) == 0 && ok;
    ok = std::fclose(file) == 0 && ok;
    if (!ok && error.empty())
        error = errno ? std::strerror(errno) : "the job could not be written";
    return ok;
}

std::string attributesText(const ReceivedJob &job)
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
           + line("media", job.media) + line("copies", std::to_string(job.copies)) + line("job", std::to_string(job.id));
}

} // namespace

std::string jobFileName(const ReceivedJob &job)
{
    std::string name;
    for (const char c : job.title) {
        const unsigned char u = static_cast<unsigned char>(c);
        name += (u < 0x20 || c == '/' || c == '\\' || u == 0x7f) ? ' ' : c;
    }
    while (!name.empty() && (name.front() == ' ' || name.front() == '.'))
        name.erase(name.begin());
    while (!name.empty() && name.back() == ' ')
        name.pop_back();
    // A title that already names a PDF keeps its ending once.
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".pdf") == 0)
        name.resize(name.size() - 4);
    if (name.size() > 200)
        name.resize(200);
    if (name.empty())
        name = "Print job " + std::to_string(job.id);
    return name + ".pdf";
}

std::string keepJob(const std::string &jobsFolder, const ReceivedJob &job,
                    const std::function<bool(std::FILE *file)> &write, std::string &error)
{
    char stamp[32];
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    localtime_r(&now, &parts);
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &parts);
    const std::string name = std::string(stamp) + "-" + std::to_string(job.id) + "-" + std::to_string(getpid());
    const std::string part = jobsFolder + "/." + name + ".part", done = jobsFolder + "/" + name;
    if (mkdir(part.c_str(), 0700) != 0) {
        error = std::strerror(errno);
        return std::string();
    }
    const std::string text = attributesText(job);
    const bool ok = writeFile(part + "/" + jobFileName(job), write, error)
                    && writeFile(part + "/job.ini", [&text](std::FILE *f) {
                           return std::fwrite(text.data(), 1, text.size(), f) == text.size();
                       }, error)
                    && std::rename(part.c_str(), done.c_str()) == 0;
    if (!ok) {
        if (error.empty())
            error = std::strerror(errno);
        removeFolder(part);
        return std::string();
    }
    return done + "/" + jobFileName(job);
}

bool tellProgram(const std::string &socketPath)
{
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socketPath.c_str());
    bool told = connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    if (told) {
        const char message[] = "--jobs\n";
        told = ::write(fd, message, sizeof message - 1) == ssize_t(sizeof message - 1);
    }
    close(fd);
    return told;
}

void startProgram()
{
    // Beside this program (as installed and as built), else wherever PATH finds it.
    std::string program = "plyjoin";
    char self[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n > 0) {
        self[n] = '\0';
        std::string beside = self;
        beside = beside.substr(0, beside.rfind('/') + 1) + "plyjoin";
        if (access(beside.c_str(), X_OK) == 0)
            program = beside;
    }
    // Detached twice over: the program outlives this one and leaves no zombie behind.
    const pid_t child = fork();
    if (child == 0) {
        setsid();
        if (fork() == 0) {
            const int null = open("/dev/null", O_RDWR);
            if (null >= 0) {
                dup2(null, 0);
                dup2(null, 1);
            }
            execlp(program.c_str(), program.c_str(), "--jobs", static_cast<char *>(nullptr));
            _exit(127);
        }
        _exit(0);
    }
    if (child > 0)
        waitpid(child, nullptr, 0);
}
