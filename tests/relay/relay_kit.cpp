#include "relay_kit.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <asio.hpp>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "field_tools.h"
#include "zr_catalogue.h"
#include "zr_encrypt.h"

namespace relaykit {

namespace {

std::vector<char> encoded(ZrAnyPacket& packet) {
    std::vector<char> wire(64 * 1024);
    if (packet.enCode(wire.data(), static_cast<unsigned int>(wire.size())) != 0) {
        throw std::runtime_error(std::string("cannot encode a ") + packet.packetClass().className + ": " +
                                 packet.head().getLastErrMsg());
    }
    wire.resize(packet.getPacketLength());
    return wire;
}

// One client connection of a load: its packets as one byte stream, written
// in random cuts, and the replies compared with that stream as they come.
struct Connection {
    Connection(asio::io_context& io, std::uint32_t seed) : socket(io), pause(io), rng(seed) {}

    std::size_t packetsWithin(std::size_t bytes) const {
        return static_cast<std::size_t>(std::upper_bound(ends.begin(), ends.end(), bytes) - ends.begin());
    }

    asio::ip::tcp::socket socket;
    asio::steady_timer pause;
    std::mt19937 rng;
    std::vector<char> stream;
    std::vector<std::size_t> ends;  // where each packet ends in the stream
    std::size_t written = 0;
    std::size_t received = 0;
    std::vector<char> buffer = std::vector<char>(64 * 1024);
    bool wrong = false;
    bool ended = false;  // the read side is done
};

class Load {
public:
    explicit Load(const LoadOptions& options) : m_options(options), m_deadline(m_io) {}

    LoadResult run() {
        // A pool of packets, each connection taking them in its own order
        // under its own SNs 1, 2, 3, ...
        const std::vector<std::vector<char>> pool =
            makePackets(m_options.seed, std::min<std::size_t>(m_options.packets, 512));
        const asio::ip::tcp::endpoint endpoint(asio::ip::make_address(m_options.host), m_options.port);
        const bool bound = !m_options.source.empty();
        for (std::size_t i = 0; i < m_options.clients; ++i) {
            auto c = std::make_unique<Connection>(m_io, m_options.seed * 7919u + static_cast<std::uint32_t>(i));
            for (std::size_t j = 0; j < m_options.packets; ++j) {
                const std::vector<char>& packet = pool[(i * 31 + j) % pool.size()];
                const std::size_t at = c->stream.size();
                c->stream.insert(c->stream.end(), packet.begin(), packet.end());
                ZrCPacketHead::fastSetSN(c->stream.data() + at, static_cast<unsigned int>(packet.size()),
                                         static_cast<unsigned int>(j + 1));
                c->ends.push_back(c->stream.size());
            }
            m_connections.push_back(std::move(c));
        }
        const auto start = std::chrono::steady_clock::now();
        m_open = m_connections.size();
        for (auto& c : m_connections) {
            Connection* conn = c.get();
            if (bound) {
                conn->socket.open(endpoint.protocol());
                conn->socket.bind(asio::ip::tcp::endpoint(asio::ip::make_address(m_options.source), 0));
            }
            conn->socket.async_connect(endpoint, [this, conn](const asio::error_code& error) {
                if (error) {
                    fail(*conn, "connect: " + error.message());
                    return;
                }
                conn->socket.set_option(asio::ip::tcp::no_delay(true));
                write(*conn);
                read(*conn);
            });
        }
        m_deadline.expires_after(m_options.deadline);
        m_deadline.async_wait([this](const asio::error_code& error) {
            if (error) return;
            m_result.timedOut = true;
            if (m_result.firstError.empty()) m_result.firstError = "the load did not end within its deadline";
            for (auto& c : m_connections) c->socket.close();
        });
        m_io.run();
        m_result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        for (const auto& c : m_connections) {
            const std::size_t sent = c->packetsWithin(c->written);
            const std::size_t answered = c->wrong ? 0 : c->packetsWithin(c->received);
            m_result.sent += sent;
            m_result.answered += answered;
            m_result.lost += sent - std::min(sent, answered);
            if (c->wrong) ++m_result.wrong;
            if (!c->wrong && c->received < c->stream.size()) ++m_result.closedEarly;
        }
        return m_result;
    }

private:
    void write(Connection& c) {
        if (c.written == c.stream.size()) {
            asio::error_code ignored;
            c.socket.shutdown(asio::ip::tcp::socket::shutdown_send, ignored);  // the relay sees our end
            return;
        }
        const std::size_t n = std::min<std::size_t>(c.stream.size() - c.written,
                                                    1 + c.rng() % std::max<std::size_t>(1, m_options.maxChunk));
        auto send = [this, &c, n] {
            asio::async_write(c.socket, asio::buffer(c.stream.data() + c.written, n),
                              [this, &c](const asio::error_code& error, std::size_t done) {
                                  c.written += done;
                                  if (!error) write(c);  // a failed write: the read side sees why
                              });
        };
        if (c.rng() % 1000 < m_options.pausePerMille) {
            c.pause.expires_after(std::chrono::microseconds(500 + c.rng() % 1000));
            c.pause.async_wait([send](const asio::error_code& error) {
                if (!error) send();
            });
        } else {
            send();
        }
    }

    void read(Connection& c) {
        c.socket.async_read_some(asio::buffer(c.buffer), [this, &c](const asio::error_code& error, std::size_t n) {
            if (error) {
                if (c.received < c.stream.size() && m_result.firstError.empty()) {
                    std::ostringstream why;
                    why << "a connection ended after " << c.packetsWithin(c.received) << " of "
                        << c.packetsWithin(c.written) << " replies: " << error.message();
                    m_result.firstError = why.str();
                }
                end(c);
                return;
            }
            if (c.received + n > c.stream.size() ||
                std::memcmp(c.buffer.data(), c.stream.data() + c.received, n) != 0) {
                std::size_t at = 0;
                while (c.received + at < c.stream.size() && c.buffer[at] == c.stream[c.received + at]) ++at;
                std::ostringstream why;
                why << "reply " << c.packetsWithin(c.received + at) + 1 << " differs from its packet at stream offset "
                    << c.received + at;
                fail(c, why.str());
                return;
            }
            const std::size_t before = c.packetsWithin(c.received);
            c.received += n;
            if (m_options.answered != nullptr) *m_options.answered += c.packetsWithin(c.received) - before;
            if (c.received == c.stream.size()) {
                end(c);
                return;
            }
            read(c);
        });
    }

    void fail(Connection& c, const std::string& why) {
        c.wrong = true;
        if (m_result.firstError.empty()) m_result.firstError = why;
        end(c);
    }

    void end(Connection& c) {
        if (c.ended) return;
        c.ended = true;
        asio::error_code ignored;
        c.socket.close(ignored);
        c.pause.cancel();
        if (--m_open == 0) m_deadline.cancel();
    }

    LoadOptions m_options;
    asio::io_context m_io;
    asio::steady_timer m_deadline;
    std::vector<std::unique_ptr<Connection>> m_connections;
    std::size_t m_open = 0;
    LoadResult m_result;
};

}  // namespace

std::vector<std::vector<char>> makePackets(std::uint32_t seed, std::size_t count, std::uint32_t firstSN) {
    std::mt19937 rng(seed);
    std::srand(seed);  // enCode draws the cipher variant with rand()
    const std::vector<ZrPacketClass>& rows = ZrCatalogue::classes();
    std::vector<std::unique_ptr<ZrAnyPacket>> objects(rows.size());
    std::vector<std::vector<char>> packets;
    packets.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t row = rng() % rows.size();
        if (!objects[row]) objects[row] = rows[row].create();
        ZrAnyPacket& packet = *objects[row];
        zrtest::FieldFiller filler(zrtest::kAllFills[rng() % 4]);
        packet.visitFields(filler);
        packet.head().setUserID(rng());
        packet.head().setSN(firstSN + static_cast<std::uint32_t>(i));
        packet.head().setContext1(rng());
        packets.push_back(encoded(packet));
    }
    return packets;
}

std::string LoadResult::summary() const {
    std::ostringstream out;
    out.setf(std::ios::fixed);
    out.precision(2);
    out << sent << " packets sent, " << answered << " answered, " << lost << " lost, " << closedEarly
        << " connections closed early, " << wrong << " with a wrong reply" << (timedOut ? ", timed out" : "") << "; "
        << seconds << " s, ";
    out.precision(0);
    out << (seconds > 0 ? static_cast<double>(answered) / seconds : 0.0) << " packets/s";
    return out.str();
}

LoadResult runLoad(const LoadOptions& options) { return Load(options).run(); }

// --- child processes ---------------------------------------------------------------

Child::Child(const std::vector<std::string>& argv, const std::string& logFile) : m_log(logFile) {
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    // The log starts empty before the child runs, so that nothing of an
    // earlier run's log is read as this one's.
    const int log = open(logFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND, 0644);
    if (log < 0) throw std::runtime_error("cannot write " + logFile);
    const pid_t parent = getpid();
    m_pid = fork();
    if (m_pid == 0) {
        // Dies with the test, whatever ends it.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) _exit(127);
        dup2(log, 1);
        dup2(log, 2);
        close(log);
        execv(args[0], args.data());
        _exit(127);
    }
    close(log);
    if (m_pid < 0) throw std::runtime_error("fork failed");
}

Child::~Child() {
    if (!m_reaped && m_pid > 0) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
    }
}

void Child::signal(int sig) const {
    if (!m_reaped) kill(m_pid, sig);
}

bool Child::running() {
    if (m_reaped) return false;
    if (waitpid(m_pid, nullptr, WNOHANG) == 0) return true;
    m_reaped = true;
    return false;
}

int Child::wait(std::chrono::milliseconds timeout) {
    if (m_reaped) return -1;
    const auto until = std::chrono::steady_clock::now() + timeout;
    int status = 0;
    for (;;) {
        const pid_t done = waitpid(m_pid, &status, WNOHANG);
        if (done == m_pid) break;
        if (std::chrono::steady_clock::now() >= until) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
            m_reaped = true;
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    m_reaped = true;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Child::log() const {
    std::ifstream in(m_log);
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
}

std::string Child::waitForLine(const std::string& text, std::chrono::milliseconds timeout) const {
    const auto until = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        std::istringstream lines(log());
        for (std::string line; std::getline(lines, line);) {
            if (line.find(text) != std::string::npos) return line;
        }
        if (std::chrono::steady_clock::now() >= until) return std::string();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

Haproxy startHaproxy(const std::string& bin, const std::vector<HaproxyServer>& servers, const HaproxyOptions& options,
                     const std::string& logFile) {
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        close(listener);
        throw std::runtime_error("cannot bind a port for haproxy");
    }
    std::ostringstream config;
    config << "global\n";
    if (options.nbthread > 0) config << "    nbthread " << options.nbthread << "\n";
    config << "defaults\n    mode tcp\n    timeout connect 1s\n    timeout client 60s\n    timeout server 60s\n"
           << "    timeout check 1s\n    option redispatch\n    retries 3\n"
           << "frontend relays\n    bind fd@" << listener << "\n    default_backend zrrelay\n"
           << "backend zrrelay\n    balance roundrobin\n";
    const bool http = std::any_of(servers.begin(), servers.end(), [](const HaproxyServer& s) { return s.healthPort; });
    if (http) config << "    option httpchk\n    http-check send meth GET uri /health\n";
    for (std::size_t i = 0; i < servers.size(); ++i) {
        config << "    server relay" << i + 1 << " 127.0.0.1:" << servers[i].port << " check inter 100ms fall 1 rise 1";
        if (servers[i].healthPort != 0) config << " port " << servers[i].healthPort;
        if (options.sendProxy) config << " send-proxy-v2";
        config << "\n";
    }
    const std::string configFile = logFile + ".cfg";
    std::ofstream(configFile) << config.str();
    Haproxy out;
    out.child = std::make_unique<Child>(std::vector<std::string>{bin, "-db", "-f", configFile}, logFile);
    close(listener);
    out.port = ntohs(address.sin_port);
    // Until it listens: before, a connection to the bound socket is refused.
    for (int i = 0; i < 500; ++i) {
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        const bool up = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        close(fd);
        if (up) return out;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    throw std::runtime_error("haproxy did not start: " + out.child->log());
}

std::uint16_t listeningPort(const Child& server, std::chrono::milliseconds timeout) {
    const std::string line = server.waitForLine("listening on ", timeout);
    const std::size_t at = line.find("listening on ");
    if (at == std::string::npos) return 0;
    const std::string address = line.substr(at + 13, line.find_first_of(", ", at + 13) - (at + 13));
    return static_cast<std::uint16_t>(std::stoul(address.substr(address.rfind(':') + 1)));
}

std::map<std::string, std::uint64_t> lastCounters(const std::string& log) {
    std::map<std::string, std::uint64_t> counters;
    const std::size_t at = log.rfind("counters: ");
    if (at == std::string::npos) return counters;
    std::istringstream fields(log.substr(at + 10, log.find('\n', at) - (at + 10)));
    for (std::string field; fields >> field;) {
        const std::size_t eq = field.find('=');
        if (eq != std::string::npos) counters[field.substr(0, eq)] = std::stoull(field.substr(eq + 1));
    }
    return counters;
}

}  // namespace relaykit
