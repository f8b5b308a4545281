#include "inputfile.h"

#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFSystemError.hh>
#include <qpdf/QUtil.hh>

#include <algorithm>
#include <cerrno>
#include <cstring>

InputFile::InputFile(const std::string &path, size_t window)
    : m_name(path), m_file(QUtil::safe_fopen(path.c_str(), "rb"), &std::fclose), m_window(std::max<size_t>(window, 1))
{
    // The file is read in windows of its own: the system's buffer would only be copied.
    std::setvbuf(m_file.get(), nullptr, _IONBF, 0);
    if (QUtil::seek(m_file.get(), 0, SEEK_END) != 0)
        QUtil::throw_system_error("seek to the end of " + m_name);
    m_size = QUtil::tell(m_file.get());
    if (m_size < 0)
        QUtil::throw_system_error("find the size of " + m_name);
}

std::string const &InputFile::getName() const
{
    return m_name;
}

qpdf_offset_t InputFile::tell()
{
    return m_pos;
}

void InputFile::seek(qpdf_offset_t offset, int whence)
{
    const qpdf_offset_t from = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? m_pos : m_size;
    if ((whence != SEEK_SET && whence != SEEK_CUR && whence != SEEK_END) || offset < -from)
        throw QPDFSystemError("seek to " + m_name + ", offset " + std::to_string(offset) + " (" + std::to_string(whence) + ")",
                              EINVAL);
    m_pos = from + offset;
}

void InputFile::rewind()
{
    m_pos = 0;
}

void InputFile::unreadCh(char)
{
    // qpdf gives back only the character it has just read.
    if (m_pos > 0)
        --m_pos;
}

bool InputFile::fill(qpdf_offset_t at)
{
    m_start = at;
    m_length = 0;
    if (at < m_size)
        m_length = readAt(at, m_window.data(), size_t(std::min(qpdf_offset_t(m_window.size()), m_size - at)));
    return m_length > 0;
}

size_t InputFile::readAt(qpdf_offset_t at, char *buffer, size_t length)
{
    if (QUtil::seek(m_file.get(), at, SEEK_SET) != 0)
        QUtil::throw_system_error("seek to " + m_name + ", offset " + std::to_string(at));
    errno = 0;
    const size_t got = std::fread(buffer, 1, length, m_file.get());
    // A read that failed part of the way is no end of the file: what it got is not used.
    if (std::ferror(m_file.get())) {
        const int error = errno;
        std::clearerr(m_file.get());
        throw QPDFExc(qpdf_e_system, m_name, "", at, error ? std::strerror(error) : "read error");
    }
    return got;
}

size_t InputFile::read(char *buffer, size_t length)
{
    last_offset = m_pos;
    size_t done = 0;
    while (done < length && m_pos < m_size) {
        if (!inWindow(m_pos)) {
            // What fills a window or more goes straight to the caller (a stream's data).
            if (length - done >= m_window.size()) {
                const size_t got = readAt(m_pos, buffer + done, length - done);
                if (got == 0)
                    break;
                m_pos += qpdf_offset_t(got);
                done += got;
                continue;
            }
            if (!fill(m_pos))
                break;
        }
        const size_t from = size_t(m_pos - m_start);
        const size_t n = std::min(length - done, m_length - from);
        std::memcpy(buffer + done, m_window.data() + from, n);
        m_pos += qpdf_offset_t(n);
        done += n;
    }
    if (done == 0 && length > 0) {
        // Nothing left: the place is the end, as a standard file's is after reading there.
        m_pos = m_size;
        last_offset = m_size;
    }
    return done;
}

qpdf_offset_t InputFile::findAndSkipNextEOL()
{
    // The offset of the next end of line; the place after it and the line ends that follow.
    qpdf_offset_t result = m_size;
    while (m_pos < m_size) {
        if (!inWindow(m_pos) && !fill(m_pos))
            break;
        const char *from = m_window.data() + (m_pos - m_start);
        const char *end = m_window.data() + m_length;
        const char *p = from;
        while (p < end && *p != '\r' && *p != '\n')
            ++p;
        m_pos += p - from;
        if (p < end) {
            result = m_pos;
            break;
        }
    }
    if (result == m_size) {
        m_pos = m_size;
        last_offset = m_size;
        return result;
    }
    char ch = 0;
    while (read(&ch, 1) == 1) {
        if (ch != '\r' && ch != '\n') {
            unreadCh(ch);
            break;
        }
    }
    return result;
}
