// What the relay's source files share: a client's and the backend
// connection's state, and the small helpers of their log lines.
#ifndef ZRRELAY_RELAY_PARTS_H
#define ZRRELAY_RELAY_PARTS_H

#include <linux/sockios.h>
#include <sys/ioctl.h>

#include <functional>
#include <sstream>
#include <utility>

#include "relay.h"

namespace zrrelay {


constexpr std::size_t kReadChunk = 64 * 1024;
constexpr std::chrono::milliseconds kAcceptRetry{100};  // after a failed accept (EMFILE and the like)
// A write buffer that grew past this for a burst is given back once written.
constexpr std::size_t kKeptBufferCapacity = 1024 * 1024;

inline const char* const kLevelNames[] = {"error", "warn", "info", "debug"};


template <class... Args>
std::string text(const Args&... args) {
    std::ostringstream out;
    (out << ... << args);
    return out.str();
}

inline std::string endpointText(const asio::ip::tcp::endpoint& endpoint) {
    const asio::ip::address address = endpoint.address();
    return HostPort{address.to_string(), endpoint.port()}.text();
}

// Now as ISO 8601 in UTC, to the millisecond: "2026-01-31T23:59:59.123Z".
std::string utcNow();

// Repeated events are logged the first ten times, then every thousandth.
inline bool worthLogging(std::uint64_t count) { return count <= 10 || count % 1000 == 0; }

// Serves GET /metrics over HTTP/1.x on its own io_context: one request per
// connection, the body made by `body` at each request.
class MetricsServer {
public:
    MetricsServer(asio::io_context& io, std::function<std::string()> body);
    // Binds (throws asio::system_error), logs the address, starts accepting.
    void start(const HostPort& address);

private:
    struct Session;
    void accept();
    void answer(const std::shared_ptr<Session>& session);

    asio::io_context& m_io;
    asio::ip::tcp::acceptor m_acceptor;
    std::function<std::string()> m_body;
};

struct Relay::Client {
    Client(asio::io_context& io, asio::ip::tcp::socket s, std::uint64_t clientId,
           const ZrPacketMeter::Options& meter)
        : id(clientId), socket(std::move(s)), splitter(meter), grace(io) {}

    std::size_t queued() const { return replies.size() + writing.size(); }
    // Replies not yet taken by the client: those queued here and those the
    // system holds unsent (what a client that stopped reading leaves there
    // grows with the socket's send buffer, megabytes; bytes sent and not yet
    // acknowledged are on their way, not left unread).
    std::size_t unread() {
        int unsent = 0;
        if (ioctl(socket.native_handle(), SIOCOUTQNSD, &unsent) != 0 || unsent < 0) unsent = 0;
        return queued() + static_cast<std::size_t>(unsent);
    }

    std::uint64_t id;
    asio::ip::tcp::socket socket;
    std::string peer;
    ZrStreamSplitter splitter;
    std::vector<unsigned char> readBuffer = std::vector<unsigned char>(kReadChunk);
    bool reading = false;    // a read is outstanding
    bool haveItems = false;  // the splitter may still hold packets of the last read
    bool eof = false;        // the client has sent its last byte
    bool waiting = false;    // in m_waiting
    bool open = true;
    bool finishing = false;
    bool waitInFlight = false;  // finishing: close only once every packet in flight is answered
    bool closing = false;
    LogLevel finishLevel = LogLevel::Debug;
    std::string finishWhy;
    std::size_t inFlight = 0;
    std::vector<char> replies, writing;  // replies queued; replies being written
    bool writeOutstanding = false;
    bool answered = false;  // in m_answered
    asio::steady_timer grace;
    std::uint64_t graceRound = 0;  // a grace timer's handler acts only if no later start or cancel came
    bool overQueue = false;        // its grace runs: it went over --client-queue and has not read since
};

struct Relay::Backend {
    Backend(asio::io_context& io, const ZrPacketMeter::Options& meter)
        : socket(io), resolver(io), retry(io), meterOptions(meter) {}

    std::size_t queued() const { return queue.size() + writing.size(); }

    asio::ip::tcp::socket socket;
    asio::ip::tcp::resolver resolver;
    asio::steady_timer retry;
    ZrPacketMeter::Options meterOptions;
    std::unique_ptr<ZrStreamSplitter> splitter;  // new for each connection
    std::vector<unsigned char> readBuffer = std::vector<unsigned char>(kReadChunk);
    std::vector<char> queue, writing;  // packets queued; packets being written
    bool writeOutstanding = false;
    bool connected = false;
    std::uint64_t generation = 0;  // handlers of an earlier connection do nothing
    std::uint64_t lastSeq = 0;     // of the last packet queued
    std::uint64_t writtenSeq = 0;  // packets up to this one have been handed to a connection
    std::chrono::milliseconds backoff{0};
};

}  // namespace zrrelay

#endif  // ZRRELAY_RELAY_PARTS_H
