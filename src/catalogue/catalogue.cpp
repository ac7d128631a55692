// The catalogue's one table: a row per packet class, each read off the class
// itself (its default command, its name and body mode), so that adding a
// class is adding its type here.
#include <algorithm>

#include "zr_account_packets.h"
#include "zr_basic_packets.h"
#include "zr_billing_packets.h"
#include "zr_catalogue.h"
#include "zr_session_packets.h"

namespace {

template <class Packet>
class PacketOf final : public ZrAnyPacket {
public:
    explicit PacketOf(const ZrPacketClass& row) : m_row(row) {}

    static std::unique_ptr<ZrAnyPacket> make(const ZrPacketClass& row) { return std::make_unique<PacketOf>(row); }

    const ZrPacketClass& packetClass() const override { return m_row; }
    ZrCPacketHead& head() override { return m_packet; }
    void visitFields(ZrFieldVisitor& visitor) override { m_packet.visitFields(visitor); }
    int enCode(char* pSendBuf, unsigned int nBufLen) override { return m_packet.enCode(pSendBuf, nBufLen); }
    int deCode(char* pRecvBuf, unsigned int nBufLen) override { return m_packet.deCode(pRecvBuf, nBufLen); }
    unsigned int getPacketLength() override { return m_packet.getPacketLength(); }

private:
    const ZrPacketClass& m_row;
    Packet m_packet;
};

template <class Packet>
ZrPacketClass row() {
    return {Packet::DEFAULT_CMDID, Packet::ENVELOPE.className, Packet::ENVELOPE.mode,
            ZrCPacketHead::isEncipheredCommand(Packet::DEFAULT_CMDID), &PacketOf<Packet>::make};
}

std::vector<ZrPacketClass> makeTable() {
    std::vector<ZrPacketClass> table = {
        // wire core
        row<ZrCkeepAlivePacket>(), row<ZrCServerIdentifyPacket>(),
        // session and service packets
        row<ZrAuthSockMsgPacket>(), row<ZrLoginMsgPacket>(), row<ZrBillMsgPacket>(), row<ZrDbrWriteMsgPacket>(),
        row<ZrHttpMsgPacket>(), row<ZrPortalMsgPacket>(), row<ZrBillServerLoginPacket>(),
        row<ZrBillServerIdentifyPacket>(),
        // billing packets
        row<ZrBillCardPutinPacket>(), row<ZrBillCardActivePacket>(), row<ZrBillCardDeactivePacket>(),
        row<ZrBillCardProcPacket>(), row<ZrBillUserBalancePacket>(), row<ZrBillUserRemainPacket>(),
        row<ZrBillUserRechargePacket>(), row<ZrBillUserCardRechargePacket>(), row<ZrBillUserDepositPacket>(),
        row<ZrBillUserCardDepositPacket>(), row<ZrBillUserConsumePacket>(), row<ZrBillUserTradePacket>(),
        row<ZrBillUserChangePacket>(),
        // user account and set-top box packets
        row<ZrUserLoginMsgPacket>(), row<ZrUserRegisterMsgPacket>(), row<ZrModifyUserAccountMsgPacket>(),
        row<ZrUserAuthorizeMsgPacket>(), row<ZrUserAuthorityAuthenticationMsgPacket>(), row<ZrUserBindMsgPacket>(),
        row<ZrUserCancelBindMsgPacket>(), row<ZrUserStbBindAccountMsgPacket>(), row<ZrStbGetUseridMsgPacket>(),
        row<ZrOvsCoreMsgPacket>(), row<ZrLexsGetStbInfoMsgPacket>(), row<ZrLexsLemmaMsgPacket>()};
    std::sort(table.begin(), table.end(),
              [](const ZrPacketClass& a, const ZrPacketClass& b) { return a.cmdID < b.cmdID; });
    return table;
}

}  // namespace

const std::vector<ZrPacketClass>& ZrCatalogue::classes() {
    static const std::vector<ZrPacketClass> table = makeTable();
    return table;
}

const ZrPacketClass* ZrCatalogue::find(unsigned int cmdID) {
    for (const ZrPacketClass& c : classes()) {
        if (c.cmdID == cmdID) return &c;
    }
    return nullptr;
}

const ZrPacketClass* ZrCatalogue::find(const std::string& className) {
    for (const ZrPacketClass& c : classes()) {
        if (className == c.className) return &c;
    }
    return nullptr;
}

std::unique_ptr<ZrAnyPacket> ZrCatalogue::decode(const char* buf, unsigned int len, std::string& error,
                                                 const ZrPacketClass* forced) {
    if (buf == nullptr) {
        error = "no buffer to decode";
        return nullptr;
    }
    // deCode takes a char* but never writes through it.
    char* bytes = const_cast<char*>(buf);
    const ZrPacketClass* cls = forced;
    if (cls == nullptr) {
        unsigned short version = 0;
        unsigned int cmdID = 0;
        unsigned char subcmdID = 0;
        unsigned int userID = 0;
        if (ZrCPacketHead::dispatchPacket(buf, len, version, cmdID, subcmdID, userID) != 0) {
            // No command to go by: the head's own decode says what is wrong.
            ZrCkeepAlivePacket bareHead;
            bareHead.deCode(bytes, len);
            error = bareHead.getLastErrMsg();
            return nullptr;
        }
        cls = find(cmdID);
        if (cls == nullptr) {
            error = "no packet class has the command " + std::to_string(cmdID);
            return nullptr;
        }
    }
    std::unique_ptr<ZrAnyPacket> packet = cls->create();
    if (packet->deCode(bytes, len) != 0) {
        const char* text = packet->head().getLastErrMsg();
        error = *text != '\0' ? std::string(text)
                              : std::string(cls->className) + ": the body's fields cannot be read (" +
                                    std::to_string(len) + " bytes, truncated or malformed)";
        return nullptr;
    }
    return packet;
}
