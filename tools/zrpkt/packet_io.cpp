#include "packet_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "zr_json.h"
#include "zr_packet_head.h"

namespace zrpkt {

namespace {

bool isBlank(char c) { return std::strchr(" \t\r\n\f\v", c) != nullptr && c != '\0'; }
bool isHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

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
    std::size_t notHex = 0;
    while (notHex < text.size() && (isHexDigit(text[notHex]) || isBlank(text[notHex]))) ++notHex;
    if (notHex == text.size()) {
        std::string bytes;
        if (!zrFromHex(text, bytes)) throw BadInput(input.name + ": an odd number of hex digits (a byte is two)");
        if (bytes.empty()) throw BadInput(input.name + ": empty: no packet in it");
        return bytes;
    }
    if (static_cast<unsigned char>(text[0]) == _STX_) return text;
    throw BadInput(input.name + ": neither hex (" + showByte(static_cast<unsigned char>(text[notHex])) + " at offset " +
                   std::to_string(notHex) + ") nor a packet (its first byte is " + zrToHex(text.data(), 1) +
                   ", not 02)");
}

void writeOutput(const std::string& path, const std::string& data) {
    if (path.empty()) {
        try {
            writeAll(STDOUT_FILENO, data);
        } catch (const std::exception&) {
            throw BadInput(systemError("standard output", "cannot write"));
        }
        return;
    }
    std::string temporary = path + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) throw BadInput(systemError(path, "cannot create"));
    // mkstemp makes the file private; give it the mode a new file would get.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    bool done = ::fchmod(fd, 0666 & ~mask) == 0;
    try {
        if (done) writeAll(fd, data);
    } catch (const std::exception&) {
        done = false;
    }
    done = ::close(fd) == 0 && done;
    done = done && ::rename(temporary.c_str(), path.c_str()) == 0;
    if (!done) {
        const int reason = errno;
        ::unlink(temporary.c_str());
        errno = reason;
        throw BadInput(systemError(path, "cannot write"));
    }
}

bool stdoutIsTerminal() { return ::isatty(STDOUT_FILENO) != 0; }

}  // namespace zrpkt
