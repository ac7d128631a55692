// Billing packets: card batches, balances, deposits and recharges,
// consumption, trades and changes. Each class is a head plus its body
// fields, listed once; ZrBodyPacket (zr_body_packet.h) gives it the rest,
// and the envelope (key byte, plain or enciphered body, ETX) is the head's.
// Accessors spell the fields in lower case with underscores.
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

#include "zr_body_packet.h"

// --- Card batches: a range of cards, by its first and last number (64-bit),
// and the server's status and text.

// Puts a range of cards into a card database. Default cmdID 1006 (enciphered).
class ZrBillCardPutinPacket : public ZrBodyPacket<ZrBillCardPutinPacket> {
public:
    static constexpr unsigned int DEFAULT_CMDID = 1006;
    static constexpr ZrEnvelopeStyle ENVELOPE{"ZrBillCardPutinPacket", ZrBodyMode::Compact};
    using ZrBodyPacket::ZrBodyPacket;

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

private:
    friend class ZrCPacketHead;  // the envelope reads the field list
    template <class Fields>
    static void fieldList(Fields&& field) {  // the body, in wire order, by member
        field("start_card_id", &ZrBillCardPutinPacket::m_startCardId);
        field("end_card_id", &ZrBillCardPutinPacket::m_endCardId);
        field("db_ip", &ZrBillCardPutinPacket::m_dbIp);
        field("db_name", &ZrBillCardPutinPacket::m_dbName);
        field("ret_putin_status", &ZrBillCardPutinPacket::m_retPutinStatus);
        field("ret_putin_message", &ZrBillCardPutinPacket::m_retPutinMessage);
    }

    unsigned long long m_startCardId = 0;
    unsigned long long m_endCardId = 0;
    unsigned int m_dbIp = 0;
    std::string m_dbName;
    int m_retPutinStatus = 0;
    std::string m_retPutinMessage;
};
ZR_LIBRARY_PACKET_CLASS(ZrBillCardPutinPacket);

// Activates a range of cards. Default cmdID 1007 (enciphered).
class ZrBillCardActivePacket : public ZrBodyPacket<ZrBillCardActivePacket> {
public:
    static constexpr unsigned int DEFAULT_CMDID = 1007;
    static constexpr ZrEnvelopeStyle ENVELOPE{"ZrBillCardActivePacket", ZrBodyMode::Compact};
    using ZrBodyPacket::ZrBodyPacket;

    void setstart_card_id(unsigned long long startCardId) { m_startCardId = startCardId; }
    unsigned long long getstart_card_id() const { return m_startCardId; }
    void setend_card_id(unsigned long long endCardId) { m_endCardId = endCardId; }
    unsigned long long getend_card_id() const { return m_endCardId; }
    void setret_active_status(int retActiveStatus) { m_retActiveStatus = retActiveStatus; }
    int getret_active_status() const { return m_retActiveStatus; }
    void setret_active_message(const std::string& retActiveMessage) { m_retActiveMessage = retActiveMessage; }
    const std::string& getret_active_message() const { return m_retActiveMessage; }

private:
    friend class ZrCPacketHead;  // the envelope reads the field list
    template <class Fields>
    static void fieldList(Fields&& field) {  // the body, in wire order, by member
        field("start_card_id", &ZrBillCardActivePacket::m_startCardId);
        field("end_card_id", &ZrBillCardActivePacket::m_endCardId);
        field("ret_active_status", &ZrBillCardActivePacket::m_retActiveStatus);
        field("ret_active_message", &ZrBillCardActivePacket::m_retActiveMessage);
    }

    unsigned long long m_startCardId = 0;
    unsigned long long m_endCardId = 0;
    int m_retActiveStatus = 0;
    std::string m_retActiveMessage;
};
ZR_LIBRARY_PACKET_CLASS(ZrBillCardActivePacket);

// Deactivates a range of cards. Default cmdID 1008 (enciphered).
class ZrBillCardDeactivePacket : public ZrBodyPacket<ZrBillCardDeactivePacket> {
public:
    static constexpr unsigned int DEFAULT_CMDID = 1008;
    static constexpr ZrEnvelopeStyle ENVELOPE{"ZrBillCardDeactivePacket", ZrBodyMode::Compact};
    using ZrBodyPacket::ZrBodyPacket;

    void setstart_card_id(unsigned long long startCardId) { m_startCardId = startCardId; }
    unsigned long long getstart_card_id() const { return m_startCardId; }
    void setend_card_id(unsigned long long endCardId) { m_endCardId = endCardId; }
    unsigned long long getend_card_id() const { return m_endCardId; }
    void setret_deactive_status(int retDeactiveStatus) { m_retDeactiveStatus = retDeactiveStatus; }
    int getret_deactive_status() const { return m_retDeactiveStatus; }
    void setret_deactive_message(const std::string& retDeactiveMessage) { m_retDeactiveMessage = retDeactiveMessage; }
    const std::string& getret_deactive_message() const { return m_retDeactiveMessage; }

private:
    friend class ZrCPacketHead;  // the envelope reads the field list
    template <class Fields>
    static void fieldList(Fields&& field) {  // the body, in wire order, by member
        field("start_card_id", &ZrBillCardDeactivePacket::m_startCardId);
        field("end_card_id", &ZrBillCardDeactivePacket::m_endCardId);
        field("ret_deactive_status", &ZrBillCardDeactivePacket::m_retDeactiveStatus);
        field("ret_deactive_message", &ZrBillCardDeactivePacket::m_retDeactiveMessage);
    }

    unsigned long long m_startCardId = 0;
    unsigned long long m_endCardId = 0;
    int m_retDeactiveStatus = 0;
    std::string m_retDeactiveMessage;
};
ZR_LIBRARY_PACKET_CLASS(ZrBillCardDeactivePacket);

// Processes a range of cards in a card database. Default cmdID 1021 (enciphered).
class ZrBillCardProcPacket : public ZrBodyPacket<ZrBillCardProcPacket> {
public:
    static constexpr unsigned int DEFAULT_CMDID = 1021;
    static constexpr ZrEnvelopeStyle ENVELOPE{"ZrBillCardProcPacket", ZrBodyMode::Compact};
    using ZrBodyPacket::ZrBodyPacket;

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

private:
    friend class ZrCPacketHead;  // the envelope reads the field list
    template <class Fields>
    static void fieldList(Fields&& field) {  // the body, in wire order, by member
        field("start_card_id", &ZrBillCardProcPacket::m_startCardId);
        field("end_card_id", &ZrBillCardProcPacket::m_endCardId);
        field("db_ip", &ZrBillCardProcPacket::m_dbIp);
        field("db_name", &ZrBillCardProcPacket::m_dbName);
        field("ret_status", &ZrBillCardProcPacket::m_retStatus);
        field("ret_message", &ZrBillCardProcPacket::m_retMessage);
    }

    unsigned long long m_startCardId = 0;
    unsigned long long m_endCardId = 0;
    unsigned int m_dbIp = 0;
    std::string m_dbName;
    int m_retStatus = 0;
    std::string m_retMessage;
};
ZR_LIBRARY_PACKET_CLASS(ZrBillCardProcPacket);

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
class ZrBillUserBalancePacket : public ZrBodyPacket<ZrBillUserBalancePacket> {
public:
    static constexpr unsigned int DEFAULT_CMDID = 1014;
    static constexpr ZrEnvelopeStyle ENVELOPE{"ZrBillUserBalancePacket", ZrBodyMode::Compact};
    using ZrBodyPacket::ZrBodyPacket;

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

private:
    friend class ZrCPacketHead;  // the envelope reads the field list
    template <class Fields>
    static void fieldList(Fields&& field) {  // the body, in wire order, by member
        field("user_id", &ZrBillUserBalancePacket::m_userId);
        field("currency_type", &ZrBillUserBalancePacket::m_currencyType);
        field("identifying_code", &ZrBillUserBalancePacket::m_identifyingCode);
        field("token", &ZrBillUserBalancePacket::m_token);
        field("check_code", &ZrBillUserBalancePacket::m_checkCode);
        field("add_info", &ZrBillUserBalancePacket::m_addInfo);
        field("ret_status", &ZrBillUserBalancePacket::m_retStatus);
        field("ret_message", &ZrBillUserBalancePacket::m_retMessage);
        field("ret_BALANCEINFO", &ZrBillUserBalancePacket::m_retBalanceInfo);
    }

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
ZR_LIBRARY_PACKET_CLASS(ZrBillUserBalancePacket);

// Asks for the amount a user has left in one unit. Default cmdID 1005 (enciphered).
class ZrBillUserRemainPacket : public ZrBodyPacket<ZrBillUserRemainPacket> {
public:
    static constexpr unsigned int DEFAULT_CMDID = 1005;
    static constexpr ZrEnvelopeStyle ENVELOPE{"ZrBillUserRemainPacket", ZrBodyMode::Compact};
    using ZrBodyPacket::ZrBodyPacket;

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

private:
    friend class ZrCPacketHead;  // the envelope reads the field list
    template <class Fields>
    static void fieldList(Fields&& field) {  // the body, in wire order, by member
        field("user_id", &ZrBillUserRemainPacket::m_userId);
        field("balance_unit", &ZrBillUserRemainPacket::m_balanceUnit);
        field("identifying_code", &ZrBillUserRemainPacket::m_identifyingCode);
        field("token", &ZrBillUserRemainPacket::m_token);
        field("check_code", &ZrBillUserRemainPacket::m_checkCode);
        field("add_info", &ZrBillUserRemainPacket::m_addInfo);
        field("ret_remain_status", &ZrBillUserRemainPacket::m_retRemainStatus);
        field("ret_remain_message", &ZrBillUserRemainPacket::m_retRemainMessage);
        field("ret_remain_unit", &ZrBillUserRemainPacket::m_retRemainUnit);
        field("ret_remain_money", &ZrBillUserRemainPacket::m_retRemainMoney);
    }

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
ZR_LIBRARY_PACKET_CLASS(ZrBillUserRemainPacket);

// --- Recharges and deposits. The two card variants name a prepaid card by
// number and password instead of an amount and keep fixed-mode bodies.

// Recharges a user's account through a merchant, the amount in the request.
// Default cmdID 1003 (enciphered).
class ZrBillUserRechargePacket : public ZrBodyPacket<ZrBillUserRechargePacket> {
public:
    static constexpr unsigned int DEFAULT_CMDID = 1003;
    static constexpr ZrEnvelopeStyle ENVELOPE{"ZrBillUserRechargePacket", ZrBodyMode::Compact};
    using ZrBodyPacket::ZrBodyPacket;

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

private:
    friend class ZrCPacketHead;  // the envelope reads the field list
    template <class Fields>
    static void fieldList(Fields&& field) {  // the body, in wire order, by member
        field("user_id", &ZrBillUserRechargePacket::m_userId);
        field("merchant_type", &ZrBillUserRechargePacket::m_merchantType);
        field("merchant_name", &ZrBillUserRechargePacket::m_merchantName);
        field("order_id", &ZrBillUserRechargePacket::m_orderId);
        field("recharge_time", &ZrBillUserRechargePacket::m_rechargeTime);
        field("recharge_unit", &ZrBillUserRechargePacket::m_rechargeUnit);
        field("recharge_money", &ZrBillUserRechargePacket::m_rechargeMoney);
        field("identifying_code", &ZrBillUserRechargePacket::m_identifyingCode);
        field("token", &ZrBillUserRechargePacket::m_token);
        field("check_code", &ZrBillUserRechargePacket::m_checkCode);
        field("add_info", &ZrBillUserRechargePacket::m_addInfo);
        field("ret_recharge_status", &ZrBillUserRechargePacket::m_retRechargeStatus);
        field("ret_recharge_message", &ZrBillUserRechargePacket::m_retRechargeMessage);
    }

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
ZR_LIBRARY_PACKET_CLASS(ZrBillUserRechargePacket);

// Recharges a user's account by prepaid card through a merchant; the answer
// carries the unit and amount. Default cmdID 1009 (plain).
// Fixed-mode body: four-byte integers and lengths, also when enciphered.
class ZrBillUserCardRechargePacket : public ZrBodyPacket<ZrBillUserCardRechargePacket> {
public:
    static constexpr unsigned int DEFAULT_CMDID = 1009;
    static constexpr ZrEnvelopeStyle ENVELOPE{"ZrBillUserCardRechargePacket", ZrBodyMode::Fixed};
    using ZrBodyPacket::ZrBodyPacket;

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

private:
    friend class ZrCPacketHead;  // the envelope reads the field list
    template <class Fields>
    static void fieldList(Fields&& field) {  // the body, in wire order, by member
        field("user_id", &ZrBillUserCardRechargePacket::m_userId);
        field("merchant_type", &ZrBillUserCardRechargePacket::m_merchantType);
        field("merchant_name", &ZrBillUserCardRechargePacket::m_merchantName);
        field("order_id", &ZrBillUserCardRechargePacket::m_orderId);
        field("card_id", &ZrBillUserCardRechargePacket::m_cardId);
        field("card_password", &ZrBillUserCardRechargePacket::m_cardPassword);
        field("recharge_time", &ZrBillUserCardRechargePacket::m_rechargeTime);
        field("identifying_code", &ZrBillUserCardRechargePacket::m_identifyingCode);
        field("token", &ZrBillUserCardRechargePacket::m_token);
        field("check_code", &ZrBillUserCardRechargePacket::m_checkCode);
        field("add_info", &ZrBillUserCardRechargePacket::m_addInfo);
        field("ret_recharge_status", &ZrBillUserCardRechargePacket::m_retRechargeStatus);
        field("ret_recharge_message", &ZrBillUserCardRechargePacket::m_retRechargeMessage);
        field("ret_recharge_unit", &ZrBillUserCardRechargePacket::m_retRechargeUnit);
        field("ret_recharge_money", &ZrBillUserCardRechargePacket::m_retRechargeMoney);
    }

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
ZR_LIBRARY_PACKET_CLASS(ZrBillUserCardRechargePacket);

// Deposits into a user's account for a merchant's application, the amount in
// the request. Default cmdID 1011 (enciphered).
class ZrBillUserDepositPacket : public ZrBodyPacket<ZrBillUserDepositPacket> {
public:
    static constexpr unsigned int DEFAULT_CMDID = 1011;
    static constexpr ZrEnvelopeStyle ENVELOPE{"ZrBillUserDepositPacket", ZrBodyMode::Compact};
    using ZrBodyPacket::ZrBodyPacket;

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

private:
    friend class ZrCPacketHead;  // the envelope reads the field list
    template <class Fields>
    static void fieldList(Fields&& field) {  // the body, in wire order, by member
        field("user_id", &ZrBillUserDepositPacket::m_userId);
        field("merchant_id", &ZrBillUserDepositPacket::m_merchantId);
        field("app_id", &ZrBillUserDepositPacket::m_appId);
        field("order_id", &ZrBillUserDepositPacket::m_orderId);
        field("currency_type", &ZrBillUserDepositPacket::m_currencyType);
        field("currency", &ZrBillUserDepositPacket::m_currency);
        field("time", &ZrBillUserDepositPacket::m_time);
        field("identifying_code", &ZrBillUserDepositPacket::m_identifyingCode);
        field("token", &ZrBillUserDepositPacket::m_token);
        field("check_code", &ZrBillUserDepositPacket::m_checkCode);
        field("reason", &ZrBillUserDepositPacket::m_reason);
        field("add_info", &ZrBillUserDepositPacket::m_addInfo);
        field("ret_deposit_status", &ZrBillUserDepositPacket::m_retDepositStatus);
        field("ret_deposit_message", &ZrBillUserDepositPacket::m_retDepositMessage);
    }

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
ZR_LIBRARY_PACKET_CLASS(ZrBillUserDepositPacket);

// Deposits by prepaid card for a merchant's application; the answer carries
// the unit and amount. Default cmdID 1031 (enciphered).
// Fixed-mode body: four-byte integers and lengths, also when enciphered.
// Its time field is named recharge_time, as in the recharge packets.
class ZrBillUserCardDepositPacket : public ZrBodyPacket<ZrBillUserCardDepositPacket> {
public:
    static constexpr unsigned int DEFAULT_CMDID = 1031;
    static constexpr ZrEnvelopeStyle ENVELOPE{"ZrBillUserCardDepositPacket", ZrBodyMode::Fixed};
    using ZrBodyPacket::ZrBodyPacket;

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

private:
    friend class ZrCPacketHead;  // the envelope reads the field list
    template <class Fields>
    static void fieldList(Fields&& field) {  // the body, in wire order, by member
        field("user_id", &ZrBillUserCardDepositPacket::m_userId);
        field("merchant_id", &ZrBillUserCardDepositPacket::m_merchantId);
        field("app_id", &ZrBillUserCardDepositPacket::m_appId);
        field("order_id", &ZrBillUserCardDepositPacket::m_orderId);
        field("card_id", &ZrBillUserCardDepositPacket::m_cardId);
        field("card_password", &ZrBillUserCardDepositPacket::m_cardPassword);
        field("recharge_time", &ZrBillUserCardDepositPacket::m_rechargeTime);
        field("identifying_code", &ZrBillUserCardDepositPacket::m_identifyingCode);
        field("token", &ZrBillUserCardDepositPacket::m_token);
        field("check_code", &ZrBillUserCardDepositPacket::m_checkCode);
        field("add_info", &ZrBillUserCardDepositPacket::m_addInfo);
        field("ret_deposit_status", &ZrBillUserCardDepositPacket::m_retDepositStatus);
        field("ret_deposit_message", &ZrBillUserCardDepositPacket::m_retDepositMessage);
        field("ret_deposit_unit", &ZrBillUserCardDepositPacket::m_retDepositUnit);
        field("ret_deposit_money", &ZrBillUserCardDepositPacket::m_retDepositMoney);
    }

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
ZR_LIBRARY_PACKET_CLASS(ZrBillUserCardDepositPacket);

// --- Consumption, trades and changes: movements of money that an application
// or a merchant books.

// Charges a user for a consumption in an application. Default cmdID 1004 (enciphered).
class ZrBillUserConsumePacket : public ZrBodyPacket<ZrBillUserConsumePacket> {
public:
    static constexpr unsigned int DEFAULT_CMDID = 1004;
    static constexpr ZrEnvelopeStyle ENVELOPE{"ZrBillUserConsumePacket", ZrBodyMode::Compact};
    using ZrBodyPacket::ZrBodyPacket;

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

private:
    friend class ZrCPacketHead;  // the envelope reads the field list
    template <class Fields>
    static void fieldList(Fields&& field) {  // the body, in wire order, by member
        field("user_id", &ZrBillUserConsumePacket::m_userId);
        field("app_type", &ZrBillUserConsumePacket::m_appType);
        field("app_id", &ZrBillUserConsumePacket::m_appId);
        field("order_id", &ZrBillUserConsumePacket::m_orderId);
        field("cost_time", &ZrBillUserConsumePacket::m_costTime);
        field("cost_unit", &ZrBillUserConsumePacket::m_costUnit);
        field("cost_money", &ZrBillUserConsumePacket::m_costMoney);
        field("identifying_code", &ZrBillUserConsumePacket::m_identifyingCode);
        field("token", &ZrBillUserConsumePacket::m_token);
        field("check_code", &ZrBillUserConsumePacket::m_checkCode);
        field("reason", &ZrBillUserConsumePacket::m_reason);
        field("add_info", &ZrBillUserConsumePacket::m_addInfo);
        field("ret_consume_status", &ZrBillUserConsumePacket::m_retConsumeStatus);
        field("ret_consume_message", &ZrBillUserConsumePacket::m_retConsumeMessage);
    }

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
ZR_LIBRARY_PACKET_CLASS(ZrBillUserConsumePacket);

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
class ZrBillUserTradePacket : public ZrBodyPacket<ZrBillUserTradePacket> {
public:
    static constexpr unsigned int DEFAULT_CMDID = 1013;
    static constexpr ZrEnvelopeStyle ENVELOPE{"ZrBillUserTradePacket", ZrBodyMode::Compact};
    using ZrBodyPacket::ZrBodyPacket;

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

private:
    friend class ZrCPacketHead;  // the envelope reads the field list
    template <class Fields>
    static void fieldList(Fields&& field) {  // the body, in wire order, by member
        field("src_user_id", &ZrBillUserTradePacket::m_srcUserId);
        field("merchant_id", &ZrBillUserTradePacket::m_merchantId);
        field("app_id", &ZrBillUserTradePacket::m_appId);
        field("order_id", &ZrBillUserTradePacket::m_orderId);
        field("TRADEINFO", &ZrBillUserTradePacket::m_tradeInfo);
        field("time", &ZrBillUserTradePacket::m_time);
        field("identifying_code", &ZrBillUserTradePacket::m_identifyingCode);
        field("token", &ZrBillUserTradePacket::m_token);
        field("check_code", &ZrBillUserTradePacket::m_checkCode);
        field("reason", &ZrBillUserTradePacket::m_reason);
        field("add_info", &ZrBillUserTradePacket::m_addInfo);
        field("ret_status", &ZrBillUserTradePacket::m_retStatus);
        field("ret_message", &ZrBillUserTradePacket::m_retMessage);
    }

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
ZR_LIBRARY_PACKET_CLASS(ZrBillUserTradePacket);

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
class ZrBillUserChangePacket : public ZrBodyPacket<ZrBillUserChangePacket> {
public:
    static constexpr unsigned int DEFAULT_CMDID = 1012;
    static constexpr ZrEnvelopeStyle ENVELOPE{"ZrBillUserChangePacket", ZrBodyMode::Compact};
    using ZrBodyPacket::ZrBodyPacket;

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

private:
    friend class ZrCPacketHead;  // the envelope reads the field list
    template <class Fields>
    static void fieldList(Fields&& field) {  // the body, in wire order, by member
        field("user_id", &ZrBillUserChangePacket::m_userId);
        field("merchant_id", &ZrBillUserChangePacket::m_merchantId);
        field("app_id", &ZrBillUserChangePacket::m_appId);
        field("order_id", &ZrBillUserChangePacket::m_orderId);
        field("CHANGEINFO", &ZrBillUserChangePacket::m_changeInfo);
        field("time", &ZrBillUserChangePacket::m_time);
        field("identifying_code", &ZrBillUserChangePacket::m_identifyingCode);
        field("token", &ZrBillUserChangePacket::m_token);
        field("check_code", &ZrBillUserChangePacket::m_checkCode);
        field("reason", &ZrBillUserChangePacket::m_reason);
        field("add_info", &ZrBillUserChangePacket::m_addInfo);
        field("ret_status", &ZrBillUserChangePacket::m_retStatus);
        field("ret_message", &ZrBillUserChangePacket::m_retMessage);
    }

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
ZR_LIBRARY_PACKET_CLASS(ZrBillUserChangePacket);

#endif  // ZRPACKET_ZR_BILLING_PACKETS_H
