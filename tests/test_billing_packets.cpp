// Billing packets: golden body bytes, with the cases that pin the wire
// (compact against fixed-mode bodies, 64-bit fields, the plain command 1009
// against enciphered ones, lists of 0, 1000 and 1001 records), malformed
// card-variant bodies, the error texts of every class, and the zero start
// of every integer field. Round trips, truncation and exact-size buffers of
// every class are covered by the catalogue suites.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "test_util.h"
#include "zr_billing_packets.h"
#include "zr_catalogue.h"

using zrtest::bodyHex;
using zrtest::hex;

namespace {

constexpr unsigned int kPlainCmd = 9;   // a command whose body travels plain
constexpr unsigned int kCipherCmd = 5;  // a command whose body is enciphered
constexpr unsigned long long kAllOnes64 = std::numeric_limits<unsigned long long>::max();

template <class P>
std::vector<char> encode(P& packet) {
    std::vector<char> wire(64 * 1024);
    EXPECT_EQ(0, packet.enCode(wire.data(), static_cast<unsigned int>(wire.size()))) << packet.getLastErrMsg();
    wire.resize(packet.getPacketLength());
    return wire;
}

// "00 00 00" for repeat("00", 3).
std::string repeat(const std::string& bytes, std::size_t n) {
    std::string out;
    for (std::size_t i = 0; i < n; ++i) out += (i ? " " : "") + bytes;
    return out;
}

// --- golden bodies --------------------------------------------------------------

enum class Path { Plain, Enciphered };

struct Golden {
    std::string name;
    std::function<std::vector<char>()> build;
    const char* className;
    Path path;
    std::string body;    // as serialised, before the envelope
    std::size_t length;  // of the whole packet
    bool decodes = true;
};

// A row: the packet made with its default constructor (cmd 0) or under the
// given command, filled, and encoded.
template <class P>
Golden golden(std::string name, std::function<void(P&)> fill, Path path, std::string body, std::size_t length,
              unsigned int cmd = 0, bool decodes = true) {
    auto build = [fill, cmd] {
        auto p = cmd == 0 ? std::make_unique<P>() : std::make_unique<P>(0, 0, cmd, 0, 0, 0, 0);
        fill(*p);
        return encode(*p);
    };
    return {std::move(name), build, P::ENVELOPE.className, path, std::move(body), length, decodes};
}

void activeOneTwo(ZrBillCardActivePacket& p) {
    p.setstart_card_id(1);
    p.setend_card_id(2);
}

void remainExample(ZrBillUserRemainPacket& p) {
    p.setuser_id(5);
    p.setbalance_unit(1);
    p.setret_remain_unit(1);
    p.setret_remain_money(-1);
}

void cardRechargeExample(ZrBillUserCardRechargePacket& p) {
    p.setuser_id(7);
    p.setmerchant_type(2);
    p.setmerchant_name("m");
    p.setcard_id("12");
    p.setrecharge_time(1);
    p.setret_recharge_unit(1);
    p.setret_recharge_money(-1);
}

void tradeExample(ZrBillUserTradePacket& p) {
    p.setsrc_user_id(1);
    p.setmerchant_id(2);
    p.setapp_id(3);
    p.setorder_id("A1");
    p.setTRADEINFO({NETPBILLUSERTRADEINFO{1, 100, 0, 0, 9, 1, 100, 0, 0}});
}

std::vector<Golden> goldenPackets() {
    const std::string fixedZero = "00 00 00 00";
    const std::string cardRechargeBody = "00 00 00 07 00 00 00 02 00 00 00 01 6D 00 00 00 00 00 00 00 02 31 32 " +
                                         fixedZero + " 00 00 00 00 00 00 00 01 " + repeat(fixedZero, 6) +
                                         " 00 00 00 01 FF FF FF FF";
    const std::string tradeBody = "01 02 03 02 41 31 01 01 64 00 00 09 01 64 00 00 " + repeat("00", 15);
    return {
        // card batches
        golden<ZrBillCardActivePacket>("card active, 1 to 2", activeOneTwo, Path::Enciphered,
                                       "00 00 00 00 00 00 00 01 00 00 00 00 00 00 00 02 00 00", 53),
        golden<ZrBillCardActivePacket>("card active, 1 to 2 under a plain command", activeOneTwo, Path::Plain,
                                       "00 00 00 00 00 00 00 01 00 00 00 00 00 00 00 02 00 00", 53, kPlainCmd),
        golden<ZrBillCardPutinPacket>(
            "card putin, card number 2^64 - 1 and db_ip 2^28",
            [](auto& p) {
                p.setstart_card_id(kAllOnes64);
                p.setend_card_id(1);
                p.setdb_ip(1u << 28);
                p.setdb_name("db");
                p.setret_putin_status(-1);
            },
            Path::Enciphered, repeat("FF", 8) + " 00 00 00 00 00 00 00 01 80 80 80 80 01 02 64 62 FF FF FF FF 0F 00",
            65),
        golden<ZrBillCardProcPacket>(
            "card proc, every card byte in its place, db_ip 127 in one byte",
            [](auto& p) {
                p.setstart_card_id(0x0102030405060708u);
                p.setdb_ip(127);
                p.setret_message("ok");
            },
            Path::Enciphered, "01 02 03 04 05 06 07 08 " + repeat("00", 8) + " 7F 00 00 02 6F 6B", 57),
        golden<ZrBillCardDeactivePacket>(
            "card deactive, a range ending below its start goes as given",
            [](auto& p) {
                p.setstart_card_id(10);
                p.setend_card_id(9);
            },
            Path::Enciphered, "00 00 00 00 00 00 00 0A 00 00 00 00 00 00 00 09 00 00", 53),

        // balance and remaining amount
        golden<ZrBillUserRemainPacket>("remain, amount -1", remainExample, Path::Enciphered,
                                       "05 01 00 00 00 00 00 00 01 FF FF FF FF 0F", 49),
        golden<ZrBillUserRemainPacket>("remain, amount -1 under a plain command", remainExample, Path::Plain,
                                       "05 01 00 00 00 00 00 00 01 FF FF FF FF 0F", 49, kPlainCmd),
        golden<ZrBillUserBalancePacket>(
            "balance, two records",
            [](auto& p) {
                p.setuser_id(300);
                p.setret_message("ok");
                p.setret_BALANCEINFO({{1, 250}, {2, -5}});
            },
            Path::Enciphered, "AC 02 00 00 00 00 00 00 02 6F 6B 02 01 FA 01 02 FB FF FF FF 0F", 56),
        golden<ZrBillUserBalancePacket>(
            "balance, fresh object: zeros and an empty list", [](auto&) {}, Path::Enciphered, repeat("00", 9), 44),
        golden<ZrBillUserBalancePacket>(
            "balance, 1000 records",
            [](auto& p) {
                p.setret_BALANCEINFO(std::vector<NETPBILLUSERBALANCEINFO>(1000, {1, 2}));
            },
            Path::Plain, repeat("00", 8) + " E8 07 " + repeat("01 02", 1000), 2045, kPlainCmd),
        golden<ZrBillUserBalancePacket>(
            "balance, 1001 records are sent but not accepted",
            [](auto& p) {
                p.setret_BALANCEINFO(std::vector<NETPBILLUSERBALANCEINFO>(1001, {1, 2}));
            },
            Path::Plain, repeat("00", 8) + " E9 07 " + repeat("01 02", 1001), 2047, kPlainCmd, false),

        // recharges and deposits
        golden<ZrBillUserCardRechargePacket>("card recharge, default command 1009 is plain", cardRechargeExample,
                                             Path::Plain, cardRechargeBody, 102),
        golden<ZrBillUserCardRechargePacket>("card recharge, enciphered under 1003, still fixed", cardRechargeExample,
                                             Path::Enciphered, cardRechargeBody, 102, 1003),
        golden<ZrBillUserCardDepositPacket>(
            "card deposit, fresh object: four zero bytes a string", [](auto&) {}, Path::Enciphered, repeat("00", 64),
            99),
        golden<ZrBillUserCardDepositPacket>(
            "card deposit, time 2^64 - 1, money -1 in four bytes",
            [](auto& p) {
                p.setrecharge_time(kAllOnes64);
                p.setret_deposit_unit(1);
                p.setret_deposit_money(-1);
            },
            Path::Enciphered,
            repeat(fixedZero, 6) + " " + repeat("FF", 8) + " " + repeat(fixedZero, 6) + " 00 00 00 01 FF FF FF FF", 99),
        golden<ZrBillUserRechargePacket>(
            "recharge, compact: one byte a string, money -1 in five",
            [](auto& p) {
                p.setrecharge_time(0x0102030405060708u);
                p.setrecharge_unit(1);
                p.setrecharge_money(-1);
            },
            Path::Enciphered, "00 00 00 00 01 02 03 04 05 06 07 08 01 FF FF FF FF 0F 00 00 00 00 00 00", 59),
        golden<ZrBillUserDepositPacket>(
            "deposit, currency -1 before the time",
            [](auto& p) {
                p.setuser_id(300);
                p.setmerchant_id(1);
                p.setapp_id(2);
                p.setorder_id("A1");
                p.setcurrency_type(3);
                p.setcurrency(-1);
                p.settime(1);
            },
            Path::Enciphered, "AC 02 01 02 02 41 31 03 FF FF FF FF 0F 00 00 00 00 00 00 00 01 00 00 00 00 00 00 00",
            63),

        // consumption, trades and changes
        golden<ZrBillUserTradePacket>("trade, one record", tradeExample, Path::Enciphered, tradeBody, 66),
        golden<ZrBillUserTradePacket>(
            "trade, a copy assigned from another writes its body",
            [](auto& p) {
                ZrBillUserTradePacket source;
                tradeExample(source);
                p = source;
                source.setTRADEINFO({});  // the copy owns its own list
            },
            Path::Enciphered, tradeBody, 66),
        golden<ZrBillUserTradePacket>(
            "trade, empty list: one byte 00 between order_id and time",
            [](auto& p) {
                p.setsrc_user_id(1);
                p.settime(0x0102030405060708u);
            },
            Path::Enciphered, "01 00 00 00 00 01 02 03 04 05 06 07 08 " + repeat("00", 7), 55),
        golden<ZrBillUserTradePacket>(
            "trade, small units and amounts -1: a 25-byte record",
            [](auto& p) {
                p.setTRADEINFO({NETPBILLUSERTRADEINFO{1, -1, 2, -1, 9, 3, -1, 4, -1}});
            },
            Path::Enciphered,
            "00 00 00 00 01 01 FF FF FF FF 0F 02 FF FF FF FF 0F 09 03 FF FF FF FF 0F 04 FF FF FF FF 0F " +
                repeat("00", 15),
            80),
        golden<ZrBillUserTradePacket>(
            "trade, 1001 records are sent but not accepted",
            [](auto& p) { p.setTRADEINFO(std::vector<NETPBILLUSERTRADEINFO>(1001)); }, Path::Enciphered,
            "00 00 00 00 E9 07 " + repeat("00", 9009 + 15), 9065, 0, false),
        golden<ZrBillUserChangePacket>(
            "change, record (1, -300, 2, 300)",
            [](auto& p) {
                p.setuser_id(5);
                p.setmerchant_id(6);
                p.setapp_id(7);
                p.setCHANGEINFO({{1, -300, 2, 300}});
            },
            Path::Enciphered, "05 06 07 00 01 01 D4 FD FF FF 0F 02 AC 02 " + repeat("00", 15), 64),
        golden<ZrBillUserChangePacket>(
            "change, 1000 records",
            [](auto& p) {
                p.setCHANGEINFO(std::vector<NETPBILLUSERCHANGEINFO>(1000, {1, 2, 3, 4}));
            },
            Path::Enciphered, "00 00 00 00 E8 07 " + repeat("01 02 03 04", 1000) + " " + repeat("00", 15), 4056),
        golden<ZrBillUserConsumePacket>(
            "consume, cost_time 2^64 - 1, cost_money -1, status -2",
            [](auto& p) {
                p.setuser_id(1);
                p.setapp_type(2);
                p.setapp_id(3);
                p.setcost_time(kAllOnes64);
                p.setcost_unit(1);
                p.setcost_money(-1);
                p.setret_consume_status(-2);
            },
            Path::Enciphered, "01 02 03 00 " + repeat("FF", 8) + " 01 FF FF FF FF 0F 00 00 00 00 00 FE FF FF FF 0F 00",
            64),
    };
}

// Each row's bytes; then the bytes decode through the catalogue into a
// fresh object of the row's class, which writes the same body again.
TEST(BillingPacketBytes, GoldenBodies) {
    for (const Golden& row : goldenPackets()) {
        SCOPED_TRACE(row.name);
        std::vector<char> wire = row.build();
        EXPECT_EQ(row.length, wire.size());
        EXPECT_EQ(row.path == Path::Enciphered, wire[PKT_OFFSET_ENCRYPT_TYPE] != 0);
        EXPECT_EQ(row.body, bodyHex(wire));

        std::string error;
        std::unique_ptr<ZrAnyPacket> in = ZrCatalogue::decode(wire.data(), static_cast<unsigned int>(wire.size()),
                                                              error, ZrCatalogue::find(std::string(row.className)));
        if (!row.decodes) {
            EXPECT_FALSE(in);
            continue;
        }
        ASSERT_TRUE(in) << error;
        std::vector<char> again(wire.size() + 8);
        ASSERT_EQ(0, in->enCode(again.data(), static_cast<unsigned int>(again.size())));
        again.resize(in->getPacketLength());
        EXPECT_EQ(row.body, bodyHex(again));
    }
}

// A decoded list holds what was sent, also over an object that held more.
TEST(BillingPacketBytes, DecodedListHoldsExactlyWhatWasSent) {
    for (std::size_t sent : {std::size_t{0}, std::size_t{1}, std::size_t{1000}}) {
        SCOPED_TRACE(sent);
        ZrBillUserBalancePacket out(0, 0, kPlainCmd, 0, 0, 0, 0);
        out.setret_BALANCEINFO(std::vector<NETPBILLUSERBALANCEINFO>(sent, {7, -7}));
        std::vector<char> wire = encode(out);
        ZrBillUserBalancePacket in;
        in.setret_BALANCEINFO(std::vector<NETPBILLUSERBALANCEINFO>(3, {1, 1}));
        ASSERT_EQ(0, in.deCode(wire.data(), static_cast<unsigned int>(wire.size())));
        ASSERT_EQ(sent, in.getret_BALANCEINFO().size());
        for (const NETPBILLUSERBALANCEINFO& r : in.getret_BALANCEINFO()) {
            EXPECT_EQ(7u, r.balance_unit);
            EXPECT_EQ(-7, r.balance_money);
        }
    }
}

// --- malformed fixed-mode bodies -------------------------------------------------

// A card recharge whose merchant_name length claims more than the packet
// holds, or a length that is negative as a signed number, is refused.
TEST(BillingPacketBytes, CardVariantRefusesImpossibleTextLengths) {
    ZrBillUserCardRechargePacket sender;
    cardRechargeExample(sender);
    const std::vector<char> wire = encode(sender);  // plain, 102 bytes
    constexpr unsigned int kNameLength = PKT_OFFSET_BODY + 8;
    struct Row {
        const char* name;
        unsigned int length;
        int result;
    };
    const Row rows[] = {
        {"as sent", 1, 0},
        {"one past the body and ETX", 102 - (kNameLength + 4) + 1, -1},
        {"top bit set", 0x80000001u, -1},
        {"all ones", 0xFFFFFFFFu, -1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<char> bytes = wire;
        CHostNetworkConvertorNormal::storeBigEndian32(reinterpret_cast<unsigned char*>(&bytes[kNameLength]),
                                                      row.length);
        ZrBillUserCardRechargePacket in;
        EXPECT_EQ(row.result, in.deCode(bytes.data(), static_cast<unsigned int>(bytes.size())));
    }
}

// --- error texts ------------------------------------------------------------------

TEST(BillingPacketErrors, EveryClassNamesItselfInBothTexts) {
    const char* const names[] = {
        "ZrBillCardPutinPacket",       "ZrBillCardActivePacket",       "ZrBillCardDeactivePacket",
        "ZrBillCardProcPacket",        "ZrBillUserBalancePacket",      "ZrBillUserRemainPacket",
        "ZrBillUserRechargePacket",    "ZrBillUserCardRechargePacket", "ZrBillUserDepositPacket",
        "ZrBillUserCardDepositPacket", "ZrBillUserConsumePacket",      "ZrBillUserTradePacket",
        "ZrBillUserChangePacket",
    };
    for (const std::string name : names) {
        SCOPED_TRACE(name);
        const ZrPacketClass* row = ZrCatalogue::find(name);
        ASSERT_NE(nullptr, row);
        std::unique_ptr<ZrAnyPacket> p = row->create();

        p->head().setCmdID(kPlainCmd);
        std::vector<char> wire(1024);
        ASSERT_EQ(0, p->enCode(wire.data(), static_cast<unsigned int>(wire.size())));
        wire.resize(p->getPacketLength());
        wire.back() = 0x04;
        EXPECT_EQ(-1, p->deCode(wire.data(), static_cast<unsigned int>(wire.size())));
        EXPECT_EQ("[" + name + "::deCode],l_cETX != _ETX_", p->head().getLastErrMsg());

        p->head().setCmdID(kCipherCmd);
        wire.resize(1024);
        ASSERT_EQ(0, p->enCode(wire.data(), static_cast<unsigned int>(wire.size())));
        wire.resize(p->getPacketLength());
        wire[PKT_OFFSET_ENCRYPT_TYPE] = 9;  // no such cipher variant
        EXPECT_EQ(-1, p->deCode(wire.data(), static_cast<unsigned int>(wire.size())));
        EXPECT_EQ("[" + name + " deCode],decryptProtocol failed", p->head().getLastErrMsg());
    }
}

// --- every integer starts at 0 ------------------------------------------------------

// Made over memory full of 0xAB, by either constructor, a packet that is
// sent without setting a field writes only zero bytes: no leftover memory
// reaches the wire.
template <class P>
std::string bodyOfFreshPacket(bool defaultConstructed) {
    struct alignas(P) Storage {
        unsigned char bytes[sizeof(P)];
    };
    auto storage = std::make_unique<Storage>();
    std::memset(storage->bytes, 0xAB, sizeof(P));
    P* p = defaultConstructed ? new (storage->bytes) P() : new (storage->bytes) P(0, 0, kPlainCmd, 0, 0, 0, 0);
    p->setCmdID(kPlainCmd);
    const std::string body = bodyHex(encode(*p));
    p->~P();
    return body;
}

template <class R>
std::string freshRecord() {
    alignas(R) unsigned char memory[sizeof(R)];
    std::memset(memory, 0xAB, sizeof memory);
    const R* r = new (memory) R;
    return hex(r, sizeof(R));
}

TEST(BillingPacketFields, EveryIntegerStartsAtZero) {
    struct Row {
        const char* name;
        std::string (*body)(bool);
    };
    const Row rows[] = {
        {"card putin", bodyOfFreshPacket<ZrBillCardPutinPacket>},
        {"card active", bodyOfFreshPacket<ZrBillCardActivePacket>},
        {"card deactive", bodyOfFreshPacket<ZrBillCardDeactivePacket>},
        {"card proc", bodyOfFreshPacket<ZrBillCardProcPacket>},
        {"balance", bodyOfFreshPacket<ZrBillUserBalancePacket>},
        {"remain", bodyOfFreshPacket<ZrBillUserRemainPacket>},
        {"recharge", bodyOfFreshPacket<ZrBillUserRechargePacket>},
        {"card recharge", bodyOfFreshPacket<ZrBillUserCardRechargePacket>},
        {"deposit", bodyOfFreshPacket<ZrBillUserDepositPacket>},
        {"card deposit", bodyOfFreshPacket<ZrBillUserCardDepositPacket>},
        {"consume", bodyOfFreshPacket<ZrBillUserConsumePacket>},
        {"trade", bodyOfFreshPacket<ZrBillUserTradePacket>},
        {"change", bodyOfFreshPacket<ZrBillUserChangePacket>},
    };
    for (const Row& row : rows) {
        for (bool defaultConstructed : {true, false}) {
            SCOPED_TRACE(std::string(row.name) + (defaultConstructed ? ", default" : ", seven arguments"));
            const std::string body = row.body(defaultConstructed);
            EXPECT_EQ(repeat("00", (body.size() + 1) / 3), body);
        }
    }
    EXPECT_EQ(repeat("00", 8), freshRecord<NETPBILLUSERBALANCEINFO>());
    EXPECT_EQ(repeat("00", 16), freshRecord<NETPBILLUSERCHANGEINFO>());
    EXPECT_EQ(repeat("00", 36), freshRecord<NETPBILLUSERTRADEINFO>());
}

}  // namespace
