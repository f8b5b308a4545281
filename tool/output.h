// The output file, written so that it is never seen half-written: the bytes go into a file
// without a name (or, where the file system cannot make one, a hidden temporary file beside
// the output), and only a complete file, safely on the disk, takes the output's name,
// replacing an older file of that name in one step. Every write, flush, sync, close and
// rename is checked; a failure names the output and the system's reason.
#pragma once

#include "errors.h"

#include <qpdf/Pipeline.hh>

#include <memory>
#include <stdexcept>
#include <string>


class OutputFile
{
public:
    // Opens the file being written in the folder of `path`; throws OutputError.
    explicit OutputFile(const std::string &path);
    // Removes what was written unless it was committed.
    ~OutputFile();
    OutputFile(const OutputFile &) = delete;
    OutputFile &operator=(const OutputFile &) = delete;

    // Receives the file's bytes. It never throws: a write that fails is remembered, and
    // checkWritten() or commit() report it.
    Pipeline &pipeline();
    // Throws OutputError when a write has failed.
    void checkWritten() const;
    // Writes what is buffered, syncs it to the disk and gives the file its name.
    void commit();

    class Sink;

private:
    struct Platform;
    std::string m_path;
    std::unique_ptr<Platform> m_platform;
    std::unique_ptr<Sink> m_sink;
};

// Removes the temporary file that the output has under a name at this moment, if any. Safe
// to call from a signal handler: the tool calls it when a signal ends it.
void removePartialOutput();
