// User account and set-top box packets: login, registration, account
// change, authorization, binding, the core user service and the lexicon
// service. Each class is a head plus its body fields, listed once;
// ZrBodyPacket (zr_body_packet.h) gives it the rest, and the envelope (key
// byte, plain or enciphered body, ETX) is the head's.
#ifndef ZRPACKET_ZR_ACCOUNT_PACKETS_H
#define ZRPACKET_ZR_ACCOUNT_PACKETS_H

#include <map>
#include <string>

#include "zr_body_packet.h"

// A user logs in to the account service; the answer comes back in the same
// class. Default cmdID 101 (enciphered).
// Example body: UserId 300, AccountType 1, CaId "abc", ResultFlag -1, the
// other texts empty -> AC 02 00 01 03 61 62 63 00 FF FF FF FF 0F 00.
class ZrUserLoginMsgPacket : public ZrBodyPacket<ZrUserLoginMsgPacket> {
public:
    static constexpr unsigned int DEFAULT_CMDID = 101;
    static constexpr ZrEnvelopeStyle ENVELOPE{"ZrUserLoginMsgPacket", ZrBodyMode::Compact};
    using ZrBodyPacket::ZrBodyPacket;

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

private:
    friend class ZrCPacketHead;  // the envelope reads the field list
    template <class Fields>
    static void fieldList(Fields&& field) {  // the body, in wire order, by member
        field("UserId", &ZrUserLoginMsgPacket::m_userId);
        field("UserPwd", &ZrUserLoginMsgPacket::m_userPwd);
        field("AccountType", &ZrUserLoginMsgPacket::m_accountType);
        field("CaId", &ZrUserLoginMsgPacket::m_caId);
        field("Certificate", &ZrUserLoginMsgPacket::m_certificate);
        field("ResultFlag", &ZrUserLoginMsgPacket::m_resultFlag);
        field("ErrorDesc", &ZrUserLoginMsgPacket::m_errorDesc);
    }

    int m_userId = 0;
    std::string m_userPwd;
    int m_accountType = 0;
    std::string m_caId;
    std::string m_certificate;
    int m_resultFlag = 0;
    std::string m_errorDesc;
};
ZR_LIBRARY_PACKET_CLASS(ZrUserLoginMsgPacket);

// Registers a new user account. Default cmdID 102 (enciphered).
// AccountType is the last field, after ErrorDesc (the login packet sends it
// third).
class ZrUserRegisterMsgPacket : public ZrBodyPacket<ZrUserRegisterMsgPacket> {
public:
    static constexpr unsigned int DEFAULT_CMDID = 102;
    static constexpr ZrEnvelopeStyle ENVELOPE{"ZrUserRegisterMsgPacket", ZrBodyMode::Compact};
    using ZrBodyPacket::ZrBodyPacket;

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

private:
    friend class ZrCPacketHead;  // the envelope reads the field list
    template <class Fields>
    static void fieldList(Fields&& field) {  // the body, in wire order, by member
        field("UserId", &ZrUserRegisterMsgPacket::m_userId);
        field("UserName", &ZrUserRegisterMsgPacket::m_userName);
        field("UserPwd", &ZrUserRegisterMsgPacket::m_userPwd);
        field("StbId", &ZrUserRegisterMsgPacket::m_stbId);
        field("CaId", &ZrUserRegisterMsgPacket::m_caId);
        field("Ip", &ZrUserRegisterMsgPacket::m_ip);
        field("Mac", &ZrUserRegisterMsgPacket::m_mac);
        field("ResultFlag", &ZrUserRegisterMsgPacket::m_resultFlag);
        field("ErrorDesc", &ZrUserRegisterMsgPacket::m_errorDesc);
        field("AccountType", &ZrUserRegisterMsgPacket::m_accountType);
    }

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
ZR_LIBRARY_PACKET_CLASS(ZrUserRegisterMsgPacket);

// Changes the data of an existing account. Default cmdID 103 (enciphered).
// The registration body's first nine fields, then LoginToken (a text) where
// registration sends AccountType.
class ZrModifyUserAccountMsgPacket : public ZrBodyPacket<ZrModifyUserAccountMsgPacket> {
public:
    static constexpr unsigned int DEFAULT_CMDID = 103;
    static constexpr ZrEnvelopeStyle ENVELOPE{"ZrModifyUserAccountMsgPacket", ZrBodyMode::Compact};
    using ZrBodyPacket::ZrBodyPacket;

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

private:
    friend class ZrCPacketHead;  // the envelope reads the field list
    template <class Fields>
    static void fieldList(Fields&& field) {  // the body, in wire order, by member
        field("UserId", &ZrModifyUserAccountMsgPacket::m_userId);
        field("UserName", &ZrModifyUserAccountMsgPacket::m_userName);
        field("UserPwd", &ZrModifyUserAccountMsgPacket::m_userPwd);
        field("StbId", &ZrModifyUserAccountMsgPacket::m_stbId);
        field("CaId", &ZrModifyUserAccountMsgPacket::m_caId);
        field("Ip", &ZrModifyUserAccountMsgPacket::m_ip);
        field("Mac", &ZrModifyUserAccountMsgPacket::m_mac);
        field("ResultFlag", &ZrModifyUserAccountMsgPacket::m_resultFlag);
        field("ErrorDesc", &ZrModifyUserAccountMsgPacket::m_errorDesc);
        field("LoginToken", &ZrModifyUserAccountMsgPacket::m_loginToken);
    }

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
ZR_LIBRARY_PACKET_CLASS(ZrModifyUserAccountMsgPacket);

// Authorizes an application for a logged-in user; the answer adds an access
// token and its validity after ErrorDesc. Default cmdID 106 (enciphered).
// UserID is a body field of its own: setUserID/getUserID read and write it and
// hide the head's accessors, whose user identifier stays reachable as
// ZrCPacketHead::getUserID() and ZrCPacketHead::setUserID().
// Example body: UserID 5, AppID 128, ExpiresIn 3600, the rest empty or 0 ->
// 05 00 80 01 00 00 00 00 90 1C.
class ZrUserAuthorizeMsgPacket : public ZrBodyPacket<ZrUserAuthorizeMsgPacket> {
public:
    static constexpr unsigned int DEFAULT_CMDID = 106;
    static constexpr ZrEnvelopeStyle ENVELOPE{"ZrUserAuthorizeMsgPacket", ZrBodyMode::Compact};
    using ZrBodyPacket::ZrBodyPacket;

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

private:
    friend class ZrCPacketHead;  // the envelope reads the field list
    template <class Fields>
    static void fieldList(Fields&& field) {  // the body, in wire order, by member
        field("UserID", &ZrUserAuthorizeMsgPacket::m_bodyUserID);
        field("LoginToken", &ZrUserAuthorizeMsgPacket::m_loginToken);
        field("AppID", &ZrUserAuthorizeMsgPacket::m_appID);
        field("RedirectURI", &ZrUserAuthorizeMsgPacket::m_redirectURI);
        field("ResultFlag", &ZrUserAuthorizeMsgPacket::m_resultFlag);
        field("ErrorDesc", &ZrUserAuthorizeMsgPacket::m_errorDesc);
        field("AccessToken", &ZrUserAuthorizeMsgPacket::m_accessToken);
        field("ExpiresIn", &ZrUserAuthorizeMsgPacket::m_expiresIn);
    }

    unsigned int m_bodyUserID = 0;
    std::string m_loginToken;
    unsigned int m_appID = 0;
    std::string m_redirectURI;
    int m_resultFlag = 0;
    std::string m_errorDesc;
    std::string m_accessToken;
    unsigned int m_expiresIn = 0;
};
ZR_LIBRARY_PACKET_CLASS(ZrUserAuthorizeMsgPacket);

// Presents an application's authority token for checking, with free-form
// additional information. Default cmdID 108 (enciphered).
// UserID is a body field of its own: setUserID/getUserID read and write it and
// hide the head's accessors, whose user identifier stays reachable as
// ZrCPacketHead::getUserID() and ZrCPacketHead::setUserID().
class ZrUserAuthorityAuthenticationMsgPacket : public ZrBodyPacket<ZrUserAuthorityAuthenticationMsgPacket> {
public:
    static constexpr unsigned int DEFAULT_CMDID = 108;
    static constexpr ZrEnvelopeStyle ENVELOPE{"ZrUserAuthorityAuthenticationMsgPacket", ZrBodyMode::Compact};
    using ZrBodyPacket::ZrBodyPacket;

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

private:
    friend class ZrCPacketHead;  // the envelope reads the field list
    template <class Fields>
    static void fieldList(Fields&& field) {  // the body, in wire order, by member
        field("UserID", &ZrUserAuthorityAuthenticationMsgPacket::m_bodyUserID);
        field("AppID", &ZrUserAuthorityAuthenticationMsgPacket::m_appID);
        field("AppAuthorityToken", &ZrUserAuthorityAuthenticationMsgPacket::m_appAuthorityToken);
        field("AdditionalInfo", &ZrUserAuthorityAuthenticationMsgPacket::m_additionalInfo);
        field("ResultFlag", &ZrUserAuthorityAuthenticationMsgPacket::m_resultFlag);
        field("ErrorDesc", &ZrUserAuthorityAuthenticationMsgPacket::m_errorDesc);
    }

    unsigned int m_bodyUserID = 0;
    unsigned int m_appID = 0;
    std::string m_appAuthorityToken;
    std::string m_additionalInfo;
    int m_resultFlag = 0;
    std::string m_errorDesc;
};
ZR_LIBRARY_PACKET_CLASS(ZrUserAuthorityAuthenticationMsgPacket);

// Binds a user account to a set-top box named by CA identifier, set-top box
// identifier, MAC and IP, in that order. Default cmdID 107 (enciphered).
// UserID is a body field of its own: setUserID/getUserID read and write it and
// hide the head's accessors, whose user identifier stays reachable as
// ZrCPacketHead::getUserID() and ZrCPacketHead::setUserID().
class ZrUserBindMsgPacket : public ZrBodyPacket<ZrUserBindMsgPacket> {
public:
    static constexpr unsigned int DEFAULT_CMDID = 107;
    static constexpr ZrEnvelopeStyle ENVELOPE{"ZrUserBindMsgPacket", ZrBodyMode::Compact};
    using ZrBodyPacket::ZrBodyPacket;

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

private:
    friend class ZrCPacketHead;  // the envelope reads the field list
    template <class Fields>
    static void fieldList(Fields&& field) {  // the body, in wire order, by member
        field("UserID", &ZrUserBindMsgPacket::m_bodyUserID);
        field("CAID", &ZrUserBindMsgPacket::m_caId);
        field("STBID", &ZrUserBindMsgPacket::m_stbId);
        field("MAC", &ZrUserBindMsgPacket::m_mac);
        field("IP", &ZrUserBindMsgPacket::m_ip);
        field("Password", &ZrUserBindMsgPacket::m_password);
        field("LoginToken", &ZrUserBindMsgPacket::m_loginToken);
        field("AccountType", &ZrUserBindMsgPacket::m_accountType);
        field("ResultFlag", &ZrUserBindMsgPacket::m_resultFlag);
        field("ErrorDesc", &ZrUserBindMsgPacket::m_errorDesc);
    }

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
ZR_LIBRARY_PACKET_CLASS(ZrUserBindMsgPacket);

// Cancels the binding of a digital account. Default cmdID 109 (enciphered).
// LoginToken comes before Password here; the binding classes send Password first.
// Example body: DigitalAccount 1000, the rest empty or 0 -> E8 07 00 00 00 00.
class ZrUserCancelBindMsgPacket : public ZrBodyPacket<ZrUserCancelBindMsgPacket> {
public:
    static constexpr unsigned int DEFAULT_CMDID = 109;
    static constexpr ZrEnvelopeStyle ENVELOPE{"ZrUserCancelBindMsgPacket", ZrBodyMode::Compact};
    using ZrBodyPacket::ZrBodyPacket;

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

private:
    friend class ZrCPacketHead;  // the envelope reads the field list
    template <class Fields>
    static void fieldList(Fields&& field) {  // the body, in wire order, by member
        field("DigitalAccount", &ZrUserCancelBindMsgPacket::m_digitalAccount);
        field("LoginToken", &ZrUserCancelBindMsgPacket::m_loginToken);
        field("Password", &ZrUserCancelBindMsgPacket::m_password);
        field("ResultFlag", &ZrUserCancelBindMsgPacket::m_resultFlag);
        field("ErrorDesc", &ZrUserCancelBindMsgPacket::m_errorDesc);
    }

    unsigned int m_digitalAccount = 0;
    std::string m_loginToken;
    std::string m_password;
    int m_resultFlag = 0;
    std::string m_errorDesc;
};
ZR_LIBRARY_PACKET_CLASS(ZrUserCancelBindMsgPacket);

// Binds a digital account to a destination account from a set-top box (CA,
// set-top box, MAC, IP). Default cmdID 110 (enciphered).
class ZrUserStbBindAccountMsgPacket : public ZrBodyPacket<ZrUserStbBindAccountMsgPacket> {
public:
    static constexpr unsigned int DEFAULT_CMDID = 110;
    static constexpr ZrEnvelopeStyle ENVELOPE{"ZrUserStbBindAccountMsgPacket", ZrBodyMode::Compact};
    using ZrBodyPacket::ZrBodyPacket;

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

private:
    friend class ZrCPacketHead;  // the envelope reads the field list
    template <class Fields>
    static void fieldList(Fields&& field) {  // the body, in wire order, by member
        field("DigitalAccount", &ZrUserStbBindAccountMsgPacket::m_digitalAccount);
        field("DigitalAccountDst", &ZrUserStbBindAccountMsgPacket::m_digitalAccountDst);
        field("Password", &ZrUserStbBindAccountMsgPacket::m_password);
        field("LoginToken", &ZrUserStbBindAccountMsgPacket::m_loginToken);
        field("CAID", &ZrUserStbBindAccountMsgPacket::m_caId);
        field("STBID", &ZrUserStbBindAccountMsgPacket::m_stbId);
        field("MAC", &ZrUserStbBindAccountMsgPacket::m_mac);
        field("IP", &ZrUserStbBindAccountMsgPacket::m_ip);
        field("ResultFlag", &ZrUserStbBindAccountMsgPacket::m_resultFlag);
        field("ErrorDesc", &ZrUserStbBindAccountMsgPacket::m_errorDesc);
    }

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
ZR_LIBRARY_PACKET_CLASS(ZrUserStbBindAccountMsgPacket);

// Asks which user a set-top box belongs to; the answer carries UserId and
// AccountType. Default cmdID 105 (enciphered).
// The box goes as set-top box, CA, IP, MAC (the binding classes: CA,
// set-top box, MAC, IP); AccountType is last, after ErrorDesc.
class ZrStbGetUseridMsgPacket : public ZrBodyPacket<ZrStbGetUseridMsgPacket> {
public:
    static constexpr unsigned int DEFAULT_CMDID = 105;
    static constexpr ZrEnvelopeStyle ENVELOPE{"ZrStbGetUseridMsgPacket", ZrBodyMode::Compact};
    using ZrBodyPacket::ZrBodyPacket;

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

private:
    friend class ZrCPacketHead;  // the envelope reads the field list
    template <class Fields>
    static void fieldList(Fields&& field) {  // the body, in wire order, by member
        field("UserId", &ZrStbGetUseridMsgPacket::m_userId);
        field("StbId", &ZrStbGetUseridMsgPacket::m_stbId);
        field("CaId", &ZrStbGetUseridMsgPacket::m_caId);
        field("Ip", &ZrStbGetUseridMsgPacket::m_ip);
        field("Mac", &ZrStbGetUseridMsgPacket::m_mac);
        field("ResultFlag", &ZrStbGetUseridMsgPacket::m_resultFlag);
        field("ErrorDesc", &ZrStbGetUseridMsgPacket::m_errorDesc);
        field("AccountType", &ZrStbGetUseridMsgPacket::m_accountType);
    }

    int m_userId = 0;
    std::string m_stbId;
    std::string m_caId;
    std::string m_ip;
    std::string m_mac;
    int m_resultFlag = 0;
    std::string m_errorDesc;
    int m_accountType = 0;
};
ZR_LIBRARY_PACKET_CLASS(ZrStbGetUseridMsgPacket);

// Request and answer of the core user service: a digital account, a
// destination account and a set-top box (CA, set-top box, MAC, IP).
// Default cmdID 8 (enciphered).
class ZrOvsCoreMsgPacket : public ZrBodyPacket<ZrOvsCoreMsgPacket> {
public:
    static constexpr unsigned int DEFAULT_CMDID = 8;
    static constexpr ZrEnvelopeStyle ENVELOPE{"ZrOvsCoreMsgPacket", ZrBodyMode::Compact};
    using ZrBodyPacket::ZrBodyPacket;

    void setDigitalAccount(unsigned int digitalAccount) { m_digitalAccount = digitalAccount; }
    unsigned int getDigitalAccount() const { return m_digitalAccount; }
    void setDigitalAccountDst(unsigned int digitalAccountDst) { m_digitalAccountDst = digitalAccountDst; }
    unsigned int getDigitalAccountDst() const { return m_digitalAccountDst; }
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

private:
    friend class ZrCPacketHead;  // the envelope reads the field list
    template <class Fields>
    static void fieldList(Fields&& field) {  // the body, in wire order, by member
        field("DigitalAccount", &ZrOvsCoreMsgPacket::m_digitalAccount);
        field("DigitalAccountDst", &ZrOvsCoreMsgPacket::m_digitalAccountDst);
        field("CAID", &ZrOvsCoreMsgPacket::m_caId);
        field("STBID", &ZrOvsCoreMsgPacket::m_stbId);
        field("MAC", &ZrOvsCoreMsgPacket::m_mac);
        field("IP", &ZrOvsCoreMsgPacket::m_ip);
        field("ResultFlag", &ZrOvsCoreMsgPacket::m_resultFlag);
        field("ErrorDesc", &ZrOvsCoreMsgPacket::m_errorDesc);
    }

    unsigned int m_digitalAccount = 0;
    unsigned int m_digitalAccountDst = 0;
    std::string m_caId;
    std::string m_stbId;
    std::string m_mac;
    std::string m_ip;
    int m_resultFlag = 0;
    std::string m_errorDesc;
};
ZR_LIBRARY_PACKET_CLASS(ZrOvsCoreMsgPacket);

// One set-top box of the lexicon service's table: four texts of at most 32
// characters and their NUL. Every new record is all zero, however it is made.
struct NETPSTBINFO {
    char szInfo1[33] = {};
    char szInfo2[33] = {};
    char szInfo3[33] = {};
    char szInfo4[33] = {};
};

// The record on the wire: the four texts as char[33], then szInfo2, szInfo3
// and szInfo4 once more in the char[32] form (cut to 31 characters). A reader
// checks those three by the char[32] rules and drops them, so each text keeps
// the up to 32 characters of its first transfer.
// "a", "bc", "", "" -> 01 61 02 62 63 00 00 02 62 63 00 00.
// The tail's texts travel as char[32]: at most 31 characters.
constexpr std::uint32_t NETPSTBINFO_TAIL_TEXT_SIZE = 32;
template <class Fields>
void zrRecordFields(NETPSTBINFO& r, Fields&& field) {
    field("szInfo1", r.szInfo1);
    field("szInfo2", r.szInfo2);
    field("szInfo3", r.szInfo3);
    field("szInfo4", r.szInfo4);
    field("szInfo2", ZrTextEcho{r.szInfo2, NETPSTBINFO_TAIL_TEXT_SIZE});
    field("szInfo3", ZrTextEcho{r.szInfo3, NETPSTBINFO_TAIL_TEXT_SIZE});
    field("szInfo4", ZrTextEcho{r.szInfo4, NETPSTBINFO_TAIL_TEXT_SIZE});
}

// The lexicon service's set-top box table: a count and NETPSTBINFO records by
// key. Default cmdID 104 (enciphered).
// StbCount is carried as given; the map sends its own count, so StbCount 5
// with an empty map -> 05 00, then the answer fields.
class ZrLexsGetStbInfoMsgPacket : public ZrBodyPacket<ZrLexsGetStbInfoMsgPacket> {
public:
    static constexpr unsigned int DEFAULT_CMDID = 104;
    static constexpr ZrEnvelopeStyle ENVELOPE{"ZrLexsGetStbInfoMsgPacket", ZrBodyMode::Compact};
    using ZrBodyPacket::ZrBodyPacket;

    void setStbCount(int stbCount) { m_stbCount = stbCount; }
    int getStbCount() const { return m_stbCount; }
    void setStbInfo(const std::map<int, NETPSTBINFO>& stbInfo) { m_stbInfo = stbInfo; }
    const std::map<int, NETPSTBINFO>& getStbInfo() const { return m_stbInfo; }
    void setResultFlag(int resultFlag) { m_resultFlag = resultFlag; }
    int getResultFlag() const { return m_resultFlag; }
    void setErrorDesc(const std::string& errorDesc) { m_errorDesc = errorDesc; }
    const std::string& getErrorDesc() const { return m_errorDesc; }

private:
    friend class ZrCPacketHead;  // the envelope reads the field list
    template <class Fields>
    static void fieldList(Fields&& field) {  // the body, in wire order, by member
        field("StbCount", &ZrLexsGetStbInfoMsgPacket::m_stbCount);
        field("StbInfo", &ZrLexsGetStbInfoMsgPacket::m_stbInfo);
        field("ResultFlag", &ZrLexsGetStbInfoMsgPacket::m_resultFlag);
        field("ErrorDesc", &ZrLexsGetStbInfoMsgPacket::m_errorDesc);
    }

    int m_stbCount = 0;
    std::map<int, NETPSTBINFO> m_stbInfo;
    int m_resultFlag = 0;
    std::string m_errorDesc;
};
ZR_LIBRARY_PACKET_CLASS(ZrLexsGetStbInfoMsgPacket);

// A lexicon entry (lemma) chosen by gender, age segment, address and product.
// Default cmdID 7 (enciphered).
// Gender, AgeSegment, Movedecorate and LemmaSize are one byte each whatever
// their value; LemmaSize is carried as given, never computed from LemmaData.
// Example body: 1, 3, 1000, 0, 0, "abc", 3, 0, "" ->
// 01 03 E8 07 00 00 03 61 62 63 03 00 00.
class ZrLexsLemmaMsgPacket : public ZrBodyPacket<ZrLexsLemmaMsgPacket> {
public:
    static constexpr unsigned int DEFAULT_CMDID = 7;
    static constexpr ZrEnvelopeStyle ENVELOPE{"ZrLexsLemmaMsgPacket", ZrBodyMode::Compact};
    using ZrBodyPacket::ZrBodyPacket;

    void setGender(unsigned char gender) { m_gender = gender; }
    unsigned char getGender() const { return m_gender; }
    void setAgeSegment(unsigned char ageSegment) { m_ageSegment = ageSegment; }
    unsigned char getAgeSegment() const { return m_ageSegment; }
    void setAddressId(unsigned int addressId) { m_addressId = addressId; }
    unsigned int getAddressId() const { return m_addressId; }
    void setProductId(unsigned int productId) { m_productId = productId; }
    unsigned int getProductId() const { return m_productId; }
    void setMovedecorate(unsigned char movedecorate) { m_movedecorate = movedecorate; }
    unsigned char getMovedecorate() const { return m_movedecorate; }
    void setLemmaData(const std::string& lemmaData) { m_lemmaData = lemmaData; }
    const std::string& getLemmaData() const { return m_lemmaData; }
    void setLemmaSize(unsigned char lemmaSize) { m_lemmaSize = lemmaSize; }
    unsigned char getLemmaSize() const { return m_lemmaSize; }
    void setResultFlag(int resultFlag) { m_resultFlag = resultFlag; }
    int getResultFlag() const { return m_resultFlag; }
    void setErrorDesc(const std::string& errorDesc) { m_errorDesc = errorDesc; }
    const std::string& getErrorDesc() const { return m_errorDesc; }

private:
    friend class ZrCPacketHead;  // the envelope reads the field list
    template <class Fields>
    static void fieldList(Fields&& field) {  // the body, in wire order, by member
        field("Gender", &ZrLexsLemmaMsgPacket::m_gender);
        field("AgeSegment", &ZrLexsLemmaMsgPacket::m_ageSegment);
        field("AddressId", &ZrLexsLemmaMsgPacket::m_addressId);
        field("ProductId", &ZrLexsLemmaMsgPacket::m_productId);
        field("Movedecorate", &ZrLexsLemmaMsgPacket::m_movedecorate);
        field("LemmaData", &ZrLexsLemmaMsgPacket::m_lemmaData);
        field("LemmaSize", &ZrLexsLemmaMsgPacket::m_lemmaSize);
        field("ResultFlag", &ZrLexsLemmaMsgPacket::m_resultFlag);
        field("ErrorDesc", &ZrLexsLemmaMsgPacket::m_errorDesc);
    }

    unsigned char m_gender = 0;
    unsigned char m_ageSegment = 0;
    unsigned int m_addressId = 0;
    unsigned int m_productId = 0;
    unsigned char m_movedecorate = 0;
    std::string m_lemmaData;
    unsigned char m_lemmaSize = 0;
    int m_resultFlag = 0;
    std::string m_errorDesc;
};
ZR_LIBRARY_PACKET_CLASS(ZrLexsLemmaMsgPacket);

#endif  // ZRPACKET_ZR_ACCOUNT_PACKETS_H
