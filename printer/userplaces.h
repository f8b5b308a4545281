// Where the printer application, its CUPS backend and the program meet, one user at a time:
//
// - the jobs folder, where what is printed waits as a folder of its own per job (the user's,
//   mode 0700, kept across log-ins so that no job is lost);
// - the printer's spool, where PAPPL receives a job's document before it is kept (beside the
//   jobs folder, never reached through it, so that either may be missing);
// - the runtime folder, with the printer's and the program's local sockets: only ever one that
//   belongs to the user and that no one else may enter, so that no one else can have made it
//   first or listen in it;
// - the printer's port for IPP clients on this machine, and the CUPS queue's name.
//
// Plain C++: the printer application, the backend and the program all use it.
#pragma once

#include <string>
#include <sys/types.h>

namespace userplaces {

// The one CUPS queue of the machine that prints into each user's printer; its description is
// the printer's name.
constexpr const char *kQueueName = "Tavrell_PDF_Plyjoin";
constexpr const char *kPrinterName = "Tavrell PDF Plyjoin";

// $PLYJOIN_JOBS where set (tests); else $XDG_DATA_HOME/plyjoin/jobs, or
// ~/.local/share/plyjoin/jobs.
std::string jobsFolder();
// $XDG_DATA_HOME/plyjoin/printer-spool, or ~/.local/share/plyjoin/printer-spool.
std::string spoolFolder();

// This user's runtime folder: "plyjoin" in $XDG_RUNTIME_DIR where that is set and the user's;
// else in /run/user/UID (the root of which $PLYJOIN_RUNTIME_ROOT names instead, for tests)
// where that is the user's; else /tmp/plyjoin-UID. With `make`, it is made (mode 0700) when
// missing. Empty, with `why` said, where it is not a real folder of this user's that only the
// user may enter (another user made it first, or it is a link).
std::string runtimeFolder(bool make, std::string *why = nullptr);
// A folder is trusted as this user's private folder: a folder (not a link to one), owned by
// `uid`, that no one else may write in or enter.
bool isPrivateFolderOf(const std::string &path, uid_t uid);

// The printer's IPP socket and the program's hand-off socket in a runtime folder.
std::string printerSocket(const std::string &runtime);
std::string programSocket(const std::string &runtime);

// The port the printer listens on for IPP clients on this machine unless that is taken:
// 49152 + UID modulo 16000.
int preferredPrinterPort();

// Makes a folder and those above it, the last one mode 0700; false where it cannot.
bool makePrivateFolder(const std::string &path);

} // namespace userplaces
