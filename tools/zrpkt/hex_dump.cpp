// Reads a dump line by line: an offset, the hex area, then whatever the tool
// shows beside it. Where the hex area ends is told by the blanks, never by
// what follows them, so an ASCII column of hex-looking characters ("cafe")
// is not taken for bytes; and each line's offset must be where the lines
// before it end, so a line read wrong, or a dump of 16-bit words or octal
// offsets, is refused rather than misread.
#include "hex_dump.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#include "packet_io.h"

namespace zrpkt {

enum class Layout { Xxd, HexdumpC, Od, Tshark };

namespace {

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

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

// A byte as an error text shows it: 'z', or 0x7F when not printable.
std::string showByte(unsigned char c) {
    char text[8];
    std::snprintf(text, sizeof text, c >= 0x20 && c < 0x7F ? "'%c'" : "0x%02X", c);
    return text;
}

// A line as xxd shows it in its ASCII column.
std::string asciiColumn(const std::string& bytes) {
    std::string shown = bytes;
    for (char& c : shown) c = c >= 0x20 && c < 0x7F ? c : '.';
    return shown;
}

// The longest line of a dump; and the most of an input's start read to tell
// its form, when no line ends in it.
constexpr std::size_t kMaxLineBytes = 64 * 1024;

}  // namespace

class DumpReader {
public:
    using Sink = PacketText::Sink;
    DumpReader(Layout layout, Sink sink) : m_layout(layout), m_sink(std::move(sink)) {}
    std::uint64_t bytes() const { return m_total; }

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
        if (m_layout == Layout::Xxd) notLittleEndian(text, at, bytes);
        // tshark -x starts each frame's dump at offset 0.
        if (m_layout == Layout::Tshark && offset == 0 && m_lines > 0 && m_repeatLine == 0) m_lines = 0;
        follow(offset, text.substr(0, digits));
        if (m_lines > 0 && bytes.size() > m_width) {
            fail(std::to_string(bytes.size()) + " bytes, more than the " + std::to_string(m_width) +
                 " of the first line (an ASCII column read as hex?)");
        }
        if (m_lines++ == 0) m_width = bytes.size();
        emit(bytes);
        if (!bytes.empty()) m_previous = bytes;
        m_end = offset + bytes.size();
    }

    // What is wrong with the dump's end, or "".
    std::string finish() const {
        if (m_repeatLine != 0) {
            return failure(m_repeatLine,
                           "a '*' stands for repeats of the line before it up to the next offset, but no offset follows");
        }
        return m_total == 0 ? "a dump of no bytes: no packet in it" : "";
    }

private:
    std::string failure(std::size_t line, const std::string& what) const {
        return "line " + std::to_string(line) + " of the " + layoutName(m_layout) + " dump: " + what;
    }
    [[noreturn]] void fail(const std::string& what) const { throw BadInput(failure(m_number, what)); }

    void emit(const std::string& bytes) {
        m_sink(bytes.data(), bytes.size());
        m_total += bytes.size();
    }

    // xxd -e shows little-endian words: its ASCII column shows each group's
    // bytes in the reverse of the order its hex does.
    void notLittleEndian(const std::string& text, std::size_t at, const std::string& bytes) const {
        std::string swapped;
        for (std::size_t start = blankRun(text, at), end; start < text.size() && isHexDigit(text[start]);
             start = blankRun(text, end)) {
            end = hexRun(text, start);
            for (std::size_t i = end; i > start; i -= 2) {
                swapped += static_cast<char>(digitValue(text[i - 2]) << 4 | digitValue(text[i - 1]));
            }
            if (swapped.size() >= bytes.size()) break;
        }
        std::size_t column = text.size();
        while (column > 0 && text[column - 1] == ' ') --column;
        if (column < bytes.size() || swapped == bytes) return;
        const std::string shown = text.substr(column - bytes.size(), bytes.size());
        if (shown == asciiColumn(swapped) && shown != asciiColumn(bytes)) {
            fail("its ASCII column shows the bytes of each group reversed: a dump of little-endian words (xxd -e); "
                 "use xxd without -e");
        }
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
            if (offset - m_end > kMaxRepeatBytes) {
                fail("offset " + shown + " would make the '*' on line " + std::to_string(m_repeatLine) +
                     " stand for more than " + std::to_string(kMaxRepeatBytes) + " bytes");
            }
            for (std::uint64_t n = (offset - m_end) / m_previous.size(); n > 0; --n) emit(m_previous);
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
    Sink m_sink;
    std::uint64_t m_total = 0;     // bytes handed on
    std::string m_previous;        // the bytes of the last line that had any
    std::uint64_t m_end = 0;       // the offset where the lines so far end
    std::size_t m_lines = 0;       // lines with an offset so far
    std::size_t m_width = 0;       // the bytes of the first of them
    std::size_t m_repeatLine = 0;  // the line of a '*' not yet expanded
    std::size_t m_number = 0;      // the line being read
};

PacketText::PacketText(Sink sink) : m_sink(std::move(sink)) {}

PacketText::~PacketText() = default;

void PacketText::feed(const char* data, std::size_t size) {
    switch (m_form) {
        case Form::Raw:
            m_bytes += size;
            return m_sink(data, size);
        case Form::Hex:
            return feedHex(data, size);
        case Form::Dump:
            return feedDump(data, size, false);
        case Form::Undecided:
            m_start.append(data, size);
            return decide(false);
    }
}

std::string PacketText::finish() {
    if (m_form == Form::Undecided) decide(true);
    switch (m_form) {
        case Form::Dump:
            feedDump("", 0, true);
            return m_dump->finish();
        case Form::Hex:
            if (m_high >= 0) return "the hex ends in half a byte (an odd number of digits): its last digit is left out";
            [[fallthrough]];
        default:
            return m_bytes == 0 ? "empty: no packet in it" : "";
    }
}

namespace {

// Whether an input starts as a pcap or pcapng capture does (a pcap file's
// magic number in either byte order, in micro- or nanoseconds; a pcapng
// section header block): Yes, No, or not yet told by the bytes at hand.
enum class Capture { No, Yes, Maybe };
Capture captureStart(const std::string& start) {
    static const unsigned char kMagic[][4] = {{0xA1, 0xB2, 0xC3, 0xD4}, {0xD4, 0xC3, 0xB2, 0xA1},
                                              {0xA1, 0xB2, 0x3C, 0x4D}, {0x4D, 0x3C, 0xB2, 0xA1},
                                              {0x0A, 0x0D, 0x0D, 0x0A}};
    Capture found = Capture::No;
    for (const auto& magic : kMagic) {
        const std::size_t n = std::min<std::size_t>(start.size(), sizeof magic);
        if (std::memcmp(start.data(), magic, n) == 0) found = n == sizeof magic ? Capture::Yes : Capture::Maybe;
        if (found == Capture::Yes) break;
    }
    return found;
}

}  // namespace

// The form is told once the input's first line that is not blank is whole.
void PacketText::decide(bool atEnd) {
    const Capture capture = captureStart(m_start);
    if (capture == Capture::Yes) throw BadInput("this is a capture: use zrpkt pcap");
    if (capture == Capture::Maybe && !atEnd) return;
    std::size_t first = 0;
    while (first < m_start.size() && isBlank(m_start[first])) ++first;
    const std::size_t lineEnd = m_start.find('\n', first);
    // Text is printable: a byte that is not is raw input, told at once.
    bool text = true;
    for (const char c : m_start) text = text && ((c >= 0x20 && c < 0x7F) || isBlank(c));
    if (!atEnd && text && lineEnd == std::string::npos && m_start.size() < kMaxLineBytes) return;
    const std::string start = std::move(m_start);
    m_start.clear();
    if (first < start.size() && static_cast<unsigned char>(start[first]) != 0x02) {
        std::string line = start.substr(first, lineEnd == std::string::npos ? std::string::npos : lineEnd - first);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        Layout layout{};
        if (text && layoutOf(line, line.rfind("02", 0) == 0, layout)) {
            m_form = Form::Dump;
            m_dump = std::make_unique<DumpReader>(layout, [this](const char* data, std::size_t size) {
                m_bytes += size;
                m_sink(data, size);
            });
            return feedDump(start.data(), start.size(), false);
        }
    }
    // Hex: text whose first line is only hex digits and blanks (a character
    // after that which is neither ends the input where it stands).
    bool hex = text;
    const std::size_t firstEnd = lineEnd == std::string::npos ? start.size() : lineEnd;
    for (std::size_t i = 0; i < firstEnd; ++i) hex = hex && (isHexDigit(start[i]) || isBlank(start[i]));
    m_form = hex ? Form::Hex : Form::Raw;
    feed(start.data(), start.size());
}

void PacketText::feedHex(const char* data, std::size_t size) {
    std::string bytes;
    bytes.reserve(size / 2 + 1);
    for (std::size_t i = 0; i < size; ++i) {
        const char c = data[i];
        if (isHexDigit(c)) {
            if (m_high < 0) {
                m_high = digitValue(c);
            } else {
                bytes += static_cast<char>(m_high << 4 | digitValue(c));
                m_high = -1;
            }
        } else if (!isBlank(c)) {
            m_bytes += bytes.size();
            m_sink(bytes.data(), bytes.size());
            throw BadInput(showByte(static_cast<unsigned char>(c)) + " at offset " + std::to_string(m_textOffset + i) +
                           " of the hex, which is neither a hex digit nor a blank: the rest is not read");
        }
    }
    m_textOffset += size;
    m_bytes += bytes.size();
    m_sink(bytes.data(), bytes.size());
}

// Whole lines go to the dump reader; a line not yet whole waits in m_start.
void PacketText::feedDump(const char* data, std::size_t size, bool atEnd) {
    m_start.append(data, size);
    std::size_t from = 0;
    for (;;) {
        std::size_t end = m_start.find('\n', from);
        if (end == std::string::npos) {
            if (!atEnd || from == m_start.size()) break;
            end = m_start.size();
        }
        std::string line = m_start.substr(from, end - from);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        m_dump->line(line.substr(blankRun(line, 0)), ++m_lineNumber);
        from = end + 1;
        if (from > m_start.size()) from = m_start.size();
    }
    m_start.erase(0, from);
    if (m_start.size() > kMaxLineBytes) {
        throw BadInput("line " + std::to_string(m_lineNumber + 1) + " of the dump: longer than " +
                       std::to_string(kMaxLineBytes) + " characters, as no dump's line is");
    }
}

}  // namespace zrpkt
