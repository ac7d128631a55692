#include "packet_stream.h"

#include <utility>

namespace zrpkt {

PacketStream::PacketStream(ZrPacketReceiver& receiver, const ZrPacketMeter::Options& options, OnPacket onPacket,
                           OnSkipped onSkipped, OnNote onNote)
    : m_receiver(receiver),
      m_options(options),
      m_onPacket(std::move(onPacket)),
      m_onSkipped(std::move(onSkipped)),
      m_onNote(std::move(onNote)) {}

PacketStream::~PacketStream() = default;

void PacketStream::feed(const void* data, std::size_t size) {
    if (size == 0) return;
    if (!m_splitter) m_splitter = std::make_unique<ZrStreamSplitter>(m_options, m_base);
    m_splitter->feed(data, size);
    drain();
}

void PacketStream::finish() {
    if (m_splitter) {
        m_splitter->finish();
        drain();
        m_base = m_splitter->offset();
        m_splitter.reset();
    }
    flushRun();
}

void PacketStream::gap(std::uint64_t missing) {
    finish();
    m_base += missing;
}

void PacketStream::drain() {
    for (ZrSplitItem item; m_splitter->next(item);) {
        const std::uint64_t offset = item.offset;
        if (!item.isPacket()) {
            // The splitter may report one run in pieces, each with the run's
            // reason and first byte; a run after it has its own.
            if (m_runLength > 0 && m_runOffset + m_runLength == offset && m_runReasonAt == item.reasonAt) {
                m_runLength += item.length;
                continue;
            }
            flushRun();
            m_runOffset = offset;
            m_runLength = item.length;
            m_runReasonAt = item.reasonAt;
            m_runWhy = item.why();
            continue;
        }
        flushRun();
        std::string error;
        ZrAnyPacket* packet =
            m_receiver.decode(item.chars(), static_cast<unsigned int>(item.length), error, m_options.forcedClass);
        if (packet != nullptr) {
            // deCode accepts bytes of an enciphered body after its fields,
            // which the JSON then leaves out; its verdict counts them.
            const std::size_t after = packet->head().envelopeVerdict().trailing();
            m_onPacket(offset, item.length, *packet);
            if (after > 0) {
                m_onNote(offset, std::string(packet->packetClass().className) + ": " + byteCount(after) +
                                     " of its deciphered body after its fields, which its JSON leaves out");
            }
        } else {
            m_onSkipped(offset, item.length, error);
        }
    }
}

void PacketStream::flushRun() {
    if (m_runLength == 0) return;
    m_onSkipped(m_runOffset, m_runLength, m_runWhy);
    m_runLength = 0;
}

std::string byteCount(std::uint64_t n) { return std::to_string(n) + (n == 1 ? " byte" : " bytes"); }

ZrJson packetRecord(ZrJson position, ZrAnyPacket& packet) {
    ZrJson json = zrPacketToJson(packet);
    // Room made first: a growing object would copy its members, whose keys are const.
    auto& members = position.get_ref<ZrJson::object_t&>();
    members.reserve(members.size() + json.size());
    for (auto& [key, value] : json.get_ref<ZrJson::object_t&>()) members.emplace(key, std::move(value));
    return position;
}

void appendPacketLine(const ZrJson& position, ZrAnyPacket& packet, std::string& out) {
    std::string members = position.dump();  // {"offset":0} -> "offset":0,
    members.erase(0, 1);
    members.back() = ',';
    if (members == ",") members.clear();
    zrAppendPacketJson(packet, out, members);
}

}  // namespace zrpkt
