// What the relay's tests and benchmark share: packets of mixed classes, a
// load of client connections that checks every reply byte for byte, and
// child processes (the relay, the echo backend) started on loopback ports.
#ifndef ZRPACKET_TESTS_RELAY_RELAY_KIT_H
#define ZRPACKET_TESTS_RELAY_RELAY_KIT_H

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace relaykit {

// `count` packets of classes drawn from the whole catalogue (plain and
// enciphered, the keep-alive among them), each with its fields filled from
// a value set drawn at random (extreme, zero, boundary or large values:
// texts of up to 300 bytes, NUL and 0xFF among them), SNs firstSN,
// firstSN + 1, ...; the same seed gives the same packets.
std::vector<std::vector<char>> makePackets(std::uint32_t seed, std::size_t count, std::uint32_t firstSN = 1);

struct LoadOptions {
    std::string host = "127.0.0.1";
    std::uint16_t port = 0;
    std::string source;  // the address the connections come from; empty: the system's choice
    std::size_t clients = 50;
    std::size_t packets = 2000;  // per client
    std::uint32_t seed = 1;
    std::size_t maxChunk = 700;   // each write is 1 to maxChunk bytes, cut anywhere
    unsigned pausePerMille = 20;  // writes followed by a pause of about a millisecond
    std::chrono::seconds deadline{60};
    // Replies checked so far, over all connections, for a test that acts in
    // the middle of a run.
    std::atomic<std::uint64_t>* answered = nullptr;
};

struct LoadResult {
    std::uint64_t sent = 0;       // packets written whole
    std::uint64_t answered = 0;   // replies received, each equal to its packet
    std::uint64_t lost = 0;       // sent without a reply before the connection ended
    std::size_t closedEarly = 0;  // connections the relay closed before every reply came
    std::size_t wrong = 0;        // connections whose replies differed from what they sent
    bool timedOut = false;
    double seconds = 0;
    std::string firstError;  // the first wrong reply or connection failure, for the log

    bool allAnswered() const { return wrong == 0 && !timedOut && lost == 0 && closedEarly == 0; }
    std::string summary() const;
};

// Opens the connections, sends each its packets in cuts of random length
// (reading replies all along), and checks that each connection's replies
// are its packets, in order. Runs on the calling thread.
LoadResult runLoad(const LoadOptions& options);

// A child process whose standard error (and output) goes to a file; killed
// with SIGKILL when the object goes, or when this process dies.
class Child {
public:
    Child(const std::vector<std::string>& argv, const std::string& logFile);
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    pid_t pid() const { return m_pid; }
    void signal(int sig) const;
    // The exit status, or -1 for a death by signal or a timeout (then killed).
    int wait(std::chrono::milliseconds timeout);
    bool running();
    const std::string& logFile() const { return m_log; }
    std::string log() const;
    // Waits for a line of the log holding `text` and returns it ("" on timeout).
    std::string waitForLine(const std::string& text, std::chrono::milliseconds timeout) const;

private:
    pid_t m_pid = -1;
    bool m_reaped = false;
    std::string m_log;
};

// HAProxy in TCP mode on a 127.0.0.1 port the system chose (a socket bound
// here and handed over, fd@), balancing round robin over servers on
// 127.0.0.1, each checked every 100 ms: by a connection, or by GET /health on
// its health port (as the README's configuration checks zrrelay), taken out
// at the first failure. nbthread 0: its default (one per core). Returns
// once it accepts connections.
struct Haproxy {
    std::unique_ptr<Child> child;
    std::uint16_t port = 0;
};
struct HaproxyServer {
    std::uint16_t port;
    std::uint16_t healthPort = 0;  // 0: checked by a connection to `port`
};
struct HaproxyOptions {
    unsigned nbthread = 1;
    bool sendProxy = false;  // send-proxy-v2: a PROXY header before each connection's bytes
};
Haproxy startHaproxy(const std::string& bin, const std::vector<HaproxyServer>& servers, const HaproxyOptions& options,
                     const std::string& logFile);

// The port a server logged as "listening on HOST:PORT" (0 when it did not).
std::uint16_t listeningPort(const Child& server, std::chrono::milliseconds timeout = std::chrono::seconds(10));

// The relay's last "counters: name=value ..." line, by name.
std::map<std::string, std::uint64_t> lastCounters(const std::string& log);

}  // namespace relaykit

#endif  // ZRPACKET_TESTS_RELAY_RELAY_KIT_H
