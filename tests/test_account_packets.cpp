// User account and set-top box packets: golden bodies, the field orders that
// set look-alike classes apart, the body UserID beside the head's, and the
// set-top box record's tail. Round trips, cuts and buffer sizes of every
// class are the catalogue suites' business.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "field_tools.h"
#include "test_util.h"
#include "zr_account_packets.h"
#include "zr_catalogue.h"

using zrtest::bodyHex;
using zrtest::hex;
using zrtest::unhex;

namespace {

constexpr unsigned int kPlainCmd = 9;  // a command whose body travels plain

template <class P>
std::vector<char> encode(P& packet) {
    std::vector<char> wire(64 * 1024);
    EXPECT_EQ(0, packet.enCode(wire.data(), static_cast<unsigned int>(wire.size()))) << packet.getLastErrMsg();
    wire.resize(packet.getPacketLength());
    return wire;
}

template <class P>
std::string dump(P& packet) {
    zrtest::FieldDump out;
    packet.visitFields(out);
    return out.str();
}

// "61 61 61" for repeat("61", 3).
std::string repeat(const std::string& byte, std::size_t n) {
    std::string out;
    for (std::size_t i = 0; i < n; ++i) out += (i ? " " : "") + byte;
    return out;
}
// A short text on the wire: its length byte, then its characters.
std::string txt(const std::string& s) {
    const auto length = static_cast<unsigned char>(s.size());
    return hex(&length, 1) + (s.empty() ? "" : " " + hex(s.data(), s.size()));
}

NETPSTBINFO record(const std::string& t1, const std::string& t2, const std::string& t3, const std::string& t4) {
    NETPSTBINFO r{};
    std::memcpy(r.szInfo1, t1.data(), t1.size());
    std::memcpy(r.szInfo2, t2.data(), t2.size());
    std::memcpy(r.szInfo3, t3.data(), t3.size());
    std::memcpy(r.szInfo4, t4.data(), t4.size());
    return r;
}

// --- golden bodies -------------------------------------------------------------

// What a row's build gives: the packet sent under the class's default
// command, and what a new object of the class decoded from it.
struct Built {
    std::vector<char> wire;
    int decoded;
    std::string sent, received;
};

struct Golden {
    const char* name;
    std::function<Built()> build;
    std::string body;
};

template <class P>
Golden golden(const char* name, std::function<void(P&)> fill, std::string body) {
    auto build = [fill] {
        P out;
        fill(out);
        Built b;
        b.wire = encode(out);
        P in;
        b.decoded = in.deCode(b.wire.data(), static_cast<unsigned int>(b.wire.size()));
        b.sent = dump(out);
        b.received = dump(in);
        return b;
    };
    return {name, build, std::move(body)};
}

// The four set-top box identifiers, each one letter, so their order shows.
template <class P>
void boxUpper(P& p) {
    p.setCAID("C"), p.setSTBID("S"), p.setMAC("M"), p.setIP("I");
}
template <class P>
void boxCamel(P& p) {
    p.setCaId("C"), p.setStbId("S"), p.setMac("M"), p.setIp("I");
}

std::vector<Golden> goldenPackets() {
    const std::string b32 = repeat("62", 32), c32 = repeat("63", 32), d32 = repeat("64", 32);
    return {
        golden<ZrUserLoginMsgPacket>(
            "login: UserId 300, CaId abc, ResultFlag -1",
            [](auto& p) { p.setUserId(300), p.setAccountType(1), p.setCaId("abc"), p.setResultFlag(-1); },
            "AC 02 00 01 03 61 62 63 00 FF FF FF FF 0F 00"),
        golden<ZrUserRegisterMsgPacket>(
            "registration, all empty", [](auto&) {}, repeat("00", 10)),
        golden<ZrUserRegisterMsgPacket>(
            "registration, AccountType after ErrorDesc",
            [](auto& p) {
                p.setUserId(1), p.setUserName("n"), p.setUserPwd("p"), p.setStbId("s"), p.setCaId("c");
                p.setIp("i"), p.setMac("m"), p.setResultFlag(2), p.setErrorDesc("e"), p.setAccountType(3);
            },
            "01 01 6E 01 70 01 73 01 63 01 69 01 6D 02 01 65 03"),
        golden<ZrModifyUserAccountMsgPacket>(
            "account change, LoginToken after ErrorDesc",
            [](auto& p) {
                p.setUserId(1), p.setUserName("n"), p.setUserPwd("p"), p.setStbId("s"), p.setCaId("c");
                p.setIp("i"), p.setMac("m"), p.setResultFlag(2), p.setErrorDesc("e"), p.setLoginToken("t");
            },
            "01 01 6E 01 70 01 73 01 63 01 69 01 6D 02 01 65 01 74"),
        golden<ZrUserAuthorizeMsgPacket>(
            "authorize: AppID 128, ExpiresIn 3600 last",
            [](auto& p) { p.setUserID(5), p.setAppID(128), p.setExpiresIn(3600); }, "05 00 80 01 00 00 00 00 90 1C"),
        golden<ZrUserAuthorizeMsgPacket>(
            "authorize, unsigned values of 2^31 and above",
            [](auto& p) {
                p.setUserID(0xFFFFFFFF), p.setAppID(0x80000000), p.setExpiresIn(0xFFFFFFFE);
                p.setAccessToken("a");
            },
            "FF FF FF FF 0F 00 80 80 80 80 08 00 00 00 01 61 FE FF FF FF 0F"),
        golden<ZrUserAuthorityAuthenticationMsgPacket>(
            "authority authentication",
            [](auto& p) {
                p.setUserID(300), p.setAppID(1), p.setAppAuthorityToken("t"), p.setAdditionalInfo("i");
                p.setResultFlag(-1);
            },
            "AC 02 01 01 74 01 69 FF FF FF FF 0F 00"),
        golden<ZrUserBindMsgPacket>(
            "bind: CA, box, MAC, IP, then password",
            [](auto& p) { p.setUserID(1), boxUpper(p), p.setPassword("p"), p.setLoginToken("t"), p.setAccountType(2); },
            "01 01 43 01 53 01 4D 01 49 01 70 01 74 02 00 00"),
        golden<ZrStbGetUseridMsgPacket>(
            "get user: box, CA, IP, MAC; AccountType last", [](auto& p) { boxCamel(p), p.setAccountType(4); },
            "00 01 53 01 43 01 49 01 4D 00 00 04"),
        golden<ZrStbGetUseridMsgPacket>(
            "get user, UserId -1", [](auto& p) { p.setUserId(-1); }, "FF FF FF FF 0F " + repeat("00", 7)),
        golden<ZrUserCancelBindMsgPacket>(
            "cancel bind: DigitalAccount 1000", [](auto& p) { p.setDigitalAccount(1000); }, "E8 07 00 00 00 00"),
        golden<ZrUserCancelBindMsgPacket>(
            "cancel bind: token before password",
            [](auto& p) { p.setDigitalAccount(1000), p.setLoginToken("t"), p.setPassword("p"); },
            "E8 07 01 74 01 70 00 00"),
        golden<ZrUserStbBindAccountMsgPacket>(
            "box binds account: password, token, CA, box, MAC, IP",
            [](auto& p) {
                p.setDigitalAccount(1), p.setDigitalAccountDst(2), p.setPassword("p"), p.setLoginToken("t");
                boxUpper(p);
            },
            "01 02 01 70 01 74 01 43 01 53 01 4D 01 49 00 00"),
        golden<ZrOvsCoreMsgPacket>(
            "core service: two accounts, empty texts",
            [](auto& p) { p.setDigitalAccount(1), p.setDigitalAccountDst(2); }, "01 02 00 00 00 00 00 00"),
        golden<ZrOvsCoreMsgPacket>(
            "core service: CA, box, MAC, IP",
            [](auto& p) { p.setDigitalAccount(1), p.setDigitalAccountDst(2), boxUpper(p); },
            "01 02 01 43 01 53 01 4D 01 49 00 00"),
        golden<ZrLexsGetStbInfoMsgPacket>(
            "stb info: StbCount 2, empty map", [](auto& p) { p.setStbCount(2); }, "02 00 00 00"),
        golden<ZrLexsGetStbInfoMsgPacket>(
            "stb info, StbCount apart from the map", [](auto& p) { p.setStbCount(5); }, "05 00 00 00"),
        golden<ZrLexsGetStbInfoMsgPacket>(
            "stb info, one record: four texts, then szInfo2 to 4 once each",
            [](auto& p) {
                p.setStbInfo({{7, record("a", "bc", "d", "")}});
            },
            "00 01 07 01 61 02 62 63 01 64 00 02 62 63 01 64 00 00 00"),
        golden<ZrLexsGetStbInfoMsgPacket>(
            "stb info, 32-character texts: the tail carries 31, the record keeps 32",
            [](auto& p) {
                p.setStbInfo({{1, record(std::string(32, 'a'), std::string(32, 'b'), std::string(32, 'c'),
                                         std::string(32, 'd'))}});
            },
            "00 01 01 20 " + repeat("61", 32) + " 20 " + b32 + " 20 " + c32 + " 20 " + d32 + " 1F " + repeat("62", 31) +
                " 1F " + repeat("63", 31) + " 1F " + repeat("64", 31) + " 00 00"),
        golden<ZrLexsGetStbInfoMsgPacket>(
            "stb info, three records in key order",
            [](auto& p) {
                p.setStbCount(3);
                p.setStbInfo({{9, record("x", "", "", "z")}, {-1, record("", "y", "", "")}, {5, {}}});
            },
            "03 03 FF FF FF FF 0F 00 01 79 00 00 01 79 00 00 05 " + repeat("00", 7) + " 09 01 78 00 00 01 7A 00 00 " +
                "01 7A 00 00"),
        golden<ZrLexsLemmaMsgPacket>(
            "lemma: one-byte fields around the data",
            [](auto& p) {
                p.setGender(1), p.setAgeSegment(3), p.setAddressId(1000), p.setLemmaData("abc"), p.setLemmaSize(3);
            },
            "01 03 E8 07 00 00 03 61 62 63 03 00 00"),
        golden<ZrLexsLemmaMsgPacket>(
            "lemma, one-byte fields at 255",
            [](auto& p) {
                p.setGender(255), p.setAgeSegment(255), p.setAddressId(128), p.setMovedecorate(255);
                p.setLemmaSize(255);
            },
            "FF FF 80 01 00 FF 00 FF 00 00"),
    };
}

TEST(AccountPacketBytes, GoldenBodiesAndBack) {
    for (const Golden& row : goldenPackets()) {
        SCOPED_TRACE(row.name);
        const Built b = row.build();
        EXPECT_NE(0, b.wire[PKT_OFFSET_ENCRYPT_TYPE]);  // every default command here is enciphered
        EXPECT_EQ(row.body, bodyHex(b.wire));
        EXPECT_EQ(PKT_ENVELOPE_MIN_LEN + unhex(row.body).size(), b.wire.size());
        EXPECT_EQ(0, b.decoded);
        EXPECT_EQ(b.sent, b.received);
    }
}

// A wrong default command sends a packet to the wrong class at the receiver.
TEST(AccountPacketBytes, DefaultCommands) {
    const std::pair<unsigned int, const char*> rows[] = {
        {7, "ZrLexsLemmaMsgPacket"},           {8, "ZrOvsCoreMsgPacket"},
        {101, "ZrUserLoginMsgPacket"},         {102, "ZrUserRegisterMsgPacket"},
        {103, "ZrModifyUserAccountMsgPacket"}, {104, "ZrLexsGetStbInfoMsgPacket"},
        {105, "ZrStbGetUseridMsgPacket"},      {106, "ZrUserAuthorizeMsgPacket"},
        {107, "ZrUserBindMsgPacket"},          {108, "ZrUserAuthorityAuthenticationMsgPacket"},
        {109, "ZrUserCancelBindMsgPacket"},    {110, "ZrUserStbBindAccountMsgPacket"},
    };
    for (const auto& [cmd, name] : rows) {
        SCOPED_TRACE(name);
        const ZrPacketClass* row = ZrCatalogue::find(cmd);
        ASSERT_NE(nullptr, row);
        EXPECT_STREQ(name, row->className);
        EXPECT_TRUE(row->enciphered);
    }
}

// --- the body UserID beside the head's ------------------------------------------

// The class's setUserID/getUserID are the body's; the head's user identifier
// travels in head bytes 8 to 11 and stays apart.
template <class P>
void bodyUserIdStaysApartFromTheHeads() {
    P out;
    out.setUserID(300);
    out.ZrCPacketHead::setUserID(7);
    std::vector<char> wire = encode(out);
    EXPECT_EQ("00 00 00 07", hex(&wire[PKT_OFFSET_USERID], 4));
    EXPECT_EQ("AC 02", bodyHex(wire).substr(0, 5));
    P in;
    ASSERT_EQ(0, in.deCode(wire.data(), static_cast<unsigned int>(wire.size())));
    EXPECT_EQ(300u, in.getUserID());
    EXPECT_EQ(7u, in.ZrCPacketHead::getUserID());
    EXPECT_EQ(7u, static_cast<ZrCPacketHead&>(in).getUserID());
}

TEST(AccountPacketBytes, BodyUserIdIsNotTheHeads) {
    const std::pair<const char*, void (*)()> rows[] = {
        {"ZrUserAuthorizeMsgPacket", bodyUserIdStaysApartFromTheHeads<ZrUserAuthorizeMsgPacket>},
        {"ZrUserAuthorityAuthenticationMsgPacket",
         bodyUserIdStaysApartFromTheHeads<ZrUserAuthorityAuthenticationMsgPacket>},
        {"ZrUserBindMsgPacket", bodyUserIdStaysApartFromTheHeads<ZrUserBindMsgPacket>},
    };
    for (const auto& [name, check] : rows) {
        SCOPED_TRACE(name);
        check();
    }
}

// --- the set-top box record's tail, as received --------------------------------

// A plain packet holding one record under key 1, written by hand: StbCount 0,
// the record's bytes, ResultFlag 0, an empty ErrorDesc.
std::vector<char> stbInfoWith(const std::string& recordBytes) {
    ZrLexsGetStbInfoMsgPacket shell(0, 0, kPlainCmd, 0, 0, 0, 0);
    std::vector<char> wire = encode(shell);
    wire.resize(PKT_OFFSET_BODY);
    const std::vector<char> rest = unhex("00 01 01 " + recordBytes + " 00 00 03");
    wire.insert(wire.end(), rest.begin(), rest.end());
    return wire;
}

TEST(StbInfoRecordTail, ReaderChecksTheTailAndKeepsTheFirstTexts) {
    const std::string s31(31, 'y'), s32(32, 'b'), s33(33, 'a');
    struct Row {
        const char* name;
        std::string bytes;
        int result;
        std::string info2;  // what the record holds after a good decode
    };
    const Row rows[] = {
        {"tail copies are dropped", txt("a") + " " + txt("cd") + " 00 00 " + txt("zz") + " 00 00", 0, "cd"},
        {"32 characters first, 31 in the tail", "00 " + txt(s32) + " 00 00 " + txt(s31) + " 00 00", 0, s32},
        {"32 characters in the tail fail", "00 " + txt(s32) + " 00 00 " + txt(s32) + " 00 00", -1, ""},
        {"32 characters in the last tail text fail", "00 00 00 00 00 00 " + txt(s32), -1, ""},
        {"33 characters first fail", txt(s33) + " 00 00 00 00 00 00", -1, ""},
        {"a tail of four texts does not parse as ours",
         "00 " + txt("b") + " 00 00 " + txt("b") + " " + txt("b") + " 00 00", -1, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<char> wire = stbInfoWith(row.bytes);
        ZrLexsGetStbInfoMsgPacket in;
        ASSERT_EQ(row.result, in.deCode(wire.data(), static_cast<unsigned int>(wire.size())));
        if (row.result != 0) continue;
        ASSERT_EQ(1u, in.getStbInfo().size());
        EXPECT_EQ(row.info2, in.getStbInfo().at(1).szInfo2);
    }
}

}  // namespace
