// Out-of-line members of the byte stream: strings, character arrays, and
// the varints the inline paths in the header leave over (counting-only
// streams, failed streams, the last four bytes of a buffer, varints longer
// than five bytes).
#include "zr_byte_stream.h"

// The varint writes the inline path leaves: counting-only streams, earlier
// failures, and less room than the longest varint.
template <class C>
void ZrLCByteStreamT<C>::writeVarint32Slow() {
    if (!m_writable) {
        m_writeRoom -= ZR_VARINT32_MAX_LEN;  // counted at its longest, whatever the value
    } else {
        m_writeGood = false;  // fails even when the value itself would fit
    }
}

// Reads only bytes in [cursor, cursor + readRoom). A varint longer than five
// bytes is taken whole, its groups beyond the 32 bits of the value dropped.
// Data that ends while the top bit is still set fails the stream, consumes
// nothing and yields the bits gathered so far.
template <class C>
std::uint32_t ZrLCByteStreamT<C>::readVarint32Slow() {
    if (!m_readGood) return 0;
    std::uint32_t value = 0;
    std::uint32_t taken = 0;
    for (;;) {
        if (taken >= m_readRoom) {
            m_readGood = false;
            return value;
        }
        const unsigned char byte = m_cursor[taken];
        if (taken < ZR_VARINT32_MAX_LEN) value |= std::uint32_t{byte & 0x7Fu} << (7 * taken);
        ++taken;
        if ((byte & 0x80) == 0) break;
    }
    m_cursor += taken;
    m_readRoom -= taken;
    return value;
}

template <class C>
ZrLCByteStreamT<C>& ZrLCByteStreamT<C>::transferString(std::string& s) {
    if (m_serializing) {
        unsigned int length = countToWrite(s.size());
        transfer(length);
        if (length > 0) writeBytes(s.data(), length);
        return *this;
    }
    unsigned int length = 0;
    transfer(length);
    if (length == 0) {
        s.clear();
    } else if (m_readGood && static_cast<std::int32_t>(length) > 0 && length <= m_readRoom) {
        s.assign(reinterpret_cast<const char*>(m_cursor), length);
        m_cursor += length;
        m_readRoom -= length;
    } else {
        m_readGood = false;
        s.clear();
    }
    return *this;
}

template <class C>
ZrLCByteStreamT<C>& ZrLCByteStreamT<C>::transferText(char* text, std::uint32_t size) {
    if (m_serializing) {
        unsigned int length = 0;
        while (length + 1 < size && text[length] != '\0') ++length;
        transfer(length);
        if (length > 0) writeBytes(text, length);
        return *this;
    }
    if (size == 0 || size > static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max())) {
        m_readGood = false;
        return *this;
    }
    unsigned int length = 0;
    if (const unsigned char* p = readBoundedText(size, length)) {
        std::memcpy(text, p, length);
        text[length] = '\0';
    } else {
        text[0] = '\0';
    }
    return *this;
}

// The char[size] reading rules: the length as u32; 0 or negative as a
// signed number is the empty text and consumes nothing more; size or more
// fails the stream; otherwise the characters, which are returned with their
// count. Null, and length 0, for an empty or failed text.
template <class C>
const unsigned char* ZrLCByteStreamT<C>::readBoundedText(std::uint32_t size, unsigned int& length) {
    transfer(length);
    const unsigned char* p = nullptr;
    if (static_cast<std::int32_t>(length) <= 0) {
        // empty: stream untouched
    } else if (length >= size) {
        m_readGood = false;
    } else {
        p = claimRead(length);
    }
    if (p == nullptr) length = 0;
    return p;
}

template <class C>
ZrLCByteStreamT<C>& ZrLCByteStreamT<C>::transfer(ZrTextEcho echo) {
    if (m_serializing) return transferText(echo.text, echo.size);
    unsigned int length = 0;
    readBoundedText(echo.size, length);  // checked, then dropped
    return *this;
}

template class ZrLCByteStreamT<CHostNetworkConvertorNormal>;
