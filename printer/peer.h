// Who is at the other end of a local connection, as the kernel knows it: never what the
// caller writes about itself.
#pragma once

#include <string>
#include <sys/types.h>

namespace peer {

constexpr long kUnknown = -1;

// The user of the process at the other end of a connected local (AF_UNIX) socket.
long unixSocketUser(int fd);

// The user owning the other end of a TCP connection made on this machine, read from the
// kernel's socket tables (`tables`: the folder of tcp and tcp6); kUnknown for a peer on
// another machine, or where the tables do not say.
long tcpSocketUser(int fd, const std::string &tables = "/proc/net");

// Connects to a local socket and returns it only when the process listening there runs as
// `uid`; -1 otherwise (nothing listens, or someone else does).
int connectToUsersSocket(const std::string &path, uid_t uid);

} // namespace peer
