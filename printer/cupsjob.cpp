#include "cupsjob.h"

#include <cups/cups.h>

#include <algorithm>
#include <cstdlib>

std::string pwgMediaName(const std::string &name)
{
    if (name.empty())
        return std::string();
    // Only the first of a list ("A4,tray-1").
    const std::string first = name.substr(0, name.find(','));
    pwg_media_t *media = pwgMediaForPWG(first.c_str());
    if (!media)
        media = pwgMediaForPPD(first.c_str());
    if (!media)
        media = pwgMediaForLegacy(first.c_str());
    return media && media->pwg ? media->pwg : std::string();
}

ReceivedJob jobOfQueue(const std::string &title, const std::string &copies, const std::string &options,
                       const std::string &type)
{
    ReceivedJob job;
    job.title = title;
    job.copies = std::max(1, std::min(999, std::atoi(copies.c_str())));
    job.format = type == "application/vnd.cups-pdf" ? "application/pdf" : type;
    cups_option_t *parsed = nullptr;
    const int count = cupsParseOptions(options.c_str(), 0, &parsed);
    if (const char *sides = cupsGetOption("sides", count, parsed)) {
        job.sides = sides;
    } else if (const char *duplex = cupsGetOption("Duplex", count, parsed)) {
        const std::string d = duplex;
        job.sides = d == "DuplexNoTumble" ? "two-sided-long-edge" : d == "DuplexTumble" ? "two-sided-short-edge" : "one-sided";
    }
    if (job.sides != "one-sided" && job.sides != "two-sided-long-edge" && job.sides != "two-sided-short-edge")
        job.sides.clear();
    for (const char *key : {"media", "PageSize", "PageRegion"}) {
        if (const char *media = cupsGetOption(key, count, parsed)) {
            job.media = pwgMediaName(media);
            if (!job.media.empty())
                break;
        }
    }
    cupsFreeOptions(count, parsed);
    return job;
}
