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

std::string dataFolder()
{
    const std::string data = !env("XDG_DATA_HOME").empty() ? env("XDG_DATA_HOME") : home() + "/.local/share";
    return data + "/plyjoin";
}

// A folder of this user's that others may not write in (the root of a runtime folder).
bool isUsersFolder(const std::string &path, uid_t uid)
{
    struct stat st;
    return !path.empty() && lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == uid
           && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

} // namespace

std::string jobsFolder()
{
    if (!env("PLYJOIN_JOBS").empty())
        return env("PLYJOIN_JOBS");
    return dataFolder() + "/jobs";
}

std::string spoolFolder()
{
    return dataFolder() + "/printer-spool";
}

bool isPrivateFolderOf(const std::string &path, uid_t uid)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == uid
           && (st.st_mode & (S_IRWXG | S_IRWXO)) == 0;
}

std::string runtimeFolder(bool make, std::string *why)
{
    const uid_t uid = getuid();
    std::string folder;
    const std::string session = env("XDG_RUNTIME_DIR");
    const std::string root = env("PLYJOIN_RUNTIME_ROOT").empty() ? "/run/user" : env("PLYJOIN_RUNTIME_ROOT");
    const std::string perUser = root + "/" + std::to_string(uid);
    if (isUsersFolder(session, uid))
        folder = session + "/plyjoin";
    else if (isUsersFolder(perUser, uid))
        folder = perUser + "/plyjoin";
    else
        folder = "/tmp/plyjoin-" + std::to_string(uid);
    if (make && mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        if (why)
            *why = "the folder " + folder + " cannot be made";
        return std::string();
    }
    if (!isPrivateFolderOf(folder, uid)) {
        if (why)
            *why = "the folder " + folder + " is not this user's own";
        return std::string();
    }
    return folder;
}

std::string printerSocket(const std::string &runtime)
{
    return runtime + "/printer.sock";
}

std::string programSocket(const std::string &runtime)
{
    return runtime + "/program.sock";
}

int preferredPrinterPort()
{
    return 49152 + int(getuid() % 16000);
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
