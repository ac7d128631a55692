// Every packet class of the library as one list of types, for code written
// once for all of them: the catalogue's rows are made from it, and each
// class's header checks that its class is on it (ZR_LIBRARY_PACKET_CLASS,
// zr_body_packet.h). Naming a class here declares it, so that the list can
// come before the classes.
#ifndef ZRPACKET_ZR_PACKET_TYPES_H
#define ZRPACKET_ZR_PACKET_TYPES_H

#include <type_traits>

template <class... Packets>
struct ZrPacketTypes {};

using ZrAllPacketTypes = ZrPacketTypes<
    // wire core
    class ZrCkeepAlivePacket, class ZrCServerIdentifyPacket,
    // session and service packets
    class ZrAuthSockMsgPacket, class ZrLoginMsgPacket, class ZrBillMsgPacket, class ZrDbrWriteMsgPacket,
    class ZrHttpMsgPacket, class ZrPortalMsgPacket, class ZrBillServerLoginPacket, class ZrBillServerIdentifyPacket,
    // billing packets
    class ZrBillCardPutinPacket, class ZrBillCardActivePacket, class ZrBillCardDeactivePacket,
    class ZrBillCardProcPacket, class ZrBillUserBalancePacket, class ZrBillUserRemainPacket,
    class ZrBillUserRechargePacket, class ZrBillUserCardRechargePacket, class ZrBillUserDepositPacket,
    class ZrBillUserCardDepositPacket, class ZrBillUserConsumePacket, class ZrBillUserTradePacket,
    class ZrBillUserChangePacket,
    // user account and set-top box packets
    class ZrUserLoginMsgPacket, class ZrUserRegisterMsgPacket, class ZrModifyUserAccountMsgPacket,
    class ZrUserAuthorizeMsgPacket, class ZrUserAuthorityAuthenticationMsgPacket, class ZrUserBindMsgPacket,
    class ZrUserCancelBindMsgPacket, class ZrUserStbBindAccountMsgPacket, class ZrStbGetUseridMsgPacket,
    class ZrOvsCoreMsgPacket, class ZrLexsGetStbInfoMsgPacket, class ZrLexsLemmaMsgPacket>;

// Whether Packet is on a list.
template <class Packet, class... Packets>
constexpr bool zrIsListed(ZrPacketTypes<Packets...>) {
    return (std::is_same<Packet, Packets>::value || ...);
}

#endif  // ZRPACKET_ZR_PACKET_TYPES_H
