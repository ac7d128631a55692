#include "packet_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>


namespace zrpkt {

namespace {

// Output is written in blocks of this size, and at each flush().
constexpr std::size_t kBlockBytes = 64 * 1024;

std::string systemError(const std::string& name, const char* what) {
    return name + ": " + what + ": " + std::strerror(errno);
}

void writeAll(int fd, const std::string& data) {
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t put = ::write(fd, data.data() + done, data.size() - done);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) throw std::runtime_error("write failed");
        done += static_cast<std::size_t>(put);
    }
}

// Whether `target` is the file standard output is open on: /dev/stdout, or
// the file the shell redirected it to, which is written as it was opened
// (appended to after >>, say), not replaced.
bool isStandardOutput(const struct stat& target) {
    struct stat out {};
    return ::fstat(STDOUT_FILENO, &out) == 0 && out.st_dev == target.st_dev && out.st_ino == target.st_ino;
}

// The mode a new file gets: 0666 less the umask.
mode_t newFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// The path a chain of symbolic links ends at, where a file is to be made: a
// path that does not exist yet (`path` itself when it is no link).
std::string endOfLinks(std::string path) {
    for (int hops = 0;; ++hops) {
        struct stat link {};
        if (::lstat(path.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) return path;
        if (hops == 40) {
            errno = ELOOP;
            throw BadInput(systemError(path, "cannot write"));
        }
        std::string target(static_cast<std::size_t>(link.st_size) + 1, '\0');
        const ssize_t length = ::readlink(path.c_str(), target.data(), target.size());
        if (length < 0 || static_cast<std::size_t>(length) >= target.size()) {
            throw BadInput(systemError(path, "cannot read the link"));
        }
        target.resize(static_cast<std::size_t>(length));
        const std::size_t slash = path.rfind('/');
        path = target[0] == '/' || slash == std::string::npos ? target : path.substr(0, slash + 1) + target;
    }
}

}  // namespace

InputFile::InputFile(const std::string& path) {
    if (path.empty() || path == "-") {
        if (::isatty(STDIN_FILENO)) throw UsageError("no input: give a FILE, or pipe the input in");
        m_name = "stdin";
        m_fd = STDIN_FILENO;
        return;
    }
    m_name = path;
    m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (m_fd < 0) throw BadInput(systemError(path, "cannot open"));
    struct stat info {};
    if (::fstat(m_fd, &info) == 0 && S_ISDIR(info.st_mode)) {
        ::close(m_fd);
        throw BadInput(path + ": is a directory");
    }
}

InputFile::~InputFile() {
    if (m_fd != STDIN_FILENO) ::close(m_fd);
}

std::size_t InputFile::read(char* buffer, std::size_t size) {
    for (;;) {
        const ssize_t got = ::read(m_fd, buffer, size);
        if (got >= 0) return static_cast<std::size_t>(got);
        if (errno != EINTR) throw BadInput(systemError(m_name, "cannot read"));
    }
}

OutputFile::OutputFile(const std::string& path) : m_path(path), m_fd(STDOUT_FILENO) {
    if (path.empty() || path == "-") return;
    struct stat target {};
    mode_t mode = 0;
    if (::stat(path.c_str(), &target) != 0) {
        if (errno != ENOENT) throw BadInput(systemError(path, "cannot write"));
        m_target = endOfLinks(path);
        mode = newFileMode();
    } else {
        if (isStandardOutput(target)) return;
        if (S_ISDIR(target.st_mode)) throw BadInput(path + ": is a directory");
        if (!S_ISREG(target.st_mode)) {
            m_fd = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
            if (m_fd < 0) throw BadInput(systemError(path, "cannot open"));
            m_ownFd = true;
            return;
        }
        char* real = ::realpath(path.c_str(), nullptr);
        if (real == nullptr) throw BadInput(systemError(path, "cannot write"));
        m_target = real;
        std::free(real);
        mode = target.st_mode & 0777;
    }
    std::string temporary = m_target + ".XXXXXX";
    m_fd = ::mkstemp(temporary.data());
    if (m_fd < 0) throw BadInput(systemError(m_target, "cannot create"));
    m_ownFd = true;
    m_temporary = temporary;
    if (::fchmod(m_fd, mode) != 0) {  // mkstemp makes the file private
        const int reason = errno;
        ::close(m_fd);
        ::unlink(m_temporary.c_str());
        errno = reason;
        throw BadInput(systemError(m_target, "cannot write"));
    }
}

OutputFile::~OutputFile() {
    if (m_ownFd && m_fd >= 0) ::close(m_fd);
    if (!m_temporary.empty()) ::unlink(m_temporary.c_str());
}

void OutputFile::write(const std::string& data) { write(data.data(), data.size()); }

void OutputFile::write(const char* data, std::size_t size) {
    m_buffer.append(data, size);
    if (m_buffer.size() >= kBlockBytes) flush();
}

void OutputFile::flush() {
    if (m_buffer.empty()) return;
    try {
        writeAll(m_fd, m_buffer);
    } catch (const std::exception&) {
        throw BadInput(systemError(!m_ownFd ? "standard output" : m_temporary.empty() ? m_path : m_target, "cannot write"));
    }
    m_buffer.clear();
}

void OutputFile::commit() {
    flush();
    if (!m_ownFd) return;
    const bool closed = ::close(m_fd) == 0;
    m_fd = -1;
    if (closed && (m_temporary.empty() || ::rename(m_temporary.c_str(), m_target.c_str()) == 0)) {
        m_temporary.clear();
        return;
    }
    throw BadInput(systemError(m_temporary.empty() ? m_path : m_target, "cannot write"));
}

void writeOutput(const std::string& path, const std::string& data) {
    OutputFile output(path);
    output.write(data);
    output.commit();
}

bool stdoutIsTerminal() { return ::isatty(STDOUT_FILENO) != 0; }

}  // namespace zrpkt
