// A job of the system's queue as CUPS hands it to the backend (its title, copies, options and
// the type of its document), read into what the printer keeps of a job.
#pragma once

#include "handoff.h"

#include <string>

// `options`: CUPS's option text ("media=A4 sides=two-sided-long-edge ..." or the PPD's
// names, "PageSize=A4 Duplex=DuplexNoTumble"); `type`: the document's MIME type.
ReceivedJob jobOfQueue(const std::string &title, const std::string &copies, const std::string &options,
                       const std::string &type);

// The PWG name of a paper named any way CUPS names it ("A4", "iso_a4_210x297mm", "Letter",
// "na_letter_8.5x11in", "om_123x456mm"); empty where it names none.
std::string pwgMediaName(const std::string &name);
