// zrrelay: many clients over one backend connection, packets routed by SN.
//   zrrelay --listen 127.0.0.1:7633 --backend 10.1.2.3:7633 [limits]
// Logs to standard error, each line with its UTC time; prints its counters
// there on SIGUSR1 and at exit, and serves them over HTTP with --metrics.
// SIGINT or SIGTERM: stop accepting, let the packets in flight be answered,
// exit 0 (a second signal stops at once). Exit status 1: the listening
// address cannot be bound; 2: a wrong command line.
#include <CLI/CLI.hpp>
#include <iostream>
#include <string>
#include <thread>

#include "relay.h"

namespace {

constexpr int kFailed = 1;
constexpr int kUsage = 2;

const char* const kFooter = R"(
Every client's packets go over one backend connection (one per thread), each
stamped with the relay's own SN; the backend's replies are routed back by
that SN, with the client's SN restored. Each packet must get exactly one reply carrying its
SN. Bodies are never decoded.

At the limits: a client with --client-in-flight packets unanswered, or with
--client-queue bytes of replies unsent, is not read until that clears; one
that leaves its replies over --client-queue for --client-grace, or lets them
reach --client-queue-hard, is closed. With --backend-queue bytes unsent to the
backend no client is read, and the clients paused for it resume in turn. A
client that has ended its stream no longer counts against --max-clients or
--max-clients-per-address. A client that sends no whole packet within
--client-first of connecting, or with nothing in flight sends no packet for
--client-idle, is closed.

When the backend goes, the clients with packets written to it are closed
once the replies they have are sent, and the relay reconnects, waiting
--backoff-min, doubling up to --backoff-max; packets not yet written wait
for the new connection. A packet unanswered for --reply-timeout is given
up: its client is sent the replies it is owed, then closed (a late reply is
dropped); a packet not yet sent to the backend by then is never sent. Bytes from a
client that are not a packet (or a packet over --max-packet) are handled the
same way: nothing more is taken from it, it is sent the replies to the
packets before them, then closed.

With --threads N, N relays take the connections of the one listening
socket, each with its own backend connection; --max-clients applies to
each. --metrics serves the summed counters at http://HOST:PORT/metrics in
the Prometheus text format, and /health: 200 while a backend connection is
up, 503 otherwise. With --accept-proxy every connection starts with a PROXY
header (v1 or v2, as HAProxy's send-proxy-v2 sends), whose address stands
for the client's in the logs and --max-clients-per-address. Each client's
session ends with one line at info: its address, duration, packets and
bytes each way, and why it ended.

Example:
  zrrelay --listen 0.0.0.0:7633 --backend 10.1.2.3:7633 --log-level warn
  kill -USR1 $(pidof zrrelay)    # counters on standard error
  zrrelay --listen 0.0.0.0:7633 --backend 10.1.2.3:7633 --metrics 127.0.0.1:9633
  curl -s http://127.0.0.1:9633/metrics
  zrrelay --listen 0.0.0.0:7633 --backend 10.1.2.3:7633 --accept-proxy --max-clients-per-address 16
)";

zrrelay::LogLevel levelOf(const std::string& name) {
    if (name == "error") return zrrelay::LogLevel::Error;
    if (name == "warn") return zrrelay::LogLevel::Warn;
    if (name == "debug") return zrrelay::LogLevel::Debug;
    return zrrelay::LogLevel::Info;
}

// CLI11 validator of HOST:PORT.
const CLI::Validator kHostPort(
    [](std::string& value) {
        zrrelay::HostPort parsed;
        return zrrelay::parseHostPort(value, parsed) ? std::string()
                                                     : "expected HOST:PORT ([ADDRESS]:PORT for IPv6), got " + value;
    },
    "");

}  // namespace

int main(int argc, char** argv) {
    zrrelay::Options options;
    zrrelay::Limits& limits = options.limits;
    std::string listen, backend, metrics, level = "info", format = "text";
    options.threads = std::max(1u, std::thread::hardware_concurrency());
    long long graceMs = limits.clientGrace.count(), backoffMinMs = limits.backoffMin.count(),
              backoffMaxMs = limits.backoffMax.count(), drainMs = limits.drainTimeout.count(),
              replyTimeoutMs = limits.replyTimeout.count(), idleMs = limits.clientIdle.count(),
              firstMs = limits.clientFirst.count();

    CLI::App app{"zrrelay: a TCP relay of zrpacket packets, many clients over one backend connection"};
    app.add_option("--listen", listen, "Address to accept clients on (port 0: any free port, logged)")
        ->required()
        ->type_name("HOST:PORT")
        ->check(kHostPort);
    app.add_option("--backend", backend, "The backend's address")->required()->type_name("HOST:PORT")->check(kHostPort);
    // A limit: a number with its unit, its default shown in --help.
    auto limit = [&app](const char* name, auto& value, const char* help, const char* unit) {
        return app.add_option(name, value, help)->type_name(unit)->capture_default_str();
    };
    limit("--max-packet", limits.maxPacketLength, "Longest packet taken", "BYTES")
        ->check(CLI::Range(std::size_t{PKT_ENVELOPE_MIN_LEN}, std::size_t{1} << 30));
    limit("--client-in-flight", limits.clientInFlight, "Packets of one client awaiting replies", "N")
        ->check(CLI::PositiveNumber);
    limit("--client-queue", limits.clientQueueBytes, "Replies unsent to one client before it pauses", "BYTES")
        ->check(CLI::PositiveNumber);
    limit("--client-queue-hard", limits.clientQueueHardBytes, "Replies unsent to one client at which it is closed",
          "BYTES")
        ->check(CLI::PositiveNumber);
    limit("--client-grace", graceMs, "How long a client may stay over --client-queue", "MS")
        ->check(CLI::PositiveNumber);
    limit("--client-idle", idleMs, "How long a client with nothing in flight may send no packet", "MS")
        ->check(CLI::PositiveNumber);
    limit("--client-first", firstMs, "How long a new connection may take to send a whole packet", "MS")
        ->check(CLI::PositiveNumber);
    limit("--backend-queue", limits.backendQueueBytes, "Bytes unsent to the backend before clients pause", "BYTES")
        ->check(CLI::PositiveNumber);
    limit("--max-clients", limits.maxClients, "Clients at once, per thread; more are closed on connecting", "N")
        ->check(CLI::PositiveNumber);
    limit("--max-clients-per-address", limits.maxClientsPerAddress,
          "Clients at once from one address, over every thread (0: no limit)", "N");
    limit("--backoff-min", backoffMinMs, "Wait before the first reconnect to the backend", "MS")
        ->check(CLI::PositiveNumber);
    limit("--backoff-max", backoffMaxMs, "Longest wait between reconnects", "MS")->check(CLI::PositiveNumber);
    limit("--reply-timeout", replyTimeoutMs, "How long a packet may wait for its reply", "MS")
        ->check(CLI::PositiveNumber);
    limit("--drain-timeout", drainMs, "How long to wait for replies after SIGINT or SIGTERM", "MS")
        ->check(CLI::NonNegativeNumber);
    limit("--threads", options.threads,
          "Relays, each on its own thread with its own backend connection (default: the cores)", "N")
        ->check(CLI::Range(1u, 1024u));
    app.add_option("--metrics", metrics,
                   "Serve the counters over HTTP here (GET /metrics, Prometheus text; GET /health, 200 while the "
                   "backend is up)")
        ->type_name("HOST:PORT")
        ->check(kHostPort);
    app.add_flag("--accept-proxy", options.acceptProxy,
                 "Every connection starts with a PROXY header (v1 or v2); its address is the client's");
    app.add_option("--log-format", format, "Log lines as text (logfmt fields) or JSON objects")
        ->type_name("FORMAT")
        ->capture_default_str()
        ->check(CLI::IsMember({"text", "json"}));
    app.add_option("--log-level", level, "What to log on standard error")
        ->type_name("LEVEL")
        ->capture_default_str()
        ->check(CLI::IsMember({"error", "warn", "info", "debug"}));
    app.footer(kFooter);
    app.set_version_flag("--version", std::string("zrrelay ") + ZRPACKET_VERSION, "Print the version and exit");

    try {
        app.parse(argc, argv);
        if (limits.clientQueueHardBytes < limits.clientQueueBytes ||
            limits.clientQueueHardBytes < limits.maxPacketLength) {
            throw CLI::ValidationError("--client-queue-hard", "must be at least --client-queue and --max-packet");
        }
        if (backoffMaxMs < backoffMinMs) throw CLI::ValidationError("--backoff-max", "must be at least --backoff-min");
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0) return app.exit(e);  // --help, --version
        std::cerr << "zrrelay: " << e.what() << " (see zrrelay --help)\n";
        return kUsage;
    }
    zrrelay::parseHostPort(listen, options.listen);
    zrrelay::parseHostPort(backend, options.backend);
    if (!metrics.empty()) zrrelay::parseHostPort(metrics, options.metrics);
    limits.clientGrace = std::chrono::milliseconds(graceMs);
    limits.backoffMin = std::chrono::milliseconds(backoffMinMs);
    limits.backoffMax = std::chrono::milliseconds(backoffMaxMs);
    limits.drainTimeout = std::chrono::milliseconds(drainMs);
    limits.replyTimeout = std::chrono::milliseconds(replyTimeoutMs);
    limits.clientIdle = std::chrono::milliseconds(idleMs);
    limits.clientFirst = std::chrono::milliseconds(firstMs);
    options.logLevel = levelOf(level);
    options.logFormat = format == "json" ? zrrelay::LogFormat::Json : zrrelay::LogFormat::Text;

    zrrelay::RelayGroup relays(options);
    try {
        relays.start();
    } catch (const std::exception& e) {
        std::cerr << "zrrelay: error: cannot listen on " << options.listen.text()
                  << (options.metrics.host.empty() ? "" : " or " + options.metrics.text()) << ": " << e.what() << '\n';
        return kFailed;
    }
    relays.run();
    return 0;
}
