#include "backend.h"

#include "relay_parts.h"

namespace zrrelay {

BackendConnection::BackendConnection(asio::io_context& io, const Options& options, BackendHost& host,
                                     Counters& counters, const Logger& log)
    : m_io(io),
      m_options(options),
      m_host(host),
      m_counters(counters),
      m_log(log),
      m_socket(io),
      m_resolver(io),
      m_retry(io),
      m_readBuffer(kReadChunk) {}

void BackendConnection::stop() {
    m_state = State::Stopped;
    asio::error_code ignored;
    m_socket.close(ignored);
    m_resolver.cancel();
    m_retry.cancel();
}

void BackendConnection::connect() {
    m_state = State::Connecting;
    const HostPort& backend = m_options.backend;
    m_resolver.async_resolve(
        backend.host, std::to_string(backend.port),
        [this](const asio::error_code& error, const asio::ip::tcp::resolver::results_type& results) {
            if (m_state == State::Stopped) return;
            if (error) {
                m_log.line(LogLevel::Warn, text("backend ", m_options.backend.text(), ": ", error.message()));
                scheduleReconnect();
                return;
            }
            asio::async_connect(
                m_socket, results, [this](const asio::error_code& e, const asio::ip::tcp::endpoint& endpoint) {
                    if (m_state == State::Stopped) return;
                    if (e) {
                        m_log.line(LogLevel::Warn,
                                   text("backend ", m_options.backend.text(), ": connect failed: ", e.message()));
                        scheduleReconnect();
                        return;
                    }
                    connected(endpoint);
                });
        });
}

void BackendConnection::connected(const asio::ip::tcp::endpoint& endpoint) {
    asio::error_code ignored;
    m_socket.set_option(asio::ip::tcp::no_delay(true), ignored);
    m_state = State::Up;
    ++m_generation;
    m_backoff = std::chrono::milliseconds(0);
    ZrPacketMeter::Options meter;
    meter.maxPacketLength = m_options.limits.maxPacketLength;
    m_splitter = std::make_unique<ZrStreamSplitter>(meter);
    m_workSeen = 0;
    ++m_counters.backendConnects;
    m_log.line(LogLevel::Info, text("backend connected: ", endpointText(endpoint), " (", unsent(), " bytes queued)"));
    m_host.backendConnected();
    read();
    flush();
}

void BackendConnection::scheduleReconnect() {
    const Limits& limits = m_options.limits;
    m_state = State::Backoff;
    m_backoff = m_backoff.count() == 0 ? limits.backoffMin : std::min(2 * m_backoff, limits.backoffMax);
    m_log.line(LogLevel::Info, text("reconnecting to the backend in ", m_backoff.count(), " ms"));
    m_retry.expires_after(m_backoff);
    m_retry.async_wait([this](const asio::error_code& error) {
        if (!error && m_state == State::Backoff) connect();
    });
}

void BackendConnection::read() {
    const std::uint64_t generation = m_generation;
    m_socket.async_read_some(
        asio::buffer(m_readBuffer), [this, generation](const asio::error_code& error, std::size_t n) {
            if (m_state != State::Up || generation != m_generation) return;
            if (error) {
                failed(generation, error);
                return;
            }
            m_splitter->feed(m_readBuffer.data(), n);
            const auto now = std::chrono::steady_clock::now();
            for (ZrSplitItem item; m_splitter->next(item);) {
                if (item.isPacket()) {
                    m_host.reply(item, now);
                    continue;
                }
                m_counters.backendSkippedBytes += item.length;
                if (worthLogging(++m_skippedRuns)) {
                    m_log.line(LogLevel::Warn, text("backend: ", item.length, " bytes at offset ", item.offset,
                                                    " are not a packet, passed over: ", item.why()));
                }
            }
            const std::uint64_t deciphered = m_splitter->meter().work().deciphered;
            m_counters.backendDeciphered += deciphered - m_workSeen;
            m_workSeen = deciphered;
            m_host.repliesRouted();
            if (m_state == State::Up && generation == m_generation) read();
        });
}

char* BackendConnection::queue(const char* packet, std::size_t length) {
    const std::size_t at = m_queue.size();
    m_queue.insert(m_queue.end(), packet, packet + length);
    m_unsent.push_back(length);
    ++m_lastSeq;
    return m_queue.data() + at;
}

void BackendConnection::dropOldestUnsent(std::uint64_t seq) {
    // Every packet has the same deadline after its queueing, so the packets
    // whose deadline passes unsent leave from the queue's front.
    if (seq != m_writtenSeq + 1 || m_unsent.empty()) return;
    m_queueFrom += m_unsent.front();
    m_unsent.pop_front();
    ++m_writtenSeq;  // it will never be written: the next one is the oldest
    if (m_queueFrom == m_queue.size()) {
        m_queue.clear();
        m_queueFrom = 0;
    } else if (m_queueFrom > m_queue.size() / 2) {  // what was given up never outweighs what waits
        m_queue.erase(m_queue.begin(), m_queue.begin() + static_cast<std::ptrdiff_t>(m_queueFrom));
        m_queueFrom = 0;
    }
}

void BackendConnection::flushSoon() {
    if (m_flushPosted) return;
    m_flushPosted = true;
    asio::post(m_io, [this] {
        m_flushPosted = false;
        if (m_state != State::Stopped) flush();
    });
}

void BackendConnection::flush() {
    if (m_state != State::Up || !m_writing.empty() || m_queue.size() == m_queueFrom) return;
    std::swap(m_queue, m_writing);
    m_writingFrom = m_queueFrom;
    m_queueFrom = 0;
    m_writtenSeq = m_lastSeq;
    m_unsent.clear();
    const std::uint64_t generation = m_generation;
    asio::async_write(m_socket, asio::buffer(m_writing.data() + m_writingFrom, m_writing.size() - m_writingFrom),
                      [this, generation](const asio::error_code& error, std::size_t) {
                          m_writing.clear();
                          m_writingFrom = 0;
                          if (m_writing.capacity() > kKeptBufferCapacity) std::vector<char>().swap(m_writing);
                          if (m_state == State::Stopped) return;
                          if (error && generation == m_generation) {
                              failed(generation, error);
                              return;
                          }
                          flush();
                          m_host.backendRoom();
                      });
}

// The connection is gone: packets written to it will get no reply; those
// queued but not written wait for the next connection.
void BackendConnection::failed(std::uint64_t generation, const asio::error_code& error) {
    if (generation != m_generation || m_state != State::Up) return;
    ++m_generation;
    ++m_counters.backendLost;
    asio::error_code ignored;
    m_socket.close(ignored);
    m_splitter.reset();
    m_state = State::Backoff;
    m_host.backendLost(m_writtenSeq, error.message());
    scheduleReconnect();
}

}  // namespace zrrelay
