#pragma once

#include <qpdf/InputSource.hh>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

// The input file as qpdf reads it, through a window of its own. qpdf moves about the file
// for every object it parses and every stream it copies; a standard file asks the system
// where it stands and where to go at every move (a third of the time of reading a large
// document), this one keeps its place itself and asks the system only for the bytes it has
// not got.
class InputFile : public InputSource
{
public:
    // Opens the file; a file that cannot be opened throws as qpdf's own files do.
    explicit InputFile(const std::string &path, size_t window = 64 * 1024);
    InputFile(const InputFile &) = delete;
    InputFile &operator=(const InputFile &) = delete;

    qpdf_offset_t findAndSkipNextEOL() override;
    std::string const &getName() const override;
    qpdf_offset_t tell() override;
    void seek(qpdf_offset_t offset, int whence) override;
    void rewind() override;
    size_t read(char *buffer, size_t length) override;
    void unreadCh(char ch) override;

private:
    // The window moved to start at `at`; false where nothing is left to read there.
    bool fill(qpdf_offset_t at);
    size_t readAt(qpdf_offset_t at, char *buffer, size_t length);
    bool inWindow(qpdf_offset_t at) const { return at >= m_start && at < m_start + qpdf_offset_t(m_length); }

    std::string m_name;
    std::unique_ptr<std::FILE, int (*)(std::FILE *)> m_file;
    qpdf_offset_t m_size = 0;
    qpdf_offset_t m_pos = 0;
    std::vector<char> m_window;
    qpdf_offset_t m_start = 0;
    size_t m_length = 0;
};
