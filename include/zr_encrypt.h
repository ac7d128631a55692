// The wrapper through which packet bodies are enciphered and deciphered by
// the external codec module (ZreSecIO of seccodec).
#ifndef ZRPACKET_ZR_ENCRYPT_H
#define ZRPACKET_ZR_ENCRYPT_H

// The codec's variants: a head's encryptType of 1 to 8 names one, 0 none.
constexpr int ZR_ENCRYPT_TYPE_MIN = 1;
constexpr int ZR_ENCRYPT_TYPE_MAX = 8;
constexpr int ZR_ENCRYPT_TYPE_COUNT = ZR_ENCRYPT_TYPE_MAX - ZR_ENCRYPT_TYPE_MIN + 1;

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
    // Deciphers srcLen bytes into dest (PKT_SCRATCH_HALF_LEN bytes); -1
    // without calling the codec when type, as a signed byte, is outside 1
    // to 8, and -1 when the codec refuses.
    static int decryptProtocolEx(const char* src, unsigned int srcLen, char* dest, unsigned int& destLen,
                                 unsigned char key, char type);

    // Whether the linked codec deciphers every prefix of a cipher into the
    // same prefix of its body (checked once, on a sample in each variant).
    // Packets in a byte stream are then measured with one decipher of what
    // is at hand rather than one per candidate end byte.
    static bool deciphersPrefixes();

private:
    unsigned char m_encryptType;
    static ZRIEncrypt* m_pEncryptInstance;
};

#endif  // ZRPACKET_ZR_ENCRYPT_H
