// Where the printer application and the program meet, one user at a time: the folder the
// jobs printed to the printer wait in (the user's own, mode 0700, kept across log-ins so that
// no job is lost), the local socket of the running program, and the printer application's
// port. Plain C++: the printer application and the program both use it.
#pragma once

#include <string>

namespace userplaces {

// $PLYJOIN_JOBS where set (tests); else $XDG_DATA_HOME/plyjoin/jobs, or
// ~/.local/share/plyjoin/jobs.
std::string jobsFolder();
// The running program's socket, one for each session: $XDG_RUNTIME_DIR/plyjoin.socket, or
// /tmp/plyjoin-UID.socket where the session has no runtime folder.
std::string programSocket();
// The printer application's port unless told another: fixed per user, so that two users of
// one machine never share one: 49152 + UID modulo 16000.
int printerPort();
// The CUPS queue's name for this user: "Plyjoin-USER".
std::string queueName();
// Makes a folder and those above it, the last one mode 0700; false where it cannot.
bool makePrivateFolder(const std::string &path);

} // namespace userplaces
