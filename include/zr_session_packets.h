// Session and service packets: the channels between servers and towards
// clients. Each class is a head plus its body fields, listed once;
// ZrBodyPacket (zr_body_packet.h) gives it the rest, and the envelope (key
// byte, plain or enciphered body, ETX) is the head's. Every body here is
// compact-mode unless its class says otherwise.
#ifndef ZRPACKET_ZR_SESSION_PACKETS_H
#define ZRPACKET_ZR_SESSION_PACKETS_H

#include <cstdint>
#include <string>
#include <vector>

#include "zr_body_packet.h"

// Socket authentication. Default cmdID 3 (plain).
// Body: key (string), result flag (i32), error description (string).
// Example: key "", flag 1, description "ok" -> 00 01 02 6F 6B.
class ZrAuthSockMsgPacket : public ZrBodyPacket<ZrAuthSockMsgPacket> {
public:
    static constexpr unsigned int DEFAULT_CMDID = 3;
    static constexpr ZrEnvelopeStyle ENVELOPE{"ZrAuthSockMsgPacket", ZrBodyMode::Compact};
    using ZrBodyPacket::ZrBodyPacket;

    void setkey(const std::string& key) { m_key = key; }
    const std::string& getkey() const { return m_key; }
    void setResultFlag(int resultFlag) { m_resultFlag = resultFlag; }
    int getResultFlag() const { return m_resultFlag; }
    void setErrorDesc(const std::string& errorDesc) { m_errorDesc = errorDesc; }
    const std::string& getErrorDesc() const { return m_errorDesc; }

private:
    friend class ZrCPacketHead;  // the envelope reads the field list
    template <class Fields>
    static void fieldList(Fields&& field) {  // the body, in wire order, by member
        field("key", &ZrAuthSockMsgPacket::m_key);
        field("ResultFlag", &ZrAuthSockMsgPacket::m_resultFlag);
        field("ErrorDesc", &ZrAuthSockMsgPacket::m_errorDesc);
    }

    std::string m_key;
    int m_resultFlag = 0;
    std::string m_errorDesc;
};
ZR_LIBRARY_PACKET_CLASS(ZrAuthSockMsgPacket);

// HTTP relay. Default cmdID 9 (plain).
// Body: request (string), response (string), state code (i32),
// result flag (i32), error description (string).
class ZrHttpMsgPacket : public ZrBodyPacket<ZrHttpMsgPacket> {
public:
    static constexpr unsigned int DEFAULT_CMDID = 9;
    static constexpr ZrEnvelopeStyle ENVELOPE{"ZrHttpMsgPacket", ZrBodyMode::Compact};
    using ZrBodyPacket::ZrBodyPacket;

    void setRequest(const std::string& request) { m_request = request; }
    const std::string& getRequest() const { return m_request; }
    void setResponse(const std::string& response) { m_response = response; }
    const std::string& getResponse() const { return m_response; }
    void setStateCode(int stateCode) { m_stateCode = stateCode; }
    int getStateCode() const { return m_stateCode; }
    void setResultFlag(int resultFlag) { m_resultFlag = resultFlag; }
    int getResultFlag() const { return m_resultFlag; }
    void setErrorDesc(const std::string& errorDesc) { m_errorDesc = errorDesc; }
    const std::string& getErrorDesc() const { return m_errorDesc; }

private:
    friend class ZrCPacketHead;  // the envelope reads the field list
    template <class Fields>
    static void fieldList(Fields&& field) {  // the body, in wire order, by member
        field("Request", &ZrHttpMsgPacket::m_request);
        field("Response", &ZrHttpMsgPacket::m_response);
        field("StateCode", &ZrHttpMsgPacket::m_stateCode);
        field("ResultFlag", &ZrHttpMsgPacket::m_resultFlag);
        field("ErrorDesc", &ZrHttpMsgPacket::m_errorDesc);
    }

    std::string m_request;
    std::string m_response;
    int m_stateCode = 0;
    int m_resultFlag = 0;
    std::string m_errorDesc;
};
ZR_LIBRARY_PACKET_CLASS(ZrHttpMsgPacket);

// Portal relay. Default cmdID 10 (enciphered).
// Body: requests (vector<string>), responses (vector<string>), state code
// (i32), result flag (i32), error description (string). The HTTP packet
// with a list of texts wherever that one has a text; accessor names stay singular.
class ZrPortalMsgPacket : public ZrBodyPacket<ZrPortalMsgPacket> {
public:
    static constexpr unsigned int DEFAULT_CMDID = 10;
    static constexpr ZrEnvelopeStyle ENVELOPE{"ZrPortalMsgPacket", ZrBodyMode::Compact};
    using ZrBodyPacket::ZrBodyPacket;

    void setRequest(const std::vector<std::string>& request) { m_request = request; }
    const std::vector<std::string>& getRequest() const { return m_request; }
    void setResponse(const std::vector<std::string>& response) { m_response = response; }
    const std::vector<std::string>& getResponse() const { return m_response; }
    void setStateCode(int stateCode) { m_stateCode = stateCode; }
    int getStateCode() const { return m_stateCode; }
    void setResultFlag(int resultFlag) { m_resultFlag = resultFlag; }
    int getResultFlag() const { return m_resultFlag; }
    void setErrorDesc(const std::string& errorDesc) { m_errorDesc = errorDesc; }
    const std::string& getErrorDesc() const { return m_errorDesc; }

private:
    friend class ZrCPacketHead;  // the envelope reads the field list
    template <class Fields>
    static void fieldList(Fields&& field) {  // the body, in wire order, by member
        field("Request", &ZrPortalMsgPacket::m_request);
        field("Response", &ZrPortalMsgPacket::m_response);
        field("StateCode", &ZrPortalMsgPacket::m_stateCode);
        field("ResultFlag", &ZrPortalMsgPacket::m_resultFlag);
        field("ErrorDesc", &ZrPortalMsgPacket::m_errorDesc);
    }

    std::vector<std::string> m_request;
    std::vector<std::string> m_response;
    int m_stateCode = 0;
    int m_resultFlag = 0;
    std::string m_errorDesc;
};
ZR_LIBRARY_PACKET_CLASS(ZrPortalMsgPacket);

// One account record of a login answer. Every new record is all zero (empty
// texts, zero numbers), however it is made, so a sender that fills only
// some fields sends zeros, never leftover memory. Each text
// holds at most its size - 1 characters and a NUL.
struct NETPACCONTINFO {
    char szField1[20] = {};
    unsigned int uField2 = 0;
    unsigned int uField3 = 0;
    char szField4[33] = {};
    long long llField5 = 0;
    char szField6[20] = {};
    int nField7 = 0;
    int nField8 = 0;
};

// The record on the wire: the five numbers first (uField2, uField3, llField5
// as eight bytes in either mode, nField7, nField8), then the three texts as
// char[N]. Compact: 1, 2, 3, 4, 5, "a", "", "b" ->
// 01 02 00 00 00 00 00 00 00 03 04 05 01 61 00 01 62.
template <class Fields>
void zrRecordFields(NETPACCONTINFO& r, Fields&& field) {
    field("uField2", r.uField2);
    field("uField3", r.uField3);
    field("llField5", r.llField5);
    field("nField7", r.nField7);
    field("nField8", r.nField8);
    field("szField1", r.szField1);
    field("szField4", r.szField4);
    field("szField6", r.szField6);
}

// Account login. Default cmdID 4 (enciphered).
// Body: account name (string), account type (i32), account records
// (vector<NETPACCONTINFO>), additional information (string), result flag
// (i32), error description (string).
class ZrLoginMsgPacket : public ZrBodyPacket<ZrLoginMsgPacket> {
public:
    static constexpr unsigned int DEFAULT_CMDID = 4;
    static constexpr ZrEnvelopeStyle ENVELOPE{"ZrLoginMsgPacket", ZrBodyMode::Compact};
    using ZrBodyPacket::ZrBodyPacket;

    void setAccountName(const std::string& accountName) { m_accountName = accountName; }
    const std::string& getAccountName() const { return m_accountName; }
    void setAccountType(int accountType) { m_accountType = accountType; }
    int getAccountType() const { return m_accountType; }
    void setACCONTINFO(const std::vector<NETPACCONTINFO>& accountInfo) { m_accountInfo = accountInfo; }
    const std::vector<NETPACCONTINFO>& getACCONTINFO() const { return m_accountInfo; }
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
        field("AccountName", &ZrLoginMsgPacket::m_accountName);
        field("AccountType", &ZrLoginMsgPacket::m_accountType);
        field("ACCONTINFO", &ZrLoginMsgPacket::m_accountInfo);
        field("AdditionalInfo", &ZrLoginMsgPacket::m_additionalInfo);
        field("ResultFlag", &ZrLoginMsgPacket::m_resultFlag);
        field("ErrorDesc", &ZrLoginMsgPacket::m_errorDesc);
    }

    std::string m_accountName;
    int m_accountType = 0;
    std::vector<NETPACCONTINFO> m_accountInfo;
    std::string m_additionalInfo;
    int m_resultFlag = 0;
    std::string m_errorDesc;
};
ZR_LIBRARY_PACKET_CLASS(ZrLoginMsgPacket);

// Database write relay. Default cmdID 6 (enciphered).
// Body: package ID (u32), SQL text (string), result flag (i32), error
// description (string). Five more values live in head fields, so a relay can
// read and patch them in the raw bytes with the static accessors below.
class ZrDbrWriteMsgPacket : public ZrBodyPacket<ZrDbrWriteMsgPacket> {
public:
    static constexpr unsigned int DEFAULT_CMDID = 6;
    static constexpr ZrEnvelopeStyle ENVELOPE{"ZrDbrWriteMsgPacket", ZrBodyMode::Compact};
    using ZrBodyPacket::ZrBodyPacket;

    void setPkgID(unsigned int pkgID) { m_pkgID = pkgID; }
    unsigned int getPkgID() const { return m_pkgID; }
    void setSQL(const std::string& sql) { m_sql = sql; }
    const std::string& getSQL() const { return m_sql; }
    void setResultFlag(int resultFlag) { m_resultFlag = resultFlag; }
    int getResultFlag() const { return m_resultFlag; }
    void setErrorDesc(const std::string& errorDesc) { m_errorDesc = errorDesc; }
    const std::string& getErrorDesc() const { return m_errorDesc; }

    // Head-held values, each another name for a head field:
    //   AckFlag = userID (bytes 8-11), IDType = SN (12-15),
    //   ID1 = context1 (17-20), ID2 = context2 (21-24),
    //   DBRRecvSockObjID = context3 (25-28).
    void setAckFlag(int ackFlag) { m_userID = static_cast<unsigned int>(ackFlag); }
    int getAckFlag() const { return static_cast<int>(m_userID); }
    void setIDType(int idType) { m_SN = static_cast<unsigned int>(idType); }
    int getIDType() const { return static_cast<int>(m_SN); }
    void setID1(unsigned int id1) { m_context1 = id1; }
    unsigned int getID1() const { return m_context1; }
    void setID2(unsigned int id2) { m_context2 = id2; }
    unsigned int getID2() const { return m_context2; }
    void setDBRRecvSockObjID(unsigned int sockObjID) { m_context3 = sockObjID; }
    int getDBRRecvSockObjID() const { return static_cast<int>(m_context3); }

    // The same five values in the bytes of an encoded packet, enciphered or
    // not. On a null buffer or one shorter than the head, getters return -1
    // (0xFFFFFFFF) and setters write nothing; setters report no result.
    static int fastGetAckFlag(const char* pBuf, unsigned int nBufLen);
    static void fastSetAckFlag(char* pBuf, unsigned int nBufLen, int value);
    static int fastGetIDType(const char* pBuf, unsigned int nBufLen);
    static void fastSetIDType(char* pBuf, unsigned int nBufLen, int value);
    static unsigned int fastGetID1(const char* pBuf, unsigned int nBufLen);
    static void fastSetID1(char* pBuf, unsigned int nBufLen, unsigned int value);
    static unsigned int fastGetID2(const char* pBuf, unsigned int nBufLen);
    static void fastSetID2(char* pBuf, unsigned int nBufLen, unsigned int value);
    static unsigned int fastGetDBRRecvSockObjID(const char* pBuf, unsigned int nBufLen);
    static void fastSetDBRRecvSockObjID(char* pBuf, unsigned int nBufLen, unsigned int value);

private:
    friend class ZrCPacketHead;  // the envelope reads the field list
    template <class Fields>
    static void fieldList(Fields&& field) {  // the body, in wire order, by member
        field("PkgID", &ZrDbrWriteMsgPacket::m_pkgID);
        field("SQL", &ZrDbrWriteMsgPacket::m_sql);
        field("ResultFlag", &ZrDbrWriteMsgPacket::m_resultFlag);
        field("ErrorDesc", &ZrDbrWriteMsgPacket::m_errorDesc);
    }

    unsigned int m_pkgID = 0;
    std::string m_sql;
    int m_resultFlag = 0;
    std::string m_errorDesc;
};
ZR_LIBRARY_PACKET_CLASS(ZrDbrWriteMsgPacket);

// General billing message about one account. Default cmdID 5 (enciphered).
// Body: DA (u32), account name (string), account type, bill type, money
// value, money type (four i32), description (string), error description (string).
class ZrBillMsgPacket : public ZrBodyPacket<ZrBillMsgPacket> {
public:
    static constexpr unsigned int DEFAULT_CMDID = 5;
    static constexpr ZrEnvelopeStyle ENVELOPE{"ZrBillMsgPacket", ZrBodyMode::Compact};
    using ZrBodyPacket::ZrBodyPacket;

    void setDA(unsigned int da) { m_da = da; }
    unsigned int getDA() const { return m_da; }
    void setAccountName(const std::string& accountName) { m_accountName = accountName; }
    const std::string& getAccountName() const { return m_accountName; }
    void setAccountType(int accountType) { m_accountType = accountType; }
    int getAccountType() const { return m_accountType; }
    void setBillType(int billType) { m_billType = billType; }
    int getBillType() const { return m_billType; }
    void setMoneyValue(int moneyValue) { m_moneyValue = moneyValue; }
    int getMoneyValue() const { return m_moneyValue; }
    void setMoneyType(int moneyType) { m_moneyType = moneyType; }
    int getMoneyType() const { return m_moneyType; }
    void setDescribe(const std::string& describe) { m_describe = describe; }
    const std::string& getDescribe() const { return m_describe; }
    void setErrorDesc(const std::string& errorDesc) { m_errorDesc = errorDesc; }
    const std::string& getErrorDesc() const { return m_errorDesc; }

private:
    friend class ZrCPacketHead;  // the envelope reads the field list
    template <class Fields>
    static void fieldList(Fields&& field) {  // the body, in wire order, by member
        field("DA", &ZrBillMsgPacket::m_da);
        field("AccountName", &ZrBillMsgPacket::m_accountName);
        field("AccountType", &ZrBillMsgPacket::m_accountType);
        field("BillType", &ZrBillMsgPacket::m_billType);
        field("MoneyValue", &ZrBillMsgPacket::m_moneyValue);
        field("MoneyType", &ZrBillMsgPacket::m_moneyType);
        field("Describe", &ZrBillMsgPacket::m_describe);
        field("ErrorDesc", &ZrBillMsgPacket::m_errorDesc);
    }

    unsigned int m_da = 0;
    std::string m_accountName;
    int m_accountType = 0;
    int m_billType = 0;
    int m_moneyValue = 0;
    int m_moneyType = 0;
    std::string m_describe;
    std::string m_errorDesc;
};
ZR_LIBRARY_PACKET_CLASS(ZrBillMsgPacket);

// A billing server identifies itself. Default cmdID 1010 (enciphered).
// Body: server name (string), server type (u32), server key (string),
// status (i32), message (string). Fixed-mode body: four-byte integers and
// lengths, also when enciphered.
class ZrBillServerIdentifyPacket : public ZrBodyPacket<ZrBillServerIdentifyPacket> {
public:
    static constexpr unsigned int DEFAULT_CMDID = 1010;
    static constexpr ZrEnvelopeStyle ENVELOPE{"ZrBillServerIdentifyPacket", ZrBodyMode::Fixed};
    using ZrBodyPacket::ZrBodyPacket;

    void setserver_name(const std::string& serverName) { m_serverName = serverName; }
    const std::string& getserver_name() const { return m_serverName; }
    void setserver_type(unsigned int serverType) { m_serverType = serverType; }
    unsigned int getserver_type() const { return m_serverType; }
    void setserver_key(const std::string& serverKey) { m_serverKey = serverKey; }
    const std::string& getserver_key() const { return m_serverKey; }
    void setret_status(int status) { m_retStatus = status; }
    int getret_status() const { return m_retStatus; }
    void setret_message(const std::string& message) { m_retMessage = message; }
    const std::string& getret_message() const { return m_retMessage; }

private:
    friend class ZrCPacketHead;  // the envelope reads the field list
    template <class Fields>
    static void fieldList(Fields&& field) {  // the body, in wire order, by member
        field("server_name", &ZrBillServerIdentifyPacket::m_serverName);
        field("server_type", &ZrBillServerIdentifyPacket::m_serverType);
        field("server_key", &ZrBillServerIdentifyPacket::m_serverKey);
        field("ret_status", &ZrBillServerIdentifyPacket::m_retStatus);
        field("ret_message", &ZrBillServerIdentifyPacket::m_retMessage);
    }

    std::string m_serverName;
    unsigned int m_serverType = 0;
    std::string m_serverKey;
    int m_retStatus = 0;
    std::string m_retMessage;
};
ZR_LIBRARY_PACKET_CLASS(ZrBillServerIdentifyPacket);

// A billing server logs in. Default cmdID 1001 (plain).
// Body: server name (string), server type (u32), server key (string), login
// status (i32), login message (string). Fixed-mode body, like the identify
// packet: "ab", 7, "", 0, "" -> 00 00 00 02 61 62 00 00 00 07 and 12 zero bytes.
class ZrBillServerLoginPacket : public ZrBodyPacket<ZrBillServerLoginPacket> {
public:
    static constexpr unsigned int DEFAULT_CMDID = 1001;
    static constexpr ZrEnvelopeStyle ENVELOPE{"ZrBillServerLoginPacket", ZrBodyMode::Fixed};
    using ZrBodyPacket::ZrBodyPacket;

    void setserver_name(const std::string& serverName) { m_serverName = serverName; }
    const std::string& getserver_name() const { return m_serverName; }
    void setserver_type(unsigned int serverType) { m_serverType = serverType; }
    unsigned int getserver_type() const { return m_serverType; }
    void setserver_key(const std::string& serverKey) { m_serverKey = serverKey; }
    const std::string& getserver_key() const { return m_serverKey; }
    void setret_login_status(int loginStatus) { m_retLoginStatus = loginStatus; }
    int getret_login_status() const { return m_retLoginStatus; }
    void setret_login_message(const std::string& loginMessage) { m_retLoginMessage = loginMessage; }
    const std::string& getret_login_message() const { return m_retLoginMessage; }

private:
    friend class ZrCPacketHead;  // the envelope reads the field list
    template <class Fields>
    static void fieldList(Fields&& field) {  // the body, in wire order, by member
        field("server_name", &ZrBillServerLoginPacket::m_serverName);
        field("server_type", &ZrBillServerLoginPacket::m_serverType);
        field("server_key", &ZrBillServerLoginPacket::m_serverKey);
        field("ret_login_status", &ZrBillServerLoginPacket::m_retLoginStatus);
        field("ret_login_message", &ZrBillServerLoginPacket::m_retLoginMessage);
    }

    std::string m_serverName;
    unsigned int m_serverType = 0;
    std::string m_serverKey;
    int m_retLoginStatus = 0;
    std::string m_retLoginMessage;
};
ZR_LIBRARY_PACKET_CLASS(ZrBillServerLoginPacket);

#endif  // ZRPACKET_ZR_SESSION_PACKETS_H
