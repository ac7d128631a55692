#include "packet_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "hex_dump.h"
#include "zr_json.h"
#include "zr_packet_head.h"

namespace zrpkt {

namespace {

bool isBlank(char c) { return std::strchr(" \t\r\n\f\v", c) != nullptr && c != '\0'; }

// A byte as an error text shows it: 'z', or 0x7F when not printable.
std::string showByte(unsigned char c) {
    char text[8];
    std::snprintf(text, sizeof text, c >= 0x20 && c < 0x7F ? "'%c'" : "0x%02X", c);
    return text;
}

std::string systemError(const std::string& name, const char* what) {
    return name + ": " + what + ": " + std::strerror(errno);
}

// Reads to the end of `fd`, at most kMaxInputBytes.
std::string readAll(int fd, const std::string& name) {
    std::string bytes;
    std::vector<char> chunk(64 * 1024);
    for (;;) {
        const ssize_t got = ::read(fd, chunk.data(), chunk.size());
        if (got == 0) return bytes;
        if (got < 0) {
            if (errno == EINTR) continue;
            throw BadInput(systemError(name, "cannot read"));
        }
        bytes.append(chunk.data(), static_cast<std::size_t>(got));
        if (bytes.size() > kMaxInputBytes) {
            throw BadInput(name + ": more than " + std::to_string(kMaxInputBytes) + " bytes, too large for a packet");
        }
    }
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

void writeStandardOutput(const std::string& data) {
    try {
        writeAll(STDOUT_FILENO, data);
    } catch (const std::exception&) {
        throw BadInput(systemError("standard output", "cannot write"));
    }
}

// Whether `target` is the file standard output is open on: /dev/stdout, or
// the file the shell redirected it to, which is written as it was opened
// (appended to after >>, say), not replaced.
bool isStandardOutput(const struct stat& target) {
    struct stat out {};
    return ::fstat(STDOUT_FILENO, &out) == 0 && out.st_dev == target.st_dev && out.st_ino == target.st_ino;
}

// A device, FIFO or socket: written as it is, never replaced by a file.
void writeThrough(const std::string& path, const std::string& data) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) throw BadInput(systemError(path, "cannot open"));
    bool done = true;
    try {
        writeAll(fd, data);
    } catch (const std::exception&) {
        done = false;
    }
    done = ::close(fd) == 0 && done;
    if (!done) throw BadInput(systemError(path, "cannot write"));
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

// The regular file at `file` (made, or replaced) holds `data` with `mode`:
// written to a temporary file beside it and renamed over it once complete,
// so that a failure never leaves a partial file, nor the temporary one.
void replaceFile(const std::string& file, const std::string& data, mode_t mode) {
    std::string temporary = file + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) throw BadInput(systemError(file, "cannot create"));
    bool done = ::fchmod(fd, mode) == 0;  // mkstemp makes the file private
    try {
        if (done) writeAll(fd, data);
    } catch (const std::exception&) {
        done = false;
    }
    done = ::close(fd) == 0 && done;
    done = done && ::rename(temporary.c_str(), file.c_str()) == 0;
    if (!done) {
        const int reason = errno;
        ::unlink(temporary.c_str());
        errno = reason;
        throw BadInput(systemError(file, "cannot write"));
    }
}

}  // namespace

Input readInput(const std::string& path) {
    if (path.empty() || path == "-") {
        if (::isatty(STDIN_FILENO)) throw UsageError("no input: give a FILE, or pipe the input in");
        return {"stdin", readAll(STDIN_FILENO, "stdin")};
    }
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) throw BadInput(systemError(path, "cannot open"));
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
        ::close(fd);
        throw BadInput(path + ": is a directory");
    }
    try {
        Input input{path, readAll(fd, path)};
        ::close(fd);
        return input;
    } catch (...) {
        ::close(fd);
        throw;
    }
}

std::string packetBytes(const Input& input) {
    const std::string& text = input.bytes;
    if (!text.empty() && static_cast<unsigned char>(text[0]) == _STX_) return text;
    std::string dumped;
    try {
        if (readHexDump(text, dumped)) {
            if (dumped.empty()) throw BadInput("a dump of no bytes: no packet in it");
            return dumped;
        }
    } catch (const BadInput& e) {
        throw BadInput(input.name + ": " + e.what());
    }
    std::size_t notHex = 0;
    while (notHex < text.size() && (isHexDigit(text[notHex]) || isBlank(text[notHex]))) ++notHex;
    if (notHex == text.size()) {
        std::string bytes;
        if (!zrFromHex(text, bytes)) throw BadInput(input.name + ": an odd number of hex digits (a byte is two)");
        if (bytes.empty()) throw BadInput(input.name + ": empty: no packet in it");
        return bytes;
    }
    throw BadInput(input.name + ": neither hex (" + showByte(static_cast<unsigned char>(text[notHex])) + " at offset " +
                   std::to_string(notHex) + ") nor a packet (its first byte is " + zrToHex(text.data(), 1) +
                   ", not 02)");
}

void writeOutput(const std::string& path, const std::string& data) {
    if (path.empty() || path == "-") return writeStandardOutput(data);
    struct stat target {};
    if (::stat(path.c_str(), &target) != 0) {
        if (errno != ENOENT) throw BadInput(systemError(path, "cannot write"));
        return replaceFile(endOfLinks(path), data, newFileMode());
    }
    if (isStandardOutput(target)) return writeStandardOutput(data);
    if (S_ISDIR(target.st_mode)) throw BadInput(path + ": is a directory");
    if (!S_ISREG(target.st_mode)) return writeThrough(path, data);
    char* real = ::realpath(path.c_str(), nullptr);
    if (real == nullptr) throw BadInput(systemError(path, "cannot write"));
    const std::string file = real;
    std::free(real);
    replaceFile(file, data, target.st_mode & 0777);
}

bool stdoutIsTerminal() { return ::isatty(STDOUT_FILENO) != 0; }

}  // namespace zrpkt
