// Input and output of the inspector: files or standard input read in chunks
// as they come, and output written through as it is made, or to a file made
// whole or not at all.
#ifndef ZRPACKET_TOOLS_ZRPKT_PACKET_IO_H
#define ZRPACKET_TOOLS_ZRPKT_PACKET_IO_H

#include <cstddef>
#include <stdexcept>
#include <string>

namespace zrpkt {

// Input the command cannot use: reported as one line, exit status 1.
class BadInput : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A command line the tool cannot act on: exit status 2.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The file at `path`, or standard input when path is empty or "-", read in
// chunks. Refuses a terminal as standard input (the tool would only wait)
// and a directory.
class InputFile {
public:
    explicit InputFile(const std::string& path);
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    const std::string& name() const { return m_name; }  // the path, or "stdin"
    // The next bytes, at most `size` of them, as soon as any are at hand; 0
    // at the end.
    std::size_t read(char* buffer, std::size_t size);

private:
    std::string m_name;
    int m_fd = -1;
};

// Where a command's output goes: standard output when path is empty or "-".
// A regular file (or one that a symbolic link names) is made or replaced
// whole: written to a temporary file beside it that is renamed over it by
// commit(), so that a failure never leaves a partial file; a replaced file
// keeps its mode, a new one gets 0666 less the umask. Anything else (a
// device, a FIFO, the file standard output is open on) is written through.
class OutputFile {
public:
    explicit OutputFile(const std::string& path);
    // Without commit(), a file being made is removed and the old one kept.
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Kept in a buffer, written once it holds a block.
    void write(const std::string& data);
    void write(const char* data, std::size_t size);
    // Writes what the buffer holds: a reader at the other end of a pipe gets
    // it now.
    void flush();
    // Everything is written: the file made or replaced.
    void commit();
    // Whether this makes or replaces a file (not written through).
    bool replaces() const { return !m_temporary.empty(); }
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
    std::string m_temporary;  // the file being made, renamed to m_target by commit()
    std::string m_target;
    int m_fd = -1;
    bool m_ownFd = false;
    std::string m_buffer;
};

// `data` to `path` as OutputFile writes it.
void writeOutput(const std::string& path, const std::string& data);

// Whether standard output is a terminal.
bool stdoutIsTerminal();

}  // namespace zrpkt

#endif  // ZRPACKET_TOOLS_ZRPKT_PACKET_IO_H
