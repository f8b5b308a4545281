#include "output.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

// The temporary name the output has at this moment, for removePartialOutput(). The name is
// written first and armed after, so that a signal never sees half a name.
char g_partialName[4096];
volatile std::sig_atomic_t g_partialArmed = 0;

void armPartial(const std::string &name)
{
    g_partialArmed = 0;
    std::snprintf(g_partialName, sizeof g_partialName, "%s", name.c_str());
    g_partialArmed = 1;
}

void disarmPartial()
{
    g_partialArmed = 0;
}

std::string folderOf(const std::string &path)
{
    const fs::path p = fs::u8path(path);
    return p.has_parent_path() ? p.parent_path().u8string() : std::string(".");
}

// A fresh hidden name in `folder` for the file while it is being written or named.
std::string partialName(const std::string &folder)
{
    static std::mt19937_64 random{std::random_device{}()};
    char name[64];
    std::snprintf(name, sizeof name, ".pdfplyjoin-%016llx.part", static_cast<unsigned long long>(random()));
    return (fs::u8path(folder) / name).u8string();
}

#ifdef _WIN32
std::wstring wide(const std::string &utf8)
{
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
    std::wstring out(size_t(n > 0 ? n : 1), L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, out.data(), n);
    out.resize(wcslen(out.c_str()));
    return out;
}

std::string systemReason(DWORD code)
{
    char *text = nullptr;
    FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, code, 0, reinterpret_cast<char *>(&text), 0, nullptr);
    std::string reason = text ? text : "error " + std::to_string(code);
    LocalFree(text);
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' || reason.back() == '.'))
        reason.pop_back();
    return reason;
}
#endif

} // namespace

void removePartialOutput()
{
    if (g_partialArmed) {
#ifdef _WIN32
        DeleteFileA(g_partialName);
#else
        unlink(g_partialName);
#endif
    }
}

// --- The file being written, by platform -------------------------------------------------

#ifdef _WIN32

// Windows has no file without a name. The temporary file is marked for deletion while it is
// written, so that the system removes it when the tool ends in any way, killed included;
// the mark is taken off just before the file is renamed by its handle.
struct OutputFile::Platform
{
    HANDLE handle = INVALID_HANDLE_VALUE;
    std::string name;
    bool committed = false;

    explicit Platform(const std::string &output)
    {
        const std::string folder = folderOf(output);
        DWORD error = 0;
        for (int attempt = 0; attempt < 16 && handle == INVALID_HANDLE_VALUE; ++attempt) {
            name = partialName(folder);
            handle = CreateFileW(wide(name).c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
            error = GetLastError();
            if (handle == INVALID_HANDLE_VALUE && error != ERROR_FILE_EXISTS)
                break;
        }
        if (handle == INVALID_HANDLE_VALUE)
            throw OutputError("cannot write in the folder of " + output + ": " + systemReason(error));
        FILE_DISPOSITION_INFO dispose{TRUE};
        if (!SetFileInformationByHandle(handle, FileDispositionInfo, &dispose, sizeof dispose))
            armPartial(name);  // not supported here: removed by name when the tool is stopped
    }
    ~Platform()
    {
        if (handle != INVALID_HANDLE_VALUE) {
            if (!committed) {
                FILE_DISPOSITION_INFO dispose{TRUE};
                SetFileInformationByHandle(handle, FileDispositionInfo, &dispose, sizeof dispose);
            }
            CloseHandle(handle);
        }
        if (!committed)
            DeleteFileW(wide(name).c_str());
        disarmPartial();
    }
    // Writes all of `data`; false with the reason on failure.
    bool write(const char *data, size_t size, std::string &reason)
    {
        while (size > 0) {
            DWORD written = 0;
            const DWORD chunk = DWORD(std::min<size_t>(size, 1u << 30));
            if (!WriteFile(handle, data, chunk, &written, nullptr) || written == 0) {
                reason = systemReason(GetLastError());
                return false;
            }
            data += written;
            size -= written;
        }
        return true;
    }
    void commit(const std::string &output)
    {
        auto fail = [&](const char *what) {
            throw OutputError("cannot write " + output + " (" + what + "): " + systemReason(GetLastError()));
        };
        if (!FlushFileBuffers(handle))
            fail("flush");
        FILE_DISPOSITION_INFO keep{FALSE};
        if (!SetFileInformationByHandle(handle, FileDispositionInfo, &keep, sizeof keep))
            fail("keep");
        const std::wstring target = wide(output);
        std::vector<char> buffer(sizeof(FILE_RENAME_INFO) + target.size() * sizeof(wchar_t));
        auto *rename = reinterpret_cast<FILE_RENAME_INFO *>(buffer.data());
        rename->ReplaceIfExists = TRUE;
        rename->RootDirectory = nullptr;
        rename->FileNameLength = DWORD(target.size() * sizeof(wchar_t));
        std::memcpy(rename->FileName, target.c_str(), target.size() * sizeof(wchar_t));
        if (!SetFileInformationByHandle(handle, FileRenameInfo, rename, DWORD(buffer.size())))
            fail("rename");
        committed = true;
        const BOOL closed = CloseHandle(handle);
        handle = INVALID_HANDLE_VALUE;
        disarmPartial();
        if (!closed) {
            DeleteFileW(target.c_str());
            fail("close");
        }
    }
};

#else

// Linux writes into an unnamed file in the output's folder (O_TMPFILE): whatever ends the
// tool, nothing is left. Other systems, and file systems without unnamed files, use a hidden
// temporary file, removed on failure and by the signal handler.
struct OutputFile::Platform
{
    int fd = -1;
    std::string folder;
    std::string name;  // the temporary file's name while it has one
    bool committed = false;

    explicit Platform(const std::string &output) : folder(folderOf(output))
    {
#ifdef O_TMPFILE
        fd = open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        if (fd >= 0)
            return;
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
            throw OutputError("cannot write in the folder of " + output + ": " + std::strerror(errno));
#endif
        for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
            name = partialName(folder);
            armPartial(name);
            fd = open(name.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
            if (fd < 0 && errno != EEXIST)
                break;
        }
        if (fd < 0) {
            const int error = errno;
            disarmPartial();
            throw OutputError("cannot write in the folder of " + output + ": " + std::strerror(error));
        }
    }
    ~Platform()
    {
        if (fd >= 0)
            close(fd);
        if (!committed && !name.empty())
            unlink(name.c_str());
        disarmPartial();
    }
    bool write(const char *data, size_t size, std::string &reason)
    {
        while (size > 0) {
            const ssize_t n = ::write(fd, data, size);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                reason = n < 0 ? std::strerror(errno) : "nothing was written";
                return false;
            }
            data += n;
            size -= size_t(n);
        }
        return true;
    }
    void commit(const std::string &output)
    {
        auto fail = [&](int error) {
            throw OutputError("cannot write " + output + ": " + std::strerror(error));
        };
        if (fsync(fd) != 0)
            fail(errno);
        if (name.empty())
            giveName(output);
        const int closed = close(fd);
        const int closeError = errno;
        fd = -1;
        if (closed != 0)
            fail(closeError);
        if (std::rename(name.c_str(), output.c_str()) != 0)
            fail(errno);
        committed = true;
        disarmPartial();
        // The rename itself reaches the disk with the folder.
        const int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir >= 0) {
            fsync(dir);
            close(dir);
        }
    }
    // Links the complete unnamed file under a temporary name beside the output; the rename
    // then puts it in place of any older output in one step.
    void giveName(const std::string &output)
    {
        const std::string self = "/proc/self/fd/" + std::to_string(fd);
        int error = 0;
        for (int attempt = 0; attempt < 16; ++attempt) {
            const std::string candidate = partialName(folder);
            name = candidate;
            armPartial(candidate);
            if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, candidate.c_str(), AT_SYMLINK_FOLLOW) == 0)
                return;
            error = errno;
#ifdef AT_EMPTY_PATH
            if (error == ENOENT && linkat(fd, "", AT_FDCWD, candidate.c_str(), AT_EMPTY_PATH) == 0)
                return;  // no /proc: this needs a privilege, but may have it
#endif
            if (error != EEXIST)
                break;
        }
        name.clear();
        disarmPartial();
        throw OutputError("cannot write " + output + ": " + std::strerror(error));
    }
};

#endif

// --- Buffered, checked writing -------------------------------------------------------------

// Buffers the writer's many small writes. A failure is kept, not thrown: the writer calls
// finish() from destructors, where an exception would end the process. Writes after a
// failure go nowhere; commit() and failure() report it.
class OutputFile::Sink : public Pipeline
{
public:
    Sink(Platform &platform, const std::string &output)
        : Pipeline("output file", nullptr), m_platform(platform), m_output(output), m_buffer(new char[kBufferSize])
    {
    }
    // Called for every token the writer writes: kept to a copy where it fits.
    void write(unsigned char const *data, size_t len) override
    {
        if (len <= kBufferSize - m_used) {
            std::memcpy(m_buffer.get() + m_used, data, len);
            m_used += len;
            return;
        }
        flush();
        if (len >= kBufferSize) {
            put(reinterpret_cast<const char *>(data), len);
        } else {
            std::memcpy(m_buffer.get(), data, len);
            m_used = len;
        }
    }
    void finish() override { flush(); }
    void flush()
    {
        put(m_buffer.get(), m_used);
        m_used = 0;
    }
    const std::string &failure() const { return m_failure; }

private:
    static constexpr size_t kBufferSize = 64 * 1024;
    void put(const char *data, size_t len)
    {
        std::string reason;
        if (m_failure.empty() && len > 0 && !m_platform.write(data, len, reason))
            m_failure = "cannot write " + m_output + ": " + reason;
    }
    Platform &m_platform;
    std::string m_output;
    std::unique_ptr<char[]> m_buffer;
    size_t m_used = 0;
    std::string m_failure;
};

OutputFile::OutputFile(const std::string &path)
    : m_path(path), m_platform(std::make_unique<Platform>(path)), m_sink(std::make_unique<Sink>(*m_platform, path))
{
}

OutputFile::~OutputFile() = default;

Pipeline &OutputFile::pipeline()
{
    return *m_sink;
}

void OutputFile::checkWritten() const
{
    if (!m_sink->failure().empty())
        throw OutputError(m_sink->failure());
}

void OutputFile::commit()
{
    m_sink->flush();
    checkWritten();
    m_platform->commit(m_path);
}
