// Reads a dump line by line: an offset, the hex area, then whatever the tool
// shows beside it. Where the hex area ends is told by the blanks, never by
// what follows them, so an ASCII column of hex-looking characters ("cafe")
// is not taken for bytes; and each line's offset must be where the lines
// before it end, so a line read wrong, or a dump of 16-bit words or octal
// offsets, is refused rather than misread.
#include "hex_dump.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "packet_io.h"

namespace zrpkt {

namespace {

enum class Layout { Xxd, HexdumpC, Od, Tshark };

const char* layoutName(Layout layout) {
    switch (layout) {
        case Layout::Xxd:
            return "xxd";
        case Layout::HexdumpC:
            return "hexdump -C";
        case Layout::Od:
            return "od -A x -t x1";
        case Layout::Tshark:
            return "tshark -x";
    }
    return "?";
}

// Offsets are 4 (tshark) to 8 digits, more for large files; a longer run of
// digits at the start of a line is bare hex.
constexpr std::size_t kMinOffsetDigits = 4;
constexpr std::size_t kMaxOffsetDigits = 16;

int digitValue(char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; }

std::size_t hexRun(const std::string& line, std::size_t at) {
    while (at < line.size() && isHexDigit(line[at])) ++at;
    return at;
}
std::size_t blankRun(const std::string& line, std::size_t at) {
    while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) ++at;
    return at;
}

// The lines of the text, each without its line break, CR and leading blanks.
std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line.substr(blankRun(line, 0)));
        start = end + 1;
    }
    return lines;
}

// The layout a dump's first line shows; false when the text is no dump.
bool layoutOf(const std::string& line, bool startsWithStx, Layout& layout) {
    const std::size_t end = hexRun(line, 0);
    if (end < kMinOffsetDigits || end > kMaxOffsetDigits) return false;
    const std::size_t after = blankRun(line, end);
    const std::size_t blanks = after - end;
    if (line[end] == ':') {
        layout = Layout::Xxd;
    } else if (startsWithStx) {
        return false;  // bare hex, in groups
    } else if (end >= 8 && blanks == 2 && line.back() == '|') {
        layout = Layout::HexdumpC;  // tshark's offsets have 4 digits, and its ASCII column may end in '|'
    } else if (blanks == 2 && after < line.size() && isHexDigit(line[after])) {
        layout = Layout::Tshark;
    } else if (blanks == 1 || after == line.size()) {
        layout = Layout::Od;  // or, offset alone, an empty od or hexdump
    } else {
        return false;
    }
    return true;
}

class DumpReader {
public:
    DumpReader(Layout layout, std::string& bytes) : m_layout(layout), m_bytes(bytes) { m_bytes.clear(); }

    void line(const std::string& text, std::size_t number) {
        m_number = number;
        if (text.find_first_not_of(" \t") == std::string::npos) return;
        if (text == "*") {
            if (m_previous.empty()) fail("a '*' with no line before it to repeat");
            m_repeatLine = number;
            return;
        }
        const std::size_t digits = hexRun(text, 0);
        if (digits < kMinOffsetDigits || digits > kMaxOffsetDigits) {
            fail("no offset at its start, as every line of " + std::string(layoutName(m_layout)) + " output has");
        }
        std::uint64_t offset = 0;
        for (std::size_t i = 0; i < digits; ++i) offset = offset << 4 | static_cast<unsigned>(digitValue(text[i]));
        std::size_t at = digits;
        if (m_layout == Layout::Xxd) {
            if (text[at] != ':') fail("no ':' after the offset, as every line of xxd output has");
            ++at;
        }
        const std::string bytes = hexArea(text, at);
        follow(offset, text.substr(0, digits));
        if (m_lines > 0 && bytes.size() > m_width) {
            fail(std::to_string(bytes.size()) + " bytes, more than the " + std::to_string(m_width) +
                 " of the first line (an ASCII column read as hex?)");
        }
        if (m_lines++ == 0) m_width = bytes.size();
        m_bytes += bytes;
        if (!bytes.empty()) m_previous = bytes;
        m_end = offset + bytes.size();
        if (m_bytes.size() > kMaxInputBytes) tooLarge();
    }

    void finish() {
        if (m_repeatLine != 0) {
            m_number = m_repeatLine;
            fail("a '*' stands for repeats of the line before it up to the next offset, but no offset follows");
        }
    }

private:
    [[noreturn]] void fail(const std::string& what) const {
        throw BadInput("line " + std::to_string(m_number) + " of the " + layoutName(m_layout) + " dump: " + what);
    }
    [[noreturn]] void tooLarge() const {
        throw BadInput("a dump of more than " + std::to_string(kMaxInputBytes) + " bytes, too large for a packet");
    }

    // The bytes of the hex area from `at`. Tokens are two digits (xxd: any
    // even number, its groups) a blank apart, two at hexdump -C's middle
    // gap; two blanks or more, or hexdump -C's '|', end the area.
    std::string hexArea(const std::string& text, std::size_t at) const {
        const std::size_t lead = m_layout == Layout::Xxd || m_layout == Layout::Od ? 1 : 2;
        std::string bytes;
        for (std::size_t tokens = 0;; ++tokens) {
            const std::size_t start = blankRun(text, at);
            const std::size_t blanks = start - at;
            if (start == text.size()) return bytes;
            const bool gap =
                tokens == 0 ? blanks == lead : blanks == 1 || (m_layout == Layout::HexdumpC && blanks == 2);
            if (!gap || !isHexDigit(text[start])) {
                if (tokens > 0 && (m_layout == Layout::HexdumpC ? text[start] == '|' : blanks >= 2)) return bytes;
                fail("'" + std::string(1, text[start]) + "' where " + (tokens == 0 ? "its first byte" : "a byte") +
                     " or the end of the hex was expected");
            }
            at = hexRun(text, start);
            const std::size_t length = at - start;
            if (length % 2 != 0 || (length != 2 && m_layout != Layout::Xxd)) {
                fail("\"" + text.substr(start, length) + "\" where a byte (two hex digits) was expected" +
                     (m_layout == Layout::Od ? "; od -x and hexdump without -C show 16-bit words in the machine's "
                                               "byte order: use od -A x -t x1 or hexdump -C"
                                             : ""));
            }
            for (std::size_t i = start; i < at; i += 2) {
                bytes += static_cast<char>(digitValue(text[i]) << 4 | digitValue(text[i + 1]));
            }
        }
    }

    // Checks that a line at `offset` follows on from the lines before it,
    // expanding a pending '*' up to it.
    void follow(std::uint64_t offset, const std::string& shown) {
        if (m_lines == 0 && m_repeatLine == 0) return;
        if (offset != m_end && m_repeatLine != 0 && offset > m_end && (offset - m_end) % m_previous.size() == 0) {
            if (offset - m_end > kMaxInputBytes) tooLarge();
            for (std::uint64_t n = (offset - m_end) / m_previous.size(); n > 0; --n) m_bytes += m_previous;
            m_repeatLine = 0;
            return;
        }
        if (offset == m_end && m_repeatLine == 0) return;
        if (m_repeatLine != 0) {
            fail("offset " + shown + " is no whole number of repeats of the line before the '*' on line " +
                 std::to_string(m_repeatLine));
        }
        char end[kMaxOffsetDigits + 1];
        std::snprintf(end, sizeof end, "%0*llx", static_cast<int>(shown.size()),
                      static_cast<unsigned long long>(m_end));
        fail("offset " + shown + ", but the lines before it end at " + end +
             " (offsets are read in hex: od wants -A x)");
    }

    Layout m_layout;
    std::string& m_bytes;
    std::string m_previous;        // the bytes of the last line that had any
    std::uint64_t m_end = 0;       // the offset where the lines so far end
    std::size_t m_lines = 0;       // lines with an offset so far
    std::size_t m_width = 0;       // the bytes of the first of them
    std::size_t m_repeatLine = 0;  // the line of a '*' not yet expanded
    std::size_t m_number = 0;      // the line being read
};

}  // namespace

bool readHexDump(const std::string& text, std::string& bytes) {
    const std::vector<std::string> lines = linesOf(text);
    std::size_t first = 0;
    while (first < lines.size() && lines[first].find_first_not_of(" \t") == std::string::npos) ++first;
    Layout layout{};
    if (first == lines.size() || !layoutOf(lines[first], lines[first].rfind("02", 0) == 0, layout)) return false;
    DumpReader reader(layout, bytes);
    for (std::size_t i = first; i < lines.size(); ++i) reader.line(lines[i], i + 1);
    reader.finish();
    return true;
}

}  // namespace zrpkt
