// The wrapper through which packet bodies are enciphered and deciphered by
// the external codec module (ZreSecIO of seccodec).
#ifndef ZRPACKET_ZR_ENCRYPT_H
#define ZRPACKET_ZR_ENCRYPT_H

#include <cstddef>

#include "zr_packet_layout.h"

// The codec's variants: a head's encryptType of 1 to 8 names one, 0 none.
constexpr int ZR_ENCRYPT_TYPE_MIN = 1;
constexpr int ZR_ENCRYPT_TYPE_MAX = 8;
constexpr int ZR_ENCRYPT_TYPE_COUNT = ZR_ENCRYPT_TYPE_MAX - ZR_ENCRYPT_TYPE_MIN + 1;

// Why a cipher is not handed to the codec: the variant is none of 1 to 8,
// or the cipher is longer than a scratch half (PKT_SCRATCH_HALF_LEN), so
// that its body could not be a packet's.
enum class ZrCipherFault : unsigned char { None, Variant, Length };

// A cipher being deciphered in pieces (ZRIEncrypt::decryptBeginEx and
// decryptOnEx): the codec's own state, kept by the caller between pieces,
// and the cipher bytes deciphered so far.
struct ZrDecipherRun {
    static constexpr int kStateLen = 32;  // room for a codec's state; one that needs more is not resumed
    unsigned char state[kStateLen];
    unsigned int done = 0;
};

class ZRIEncrypt {
public:
    explicit ZRIEncrypt(unsigned char type) : m_encryptType(type) {}
    ZRIEncrypt(const ZRIEncrypt&) = default;
    ZRIEncrypt& operator=(const ZRIEncrypt&) = default;

    int getEncryptType() const { return m_encryptType; }
    void setEncryptType(unsigned char type) { m_encryptType = type; }

    // The process-wide instance, made on first use with a non-zero type and
    // never freed; later calls only change its type. Type 0 returns null and
    // changes nothing. Safe to call from several threads (the calls take a
    // lock); the instance's own accessors are not synchronised. The packets
    // themselves never use the instance.
    static ZRIEncrypt* creaseInstanece(unsigned char type);

    // Enciphers srcLen bytes from src into dest, sets destLen and the key
    // byte the receiver will need. The codec takes no capacity: dest must
    // hold whatever it writes for srcLen bytes, which for the packets is the
    // whole cipher half (PKT_SCRATCH_HALF_LEN bytes; the stand-in writes
    // exactly srcLen). A result longer than the cipher half is refused by the
    // envelope after the codec has run, so a codec that writes more than its
    // destination holds has already overrun it by then.
    // 0 on success, -1 when the codec refuses (type outside 1 to 8, a body
    // over the codec's limit).
    static int encryptProtocolEx(const char* src, unsigned int srcLen, char* dest, unsigned int& destLen,
                                 unsigned char& key, char type);
    // The one check of a cipher before the codec sees it: type taken as a
    // signed byte.
    static ZrCipherFault decipherFault(char type, std::size_t srcLen);
    // Deciphers srcLen bytes into dest (PKT_SCRATCH_HALF_LEN bytes); -1
    // without calling the codec on a decipherFault, and -1 when the codec
    // refuses or says it wrote more than dest holds.
    static int decryptProtocolEx(const char* src, unsigned int srcLen, char* dest, unsigned int& destLen,
                                 unsigned char key, char type);

    // Whether the linked codec deciphers every prefix of a cipher into the
    // same prefix of its body (checked once, on a sample in each variant).
    // Packets in a byte stream are then measured with one decipher of what
    // is at hand rather than one per candidate end byte.
    static bool deciphersPrefixes();

    // Whether the linked codec deciphers a cipher in pieces, going on from
    // where it stopped (its optional calls zreSecDecodeBegin and
    // zreSecDecodeOn, checked once against netPackDecode on a sample in
    // each variant). A codec with only the two calls links and works
    // without it: packets are then measured by deciphering prefixes.
    static bool resumesDecipher();
    // Starts deciphering a cipher in pieces; -1 when the codec cannot, or
    // type is outside 1 to 8.
    static int decryptBeginEx(ZrDecipherRun& run, unsigned char key, char type);
    // Deciphers the next srcLen bytes of that cipher into dest, the bytes a
    // whole decipher writes at their place; -1 once the cipher would pass
    // PKT_SCRATCH_HALF_LEN bytes, or when the codec refuses.
    static int decryptOnEx(ZrDecipherRun& run, const char* src, unsigned int srcLen, char* dest, unsigned int& destLen);

private:
    unsigned char m_encryptType;
    static ZRIEncrypt* m_pEncryptInstance;
};

#endif  // ZRPACKET_ZR_ENCRYPT_H
