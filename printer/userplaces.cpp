#include "userplaces.h"

#include <cerrno>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace userplaces {

namespace {

std::string env(const char *name)
{
    const char *value = std::getenv(name);
    return value ? value : "";
}

std::string home()
{
    std::string h = env("HOME");
    if (h.empty()) {
        if (const passwd *pw = getpwuid(getuid()))
            h = pw->pw_dir;
    }
    return h;
}

} // namespace

std::string jobsFolder()
{
    if (!env("PLYJOIN_JOBS").empty())
        return env("PLYJOIN_JOBS");
    const std::string data = !env("XDG_DATA_HOME").empty() ? env("XDG_DATA_HOME") : home() + "/.local/share";
    return data + "/plyjoin/jobs";
}

std::string programSocket()
{
    const std::string runtime = env("XDG_RUNTIME_DIR");
    if (!runtime.empty())
        return runtime + "/plyjoin.socket";
    return "/tmp/plyjoin-" + std::to_string(getuid()) + ".socket";
}

int printerPort()
{
    return 49152 + int(getuid() % 16000);
}

std::string queueName()
{
    std::string user = "user";
    if (const passwd *pw = getpwuid(getuid()))
        user = pw->pw_name;
    return "Plyjoin-" + user;
}

bool makePrivateFolder(const std::string &path)
{
    for (size_t at = path.find('/', 1); at != std::string::npos; at = path.find('/', at + 1)) {
        if (mkdir(path.substr(0, at).c_str(), 0755) != 0 && errno != EEXIST)
            return false;
    }
    if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
        return false;
    return chmod(path.c_str(), 0700) == 0;
}

} // namespace userplaces
