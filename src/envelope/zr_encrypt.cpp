// The codec wrapper: argument checks and type conversions around ZreSecIO.
#include "zr_encrypt.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

#include "zre_sec_io.h"

// The codec's optional calls, weak: a codec library without them still
// links, and they are null then.
extern "C" {
__attribute__((weak)) bool zreSecDecodeBegin(unsigned char key, unsigned char type, void* state, int stateLen);
__attribute__((weak)) bool zreSecDecodeOn(void* state, const void* src, int srcLen, void* dest, int* destLen);
}

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

namespace {

bool isVariant(char type) {
    const auto variant = static_cast<signed char>(type);
    return variant >= ZR_ENCRYPT_TYPE_MIN && variant <= ZR_ENCRYPT_TYPE_MAX;
}

}  // namespace

ZrCipherFault ZRIEncrypt::decipherFault(char type, std::size_t srcLen) {
    if (!isVariant(type)) return ZrCipherFault::Variant;
    if (srcLen > PKT_SCRATCH_HALF_LEN) return ZrCipherFault::Length;  // never a body the destination can hold
    return ZrCipherFault::None;
}

int ZRIEncrypt::decryptProtocolEx(const char* src, unsigned int srcLen, char* dest, unsigned int& destLen,
                                  unsigned char key, char type) {
    if (decipherFault(type, srcLen) != ZrCipherFault::None) return -1;
    int written = 0;
    if (!ZreSecIO::netPackDecode(key, src, static_cast<int>(srcLen), dest, written, static_cast<unsigned char>(type),
                                 nullptr) ||
        written < 0 || static_cast<unsigned int>(written) > PKT_SCRATCH_HALF_LEN) {
        return -1;
    }
    destLen = static_cast<unsigned int>(written);
    return 0;
}

int ZRIEncrypt::decryptBeginEx(ZrDecipherRun& run, unsigned char key, char type) {
    run.done = 0;
    if (zreSecDecodeBegin == nullptr || zreSecDecodeOn == nullptr || !isVariant(type)) return -1;
    return zreSecDecodeBegin(key, static_cast<unsigned char>(type), run.state, ZrDecipherRun::kStateLen) ? 0 : -1;
}

int ZRIEncrypt::decryptOnEx(ZrDecipherRun& run, const char* src, unsigned int srcLen, char* dest,
                            unsigned int& destLen) {
    if (zreSecDecodeOn == nullptr || srcLen > PKT_SCRATCH_HALF_LEN - run.done) return -1;
    int written = 0;
    if (!zreSecDecodeOn(run.state, src, static_cast<int>(srcLen), dest, &written) ||
        written != static_cast<int>(srcLen)) {
        return -1;
    }
    run.done += srcLen;
    destLen = srcLen;
    return 0;
}

// Probed once: a sample body enciphered in each variant must be as long as
// the body, and every prefix of the cipher must decipher into the body's
// prefix of that length. A codec that chains each byte to
// the ones before (as a stream cipher does) passes; one that works in
// blocks or appends a check does not, and the meter then tries each
// candidate end instead.
bool ZRIEncrypt::deciphersPrefixes() {
    static const bool prefixes = [] {
        constexpr unsigned kProbeLen = 96;
        char body[kProbeLen];
        std::vector<char> cipherArea(PKT_SCRATCH_HALF_LEN),
            plainArea(PKT_SCRATCH_HALF_LEN);  // what the codec may write
        char* cipher = cipherArea.data();
        char* plain = plainArea.data();
        for (unsigned i = 0; i < kProbeLen; ++i) body[i] = static_cast<char>(i * 167 + 13);
        for (int type = ZR_ENCRYPT_TYPE_MIN; type <= ZR_ENCRYPT_TYPE_MAX; ++type) {
            unsigned int cipherLen = 0;
            unsigned char key = 0;
            if (encryptProtocolEx(body, kProbeLen, cipher, cipherLen, key, static_cast<char>(type)) != 0 ||
                cipherLen != kProbeLen) {
                return false;
            }
            for (unsigned cut = 0; cut <= kProbeLen; ++cut) {
                unsigned int plainLen = 0;
                if (decryptProtocolEx(cipher, cut, plain, plainLen, key, static_cast<char>(type)) != 0 ||
                    plainLen != cut || std::memcmp(plain, body, cut) != 0) {
                    return false;
                }
            }
        }
        return true;
    }();
    return prefixes;
}

// Probed once: a sample cipher in each variant deciphered in pieces of
// every size from 1 to 7 must give what netPackDecode gives for the whole.
bool ZRIEncrypt::resumesDecipher() {
    static const bool resumes = [] {
        if (zreSecDecodeBegin == nullptr || zreSecDecodeOn == nullptr || !deciphersPrefixes()) return false;
        constexpr unsigned kProbeLen = 96;
        char cipher[kProbeLen];
        for (unsigned i = 0; i < kProbeLen; ++i) cipher[i] = static_cast<char>(i * 131 + 7);
        std::vector<char> whole(PKT_SCRATCH_HALF_LEN), pieces(PKT_SCRATCH_HALF_LEN);  // what the codec may write
        for (int type = ZR_ENCRYPT_TYPE_MIN; type <= ZR_ENCRYPT_TYPE_MAX; ++type) {
            unsigned int wholeLen = 0;
            if (decryptProtocolEx(cipher, kProbeLen, whole.data(), wholeLen, 0x5C, static_cast<char>(type)) != 0) {
                return false;
            }
            for (unsigned piece = 1; piece <= 7; ++piece) {
                ZrDecipherRun run;
                if (decryptBeginEx(run, 0x5C, static_cast<char>(type)) != 0) return false;
                for (unsigned at = 0; at < kProbeLen; at += piece) {
                    const unsigned n = std::min(piece, kProbeLen - at);
                    unsigned int written = 0;
                    if (decryptOnEx(run, cipher + at, n, pieces.data() + at, written) != 0) return false;
                }
                if (std::memcmp(whole.data(), pieces.data(), kProbeLen) != 0) return false;
            }
        }
        return true;
    }();
    return resumes;
}
