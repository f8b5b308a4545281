// pdfplyjoin: places several pages of a PDF side by side on each sheet of a new PDF.
#include "impose.h"
#include "output.h"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFExc.hh>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>
#include <iostream>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace {

// A signal that ends the tool removes the partial output first.
extern "C" void removePartialAndExit(int sig)
{
    removePartialOutput();
#ifndef _WIN32
    _exit(128 + sig);
#else
    std::_Exit(128 + sig);
#endif
}

void installSignalHandlers()
{
    for (int sig : {SIGINT, SIGTERM
#ifndef _WIN32
                    , SIGHUP, SIGPIPE
#endif
         })
        std::signal(sig, removePartialAndExit);
}

} // namespace

int main(int argc, char *argv[])
{
    installSignalHandlers();
    std::vector<std::string> args(argv + 1, argv + argc);
    CommandLine cmd;
    try {
        cmd = parseCommandLine(args);
    } catch (const UsageError &e) {
        std::cerr << "pdfplyjoin: " << e.what() << "\n";
        return 2;
    }
    if (cmd.action == Action::Help) {
        std::cout << usageText();
        return 0;
    }
    if (cmd.action == Action::Version) {
        std::cout << "pdfplyjoin " << PDFPLYJOIN_VERSION << "\n";
        return 0;
    }

    int last = -1;
    auto progress = [&last](int percent) {
        if (percent <= last)
            return;
        last = percent;
        std::printf("Tavrell processing %d%%\n", percent);
        std::fflush(stdout);
    };
    auto warn = [](const std::string &message) { std::cerr << "pdfplyjoin: warning: " << message << "\n"; };
    std::unique_ptr<QPDF> document;
    try {
        impose(cmd.options, progress, warn, &document);
    } catch (const std::exception &e) {
        std::cerr << "pdfplyjoin: " << e.what() << "\n";
        return 1;
    }
    std::printf("result=OK\n");
    std::fflush(stdout);
    // The output is complete and renamed; the system reclaims the document's memory.
    document.release();
    return 0;
}
