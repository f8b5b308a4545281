// pdfplyjoin: places several pages of a PDF side by side on each sheet of a new PDF.
#include "calibrate.h"
#include "impose.h"
#include "output.h"
#include "protocol.h"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFExc.hh>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>
#include <iostream>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#include <shellapi.h>
#else
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

// The arguments as UTF-8. On Windows main() gets them in the ANSI code page, which cannot
// name every file: they are taken from the wide command line instead.
std::vector<std::string> arguments(int argc, char *argv[])
{
#ifdef _WIN32
    int count = 0;
    if (LPWSTR *wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
        std::vector<std::string> args;
        for (int i = 1; i < count; ++i) {
            const int n = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
            std::string arg(size_t(n > 0 ? n - 1 : 0), '\0');
            if (n > 1)
                WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, arg.data(), n, nullptr, nullptr);
            args.push_back(arg);
        }
        LocalFree(wide);
        return args;
    }
#endif
    return std::vector<std::string>(argv + 1, argv + argc);
}

// The sides a report made, as they are said.
protocol::Sides sidesOf(const ImposeReport &report)
{
    protocol::Sides sides;
    sides.sheets = (long long)report.sheets;
    for (const std::vector<int> &pages : report.pages)
        sides.pages.push_back(pages);
    sides.shows = report.words;
    return sides;
}

// The sheets window's server: the input read once, then proofs asked on standard input (the
// options' words one a line, "-sheets N" among them, then an empty line) and answered on
// standard output, one answer each (protocol.h).
int serve(const std::string &input)
{
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    std::vector<std::string> opened;  // what reading the input warned of, said with every proof
    Options base;
    base.files.input = input;
    std::unique_ptr<QPDF> document;
    PagesRead read;
    std::string openError;
    try {
        document = openForProofs(base, [&opened](const std::string &w) { opened.push_back(w); }, read);
    } catch (const std::exception &e) {
        openError = e.what();
    }
    const auto say = [](const std::string &text) { std::fwrite(text.data(), 1, text.size(), stdout); };
    std::vector<std::string> words;
    std::string line;
    while (std::getline(std::cin, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty()) {
            words.push_back(line);
            continue;
        }
        std::vector<std::string> args = words;
        words.clear();
        args.insert(args.end(), {"--", input, "-"});
        if (!openError.empty()) {
            say(protocol::refusal(1, openError));
        } else {
            try {
                CommandLine cmd = parseCommandLine(args);
                std::vector<std::string> warnings = opened;
                warnings.insert(warnings.end(), cmd.warnings.begin(), cmd.warnings.end());
                ImposeReport report;
                const std::string pdf = proofOf(*document, cmd.options,
                                                [&warnings](const std::string &w) { warnings.push_back(w); }, report, read);
                say(protocol::answerHead(sidesOf(report), warnings, pdf.size()));
                say(pdf);
            } catch (const UsageError &e) {
                say(protocol::refusal(2, e.what()));
            } catch (const NoSuchSheet &e) {
                say(protocol::refusal(1, e.what(), (long long)e.sheets));
            } catch (const std::exception &e) {
                say(protocol::refusal(1, e.what()));
            }
        }
        std::fflush(stdout);
    }
    document.release();  // the system takes it back
    return 0;
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
    const std::vector<std::string> args = arguments(argc, argv);
    if (args.size() == 2 && args[0] == "--serve")
        return serve(args[1]);
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
        std::cout << "pdfplyjoin " << PDFPLYJOIN_VERSION << "\n"
                  << "License GPL-3.0-or-later: GNU GPL version 3 or later <https://gnu.org/licenses/gpl.html>\n";
        return 0;
    }

    int last = -1;
    auto progress = [&last](int percent) {
        if (percent <= last)
            return;
        last = percent;
        std::fputs(protocol::progressLine(percent).c_str(), stdout);
        std::fflush(stdout);
    };
    auto warn = [](const std::string &message) { std::cerr << protocol::warningLine(message); };
    for (const std::string &warning : cmd.warnings)
        warn(warning);
    std::unique_ptr<QPDF> document;
    ImposeReport report;
    try {
        if (cmd.action == Action::Calibrate) {
            writeCalibrationSheet(cmd.options);
        } else {
            report = impose(cmd.options, progress, warn, &document);
        }
    } catch (const UsageError &e) {  // a value that only the document shows to be wrong
        std::cerr << "pdfplyjoin: " << e.what() << "\n";
        return 2;
    } catch (const std::exception &e) {
        if (const auto *none = dynamic_cast<const NoSuchSheet *>(&e)) {
            protocol::Sides known;  // so that a preview can ask again
            known.sheets = (long long)none->sheets;
            std::fputs(protocol::sidesLines(known).c_str(), stdout);
            std::fflush(stdout);
        }
        std::cerr << "pdfplyjoin: " << e.what() << "\n";
        return 1;
    }
    if (cmd.action == Action::Run) {
        if (cmd.options.files.proof) {
            std::fputs(protocol::sidesLines(sidesOf(report)).c_str(), stdout);
        } else {
            std::printf("%s\n", keptLine(report.kept).c_str());
            if (!report.sizes.empty())
                std::printf("%s\n", report.sizes.c_str());
        }
    }
    std::printf("%s\n", protocol::kSuccess);
    std::fflush(stdout);
    // The output is complete and renamed; the system reclaims the document's memory.
    document.release();
    return 0;
}
