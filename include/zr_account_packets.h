// User account and set-top box packets: login, registration, account
// change, authorization, binding, the core user service and the lexicon
// service. Each class is a head plus its body fields; the envelope (key
// byte, plain or enciphered body, ETX) is the head's.
#ifndef ZRPACKET_ZR_ACCOUNT_PACKETS_H
#define ZRPACKET_ZR_ACCOUNT_PACKETS_H

#include <map>
#include <string>

#include "zr_packet_head.h"

// A user logs in to the account service; the answer comes back in the same
// class. Default cmdID 101 (enciphered).
// Example body: UserId 300, AccountType 1, CaId "abc", ResultFlag -1, the
// other texts empty -> AC 02 00 01 03 61 62 63 00 FF FF FF FF 0F 00.
class ZrUserLoginMsgPacket : public ZrCPacketHead {
public:
    static constexpr unsigned int DEFAULT_CMDID = 101;
    static constexpr ZrEnvelopeStyle ENVELOPE{"ZrUserLoginMsgPacket", ZrBodyMode::Compact};

    ZrUserLoginMsgPacket();
    ZrUserLoginMsgPacket(unsigned char verHigh, unsigned char verLow, unsigned int cmdID, unsigned char subcmdID,
                         unsigned int userID, unsigned int SN, unsigned char encryptType);
    ZrUserLoginMsgPacket(const ZrUserLoginMsgPacket&) = default;
    ZrUserLoginMsgPacket& operator=(const ZrUserLoginMsgPacket&) = default;
    ~ZrUserLoginMsgPacket() = default;

    void initliaze() {}

    void setUserId(int userId) { m_userId = userId; }
    int getUserId() const { return m_userId; }
    void setUserPwd(const std::string& userPwd) { m_userPwd = userPwd; }
    const std::string& getUserPwd() const { return m_userPwd; }
    void setAccountType(int accountType) { m_accountType = accountType; }
    int getAccountType() const { return m_accountType; }
    void setCaId(const std::string& caId) { m_caId = caId; }
    const std::string& getCaId() const { return m_caId; }
    void setCertificate(const std::string& certificate) { m_certificate = certificate; }
    const std::string& getCertificate() const { return m_certificate; }
    void setResultFlag(int resultFlag) { m_resultFlag = resultFlag; }
    int getResultFlag() const { return m_resultFlag; }
    void setErrorDesc(const std::string& errorDesc) { m_errorDesc = errorDesc; }
    const std::string& getErrorDesc() const { return m_errorDesc; }

    // The body's named fields in wire order, for tools.
    void visitFields(ZrFieldVisitor& visitor);

    int enCode(char* pSendBuf, unsigned int nBufLen);
    int deCode(char* pRecvBuf, unsigned int nBufLen);
    unsigned int getPacketLength() { return envelopeLength(); }

private:
    template <class Fields>
    void fieldList(Fields&& field);  // the body, once, in wire order
    void serializeOrUnSerialize(ZrLCByteStream& stream);

    int m_userId = 0;
    std::string m_userPwd;
    int m_accountType = 0;
    std::string m_caId;
    std::string m_certificate;
    int m_resultFlag = 0;
    std::string m_errorDesc;
};

// Registers a new user account. Default cmdID 102 (enciphered).
// AccountType is the last field, after ErrorDesc (the login packet sends it
// third).
class ZrUserRegisterMsgPacket : public ZrCPacketHead {
public:
    static constexpr unsigned int DEFAULT_CMDID = 102;
    static constexpr ZrEnvelopeStyle ENVELOPE{"ZrUserRegisterMsgPacket", ZrBodyMode::Compact};

    ZrUserRegisterMsgPacket();
    ZrUserRegisterMsgPacket(unsigned char verHigh, unsigned char verLow, unsigned int cmdID, unsigned char subcmdID,
                            unsigned int userID, unsigned int SN, unsigned char encryptType);
    ZrUserRegisterMsgPacket(const ZrUserRegisterMsgPacket&) = default;
    ZrUserRegisterMsgPacket& operator=(const ZrUserRegisterMsgPacket&) = default;
    ~ZrUserRegisterMsgPacket() = default;

    void initliaze() {}

    void setUserId(int userId) { m_userId = userId; }
    int getUserId() const { return m_userId; }
    void setUserName(const std::string& userName) { m_userName = userName; }
    const std::string& getUserName() const { return m_userName; }
    void setUserPwd(const std::string& userPwd) { m_userPwd = userPwd; }
    const std::string& getUserPwd() const { return m_userPwd; }
    void setStbId(const std::string& stbId) { m_stbId = stbId; }
    const std::string& getStbId() const { return m_stbId; }
    void setCaId(const std::string& caId) { m_caId = caId; }
    const std::string& getCaId() const { return m_caId; }
    void setIp(const std::string& ip) { m_ip = ip; }
    const std::string& getIp() const { return m_ip; }
    void setMac(const std::string& mac) { m_mac = mac; }
    const std::string& getMac() const { return m_mac; }
    void setResultFlag(int resultFlag) { m_resultFlag = resultFlag; }
    int getResultFlag() const { return m_resultFlag; }
    void setErrorDesc(const std::string& errorDesc) { m_errorDesc = errorDesc; }
    const std::string& getErrorDesc() const { return m_errorDesc; }
    void setAccountType(int accountType) { m_accountType = accountType; }
    int getAccountType() const { return m_accountType; }

    // The body's named fields in wire order, for tools.
    void visitFields(ZrFieldVisitor& visitor);

    int enCode(char* pSendBuf, unsigned int nBufLen);
    int deCode(char* pRecvBuf, unsigned int nBufLen);
    unsigned int getPacketLength() { return envelopeLength(); }

private:
    template <class Fields>
    void fieldList(Fields&& field);  // the body, once, in wire order
    void serializeOrUnSerialize(ZrLCByteStream& stream);

    int m_userId = 0;
    std::string m_userName;
    std::string m_userPwd;
    std::string m_stbId;
    std::string m_caId;
    std::string m_ip;
    std::string m_mac;
    int m_resultFlag = 0;
    std::string m_errorDesc;
    int m_accountType = 0;
};

// Changes the data of an existing account. Default cmdID 103 (enciphered).
// The registration body's first nine fields, then LoginToken (a text) where
// registration sends AccountType.
class ZrModifyUserAccountMsgPacket : public ZrCPacketHead {
public:
    static constexpr unsigned int DEFAULT_CMDID = 103;
    static constexpr ZrEnvelopeStyle ENVELOPE{"ZrModifyUserAccountMsgPacket", ZrBodyMode::Compact};

    ZrModifyUserAccountMsgPacket();
    ZrModifyUserAccountMsgPacket(unsigned char verHigh, unsigned char verLow, unsigned int cmdID,
                                 unsigned char subcmdID, unsigned int userID, unsigned int SN,
                                 unsigned char encryptType);
    ZrModifyUserAccountMsgPacket(const ZrModifyUserAccountMsgPacket&) = default;
    ZrModifyUserAccountMsgPacket& operator=(const ZrModifyUserAccountMsgPacket&) = default;
    ~ZrModifyUserAccountMsgPacket() = default;

    void initliaze() {}

    void setUserId(int userId) { m_userId = userId; }
    int getUserId() const { return m_userId; }
    void setUserName(const std::string& userName) { m_userName = userName; }
    const std::string& getUserName() const { return m_userName; }
    void setUserPwd(const std::string& userPwd) { m_userPwd = userPwd; }
    const std::string& getUserPwd() const { return m_userPwd; }
    void setStbId(const std::string& stbId) { m_stbId = stbId; }
    const std::string& getStbId() const { return m_stbId; }
    void setCaId(const std::string& caId) { m_caId = caId; }
    const std::string& getCaId() const { return m_caId; }
    void setIp(const std::string& ip) { m_ip = ip; }
    const std::string& getIp() const { return m_ip; }
    void setMac(const std::string& mac) { m_mac = mac; }
    const std::string& getMac() const { return m_mac; }
    void setResultFlag(int resultFlag) { m_resultFlag = resultFlag; }
    int getResultFlag() const { return m_resultFlag; }
    void setErrorDesc(const std::string& errorDesc) { m_errorDesc = errorDesc; }
    const std::string& getErrorDesc() const { return m_errorDesc; }
    void setLoginToken(const std::string& loginToken) { m_loginToken = loginToken; }
    const std::string& getLoginToken() const { return m_loginToken; }

    // The body's named fields in wire order, for tools.
    void visitFields(ZrFieldVisitor& visitor);

    int enCode(char* pSendBuf, unsigned int nBufLen);
    int deCode(char* pRecvBuf, unsigned int nBufLen);
    unsigned int getPacketLength() { return envelopeLength(); }

private:
    template <class Fields>
    void fieldList(Fields&& field);  // the body, once, in wire order
    void serializeOrUnSerialize(ZrLCByteStream& stream);

    int m_userId = 0;
    std::string m_userName;
    std::string m_userPwd;
    std::string m_stbId;
    std::string m_caId;
    std::string m_ip;
    std::string m_mac;
    int m_resultFlag = 0;
    std::string m_errorDesc;
    std::string m_loginToken;
};

// Authorizes an application for a logged-in user; the answer adds an access
// token and its validity after ErrorDesc. Default cmdID 106 (enciphered).
// UserID is a body field of its own: setUserID/getUserID read and write it and
// hide the head's accessors, whose user identifier stays reachable as
// ZrCPacketHead::getUserID() and ZrCPacketHead::setUserID().
// Example body: UserID 5, AppID 128, ExpiresIn 3600, the rest empty or 0 ->
// 05 00 80 01 00 00 00 00 90 1C.
class ZrUserAuthorizeMsgPacket : public ZrCPacketHead {
public:
    static constexpr unsigned int DEFAULT_CMDID = 106;
    static constexpr ZrEnvelopeStyle ENVELOPE{"ZrUserAuthorizeMsgPacket", ZrBodyMode::Compact};

    ZrUserAuthorizeMsgPacket();
    ZrUserAuthorizeMsgPacket(unsigned char verHigh, unsigned char verLow, unsigned int cmdID, unsigned char subcmdID,
                             unsigned int userID, unsigned int SN, unsigned char encryptType);
    ZrUserAuthorizeMsgPacket(const ZrUserAuthorizeMsgPacket&) = default;
    ZrUserAuthorizeMsgPacket& operator=(const ZrUserAuthorizeMsgPacket&) = default;
    ~ZrUserAuthorizeMsgPacket() = default;

    void initliaze() {}

    void setUserID(unsigned int userID) { m_bodyUserID = userID; }
    unsigned int getUserID() const { return m_bodyUserID; }
    void setLoginToken(const std::string& loginToken) { m_loginToken = loginToken; }
    const std::string& getLoginToken() const { return m_loginToken; }
    void setAppID(unsigned int appID) { m_appID = appID; }
    unsigned int getAppID() const { return m_appID; }
    void setRedirectURI(const std::string& redirectURI) { m_redirectURI = redirectURI; }
    const std::string& getRedirectURI() const { return m_redirectURI; }
    void setResultFlag(int resultFlag) { m_resultFlag = resultFlag; }
    int getResultFlag() const { return m_resultFlag; }
    void setErrorDesc(const std::string& errorDesc) { m_errorDesc = errorDesc; }
    const std::string& getErrorDesc() const { return m_errorDesc; }
    void setAccessToken(const std::string& accessToken) { m_accessToken = accessToken; }
    const std::string& getAccessToken() const { return m_accessToken; }
    void setExpiresIn(unsigned int expiresIn) { m_expiresIn = expiresIn; }
    unsigned int getExpiresIn() const { return m_expiresIn; }

    // The body's named fields in wire order, for tools.
    void visitFields(ZrFieldVisitor& visitor);

    int enCode(char* pSendBuf, unsigned int nBufLen);
    int deCode(char* pRecvBuf, unsigned int nBufLen);
    unsigned int getPacketLength() { return envelopeLength(); }

private:
    template <class Fields>
    void fieldList(Fields&& field);  // the body, once, in wire order
    void serializeOrUnSerialize(ZrLCByteStream& stream);

    unsigned int m_bodyUserID = 0;
    std::string m_loginToken;
    unsigned int m_appID = 0;
    std::string m_redirectURI;
    int m_resultFlag = 0;
    std::string m_errorDesc;
    std::string m_accessToken;
    unsigned int m_expiresIn = 0;
};

// Presents an application's authority token for checking, with free-form
// additional information. Default cmdID 108 (enciphered).
// UserID is a body field of its own: setUserID/getUserID read and write it and
// hide the head's accessors, whose user identifier stays reachable as
// ZrCPacketHead::getUserID() and ZrCPacketHead::setUserID().
class ZrUserAuthorityAuthenticationMsgPacket : public ZrCPacketHead {
public:
    static constexpr unsigned int DEFAULT_CMDID = 108;
    static constexpr ZrEnvelopeStyle ENVELOPE{"ZrUserAuthorityAuthenticationMsgPacket", ZrBodyMode::Compact};

    ZrUserAuthorityAuthenticationMsgPacket();
    ZrUserAuthorityAuthenticationMsgPacket(unsigned char verHigh, unsigned char verLow, unsigned int cmdID,
                                           unsigned char subcmdID, unsigned int userID, unsigned int SN,
                                           unsigned char encryptType);
    ZrUserAuthorityAuthenticationMsgPacket(const ZrUserAuthorityAuthenticationMsgPacket&) = default;
    ZrUserAuthorityAuthenticationMsgPacket& operator=(const ZrUserAuthorityAuthenticationMsgPacket&) = default;
    ~ZrUserAuthorityAuthenticationMsgPacket() = default;

    void initliaze() {}

    void setUserID(unsigned int userID) { m_bodyUserID = userID; }
    unsigned int getUserID() const { return m_bodyUserID; }
    void setAppID(unsigned int appID) { m_appID = appID; }
    unsigned int getAppID() const { return m_appID; }
    void setAppAuthorityToken(const std::string& appAuthorityToken) { m_appAuthorityToken = appAuthorityToken; }
    const std::string& getAppAuthorityToken() const { return m_appAuthorityToken; }
    void setAdditionalInfo(const std::string& additionalInfo) { m_additionalInfo = additionalInfo; }
    const std::string& getAdditionalInfo() const { return m_additionalInfo; }
    void setResultFlag(int resultFlag) { m_resultFlag = resultFlag; }
    int getResultFlag() const { return m_resultFlag; }
    void setErrorDesc(const std::string& errorDesc) { m_errorDesc = errorDesc; }
    const std::string& getErrorDesc() const { return m_errorDesc; }

    // The body's named fields in wire order, for tools.
    void visitFields(ZrFieldVisitor& visitor);

    int enCode(char* pSendBuf, unsigned int nBufLen);
    int deCode(char* pRecvBuf, unsigned int nBufLen);
    unsigned int getPacketLength() { return envelopeLength(); }

private:
    template <class Fields>
    void fieldList(Fields&& field);  // the body, once, in wire order
    void serializeOrUnSerialize(ZrLCByteStream& stream);

    unsigned int m_bodyUserID = 0;
    unsigned int m_appID = 0;
    std::string m_appAuthorityToken;
    std::string m_additionalInfo;
    int m_resultFlag = 0;
    std::string m_errorDesc;
};

// Binds a user account to a set-top box named by CA identifier, set-top box
// identifier, MAC and IP, in that order. Default cmdID 107 (enciphered).
// UserID is a body field of its own: setUserID/getUserID read and write it and
// hide the head's accessors, whose user identifier stays reachable as
// ZrCPacketHead::getUserID() and ZrCPacketHead::setUserID().
class ZrUserBindMsgPacket : public ZrCPacketHead {
public:
    static constexpr unsigned int DEFAULT_CMDID = 107;
    static constexpr ZrEnvelopeStyle ENVELOPE{"ZrUserBindMsgPacket", ZrBodyMode::Compact};

    ZrUserBindMsgPacket();
    ZrUserBindMsgPacket(unsigned char verHigh, unsigned char verLow, unsigned int cmdID, unsigned char subcmdID,
                        unsigned int userID, unsigned int SN, unsigned char encryptType);
    ZrUserBindMsgPacket(const ZrUserBindMsgPacket&) = default;
    ZrUserBindMsgPacket& operator=(const ZrUserBindMsgPacket&) = default;
    ~ZrUserBindMsgPacket() = default;

    void initliaze() {}

    void setUserID(unsigned int userID) { m_bodyUserID = userID; }
    unsigned int getUserID() const { return m_bodyUserID; }
    void setCAID(const std::string& caId) { m_caId = caId; }
    const std::string& getCAID() const { return m_caId; }
    void setSTBID(const std::string& stbId) { m_stbId = stbId; }
    const std::string& getSTBID() const { return m_stbId; }
    void setMAC(const std::string& mac) { m_mac = mac; }
    const std::string& getMAC() const { return m_mac; }
    void setIP(const std::string& ip) { m_ip = ip; }
    const std::string& getIP() const { return m_ip; }
    void setPassword(const std::string& password) { m_password = password; }
    const std::string& getPassword() const { return m_password; }
    void setLoginToken(const std::string& loginToken) { m_loginToken = loginToken; }
    const std::string& getLoginToken() const { return m_loginToken; }
    void setAccountType(int accountType) { m_accountType = accountType; }
    int getAccountType() const { return m_accountType; }
    void setResultFlag(int resultFlag) { m_resultFlag = resultFlag; }
    int getResultFlag() const { return m_resultFlag; }
    void setErrorDesc(const std::string& errorDesc) { m_errorDesc = errorDesc; }
    const std::string& getErrorDesc() const { return m_errorDesc; }

    // The body's named fields in wire order, for tools.
    void visitFields(ZrFieldVisitor& visitor);

    int enCode(char* pSendBuf, unsigned int nBufLen);
    int deCode(char* pRecvBuf, unsigned int nBufLen);
    unsigned int getPacketLength() { return envelopeLength(); }

private:
    template <class Fields>
    void fieldList(Fields&& field);  // the body, once, in wire order
    void serializeOrUnSerialize(ZrLCByteStream& stream);

    unsigned int m_bodyUserID = 0;
    std::string m_caId;
    std::string m_stbId;
    std::string m_mac;
    std::string m_ip;
    std::string m_password;
    std::string m_loginToken;
    int m_accountType = 0;
    int m_resultFlag = 0;
    std::string m_errorDesc;
};

// Cancels the binding of a digital account. Default cmdID 109 (enciphered).
// LoginToken comes before Password here; the binding classes send Password first.
// Example body: DigitalAccount 1000, the rest empty or 0 -> E8 07 00 00 00 00.
class ZrUserCancelBindMsgPacket : public ZrCPacketHead {
public:
    static constexpr unsigned int DEFAULT_CMDID = 109;
    static constexpr ZrEnvelopeStyle ENVELOPE{"ZrUserCancelBindMsgPacket", ZrBodyMode::Compact};

    ZrUserCancelBindMsgPacket();
    ZrUserCancelBindMsgPacket(unsigned char verHigh, unsigned char verLow, unsigned int cmdID, unsigned char subcmdID,
                              unsigned int userID, unsigned int SN, unsigned char encryptType);
    ZrUserCancelBindMsgPacket(const ZrUserCancelBindMsgPacket&) = default;
    ZrUserCancelBindMsgPacket& operator=(const ZrUserCancelBindMsgPacket&) = default;
    ~ZrUserCancelBindMsgPacket() = default;

    void initliaze() {}

    void setDigitalAccount(unsigned int digitalAccount) { m_digitalAccount = digitalAccount; }
    unsigned int getDigitalAccount() const { return m_digitalAccount; }
    void setLoginToken(const std::string& loginToken) { m_loginToken = loginToken; }
    const std::string& getLoginToken() const { return m_loginToken; }
    void setPassword(const std::string& password) { m_password = password; }
    const std::string& getPassword() const { return m_password; }
    void setResultFlag(int resultFlag) { m_resultFlag = resultFlag; }
    int getResultFlag() const { return m_resultFlag; }
    void setErrorDesc(const std::string& errorDesc) { m_errorDesc = errorDesc; }
    const std::string& getErrorDesc() const { return m_errorDesc; }

    // The body's named fields in wire order, for tools.
    void visitFields(ZrFieldVisitor& visitor);

    int enCode(char* pSendBuf, unsigned int nBufLen);
    int deCode(char* pRecvBuf, unsigned int nBufLen);
    unsigned int getPacketLength() { return envelopeLength(); }

private:
    template <class Fields>
    void fieldList(Fields&& field);  // the body, once, in wire order
    void serializeOrUnSerialize(ZrLCByteStream& stream);

    unsigned int m_digitalAccount = 0;
    std::string m_loginToken;
    std::string m_password;
    int m_resultFlag = 0;
    std::string m_errorDesc;
};

// Binds a digital account to a destination account from a set-top box (CA,
// set-top box, MAC, IP). Default cmdID 110 (enciphered).
class ZrUserStbBindAccountMsgPacket : public ZrCPacketHead {
public:
    static constexpr unsigned int DEFAULT_CMDID = 110;
    static constexpr ZrEnvelopeStyle ENVELOPE{"ZrUserStbBindAccountMsgPacket", ZrBodyMode::Compact};

    ZrUserStbBindAccountMsgPacket();
    ZrUserStbBindAccountMsgPacket(unsigned char verHigh, unsigned char verLow, unsigned int cmdID,
                                  unsigned char subcmdID, unsigned int userID, unsigned int SN,
                                  unsigned char encryptType);
    ZrUserStbBindAccountMsgPacket(const ZrUserStbBindAccountMsgPacket&) = default;
    ZrUserStbBindAccountMsgPacket& operator=(const ZrUserStbBindAccountMsgPacket&) = default;
    ~ZrUserStbBindAccountMsgPacket() = default;

    void initliaze() {}

    void setDigitalAccount(unsigned int digitalAccount) { m_digitalAccount = digitalAccount; }
    unsigned int getDigitalAccount() const { return m_digitalAccount; }
    void setDigitalAccountDst(unsigned int digitalAccountDst) { m_digitalAccountDst = digitalAccountDst; }
    unsigned int getDigitalAccountDst() const { return m_digitalAccountDst; }
    void setPassword(const std::string& password) { m_password = password; }
    const std::string& getPassword() const { return m_password; }
    void setLoginToken(const std::string& loginToken) { m_loginToken = loginToken; }
    const std::string& getLoginToken() const { return m_loginToken; }
    void setCAID(const std::string& caId) { m_caId = caId; }
    const std::string& getCAID() const { return m_caId; }
    void setSTBID(const std::string& stbId) { m_stbId = stbId; }
    const std::string& getSTBID() const { return m_stbId; }
    void setMAC(const std::string& mac) { m_mac = mac; }
    const std::string& getMAC() const { return m_mac; }
    void setIP(const std::string& ip) { m_ip = ip; }
    const std::string& getIP() const { return m_ip; }
    void setResultFlag(int resultFlag) { m_resultFlag = resultFlag; }
    int getResultFlag() const { return m_resultFlag; }
    void setErrorDesc(const std::string& errorDesc) { m_errorDesc = errorDesc; }
    const std::string& getErrorDesc() const { return m_errorDesc; }

    // The body's named fields in wire order, for tools.
    void visitFields(ZrFieldVisitor& visitor);

    int enCode(char* pSendBuf, unsigned int nBufLen);
    int deCode(char* pRecvBuf, unsigned int nBufLen);
    unsigned int getPacketLength() { return envelopeLength(); }

private:
    template <class Fields>
    void fieldList(Fields&& field);  // the body, once, in wire order
    void serializeOrUnSerialize(ZrLCByteStream& stream);

    unsigned int m_digitalAccount = 0;
    unsigned int m_digitalAccountDst = 0;
    std::string m_password;
    std::string m_loginToken;
    std::string m_caId;
    std::string m_stbId;
    std::string m_mac;
    std::string m_ip;
    int m_resultFlag = 0;
    std::string m_errorDesc;
};

// Asks which user a set-top box belongs to; the answer carries UserId and
// AccountType. Default cmdID 105 (enciphered).
// The box goes as set-top box, CA, IP, MAC (the binding classes: CA,
// set-top box, MAC, IP); AccountType is last, after ErrorDesc.
class ZrStbGetUseridMsgPacket : public ZrCPacketHead {
public:
    static constexpr unsigned int DEFAULT_CMDID = 105;
    static constexpr ZrEnvelopeStyle ENVELOPE{"ZrStbGetUseridMsgPacket", ZrBodyMode::Compact};

    ZrStbGetUseridMsgPacket();
    ZrStbGetUseridMsgPacket(unsigned char verHigh, unsigned char verLow, unsigned int cmdID, unsigned char subcmdID,
                            unsigned int userID, unsigned int SN, unsigned char encryptType);
    ZrStbGetUseridMsgPacket(const ZrStbGetUseridMsgPacket&) = default;
    ZrStbGetUseridMsgPacket& operator=(const ZrStbGetUseridMsgPacket&) = default;
    ~ZrStbGetUseridMsgPacket() = default;

    void initliaze() {}

    void setUserId(int userId) { m_userId = userId; }
    int getUserId() const { return m_userId; }
    void setStbId(const std::string& stbId) { m_stbId = stbId; }
    const std::string& getStbId() const { return m_stbId; }
    void setCaId(const std::string& caId) { m_caId = caId; }
    const std::string& getCaId() const { return m_caId; }
    void setIp(const std::string& ip) { m_ip = ip; }
    const std::string& getIp() const { return m_ip; }
    void setMac(const std::string& mac) { m_mac = mac; }
    const std::string& getMac() const { return m_mac; }
    void setResultFlag(int resultFlag) { m_resultFlag = resultFlag; }
    int getResultFlag() const { return m_resultFlag; }
    void setErrorDesc(const std::string& errorDesc) { m_errorDesc = errorDesc; }
    const std::string& getErrorDesc() const { return m_errorDesc; }
    void setAccountType(int accountType) { m_accountType = accountType; }
    int getAccountType() const { return m_accountType; }

    // The body's named fields in wire order, for tools.
    void visitFields(ZrFieldVisitor& visitor);

    int enCode(char* pSendBuf, unsigned int nBufLen);
    int deCode(char* pRecvBuf, unsigned int nBufLen);
    unsigned int getPacketLength() { return envelopeLength(); }

private:
    template <class Fields>
    void fieldList(Fields&& field);  // the body, once, in wire order
    void serializeOrUnSerialize(ZrLCByteStream& stream);

    int m_userId = 0;
    std::string m_stbId;
    std::string m_caId;
    std::string m_ip;
    std::string m_mac;
    int m_resultFlag = 0;
    std::string m_errorDesc;
    int m_accountType = 0;
};

#endif  // ZRPACKET_ZR_ACCOUNT_PACKETS_H
