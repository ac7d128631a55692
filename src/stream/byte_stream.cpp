// Out-of-line members of the byte stream: the writes the inline paths in
// the header leave over (counting-only streams, failed streams, the last
// four bytes of a buffer), and character arrays.
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

template <class C>
ZrLCByteStreamT<C>& ZrLCByteStreamT<C>::writeString(const std::string& s) {
    unsigned int length = countToWrite(s.size());
    transfer(length);
    if (length > 0) writeBytes(s.data(), length);
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
        m_readGood = false;  // no room for even the empty text's NUL
        return *this;
    }
    ZrTextArea area{text, size};
    return read(area);
}

template <class C>
ZrLCByteStreamT<C>& ZrLCByteStreamT<C>::transfer(ZrTextEcho echo) {
    if (m_serializing) return transferText(echo.text, echo.size);
    return read(echo);  // checked, then dropped
}

template class ZrLCByteStreamT<CHostNetworkConvertorNormal>;
