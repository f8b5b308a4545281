#include "peer.h"

#include <arpa/inet.h>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <netinet/in.h>
#include <sstream>
#include <strings.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace peer {

namespace {

// An address and port as the kernel's tables write them: the address's 32-bit words in the
// machine's order, each as 8 hexadecimal digits, a colon, the port as 4.
std::string tableAddress(const sockaddr_storage &address)
{
    char text[64] = "";
    if (address.ss_family == AF_INET) {
        const auto &in = reinterpret_cast<const sockaddr_in &>(address);
        std::uint32_t word;
        std::memcpy(&word, &in.sin_addr, 4);
        std::snprintf(text, sizeof text, "%08X:%04X", word, ntohs(in.sin_port));
    } else if (address.ss_family == AF_INET6) {
        const auto &in6 = reinterpret_cast<const sockaddr_in6 &>(address);
        std::uint32_t words[4];
        std::memcpy(words, &in6.sin6_addr, 16);
        std::snprintf(text, sizeof text, "%08X%08X%08X%08X:%04X", words[0], words[1], words[2], words[3],
                      ntohs(in6.sin6_port));
    }
    return text;
}

// The uid column of the row whose local end is `local` and remote end `remote`.
long userInTable(const std::string &file, const std::string &local, const std::string &remote)
{
    std::ifstream table(file);
    std::string line;
    std::getline(table, line);  // the heading
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, from, to, state, queues, timer, retransmits;
        long uid = kUnknown;
        if (!(fields >> slot >> from >> to >> state >> queues >> timer >> retransmits >> uid))
            continue;
        if (strcasecmp(from.c_str(), local.c_str()) == 0 && strcasecmp(to.c_str(), remote.c_str()) == 0)
            return uid;
    }
    return kUnknown;
}

} // namespace

long unixSocketUser(int fd)
{
    ucred credentials{};
    socklen_t size = sizeof credentials;
    if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0 || size != sizeof credentials)
        return kUnknown;
    return long(credentials.uid);
}

long tcpSocketUser(int fd, const std::string &tables)
{
    sockaddr_storage ours{}, theirs{};
    socklen_t ourSize = sizeof ours, theirSize = sizeof theirs;
    if (getsockname(fd, reinterpret_cast<sockaddr *>(&ours), &ourSize) != 0
        || getpeername(fd, reinterpret_cast<sockaddr *>(&theirs), &theirSize) != 0 || ours.ss_family != theirs.ss_family)
        return kUnknown;
    // The peer's socket is the row whose local end is the peer's address and whose remote
    // end is ours.
    const std::string file = tables + (ours.ss_family == AF_INET6 ? "/tcp6" : "/tcp");
    return userInTable(file, tableAddress(theirs), tableAddress(ours));
}

int connectToUsersSocket(const std::string &path, uid_t uid)
{
    sockaddr_un address{};
    if (path.size() >= sizeof address.sun_path)
        return -1;
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    if (connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 || unixSocketUser(fd) != long(uid)) {
        close(fd);
        return -1;
    }
    return fd;
}

} // namespace peer
