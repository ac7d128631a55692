// The codec wrapper: argument checks and type conversions around ZreSecIO.
#include "zr_encrypt.h"

#include <mutex>

#include "zr_packet_head.h"
#include "zre_sec_io.h"

ZRIEncrypt* ZRIEncrypt::m_pEncryptInstance = nullptr;

// Callers on several threads at once would otherwise race to make the
// instance (making two, leaking one) and to set its type.
static std::mutex instanceMutex;

ZRIEncrypt* ZRIEncrypt::creaseInstanece(unsigned char type) {
    if (type == 0) return nullptr;
    const std::lock_guard<std::mutex> lock(instanceMutex);
    if (m_pEncryptInstance == nullptr) {
        m_pEncryptInstance = new ZRIEncrypt(type);
    } else {
        m_pEncryptInstance->setEncryptType(type);
    }
    return m_pEncryptInstance;
}

int ZRIEncrypt::encryptProtocolEx(const char* src, unsigned int srcLen, char* dest, unsigned int& destLen,
                                  unsigned char& key, char type) {
    if (srcLen > PKT_SCRATCH_HALF_LEN) return -1;
    int written = 0;
    if (!ZreSecIO::netPackEncode(key, src, static_cast<int>(srcLen), dest, written, static_cast<unsigned char>(type),
                                 nullptr) ||
        written < 0) {
        return -1;
    }
    destLen = static_cast<unsigned int>(written);
    return 0;
}

int ZRIEncrypt::decryptProtocolEx(const char* src, unsigned int srcLen, char* dest, unsigned int& destLen,
                                  unsigned char key, char type) {
    const auto variant = static_cast<signed char>(type);
    if (variant < ZR_ENCRYPT_TYPE_MIN || variant > ZR_ENCRYPT_TYPE_MAX) return -1;
    if (srcLen > PKT_SCRATCH_HALF_LEN) return -1;  // never hand the codec a body the destination cannot hold
    int written = 0;
    if (!ZreSecIO::netPackDecode(key, src, static_cast<int>(srcLen), dest, written, static_cast<unsigned char>(type),
                                 nullptr) ||
        written < 0) {
        return -1;
    }
    destLen = static_cast<unsigned int>(written);
    return 0;
}
