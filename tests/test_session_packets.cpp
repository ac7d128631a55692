// Session and service packets: body bytes, receiving limits, round trips of
// every field over both envelope paths, the relay accessors of the database
// write packet, error texts and truncated input.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "ping_packet.h"
#include "test_util.h"
#include "zr_encrypt.h"
#include "zr_session_packets.h"

using zrtest::bodyHex;
using zrtest::hex;
using zrtest::unhex;

namespace {

constexpr unsigned int kPlainCmd = 9;   // a command whose body travels plain
constexpr unsigned int kCipherCmd = 5;  // a command whose body is enciphered

unsigned char encryptTypeOf(const std::vector<char>& wire) { return static_cast<unsigned char>(wire[16]); }

// Encodes into a roomy buffer and returns exactly the bytes to send.
template <class P>
std::vector<char> encode(P& packet) {
    std::vector<char> wire(256 * 1024);
    EXPECT_EQ(0, packet.enCode(wire.data(), static_cast<unsigned int>(wire.size())));
    wire.resize(packet.getPacketLength());
    return wire;
}

template <class P>
int decode(P& packet, std::vector<char>& wire) {
    return packet.deCode(wire.data(), static_cast<unsigned int>(wire.size()));
}

// "78 78 78" for repeat("78", 3).
std::string repeat(const std::string& byte, std::size_t n) {
    std::string out;
    for (std::size_t i = 0; i < n; ++i) out += (i ? " " : "") + byte;
    return out;
}
// A short text on the wire: its length byte, then n letters a.
std::string shortText(std::size_t n) {
    const unsigned char length = static_cast<unsigned char>(n);
    return hex(&length, 1) + (n ? " " + repeat("61", n) : "");
}

// --- golden bodies -------------------------------------------------------------

struct Golden {
    std::string name;
    std::function<std::vector<char>()> build;
    int (*decodeFresh)(char*, unsigned int);  // into a new object of the row's class
    bool enciphered;
    std::string body;
    std::size_t length;
};

template <class P>
int decodeFresh(char* wire, unsigned int length) {
    P p;
    return p.deCode(wire, length);
}

template <class P>
Golden golden(std::string name, std::function<void(P&)> fill, bool enciphered, std::string body, std::size_t length,
              P proto = P()) {
    auto build = [fill, proto]() mutable {
        fill(proto);
        return encode(proto);
    };
    return {std::move(name), build, decodeFresh<P>, enciphered, std::move(body), length};
}

std::vector<Golden> goldenPackets() {
    const std::string serverLoginAb7 = "00 00 00 02 61 62 00 00 00 07 " + repeat("00", 12);
    const std::string fixed258AndMinus1 = "00 00 00 00 00 00 01 02 00 00 00 00 FF FF FF FF 00 00 00 00";
    return {
        golden<ZrHttpMsgPacket>(
            "http, default command",
            [](auto& p) {
                p.setRequest("ab");
                p.setStateCode(200);
            },
            false, "02 61 62 00 C8 01 00 00", 43),
        golden<ZrHttpMsgPacket>(
            "http, state code -1", [](auto& p) { p.setStateCode(-1); }, false, "00 00 FF FF FF FF 0F 00 00", 44),
        golden<ZrPortalMsgPacket>(
            "portal, default command",
            [](auto& p) {
                p.setRequest({"ab"});
                p.setStateCode(200);
            },
            true, "01 02 61 62 00 C8 01 00 00", 44),
        golden<ZrLoginMsgPacket>(
            "login, one record",
            [](auto& p) {
                p.setACCONTINFO({NETPACCONTINFO{"a", 1, 2, "", 3, "b", 4, 5}});
            },
            true, "00 00 01 01 02 00 00 00 00 00 00 00 03 04 05 01 61 00 01 62 00 00 00", 58),
        golden<ZrLoginMsgPacket>(
            "login, all-zero record", [](auto& p) { p.setACCONTINFO({NETPACCONTINFO{}}); }, true,
            "00 00 01 " + repeat("00", 15) + " 00 00 00", 56),
        golden<ZrDbrWriteMsgPacket>(
            "dbr write, 128 and -1",
            [](auto& p) {
                p.setPkgID(128);
                p.setSQL("ab");
                p.setResultFlag(-1);
            },
            true, "80 01 02 61 62 FF FF FF FF 0F 00", 46),
        golden<ZrBillMsgPacket>(
            "bill, all zero", [](auto&) {}, true, repeat("00", 8), 43),
        golden<ZrBillMsgPacket>(
            "bill, 258 and -1 compact",
            [](auto& p) {
                p.setDA(258);
                p.setMoneyValue(-1);
            },
            true, "82 02 00 00 00 FF FF FF FF 0F 00 00 00", 48),
        golden<ZrBillServerIdentifyPacket>(
            "server identify, all zero", [](auto&) {}, true, repeat("00", 20), 55),
        golden<ZrBillServerIdentifyPacket>(
            "server identify, 258 and -1 fixed",
            [](auto& p) {
                p.setserver_type(258);
                p.setret_status(-1);
            },
            true, fixed258AndMinus1, 55),
        golden<ZrBillServerLoginPacket>(
            "server login, default command",
            [](auto& p) {
                p.setserver_name("ab");
                p.setserver_type(7);
            },
            false, serverLoginAb7, 57),
        golden<ZrBillServerLoginPacket>(
            "server login, enciphered stays fixed",
            [](auto& p) {
                p.setserver_name("ab");
                p.setserver_type(7);
            },
            true, serverLoginAb7, 57, ZrBillServerLoginPacket(0, 0, kCipherCmd, 0, 0, 0, 0)),
        golden<ZrBillServerLoginPacket>(
            "server login, 258 and -1 fixed",
            [](auto& p) {
                p.setserver_type(258);
                p.setret_login_status(-1);
            },
            false, fixed258AndMinus1, 55),
        golden<ZrPingMsgPacket>(
            "a class of only its fields",
            [](auto& p) {
                p.setText("ab");
                p.setHops(300);
            },
            true, "02 61 62 AC 02", 40),
    };
}

TEST(SessionPacketBytes, GoldenBodies) {
    for (const Golden& row : goldenPackets()) {
        SCOPED_TRACE(row.name);
        std::vector<char> wire = row.build();
        EXPECT_EQ(row.length, wire.size());
        EXPECT_EQ(row.enciphered, encryptTypeOf(wire) != 0);
        EXPECT_EQ(row.body, bodyHex(wire));
        EXPECT_EQ(0, row.decodeFresh(wire.data(), static_cast<unsigned int>(wire.size())));
    }
}

TEST(SessionPacketBytes, TruncatedGoldenPacketsFail) {
    for (const Golden& row : goldenPackets()) {
        SCOPED_TRACE(row.name);
        const std::vector<char> wire = row.build();
        for (std::size_t length = 0; length < wire.size(); ++length) {
            std::unique_ptr<char[]> cut(new char[length]);  // exact size: any over-read is caught
            std::memcpy(cut.get(), wire.data(), length);
            EXPECT_NE(0, row.decodeFresh(cut.get(), static_cast<unsigned int>(length))) << "length " << length;
        }
    }
}

TEST(SessionPacketBytes, FixedBodyNeedsOnlyItsOwnRoom) {
    ZrBillServerLoginPacket p;
    p.setserver_name("ab");
    p.setserver_type(7);
    char wire[57];
    EXPECT_EQ(-1, p.enCode(wire, 56));
    ASSERT_EQ(0, p.enCode(wire, 57));
    EXPECT_EQ(57u, p.getPacketLength());

    // Enciphered, the body (20 bytes besides the name) must fit the scratch
    // half: 30720 body bytes go out and come back, one more is refused.
    ZrBillServerIdentifyPacket enciphered;
    std::vector<char> big(64 * 1024);
    enciphered.setserver_name(std::string(PKT_SCRATCH_HALF_LEN - 20, 'n'));
    ASSERT_EQ(0, enciphered.enCode(big.data(), static_cast<unsigned int>(big.size())));
    ASSERT_EQ(PKT_ENVELOPE_MIN_LEN + PKT_SCRATCH_HALF_LEN, enciphered.getPacketLength());
    ZrBillServerIdentifyPacket received;
    ASSERT_EQ(0, received.deCode(big.data(), enciphered.getPacketLength())) << received.getLastErrMsg();
    EXPECT_EQ(enciphered.getserver_name(), received.getserver_name());

    enciphered.setserver_name(std::string(PKT_SCRATCH_HALF_LEN - 19, 'n'));
    EXPECT_EQ(-1, enciphered.enCode(big.data(), static_cast<unsigned int>(big.size())));
}

// --- receiving limits --------------------------------------------------------------

TEST(SessionPacketLimits, ReceivedListsHoldAtMostThousandElements) {
    for (std::size_t count : {std::size_t{1000}, std::size_t{1001}}) {
        SCOPED_TRACE(count);
        const int expected = count <= ZR_MAX_CONTAINER_COUNT ? 0 : -1;

        ZrPortalMsgPacket portal;
        portal.setResponse(std::vector<std::string>(count));
        std::vector<char> wire = encode(portal);
        ZrPortalMsgPacket portalIn;
        EXPECT_EQ(expected, decode(portalIn, wire));
        if (expected == 0) {
            EXPECT_EQ(count, portalIn.getResponse().size());
        }

        ZrLoginMsgPacket login;
        login.setACCONTINFO(std::vector<NETPACCONTINFO>(count));
        wire = encode(login);
        ZrLoginMsgPacket loginIn;
        EXPECT_EQ(expected, decode(loginIn, wire));
        if (expected == 0) {
            EXPECT_EQ(count, loginIn.getACCONTINFO().size());
        }
    }
}

// A plain login packet around the given record texts: account name "",
// type 0, one record with the numbers 1 to 5, then additional info "z".
std::vector<char> loginWithTexts(const std::string& texts) {
    ZrLoginMsgPacket shell(0, 0, kPlainCmd, 0, 0, 0, 0);
    std::vector<char> wire = encode(shell);
    wire.resize(PKT_OFFSET_BODY);
    const std::vector<char> rest = unhex("00 00 01 01 02 00 00 00 00 00 00 00 03 04 05 " + texts + " 01 7A 00 00 03");
    wire.insert(wire.end(), rest.begin(), rest.end());
    return wire;
}

TEST(SessionPacketLimits, RecordTextsStayInsideTheirArrays) {
    struct Row {
        const char* name;
        std::string texts;
        int result;
        std::size_t len1, len4, len6;
    };
    const Row rows[] = {
        {"19 in char[20]", shortText(19) + " " + shortText(0) + " " + shortText(1), 0, 19, 0, 1},
        {"20 in char[20]", shortText(20) + " " + shortText(0) + " " + shortText(1), -1, 0, 0, 0},
        {"32 in char[33]", shortText(1) + " " + shortText(32) + " " + shortText(1), 0, 1, 32, 1},
        {"33 in char[33]", shortText(1) + " " + shortText(33) + " " + shortText(1), -1, 0, 0, 0},
        {"20 in the last char[20]", shortText(1) + " " + shortText(2) + " " + shortText(20), -1, 0, 0, 0},
        {"length 0", "00 " + shortText(2) + " " + shortText(1), 0, 0, 2, 1},
        {"negative length", "FF FF FF FF 0F " + shortText(2) + " " + shortText(1), 0, 0, 2, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<char> wire = loginWithTexts(row.texts);
        ZrLoginMsgPacket p;
        ASSERT_EQ(row.result, decode(p, wire));
        if (row.result != 0) continue;
        ASSERT_EQ(1u, p.getACCONTINFO().size());
        const NETPACCONTINFO& r = p.getACCONTINFO()[0];
        EXPECT_EQ(std::string(row.len1, 'a'), r.szField1);
        EXPECT_EQ(std::string(row.len4, 'a'), r.szField4);
        EXPECT_EQ(std::string(row.len6, 'a'), r.szField6);
        EXPECT_EQ(5, r.nField8);
        EXPECT_EQ("z", p.getAdditionalInfo());  // decoding went on after the texts
    }
}

TEST(SessionPacketLimits, FullArrayWithoutNulSendsAllButItsLastByte) {
    NETPACCONTINFO r{};
    std::memset(r.szField1, 'x', sizeof r.szField1);
    std::memset(r.szField4, 'y', sizeof r.szField4);
    std::memset(r.szField6, 'z', sizeof r.szField6);
    r.llField5 = -1;
    ZrLoginMsgPacket p(0, 0, kPlainCmd, 0, 0, 0, 0);
    p.setACCONTINFO({r});
    std::vector<char> wire = encode(p);
    EXPECT_EQ("00 00 01 00 00 " + repeat("FF", 8) + " 00 00 13 " + repeat("78", 19) + " 20 " + repeat("79", 32) +
                  " 13 " + repeat("7A", 19) + " 00 00 00",
              bodyHex(wire));
    ZrLoginMsgPacket in;
    ASSERT_EQ(0, decode(in, wire));
    EXPECT_EQ(std::string(19, 'x'), in.getACCONTINFO()[0].szField1);
    EXPECT_EQ(std::string(32, 'y'), in.getACCONTINFO()[0].szField4);
    EXPECT_EQ(-1, in.getACCONTINFO()[0].llField5);
}

// --- every class, every field --------------------------------------------------

struct Values {
    int i;
    unsigned int u;
    std::string s;
    std::size_t n;  // list length
};

const Values kValues[] = {
    {-1, 0xFFFFFFFFu, std::string("\0a\0", 3), 0},
    {0, 0, "", 1},
    {127, 127, "ab", 3},
    {128, 128, std::string(5000, 'L'), 2},
    {INT_MIN, 0x80000000u, std::string("\xFF\x00|", 3), 1},
};

// Distinct values per field, so that swapped fields show.
std::string tag(const std::string& s, int k) { return s.empty() ? s : s + static_cast<char>('0' + k); }
std::string num(long long v) { return std::to_string(v); }
std::string join(std::initializer_list<std::string> parts) {
    std::string out;
    for (const std::string& part : parts) out += part + "|";
    return out;
}
std::string joinList(const std::vector<std::string>& list) {
    std::string out = num(static_cast<long long>(list.size())) + ":";
    for (const std::string& s : list) out += s + ",";
    return out;
}
std::string headOf(const ZrCPacketHead& p) {
    return join({num(p.getCmdID()), num(p.getSubcmdID()), num(p.getUserID()), num(p.getSN()), num(p.getContext1()),
                 num(p.getContext2()), num(p.getContext3()), num(p.getContext4())});
}

// Records are zero however they are made, so no leftover memory reaches the wire.
TEST(SessionPacketLimits, NewRecordsAreAllZero) {
    alignas(NETPACCONTINFO) unsigned char memory[sizeof(NETPACCONTINFO)];
    std::memset(memory, 0xAB, sizeof memory);
    const NETPACCONTINFO* r = new (memory) NETPACCONTINFO;
    EXPECT_EQ(join({r->szField1, num(r->uField2), num(r->uField3), r->szField4, num(r->llField5), r->szField6,
                    num(r->nField7), num(r->nField8)}),
              join({"", "0", "0", "", "0", "", "0", "0"}));
    EXPECT_EQ(std::string(20, '\0'), std::string(r->szField1, 20));
    EXPECT_EQ(std::string(33, '\0'), std::string(r->szField4, 33));
    EXPECT_EQ(std::string(20, '\0'), std::string(r->szField6, 20));
}

struct HttpCase {
    using Packet = ZrHttpMsgPacket;
    static constexpr const char* kName = "ZrHttpMsgPacket";
    static constexpr unsigned int kDefaultCmd = 9;
    static void fill(Packet& p, const Values& v) {
        p.setRequest(v.s);
        p.setResponse(tag(v.s, 1));
        p.setStateCode(v.i);
        p.setResultFlag(v.i ^ 1);
        p.setErrorDesc(tag(v.s, 2));
    }
    static std::string dump(const Packet& p) {
        return join({p.getRequest(), p.getResponse(), num(p.getStateCode()), num(p.getResultFlag()), p.getErrorDesc()});
    }
};

struct PortalCase {
    using Packet = ZrPortalMsgPacket;
    static constexpr const char* kName = "ZrPortalMsgPacket";
    static constexpr unsigned int kDefaultCmd = 10;
    static std::vector<std::string> list(const Values& v, int k) {
        std::vector<std::string> out;
        for (std::size_t j = 0; j < v.n; ++j) out.push_back(tag(v.s, k + static_cast<int>(j)));
        return out;
    }
    static void fill(Packet& p, const Values& v) {
        p.setRequest(list(v, 0));
        p.setResponse(list(v, 4));
        p.setStateCode(v.i);
        p.setResultFlag(v.i ^ 1);
        p.setErrorDesc(tag(v.s, 9));
    }
    static std::string dump(const Packet& p) {
        return join({joinList(p.getRequest()), joinList(p.getResponse()), num(p.getStateCode()), num(p.getResultFlag()),
                     p.getErrorDesc()});
    }
};

struct LoginCase {
    using Packet = ZrLoginMsgPacket;
    static constexpr const char* kName = "ZrLoginMsgPacket";
    static constexpr unsigned int kDefaultCmd = 4;
    static void copyText(char* text, std::size_t size, const std::string& s) {
        std::memcpy(text, s.data(), std::min(s.size(), size - 1));
    }
    static void fill(Packet& p, const Values& v) {
        std::vector<NETPACCONTINFO> records;
        for (std::size_t j = 0; j < v.n; ++j) {
            const auto k = static_cast<unsigned int>(j);
            NETPACCONTINFO r{};
            r.uField2 = v.u ^ k, r.uField3 = v.u ^ (k + 8);
            r.llField5 = static_cast<std::int64_t>((std::uint64_t{static_cast<unsigned int>(v.i)} << 32) | (v.u ^ k));
            r.nField7 = v.i ^ static_cast<int>(k), r.nField8 = v.i ^ static_cast<int>(k + 8);
            copyText(r.szField1, sizeof r.szField1, tag(v.s, 1));
            copyText(r.szField4, sizeof r.szField4, tag(v.s, 2));
            copyText(r.szField6, sizeof r.szField6, v.s);
            records.push_back(r);
        }
        p.setAccountName(v.s);
        p.setAccountType(v.i);
        p.setACCONTINFO(records);
        p.setAdditionalInfo(tag(v.s, 1));
        p.setResultFlag(v.i ^ 1);
        p.setErrorDesc(tag(v.s, 2));
    }
    static std::string dump(const Packet& p) {
        std::string records;
        for (const NETPACCONTINFO& r : p.getACCONTINFO()) {
            records += join({r.szField1, num(r.uField2), num(r.uField3), r.szField4, num(r.llField5), r.szField6,
                             num(r.nField7), num(r.nField8)});
        }
        return join({p.getAccountName(), num(p.getAccountType()), records, p.getAdditionalInfo(),
                     num(p.getResultFlag()), p.getErrorDesc()});
    }
};

struct DbrWriteCase {
    using Packet = ZrDbrWriteMsgPacket;
    static constexpr const char* kName = "ZrDbrWriteMsgPacket";
    static constexpr unsigned int kDefaultCmd = 6;
    static void fill(Packet& p, const Values& v) {
        p.setPkgID(v.u ^ 3);
        p.setSQL(v.s);
        p.setResultFlag(v.i ^ 2);
        p.setErrorDesc(tag(v.s, 1));
        p.setAckFlag(v.i);
        p.setIDType(v.i ^ 1);
        p.setID1(v.u);
        p.setID2(v.u ^ 1);
        p.setDBRRecvSockObjID(v.u ^ 2);
    }
    static std::string dump(const Packet& p) {
        return join({num(p.getPkgID()), p.getSQL(), num(p.getResultFlag()), p.getErrorDesc(), num(p.getAckFlag()),
                     num(p.getIDType()), num(p.getID1()), num(p.getID2()), num(p.getDBRRecvSockObjID())});
    }
};

struct BillCase {
    using Packet = ZrBillMsgPacket;
    static constexpr const char* kName = "ZrBillMsgPacket";
    static constexpr unsigned int kDefaultCmd = 5;
    static void fill(Packet& p, const Values& v) {
        p.setDA(v.u);
        p.setAccountName(v.s);
        p.setAccountType(v.i);
        p.setBillType(v.i ^ 1);
        p.setMoneyValue(v.i ^ 2);
        p.setMoneyType(v.i ^ 3);
        p.setDescribe(tag(v.s, 1));
        p.setErrorDesc(tag(v.s, 2));
    }
    static std::string dump(const Packet& p) {
        return join({num(p.getDA()), p.getAccountName(), num(p.getAccountType()), num(p.getBillType()),
                     num(p.getMoneyValue()), num(p.getMoneyType()), p.getDescribe(), p.getErrorDesc()});
    }
};

struct IdentifyCase {
    using Packet = ZrBillServerIdentifyPacket;
    static constexpr const char* kName = "ZrBillServerIdentifyPacket";
    static constexpr unsigned int kDefaultCmd = 1010;
    static void fill(Packet& p, const Values& v) {
        p.setserver_name(v.s);
        p.setserver_type(v.u);
        p.setserver_key(tag(v.s, 1));
        p.setret_status(v.i);
        p.setret_message(tag(v.s, 2));
    }
    static std::string dump(const Packet& p) {
        return join({p.getserver_name(), num(p.getserver_type()), p.getserver_key(), num(p.getret_status()),
                     p.getret_message()});
    }
};

struct ServerLoginCase {
    using Packet = ZrBillServerLoginPacket;
    static constexpr const char* kName = "ZrBillServerLoginPacket";
    static constexpr unsigned int kDefaultCmd = 1001;
    static void fill(Packet& p, const Values& v) {
        p.setserver_name(v.s);
        p.setserver_type(v.u);
        p.setserver_key(tag(v.s, 1));
        p.setret_login_status(v.i);
        p.setret_login_message(tag(v.s, 2));
    }
    static std::string dump(const Packet& p) {
        return join({p.getserver_name(), num(p.getserver_type()), p.getserver_key(), num(p.getret_login_status()),
                     p.getret_login_message()});
    }
};

template <class Case>
class SessionPacket : public ::testing::Test {};

struct CaseNames {
    template <class Case>
    static std::string GetName(int) {
        return Case::kName;
    }
};
using Cases = ::testing::Types<HttpCase, PortalCase, LoginCase, DbrWriteCase, BillCase, IdentifyCase, ServerLoginCase>;
TYPED_TEST_SUITE(SessionPacket, Cases, CaseNames);

TYPED_TEST(SessionPacket, DefaultCommandDecidesEnciphering) {
    typename TypeParam::Packet p;
    const std::vector<char> wire = encode(p);
    EXPECT_EQ(TypeParam::kDefaultCmd, ZrCPacketHead::fastGetCmdID(wire.data(), 33));
    const bool plain = TypeParam::kDefaultCmd == 9 || TypeParam::kDefaultCmd == 1001;
    EXPECT_EQ(plain, encryptTypeOf(wire) == 0);
}

TYPED_TEST(SessionPacket, RoundTripsEveryFieldPlainAndEnciphered) {
    for (unsigned int cmd : {kPlainCmd, kCipherCmd}) {
        for (const Values& v : kValues) {
            SCOPED_TRACE("cmd " + num(cmd) + ", i " + num(v.i) + ", text length " + num(v.s.size()));
            typename TypeParam::Packet out(1, 2, cmd, 3, 4, 5, 0);
            TypeParam::fill(out, v);
            std::vector<char> wire = encode(out);
            EXPECT_EQ(cmd == kPlainCmd, encryptTypeOf(wire) == 0);
            typename TypeParam::Packet in;
            ASSERT_EQ(0, decode(in, wire)) << in.getLastErrMsg();
            EXPECT_EQ(TypeParam::dump(out), TypeParam::dump(in));
            EXPECT_EQ(headOf(out), headOf(in));
        }
    }
}

TYPED_TEST(SessionPacket, DecodingReplacesWhatTheObjectHeld) {
    // Each pair: what is sent, what the receiving object held before.
    const std::pair<int, int> pairs[] = {{0, 2}, {1, 3}, {2, 0}};
    for (auto [sent, held] : pairs) {
        SCOPED_TRACE("sent row " + num(sent) + " over row " + num(held));
        typename TypeParam::Packet out(0, 0, kPlainCmd, 0, 0, 0, 0);
        TypeParam::fill(out, kValues[sent]);
        std::vector<char> wire = encode(out);
        typename TypeParam::Packet in;
        TypeParam::fill(in, kValues[held]);
        ASSERT_EQ(0, decode(in, wire));
        EXPECT_EQ(TypeParam::dump(out), TypeParam::dump(in));
    }
}

TYPED_TEST(SessionPacket, ErrorTexts) {
    const std::string name = TypeParam::kName;
    typename TypeParam::Packet plain(0, 0, kPlainCmd, 0, 0, 0, 0);
    std::vector<char> wire = encode(plain);
    wire.back() = 0x04;
    EXPECT_EQ(-1, decode(plain, wire));
    EXPECT_EQ("[" + name + "::deCode],l_cETX != _ETX_", plain.getLastErrMsg());

    typename TypeParam::Packet enciphered(0, 0, kCipherCmd, 0, 0, 0, 0);
    wire = encode(enciphered);
    wire[16] = 9;
    EXPECT_EQ(-1, decode(enciphered, wire));
    EXPECT_EQ("[" + name + " deCode],decryptProtocol failed", enciphered.getLastErrMsg());
}

TYPED_TEST(SessionPacket, EncipheredBodyMustFitTheScratchArea) {
    const Values big{1, 1, std::string(PKT_SCRATCH_HALF_LEN, 'x'), 1};
    typename TypeParam::Packet enciphered(0, 0, kCipherCmd, 0, 0, 0, 0);
    TypeParam::fill(enciphered, big);
    std::vector<char> wire(256 * 1024);
    EXPECT_EQ(-1, enciphered.enCode(wire.data(), static_cast<unsigned int>(wire.size())));
}

// --- database write relay: head-held values -------------------------------------

TEST(SessionDbrWrite, HeadHeldValuesAreHeadFields) {
    ZrDbrWriteMsgPacket p;
    p.setAckFlag(5);
    p.setIDType(-2);
    p.setID1(0x11223344);
    p.setID2(0xFFFFFFFF);
    p.setDBRRecvSockObjID(0x80000000);
    EXPECT_EQ(5u, p.getUserID());
    EXPECT_EQ(0x80000000u, p.getContext3());
    const std::vector<char> wire = encode(p);
    EXPECT_EQ("00 00 00 05 FF FF FF FE", hex(&wire[8], 8));
    EXPECT_EQ("11 22 33 44 FF FF FF FF 80 00 00 00 00 00 00 00", hex(&wire[17], 16));
    EXPECT_EQ(INT_MIN, p.getDBRRecvSockObjID());
}

struct RawField {
    const char* name;
    unsigned int offset;
    unsigned int (*get)(const char*, unsigned int);
    void (*set)(char*, unsigned int, unsigned int);
};
const RawField kRawFields[] = {
    {"AckFlag", 8,
     [](const char* b, unsigned int n) { return static_cast<unsigned int>(ZrDbrWriteMsgPacket::fastGetAckFlag(b, n)); },
     [](char* b, unsigned int n, unsigned int v) { ZrDbrWriteMsgPacket::fastSetAckFlag(b, n, static_cast<int>(v)); }},
    {"IDType", 12,
     [](const char* b, unsigned int n) { return static_cast<unsigned int>(ZrDbrWriteMsgPacket::fastGetIDType(b, n)); },
     [](char* b, unsigned int n, unsigned int v) { ZrDbrWriteMsgPacket::fastSetIDType(b, n, static_cast<int>(v)); }},
    {"ID1", 17, ZrDbrWriteMsgPacket::fastGetID1, ZrDbrWriteMsgPacket::fastSetID1},
    {"ID2", 21, ZrDbrWriteMsgPacket::fastGetID2, ZrDbrWriteMsgPacket::fastSetID2},
    {"DBRRecvSockObjID", 25, ZrDbrWriteMsgPacket::fastGetDBRRecvSockObjID,
     ZrDbrWriteMsgPacket::fastSetDBRRecvSockObjID},
};

TEST(SessionDbrWrite, RawAccessorsRefuseShortOrNullBuffers) {
    for (const RawField& f : kRawFields) {
        SCOPED_TRACE(f.name);
        std::vector<char> buffer(32, '\x5A');
        f.set(buffer.data(), 32, 7);
        f.set(nullptr, 33, 7);
        EXPECT_EQ(std::vector<char>(32, '\x5A'), buffer);
        EXPECT_EQ(0xFFFFFFFFu, f.get(buffer.data(), 32));
        EXPECT_EQ(0xFFFFFFFFu, f.get(nullptr, 33));
    }
}

TEST(SessionDbrWrite, RawSetThenGetTouchesOnlyItsFourBytes) {
    for (const RawField& f : kRawFields) {
        for (unsigned int value : {0x01020304u, 0xFFFFFFFEu, 0u}) {
            SCOPED_TRACE(std::string(f.name) + " " + num(value));
            std::vector<char> buffer(33);
            for (std::size_t i = 0; i < buffer.size(); ++i) buffer[i] = static_cast<char>(0xA0 + i);  // no STX
            std::vector<char> expected = buffer;
            for (int b = 0; b < 4; ++b) expected[f.offset + b] = static_cast<char>(value >> (24 - 8 * b));
            f.set(buffer.data(), 33, value);
            EXPECT_EQ(hex(expected), hex(buffer));
            EXPECT_EQ(value, f.get(buffer.data(), 33));
        }
    }
}

TEST(SessionDbrWrite, PatchingAnEncipheredPacketKeepsItsBody) {
    ZrDbrWriteMsgPacket p;
    p.setPkgID(300);
    p.setSQL("update t set x = 1");
    p.setResultFlag(-1);
    p.setErrorDesc("none");
    p.setAckFlag(1);
    p.setIDType(2);
    p.setID1(3);
    p.setID2(4);
    p.setDBRRecvSockObjID(5);
    std::vector<char> wire = encode(p);
    const unsigned char encryptType = encryptTypeOf(wire);
    ASSERT_NE(0, encryptType);
    const std::string envelope = hex(wire.data() + PKT_OFFSET_KEY, wire.size() - PKT_OFFSET_KEY);

    char* raw = wire.data();
    const auto n = static_cast<unsigned int>(wire.size());
    ZrDbrWriteMsgPacket::fastSetAckFlag(raw, n, -7);
    ZrDbrWriteMsgPacket::fastSetIDType(raw, n, INT_MAX);
    ZrDbrWriteMsgPacket::fastSetID1(raw, n, 258);
    ZrDbrWriteMsgPacket::fastSetID2(raw, n, 0xFFFFFFFF);
    ZrDbrWriteMsgPacket::fastSetDBRRecvSockObjID(raw, n, 7);
    EXPECT_EQ("00 00 01 02", hex(raw + 17, 4));
    EXPECT_EQ(encryptType, encryptTypeOf(wire));
    EXPECT_EQ(envelope, hex(wire.data() + PKT_OFFSET_KEY, wire.size() - PKT_OFFSET_KEY));

    ZrDbrWriteMsgPacket in;
    ASSERT_EQ(0, decode(in, wire)) << in.getLastErrMsg();
    EXPECT_EQ(join({"-7", num(INT_MAX), "258", num(0xFFFFFFFF), "7"}),
              join({num(in.getAckFlag()), num(in.getIDType()), num(in.getID1()), num(in.getID2()),
                    num(in.getDBRRecvSockObjID())}));
    EXPECT_EQ(join({"300", "update t set x = 1", "-1", "none"}),
              join({num(in.getPkgID()), in.getSQL(), num(in.getResultFlag()), in.getErrorDesc()}));
}

}  // namespace
