// Billing packets: card batches, balances, deposits and recharges,
// consumption, trades and changes. Each class is a head plus its body
// fields; the envelope (key byte, plain or enciphered body, ETX) is the
// head's. Accessors spell the fields in lower case with underscores.
//
// Every body here is compact-mode unless its class says otherwise. Card
// numbers and times are 64-bit and always travel as eight bytes, most
// significant first. An amount is a unit (u32) and a money value (i32, may
// be negative: -1 is FF FF FF FF 0F compact, FF FF FF FF fixed). Every
// integer field starts at 0, so a field the sender never set goes out as 0.
// Each class serves both directions: the client fills the request fields,
// the server the ret_ fields, and every field travels both ways.
#ifndef ZRPACKET_ZR_BILLING_PACKETS_H
#define ZRPACKET_ZR_BILLING_PACKETS_H

#include <string>
#include <vector>

#include "zr_packet_head.h"

// --- Card batches: a range of cards, by its first and last number (64-bit),
// and the server's status and text.

// Puts a range of cards into a card database. Default cmdID 1006 (enciphered).
class ZrBillCardPutinPacket : public ZrCPacketHead {
public:
    static constexpr unsigned int DEFAULT_CMDID = 1006;
    static constexpr ZrEnvelopeStyle ENVELOPE{"ZrBillCardPutinPacket", ZrBodyMode::Compact};

    ZrBillCardPutinPacket();
    ZrBillCardPutinPacket(unsigned char verHigh, unsigned char verLow, unsigned int cmdID, unsigned char subcmdID,
                          unsigned int userID, unsigned int SN, unsigned char encryptType);
    ZrBillCardPutinPacket(const ZrBillCardPutinPacket&) = default;
    ZrBillCardPutinPacket& operator=(const ZrBillCardPutinPacket&) = default;
    ~ZrBillCardPutinPacket() = default;

    void initliaze() {}

    void setstart_card_id(unsigned long long startCardId) { m_startCardId = startCardId; }
    unsigned long long getstart_card_id() const { return m_startCardId; }
    void setend_card_id(unsigned long long endCardId) { m_endCardId = endCardId; }
    unsigned long long getend_card_id() const { return m_endCardId; }
    void setdb_ip(unsigned int dbIp) { m_dbIp = dbIp; }
    unsigned int getdb_ip() const { return m_dbIp; }
    void setdb_name(const std::string& dbName) { m_dbName = dbName; }
    const std::string& getdb_name() const { return m_dbName; }
    void setret_putin_status(int retPutinStatus) { m_retPutinStatus = retPutinStatus; }
    int getret_putin_status() const { return m_retPutinStatus; }
    void setret_putin_message(const std::string& retPutinMessage) { m_retPutinMessage = retPutinMessage; }
    const std::string& getret_putin_message() const { return m_retPutinMessage; }

    // The body's named fields in wire order, for tools.
    void visitFields(ZrFieldVisitor& visitor);
    // The body's wire bytes walked by its field list, without an object.
    static void walkBody(ZrBodyWalker& walker);

    int enCode(char* pSendBuf, unsigned int nBufLen);
    int deCode(char* pRecvBuf, unsigned int nBufLen);
    unsigned int getPacketLength() { return envelopeLength(); }

private:
    friend class ZrCPacketHead;  // its envelope runs the body
    template <class Fields>
    static void fieldList(Fields&& field);  // the body, once, in wire order, by member
    void serializeOrUnSerialize(ZrLCByteStream& stream);

    unsigned long long m_startCardId = 0;
    unsigned long long m_endCardId = 0;
    unsigned int m_dbIp = 0;
    std::string m_dbName;
    int m_retPutinStatus = 0;
    std::string m_retPutinMessage;
};

// Activates a range of cards. Default cmdID 1007 (enciphered).
class ZrBillCardActivePacket : public ZrCPacketHead {
public:
    static constexpr unsigned int DEFAULT_CMDID = 1007;
    static constexpr ZrEnvelopeStyle ENVELOPE{"ZrBillCardActivePacket", ZrBodyMode::Compact};

    ZrBillCardActivePacket();
    ZrBillCardActivePacket(unsigned char verHigh, unsigned char verLow, unsigned int cmdID, unsigned char subcmdID,
                           unsigned int userID, unsigned int SN, unsigned char encryptType);
    ZrBillCardActivePacket(const ZrBillCardActivePacket&) = default;
    ZrBillCardActivePacket& operator=(const ZrBillCardActivePacket&) = default;
    ~ZrBillCardActivePacket() = default;

    void initliaze() {}

    void setstart_card_id(unsigned long long startCardId) { m_startCardId = startCardId; }
    unsigned long long getstart_card_id() const { return m_startCardId; }
    void setend_card_id(unsigned long long endCardId) { m_endCardId = endCardId; }
    unsigned long long getend_card_id() const { return m_endCardId; }
    void setret_active_status(int retActiveStatus) { m_retActiveStatus = retActiveStatus; }
    int getret_active_status() const { return m_retActiveStatus; }
    void setret_active_message(const std::string& retActiveMessage) { m_retActiveMessage = retActiveMessage; }
    const std::string& getret_active_message() const { return m_retActiveMessage; }

    // The body's named fields in wire order, for tools.
    void visitFields(ZrFieldVisitor& visitor);
    // The body's wire bytes walked by its field list, without an object.
    static void walkBody(ZrBodyWalker& walker);

    int enCode(char* pSendBuf, unsigned int nBufLen);
    int deCode(char* pRecvBuf, unsigned int nBufLen);
    unsigned int getPacketLength() { return envelopeLength(); }

private:
    friend class ZrCPacketHead;  // its envelope runs the body
    template <class Fields>
    static void fieldList(Fields&& field);  // the body, once, in wire order, by member
    void serializeOrUnSerialize(ZrLCByteStream& stream);

    unsigned long long m_startCardId = 0;
    unsigned long long m_endCardId = 0;
    int m_retActiveStatus = 0;
    std::string m_retActiveMessage;
};

// Deactivates a range of cards. Default cmdID 1008 (enciphered).
class ZrBillCardDeactivePacket : public ZrCPacketHead {
public:
    static constexpr unsigned int DEFAULT_CMDID = 1008;
    static constexpr ZrEnvelopeStyle ENVELOPE{"ZrBillCardDeactivePacket", ZrBodyMode::Compact};

    ZrBillCardDeactivePacket();
    ZrBillCardDeactivePacket(unsigned char verHigh, unsigned char verLow, unsigned int cmdID, unsigned char subcmdID,
                             unsigned int userID, unsigned int SN, unsigned char encryptType);
    ZrBillCardDeactivePacket(const ZrBillCardDeactivePacket&) = default;
    ZrBillCardDeactivePacket& operator=(const ZrBillCardDeactivePacket&) = default;
    ~ZrBillCardDeactivePacket() = default;

    void initliaze() {}

    void setstart_card_id(unsigned long long startCardId) { m_startCardId = startCardId; }
    unsigned long long getstart_card_id() const { return m_startCardId; }
    void setend_card_id(unsigned long long endCardId) { m_endCardId = endCardId; }
    unsigned long long getend_card_id() const { return m_endCardId; }
    void setret_deactive_status(int retDeactiveStatus) { m_retDeactiveStatus = retDeactiveStatus; }
    int getret_deactive_status() const { return m_retDeactiveStatus; }
    void setret_deactive_message(const std::string& retDeactiveMessage) { m_retDeactiveMessage = retDeactiveMessage; }
    const std::string& getret_deactive_message() const { return m_retDeactiveMessage; }

    // The body's named fields in wire order, for tools.
    void visitFields(ZrFieldVisitor& visitor);
    // The body's wire bytes walked by its field list, without an object.
    static void walkBody(ZrBodyWalker& walker);

    int enCode(char* pSendBuf, unsigned int nBufLen);
    int deCode(char* pRecvBuf, unsigned int nBufLen);
    unsigned int getPacketLength() { return envelopeLength(); }

private:
    friend class ZrCPacketHead;  // its envelope runs the body
    template <class Fields>
    static void fieldList(Fields&& field);  // the body, once, in wire order, by member
    void serializeOrUnSerialize(ZrLCByteStream& stream);

    unsigned long long m_startCardId = 0;
    unsigned long long m_endCardId = 0;
    int m_retDeactiveStatus = 0;
    std::string m_retDeactiveMessage;
};

// Processes a range of cards in a card database. Default cmdID 1021 (enciphered).
class ZrBillCardProcPacket : public ZrCPacketHead {
public:
    static constexpr unsigned int DEFAULT_CMDID = 1021;
    static constexpr ZrEnvelopeStyle ENVELOPE{"ZrBillCardProcPacket", ZrBodyMode::Compact};

    ZrBillCardProcPacket();
    ZrBillCardProcPacket(unsigned char verHigh, unsigned char verLow, unsigned int cmdID, unsigned char subcmdID,
                         unsigned int userID, unsigned int SN, unsigned char encryptType);
    ZrBillCardProcPacket(const ZrBillCardProcPacket&) = default;
    ZrBillCardProcPacket& operator=(const ZrBillCardProcPacket&) = default;
    ~ZrBillCardProcPacket() = default;

    void initliaze() {}

    void setstart_card_id(unsigned long long startCardId) { m_startCardId = startCardId; }
    unsigned long long getstart_card_id() const { return m_startCardId; }
    void setend_card_id(unsigned long long endCardId) { m_endCardId = endCardId; }
    unsigned long long getend_card_id() const { return m_endCardId; }
    void setdb_ip(unsigned int dbIp) { m_dbIp = dbIp; }
    unsigned int getdb_ip() const { return m_dbIp; }
    void setdb_name(const std::string& dbName) { m_dbName = dbName; }
    const std::string& getdb_name() const { return m_dbName; }
    void setret_status(int retStatus) { m_retStatus = retStatus; }
    int getret_status() const { return m_retStatus; }
    void setret_message(const std::string& retMessage) { m_retMessage = retMessage; }
    const std::string& getret_message() const { return m_retMessage; }

    // The body's named fields in wire order, for tools.
    void visitFields(ZrFieldVisitor& visitor);
    // The body's wire bytes walked by its field list, without an object.
    static void walkBody(ZrBodyWalker& walker);

    int enCode(char* pSendBuf, unsigned int nBufLen);
    int deCode(char* pRecvBuf, unsigned int nBufLen);
    unsigned int getPacketLength() { return envelopeLength(); }

private:
    friend class ZrCPacketHead;  // its envelope runs the body
    template <class Fields>
    static void fieldList(Fields&& field);  // the body, once, in wire order, by member
    void serializeOrUnSerialize(ZrLCByteStream& stream);

    unsigned long long m_startCardId = 0;
    unsigned long long m_endCardId = 0;
    unsigned int m_dbIp = 0;
    std::string m_dbName;
    int m_retStatus = 0;
    std::string m_retMessage;
};

// --- Balance and remaining amount.

// One balance record of a balance answer: an amount and the unit it is
// counted in. All zero however it is made.
struct NETPBILLUSERBALANCEINFO {
    unsigned int balance_unit = 0;
    int balance_money = 0;
};

// The record on the wire: balance_unit, balance_money. Compact:
// (1, 250) -> 01 FA 01; (2, -5) -> 02 FB FF FF FF 0F.
template <class Fields>
void zrRecordFields(NETPBILLUSERBALANCEINFO& r, Fields&& field) {
    field("balance_unit", r.balance_unit);
    field("balance_money", r.balance_money);
}

// Asks for a user's balance; the answer carries a list of balance records.
// Default cmdID 1014 (enciphered).
class ZrBillUserBalancePacket : public ZrCPacketHead {
public:
    static constexpr unsigned int DEFAULT_CMDID = 1014;
    static constexpr ZrEnvelopeStyle ENVELOPE{"ZrBillUserBalancePacket", ZrBodyMode::Compact};

    ZrBillUserBalancePacket();
    ZrBillUserBalancePacket(unsigned char verHigh, unsigned char verLow, unsigned int cmdID, unsigned char subcmdID,
                            unsigned int userID, unsigned int SN, unsigned char encryptType);
    ZrBillUserBalancePacket(const ZrBillUserBalancePacket&) = default;
    ZrBillUserBalancePacket& operator=(const ZrBillUserBalancePacket&) = default;
    ~ZrBillUserBalancePacket() = default;

    void initliaze() {}

    void setuser_id(unsigned int userId) { m_userId = userId; }
    unsigned int getuser_id() const { return m_userId; }
    void setcurrency_type(unsigned int currencyType) { m_currencyType = currencyType; }
    unsigned int getcurrency_type() const { return m_currencyType; }
    void setidentifying_code(const std::string& identifyingCode) { m_identifyingCode = identifyingCode; }
    const std::string& getidentifying_code() const { return m_identifyingCode; }
    void settoken(const std::string& token) { m_token = token; }
    const std::string& gettoken() const { return m_token; }
    void setcheck_code(const std::string& checkCode) { m_checkCode = checkCode; }
    const std::string& getcheck_code() const { return m_checkCode; }
    void setadd_info(const std::string& addInfo) { m_addInfo = addInfo; }
    const std::string& getadd_info() const { return m_addInfo; }
    void setret_status(int retStatus) { m_retStatus = retStatus; }
    int getret_status() const { return m_retStatus; }
    void setret_message(const std::string& retMessage) { m_retMessage = retMessage; }
    const std::string& getret_message() const { return m_retMessage; }
    void setret_BALANCEINFO(const std::vector<NETPBILLUSERBALANCEINFO>& retBalanceInfo) {
        m_retBalanceInfo = retBalanceInfo;
    }
    const std::vector<NETPBILLUSERBALANCEINFO>& getret_BALANCEINFO() const { return m_retBalanceInfo; }

    // The body's named fields in wire order, for tools.
    void visitFields(ZrFieldVisitor& visitor);
    // The body's wire bytes walked by its field list, without an object.
    static void walkBody(ZrBodyWalker& walker);

    int enCode(char* pSendBuf, unsigned int nBufLen);
    int deCode(char* pRecvBuf, unsigned int nBufLen);
    unsigned int getPacketLength() { return envelopeLength(); }

private:
    friend class ZrCPacketHead;  // its envelope runs the body
    template <class Fields>
    static void fieldList(Fields&& field);  // the body, once, in wire order, by member
    void serializeOrUnSerialize(ZrLCByteStream& stream);

    unsigned int m_userId = 0;
    unsigned int m_currencyType = 0;
    std::string m_identifyingCode;
    std::string m_token;
    std::string m_checkCode;
    std::string m_addInfo;
    int m_retStatus = 0;
    std::string m_retMessage;
    std::vector<NETPBILLUSERBALANCEINFO> m_retBalanceInfo;
};

// Asks for the amount a user has left in one unit. Default cmdID 1005 (enciphered).
class ZrBillUserRemainPacket : public ZrCPacketHead {
public:
    static constexpr unsigned int DEFAULT_CMDID = 1005;
    static constexpr ZrEnvelopeStyle ENVELOPE{"ZrBillUserRemainPacket", ZrBodyMode::Compact};

    ZrBillUserRemainPacket();
    ZrBillUserRemainPacket(unsigned char verHigh, unsigned char verLow, unsigned int cmdID, unsigned char subcmdID,
                           unsigned int userID, unsigned int SN, unsigned char encryptType);
    ZrBillUserRemainPacket(const ZrBillUserRemainPacket&) = default;
    ZrBillUserRemainPacket& operator=(const ZrBillUserRemainPacket&) = default;
    ~ZrBillUserRemainPacket() = default;

    void initliaze() {}

    void setuser_id(unsigned int userId) { m_userId = userId; }
    unsigned int getuser_id() const { return m_userId; }
    void setbalance_unit(unsigned int balanceUnit) { m_balanceUnit = balanceUnit; }
    unsigned int getbalance_unit() const { return m_balanceUnit; }
    void setidentifying_code(const std::string& identifyingCode) { m_identifyingCode = identifyingCode; }
    const std::string& getidentifying_code() const { return m_identifyingCode; }
    void settoken(const std::string& token) { m_token = token; }
    const std::string& gettoken() const { return m_token; }
    void setcheck_code(const std::string& checkCode) { m_checkCode = checkCode; }
    const std::string& getcheck_code() const { return m_checkCode; }
    void setadd_info(const std::string& addInfo) { m_addInfo = addInfo; }
    const std::string& getadd_info() const { return m_addInfo; }
    void setret_remain_status(int retRemainStatus) { m_retRemainStatus = retRemainStatus; }
    int getret_remain_status() const { return m_retRemainStatus; }
    void setret_remain_message(const std::string& retRemainMessage) { m_retRemainMessage = retRemainMessage; }
    const std::string& getret_remain_message() const { return m_retRemainMessage; }
    void setret_remain_unit(unsigned int retRemainUnit) { m_retRemainUnit = retRemainUnit; }
    unsigned int getret_remain_unit() const { return m_retRemainUnit; }
    void setret_remain_money(int retRemainMoney) { m_retRemainMoney = retRemainMoney; }
    int getret_remain_money() const { return m_retRemainMoney; }

    // The body's named fields in wire order, for tools.
    void visitFields(ZrFieldVisitor& visitor);
    // The body's wire bytes walked by its field list, without an object.
    static void walkBody(ZrBodyWalker& walker);

    int enCode(char* pSendBuf, unsigned int nBufLen);
    int deCode(char* pRecvBuf, unsigned int nBufLen);
    unsigned int getPacketLength() { return envelopeLength(); }

private:
    friend class ZrCPacketHead;  // its envelope runs the body
    template <class Fields>
    static void fieldList(Fields&& field);  // the body, once, in wire order, by member
    void serializeOrUnSerialize(ZrLCByteStream& stream);

    unsigned int m_userId = 0;
    unsigned int m_balanceUnit = 0;
    std::string m_identifyingCode;
    std::string m_token;
    std::string m_checkCode;
    std::string m_addInfo;
    int m_retRemainStatus = 0;
    std::string m_retRemainMessage;
    unsigned int m_retRemainUnit = 0;
    int m_retRemainMoney = 0;
};

// --- Recharges and deposits. The two card variants name a prepaid card by
// number and password instead of an amount and keep fixed-mode bodies.

// Recharges a user's account through a merchant, the amount in the request.
// Default cmdID 1003 (enciphered).
class ZrBillUserRechargePacket : public ZrCPacketHead {
public:
    static constexpr unsigned int DEFAULT_CMDID = 1003;
    static constexpr ZrEnvelopeStyle ENVELOPE{"ZrBillUserRechargePacket", ZrBodyMode::Compact};

    ZrBillUserRechargePacket();
    ZrBillUserRechargePacket(unsigned char verHigh, unsigned char verLow, unsigned int cmdID, unsigned char subcmdID,
                             unsigned int userID, unsigned int SN, unsigned char encryptType);
    ZrBillUserRechargePacket(const ZrBillUserRechargePacket&) = default;
    ZrBillUserRechargePacket& operator=(const ZrBillUserRechargePacket&) = default;
    ~ZrBillUserRechargePacket() = default;

    void initliaze() {}

    void setuser_id(unsigned int userId) { m_userId = userId; }
    unsigned int getuser_id() const { return m_userId; }
    void setmerchant_type(unsigned int merchantType) { m_merchantType = merchantType; }
    unsigned int getmerchant_type() const { return m_merchantType; }
    void setmerchant_name(const std::string& merchantName) { m_merchantName = merchantName; }
    const std::string& getmerchant_name() const { return m_merchantName; }
    void setorder_id(const std::string& orderId) { m_orderId = orderId; }
    const std::string& getorder_id() const { return m_orderId; }
    void setrecharge_time(unsigned long long rechargeTime) { m_rechargeTime = rechargeTime; }
    unsigned long long getrecharge_time() const { return m_rechargeTime; }
    void setrecharge_unit(unsigned int rechargeUnit) { m_rechargeUnit = rechargeUnit; }
    unsigned int getrecharge_unit() const { return m_rechargeUnit; }
    void setrecharge_money(int rechargeMoney) { m_rechargeMoney = rechargeMoney; }
    int getrecharge_money() const { return m_rechargeMoney; }
    void setidentifying_code(const std::string& identifyingCode) { m_identifyingCode = identifyingCode; }
    const std::string& getidentifying_code() const { return m_identifyingCode; }
    void settoken(const std::string& token) { m_token = token; }
    const std::string& gettoken() const { return m_token; }
    void setcheck_code(const std::string& checkCode) { m_checkCode = checkCode; }
    const std::string& getcheck_code() const { return m_checkCode; }
    void setadd_info(const std::string& addInfo) { m_addInfo = addInfo; }
    const std::string& getadd_info() const { return m_addInfo; }
    void setret_recharge_status(int retRechargeStatus) { m_retRechargeStatus = retRechargeStatus; }
    int getret_recharge_status() const { return m_retRechargeStatus; }
    void setret_recharge_message(const std::string& retRechargeMessage) { m_retRechargeMessage = retRechargeMessage; }
    const std::string& getret_recharge_message() const { return m_retRechargeMessage; }

    // The body's named fields in wire order, for tools.
    void visitFields(ZrFieldVisitor& visitor);
    // The body's wire bytes walked by its field list, without an object.
    static void walkBody(ZrBodyWalker& walker);

    int enCode(char* pSendBuf, unsigned int nBufLen);
    int deCode(char* pRecvBuf, unsigned int nBufLen);
    unsigned int getPacketLength() { return envelopeLength(); }

private:
    friend class ZrCPacketHead;  // its envelope runs the body
    template <class Fields>
    static void fieldList(Fields&& field);  // the body, once, in wire order, by member
    void serializeOrUnSerialize(ZrLCByteStream& stream);

    unsigned int m_userId = 0;
    unsigned int m_merchantType = 0;
    std::string m_merchantName;
    std::string m_orderId;
    unsigned long long m_rechargeTime = 0;
    unsigned int m_rechargeUnit = 0;
    int m_rechargeMoney = 0;
    std::string m_identifyingCode;
    std::string m_token;
    std::string m_checkCode;
    std::string m_addInfo;
    int m_retRechargeStatus = 0;
    std::string m_retRechargeMessage;
};

// Recharges a user's account by prepaid card through a merchant; the answer
// carries the unit and amount. Default cmdID 1009 (plain).
// Fixed-mode body: four-byte integers and lengths, also when enciphered.
class ZrBillUserCardRechargePacket : public ZrCPacketHead {
public:
    static constexpr unsigned int DEFAULT_CMDID = 1009;
    static constexpr ZrEnvelopeStyle ENVELOPE{"ZrBillUserCardRechargePacket", ZrBodyMode::Fixed};

    ZrBillUserCardRechargePacket();
    ZrBillUserCardRechargePacket(unsigned char verHigh, unsigned char verLow, unsigned int cmdID,
                                 unsigned char subcmdID, unsigned int userID, unsigned int SN,
                                 unsigned char encryptType);
    ZrBillUserCardRechargePacket(const ZrBillUserCardRechargePacket&) = default;
    ZrBillUserCardRechargePacket& operator=(const ZrBillUserCardRechargePacket&) = default;
    ~ZrBillUserCardRechargePacket() = default;

    void initliaze() {}

    void setuser_id(unsigned int userId) { m_userId = userId; }
    unsigned int getuser_id() const { return m_userId; }
    void setmerchant_type(unsigned int merchantType) { m_merchantType = merchantType; }
    unsigned int getmerchant_type() const { return m_merchantType; }
    void setmerchant_name(const std::string& merchantName) { m_merchantName = merchantName; }
    const std::string& getmerchant_name() const { return m_merchantName; }
    void setorder_id(const std::string& orderId) { m_orderId = orderId; }
    const std::string& getorder_id() const { return m_orderId; }
    void setcard_id(const std::string& cardId) { m_cardId = cardId; }
    const std::string& getcard_id() const { return m_cardId; }
    void setcard_password(const std::string& cardPassword) { m_cardPassword = cardPassword; }
    const std::string& getcard_password() const { return m_cardPassword; }
    void setrecharge_time(unsigned long long rechargeTime) { m_rechargeTime = rechargeTime; }
    unsigned long long getrecharge_time() const { return m_rechargeTime; }
    void setidentifying_code(const std::string& identifyingCode) { m_identifyingCode = identifyingCode; }
    const std::string& getidentifying_code() const { return m_identifyingCode; }
    void settoken(const std::string& token) { m_token = token; }
    const std::string& gettoken() const { return m_token; }
    void setcheck_code(const std::string& checkCode) { m_checkCode = checkCode; }
    const std::string& getcheck_code() const { return m_checkCode; }
    void setadd_info(const std::string& addInfo) { m_addInfo = addInfo; }
    const std::string& getadd_info() const { return m_addInfo; }
    void setret_recharge_status(int retRechargeStatus) { m_retRechargeStatus = retRechargeStatus; }
    int getret_recharge_status() const { return m_retRechargeStatus; }
    void setret_recharge_message(const std::string& retRechargeMessage) { m_retRechargeMessage = retRechargeMessage; }
    const std::string& getret_recharge_message() const { return m_retRechargeMessage; }
    void setret_recharge_unit(unsigned int retRechargeUnit) { m_retRechargeUnit = retRechargeUnit; }
    unsigned int getret_recharge_unit() const { return m_retRechargeUnit; }
    void setret_recharge_money(int retRechargeMoney) { m_retRechargeMoney = retRechargeMoney; }
    int getret_recharge_money() const { return m_retRechargeMoney; }

    // The body's named fields in wire order, for tools.
    void visitFields(ZrFieldVisitor& visitor);
    // The body's wire bytes walked by its field list, without an object.
    static void walkBody(ZrBodyWalker& walker);

    int enCode(char* pSendBuf, unsigned int nBufLen);
    int deCode(char* pRecvBuf, unsigned int nBufLen);
    unsigned int getPacketLength() { return envelopeLength(); }

private:
    friend class ZrCPacketHead;  // its envelope runs the body
    template <class Fields>
    static void fieldList(Fields&& field);  // the body, once, in wire order, by member
    void serializeOrUnSerialize(ZrLCByteStream& stream);

    unsigned int m_userId = 0;
    unsigned int m_merchantType = 0;
    std::string m_merchantName;
    std::string m_orderId;
    std::string m_cardId;
    std::string m_cardPassword;
    unsigned long long m_rechargeTime = 0;
    std::string m_identifyingCode;
    std::string m_token;
    std::string m_checkCode;
    std::string m_addInfo;
    int m_retRechargeStatus = 0;
    std::string m_retRechargeMessage;
    unsigned int m_retRechargeUnit = 0;
    int m_retRechargeMoney = 0;
};

// Deposits into a user's account for a merchant's application, the amount in
// the request. Default cmdID 1011 (enciphered).
class ZrBillUserDepositPacket : public ZrCPacketHead {
public:
    static constexpr unsigned int DEFAULT_CMDID = 1011;
    static constexpr ZrEnvelopeStyle ENVELOPE{"ZrBillUserDepositPacket", ZrBodyMode::Compact};

    ZrBillUserDepositPacket();
    ZrBillUserDepositPacket(unsigned char verHigh, unsigned char verLow, unsigned int cmdID, unsigned char subcmdID,
                            unsigned int userID, unsigned int SN, unsigned char encryptType);
    ZrBillUserDepositPacket(const ZrBillUserDepositPacket&) = default;
    ZrBillUserDepositPacket& operator=(const ZrBillUserDepositPacket&) = default;
    ~ZrBillUserDepositPacket() = default;

    void initliaze() {}

    void setuser_id(unsigned int userId) { m_userId = userId; }
    unsigned int getuser_id() const { return m_userId; }
    void setmerchant_id(unsigned int merchantId) { m_merchantId = merchantId; }
    unsigned int getmerchant_id() const { return m_merchantId; }
    void setapp_id(unsigned int appId) { m_appId = appId; }
    unsigned int getapp_id() const { return m_appId; }
    void setorder_id(const std::string& orderId) { m_orderId = orderId; }
    const std::string& getorder_id() const { return m_orderId; }
    void setcurrency_type(unsigned int currencyType) { m_currencyType = currencyType; }
    unsigned int getcurrency_type() const { return m_currencyType; }
    void setcurrency(int currency) { m_currency = currency; }
    int getcurrency() const { return m_currency; }
    void settime(unsigned long long time) { m_time = time; }
    unsigned long long gettime() const { return m_time; }
    void setidentifying_code(const std::string& identifyingCode) { m_identifyingCode = identifyingCode; }
    const std::string& getidentifying_code() const { return m_identifyingCode; }
    void settoken(const std::string& token) { m_token = token; }
    const std::string& gettoken() const { return m_token; }
    void setcheck_code(const std::string& checkCode) { m_checkCode = checkCode; }
    const std::string& getcheck_code() const { return m_checkCode; }
    void setreason(const std::string& reason) { m_reason = reason; }
    const std::string& getreason() const { return m_reason; }
    void setadd_info(const std::string& addInfo) { m_addInfo = addInfo; }
    const std::string& getadd_info() const { return m_addInfo; }
    void setret_deposit_status(int retDepositStatus) { m_retDepositStatus = retDepositStatus; }
    int getret_deposit_status() const { return m_retDepositStatus; }
    void setret_deposit_message(const std::string& retDepositMessage) { m_retDepositMessage = retDepositMessage; }
    const std::string& getret_deposit_message() const { return m_retDepositMessage; }

    // The body's named fields in wire order, for tools.
    void visitFields(ZrFieldVisitor& visitor);
    // The body's wire bytes walked by its field list, without an object.
    static void walkBody(ZrBodyWalker& walker);

    int enCode(char* pSendBuf, unsigned int nBufLen);
    int deCode(char* pRecvBuf, unsigned int nBufLen);
    unsigned int getPacketLength() { return envelopeLength(); }

private:
    friend class ZrCPacketHead;  // its envelope runs the body
    template <class Fields>
    static void fieldList(Fields&& field);  // the body, once, in wire order, by member
    void serializeOrUnSerialize(ZrLCByteStream& stream);

    unsigned int m_userId = 0;
    unsigned int m_merchantId = 0;
    unsigned int m_appId = 0;
    std::string m_orderId;
    unsigned int m_currencyType = 0;
    int m_currency = 0;
    unsigned long long m_time = 0;
    std::string m_identifyingCode;
    std::string m_token;
    std::string m_checkCode;
    std::string m_reason;
    std::string m_addInfo;
    int m_retDepositStatus = 0;
    std::string m_retDepositMessage;
};

// Deposits by prepaid card for a merchant's application; the answer carries
// the unit and amount. Default cmdID 1031 (enciphered).
// Fixed-mode body: four-byte integers and lengths, also when enciphered.
// Its time field is named recharge_time, as in the recharge packets.
class ZrBillUserCardDepositPacket : public ZrCPacketHead {
public:
    static constexpr unsigned int DEFAULT_CMDID = 1031;
    static constexpr ZrEnvelopeStyle ENVELOPE{"ZrBillUserCardDepositPacket", ZrBodyMode::Fixed};

    ZrBillUserCardDepositPacket();
    ZrBillUserCardDepositPacket(unsigned char verHigh, unsigned char verLow, unsigned int cmdID, unsigned char subcmdID,
                                unsigned int userID, unsigned int SN, unsigned char encryptType);
    ZrBillUserCardDepositPacket(const ZrBillUserCardDepositPacket&) = default;
    ZrBillUserCardDepositPacket& operator=(const ZrBillUserCardDepositPacket&) = default;
    ~ZrBillUserCardDepositPacket() = default;

    void initliaze() {}

    void setuser_id(unsigned int userId) { m_userId = userId; }
    unsigned int getuser_id() const { return m_userId; }
    void setmerchant_id(unsigned int merchantId) { m_merchantId = merchantId; }
    unsigned int getmerchant_id() const { return m_merchantId; }
    void setapp_id(unsigned int appId) { m_appId = appId; }
    unsigned int getapp_id() const { return m_appId; }
    void setorder_id(const std::string& orderId) { m_orderId = orderId; }
    const std::string& getorder_id() const { return m_orderId; }
    void setcard_id(const std::string& cardId) { m_cardId = cardId; }
    const std::string& getcard_id() const { return m_cardId; }
    void setcard_password(const std::string& cardPassword) { m_cardPassword = cardPassword; }
    const std::string& getcard_password() const { return m_cardPassword; }
    void setrecharge_time(unsigned long long rechargeTime) { m_rechargeTime = rechargeTime; }
    unsigned long long getrecharge_time() const { return m_rechargeTime; }
    void setidentifying_code(const std::string& identifyingCode) { m_identifyingCode = identifyingCode; }
    const std::string& getidentifying_code() const { return m_identifyingCode; }
    void settoken(const std::string& token) { m_token = token; }
    const std::string& gettoken() const { return m_token; }
    void setcheck_code(const std::string& checkCode) { m_checkCode = checkCode; }
    const std::string& getcheck_code() const { return m_checkCode; }
    void setadd_info(const std::string& addInfo) { m_addInfo = addInfo; }
    const std::string& getadd_info() const { return m_addInfo; }
    void setret_deposit_status(int retDepositStatus) { m_retDepositStatus = retDepositStatus; }
    int getret_deposit_status() const { return m_retDepositStatus; }
    void setret_deposit_message(const std::string& retDepositMessage) { m_retDepositMessage = retDepositMessage; }
    const std::string& getret_deposit_message() const { return m_retDepositMessage; }
    void setret_deposit_unit(unsigned int retDepositUnit) { m_retDepositUnit = retDepositUnit; }
    unsigned int getret_deposit_unit() const { return m_retDepositUnit; }
    void setret_deposit_money(int retDepositMoney) { m_retDepositMoney = retDepositMoney; }
    int getret_deposit_money() const { return m_retDepositMoney; }

    // The body's named fields in wire order, for tools.
    void visitFields(ZrFieldVisitor& visitor);
    // The body's wire bytes walked by its field list, without an object.
    static void walkBody(ZrBodyWalker& walker);

    int enCode(char* pSendBuf, unsigned int nBufLen);
    int deCode(char* pRecvBuf, unsigned int nBufLen);
    unsigned int getPacketLength() { return envelopeLength(); }

private:
    friend class ZrCPacketHead;  // its envelope runs the body
    template <class Fields>
    static void fieldList(Fields&& field);  // the body, once, in wire order, by member
    void serializeOrUnSerialize(ZrLCByteStream& stream);

    unsigned int m_userId = 0;
    unsigned int m_merchantId = 0;
    unsigned int m_appId = 0;
    std::string m_orderId;
    std::string m_cardId;
    std::string m_cardPassword;
    unsigned long long m_rechargeTime = 0;
    std::string m_identifyingCode;
    std::string m_token;
    std::string m_checkCode;
    std::string m_addInfo;
    int m_retDepositStatus = 0;
    std::string m_retDepositMessage;
    unsigned int m_retDepositUnit = 0;
    int m_retDepositMoney = 0;
};

// --- Consumption, trades and changes: movements of money that an application
// or a merchant books.

// Charges a user for a consumption in an application. Default cmdID 1004 (enciphered).
class ZrBillUserConsumePacket : public ZrCPacketHead {
public:
    static constexpr unsigned int DEFAULT_CMDID = 1004;
    static constexpr ZrEnvelopeStyle ENVELOPE{"ZrBillUserConsumePacket", ZrBodyMode::Compact};

    ZrBillUserConsumePacket();
    ZrBillUserConsumePacket(unsigned char verHigh, unsigned char verLow, unsigned int cmdID, unsigned char subcmdID,
                            unsigned int userID, unsigned int SN, unsigned char encryptType);
    ZrBillUserConsumePacket(const ZrBillUserConsumePacket&) = default;
    ZrBillUserConsumePacket& operator=(const ZrBillUserConsumePacket&) = default;
    ~ZrBillUserConsumePacket() = default;

    void initliaze() {}

    void setuser_id(unsigned int userId) { m_userId = userId; }
    unsigned int getuser_id() const { return m_userId; }
    void setapp_type(unsigned int appType) { m_appType = appType; }
    unsigned int getapp_type() const { return m_appType; }
    void setapp_id(unsigned int appId) { m_appId = appId; }
    unsigned int getapp_id() const { return m_appId; }
    void setorder_id(const std::string& orderId) { m_orderId = orderId; }
    const std::string& getorder_id() const { return m_orderId; }
    void setcost_time(unsigned long long costTime) { m_costTime = costTime; }
    unsigned long long getcost_time() const { return m_costTime; }
    void setcost_unit(unsigned int costUnit) { m_costUnit = costUnit; }
    unsigned int getcost_unit() const { return m_costUnit; }
    void setcost_money(int costMoney) { m_costMoney = costMoney; }
    int getcost_money() const { return m_costMoney; }
    void setidentifying_code(const std::string& identifyingCode) { m_identifyingCode = identifyingCode; }
    const std::string& getidentifying_code() const { return m_identifyingCode; }
    void settoken(const std::string& token) { m_token = token; }
    const std::string& gettoken() const { return m_token; }
    void setcheck_code(const std::string& checkCode) { m_checkCode = checkCode; }
    const std::string& getcheck_code() const { return m_checkCode; }
    void setreason(const std::string& reason) { m_reason = reason; }
    const std::string& getreason() const { return m_reason; }
    void setadd_info(const std::string& addInfo) { m_addInfo = addInfo; }
    const std::string& getadd_info() const { return m_addInfo; }
    void setret_consume_status(int retConsumeStatus) { m_retConsumeStatus = retConsumeStatus; }
    int getret_consume_status() const { return m_retConsumeStatus; }
    void setret_consume_message(const std::string& retConsumeMessage) { m_retConsumeMessage = retConsumeMessage; }
    const std::string& getret_consume_message() const { return m_retConsumeMessage; }

    // The body's named fields in wire order, for tools.
    void visitFields(ZrFieldVisitor& visitor);
    // The body's wire bytes walked by its field list, without an object.
    static void walkBody(ZrBodyWalker& walker);

    int enCode(char* pSendBuf, unsigned int nBufLen);
    int deCode(char* pRecvBuf, unsigned int nBufLen);
    unsigned int getPacketLength() { return envelopeLength(); }

private:
    friend class ZrCPacketHead;  // its envelope runs the body
    template <class Fields>
    static void fieldList(Fields&& field);  // the body, once, in wire order, by member
    void serializeOrUnSerialize(ZrLCByteStream& stream);

    unsigned int m_userId = 0;
    unsigned int m_appType = 0;
    unsigned int m_appId = 0;
    std::string m_orderId;
    unsigned long long m_costTime = 0;
    unsigned int m_costUnit = 0;
    int m_costMoney = 0;
    std::string m_identifyingCode;
    std::string m_token;
    std::string m_checkCode;
    std::string m_reason;
    std::string m_addInfo;
    int m_retConsumeStatus = 0;
    std::string m_retConsumeMessage;
};

// One trade record: two amounts, the user on the other side of the trade,
// two more amounts; each amount a unit and a signed money value. All zero
// however it is made.
struct NETPBILLUSERTRADEINFO {
    unsigned int unit1 = 0;
    int money1 = 0;
    unsigned int unit2 = 0;
    int money2 = 0;
    unsigned int dst_user_id = 0;
    unsigned int unit3 = 0;
    int money3 = 0;
    unsigned int unit4 = 0;
    int money4 = 0;
};

// The record on the wire: its nine fields in declaration order. Compact,
// units and user below 128 and every amount -1: 25 bytes.
template <class Fields>
void zrRecordFields(NETPBILLUSERTRADEINFO& r, Fields&& field) {
    field("unit1", r.unit1);
    field("money1", r.money1);
    field("unit2", r.unit2);
    field("money2", r.money2);
    field("dst_user_id", r.dst_user_id);
    field("unit3", r.unit3);
    field("money3", r.money3);
    field("unit4", r.unit4);
    field("money4", r.money4);
}

// A trade from one user, src_user_id, for a merchant's application, with its
// trade records. Default cmdID 1013 (enciphered).
class ZrBillUserTradePacket : public ZrCPacketHead {
public:
    static constexpr unsigned int DEFAULT_CMDID = 1013;
    static constexpr ZrEnvelopeStyle ENVELOPE{"ZrBillUserTradePacket", ZrBodyMode::Compact};

    ZrBillUserTradePacket();
    ZrBillUserTradePacket(unsigned char verHigh, unsigned char verLow, unsigned int cmdID, unsigned char subcmdID,
                          unsigned int userID, unsigned int SN, unsigned char encryptType);
    ZrBillUserTradePacket(const ZrBillUserTradePacket&) = default;
    ZrBillUserTradePacket& operator=(const ZrBillUserTradePacket&) = default;
    ~ZrBillUserTradePacket() = default;

    void initliaze() {}

    void setsrc_user_id(unsigned int srcUserId) { m_srcUserId = srcUserId; }
    unsigned int getsrc_user_id() const { return m_srcUserId; }
    void setmerchant_id(unsigned int merchantId) { m_merchantId = merchantId; }
    unsigned int getmerchant_id() const { return m_merchantId; }
    void setapp_id(unsigned int appId) { m_appId = appId; }
    unsigned int getapp_id() const { return m_appId; }
    void setorder_id(const std::string& orderId) { m_orderId = orderId; }
    const std::string& getorder_id() const { return m_orderId; }
    void setTRADEINFO(const std::vector<NETPBILLUSERTRADEINFO>& tradeInfo) { m_tradeInfo = tradeInfo; }
    const std::vector<NETPBILLUSERTRADEINFO>& getTRADEINFO() const { return m_tradeInfo; }
    void settime(unsigned long long time) { m_time = time; }
    unsigned long long gettime() const { return m_time; }
    void setidentifying_code(const std::string& identifyingCode) { m_identifyingCode = identifyingCode; }
    const std::string& getidentifying_code() const { return m_identifyingCode; }
    void settoken(const std::string& token) { m_token = token; }
    const std::string& gettoken() const { return m_token; }
    void setcheck_code(const std::string& checkCode) { m_checkCode = checkCode; }
    const std::string& getcheck_code() const { return m_checkCode; }
    void setreason(const std::string& reason) { m_reason = reason; }
    const std::string& getreason() const { return m_reason; }
    void setadd_info(const std::string& addInfo) { m_addInfo = addInfo; }
    const std::string& getadd_info() const { return m_addInfo; }
    void setret_status(int retStatus) { m_retStatus = retStatus; }
    int getret_status() const { return m_retStatus; }
    void setret_message(const std::string& retMessage) { m_retMessage = retMessage; }
    const std::string& getret_message() const { return m_retMessage; }

    // The body's named fields in wire order, for tools.
    void visitFields(ZrFieldVisitor& visitor);
    // The body's wire bytes walked by its field list, without an object.
    static void walkBody(ZrBodyWalker& walker);

    int enCode(char* pSendBuf, unsigned int nBufLen);
    int deCode(char* pRecvBuf, unsigned int nBufLen);
    unsigned int getPacketLength() { return envelopeLength(); }

private:
    friend class ZrCPacketHead;  // its envelope runs the body
    template <class Fields>
    static void fieldList(Fields&& field);  // the body, once, in wire order, by member
    void serializeOrUnSerialize(ZrLCByteStream& stream);

    unsigned int m_srcUserId = 0;
    unsigned int m_merchantId = 0;
    unsigned int m_appId = 0;
    std::string m_orderId;
    std::vector<NETPBILLUSERTRADEINFO> m_tradeInfo;
    unsigned long long m_time = 0;
    std::string m_identifyingCode;
    std::string m_token;
    std::string m_checkCode;
    std::string m_reason;
    std::string m_addInfo;
    int m_retStatus = 0;
    std::string m_retMessage;
};

// One change record: two amounts, each a unit and a signed money value.
// All zero however it is made.
struct NETPBILLUSERCHANGEINFO {
    unsigned int unit1 = 0;
    int money1 = 0;
    unsigned int unit2 = 0;
    int money2 = 0;
};

// The record on the wire: its four fields in declaration order. Compact:
// (1, -300, 2, 300) -> 01 D4 FD FF FF 0F 02 AC 02.
template <class Fields>
void zrRecordFields(NETPBILLUSERCHANGEINFO& r, Fields&& field) {
    field("unit1", r.unit1);
    field("money1", r.money1);
    field("unit2", r.unit2);
    field("money2", r.money2);
}

// A change of a user's account for a merchant's application, with its change
// records. Default cmdID 1012 (enciphered).
class ZrBillUserChangePacket : public ZrCPacketHead {
public:
    static constexpr unsigned int DEFAULT_CMDID = 1012;
    static constexpr ZrEnvelopeStyle ENVELOPE{"ZrBillUserChangePacket", ZrBodyMode::Compact};

    ZrBillUserChangePacket();
    ZrBillUserChangePacket(unsigned char verHigh, unsigned char verLow, unsigned int cmdID, unsigned char subcmdID,
                           unsigned int userID, unsigned int SN, unsigned char encryptType);
    ZrBillUserChangePacket(const ZrBillUserChangePacket&) = default;
    ZrBillUserChangePacket& operator=(const ZrBillUserChangePacket&) = default;
    ~ZrBillUserChangePacket() = default;

    void initliaze() {}

    void setuser_id(unsigned int userId) { m_userId = userId; }
    unsigned int getuser_id() const { return m_userId; }
    void setmerchant_id(unsigned int merchantId) { m_merchantId = merchantId; }
    unsigned int getmerchant_id() const { return m_merchantId; }
    void setapp_id(unsigned int appId) { m_appId = appId; }
    unsigned int getapp_id() const { return m_appId; }
    void setorder_id(const std::string& orderId) { m_orderId = orderId; }
    const std::string& getorder_id() const { return m_orderId; }
    void setCHANGEINFO(const std::vector<NETPBILLUSERCHANGEINFO>& changeInfo) { m_changeInfo = changeInfo; }
    const std::vector<NETPBILLUSERCHANGEINFO>& getCHANGEINFO() const { return m_changeInfo; }
    void settime(unsigned long long time) { m_time = time; }
    unsigned long long gettime() const { return m_time; }
    void setidentifying_code(const std::string& identifyingCode) { m_identifyingCode = identifyingCode; }
    const std::string& getidentifying_code() const { return m_identifyingCode; }
    void settoken(const std::string& token) { m_token = token; }
    const std::string& gettoken() const { return m_token; }
    void setcheck_code(const std::string& checkCode) { m_checkCode = checkCode; }
    const std::string& getcheck_code() const { return m_checkCode; }
    void setreason(const std::string& reason) { m_reason = reason; }
    const std::string& getreason() const { return m_reason; }
    void setadd_info(const std::string& addInfo) { m_addInfo = addInfo; }
    const std::string& getadd_info() const { return m_addInfo; }
    void setret_status(int retStatus) { m_retStatus = retStatus; }
    int getret_status() const { return m_retStatus; }
    void setret_message(const std::string& retMessage) { m_retMessage = retMessage; }
    const std::string& getret_message() const { return m_retMessage; }

    // The body's named fields in wire order, for tools.
    void visitFields(ZrFieldVisitor& visitor);
    // The body's wire bytes walked by its field list, without an object.
    static void walkBody(ZrBodyWalker& walker);

    int enCode(char* pSendBuf, unsigned int nBufLen);
    int deCode(char* pRecvBuf, unsigned int nBufLen);
    unsigned int getPacketLength() { return envelopeLength(); }

private:
    friend class ZrCPacketHead;  // its envelope runs the body
    template <class Fields>
    static void fieldList(Fields&& field);  // the body, once, in wire order, by member
    void serializeOrUnSerialize(ZrLCByteStream& stream);

    unsigned int m_userId = 0;
    unsigned int m_merchantId = 0;
    unsigned int m_appId = 0;
    std::string m_orderId;
    std::vector<NETPBILLUSERCHANGEINFO> m_changeInfo;
    unsigned long long m_time = 0;
    std::string m_identifyingCode;
    std::string m_token;
    std::string m_checkCode;
    std::string m_reason;
    std::string m_addInfo;
    int m_retStatus = 0;
    std::string m_retMessage;
};

#endif  // ZRPACKET_ZR_BILLING_PACKETS_H
