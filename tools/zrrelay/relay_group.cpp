// The relays of every thread, each its own io_context and backend
// connection; on the calling thread the one listening socket, the signals
// and the metrics. A relay's state is touched only by its thread: a
// connection is handed to it by a posted handler, its counters read by one.
//
// One listening socket, not one per thread on a shared port: a port shared
// with SO_REUSEPORT can be joined by any other process of the same user
// (a second relay started by mistake would silently take a share of the
// clients), and the kernel spreads connections by a hash of their
// addresses, blind to a thread whose backend is down. Here each connection
// goes to a relay whose backend is up, the one with the fewest clients.
#include <future>
#include <thread>

#include "metrics_server.h"
#include "relay_core.h"
#include "relay_parts.h"

namespace zrrelay {

struct GroupIo {
    GroupIo() : stop(io, SIGINT, SIGTERM), usr1(io, SIGUSR1) {}

    asio::io_context io;
    std::unique_ptr<zrnet::Listener> listener;
    asio::signal_set stop;
    asio::signal_set usr1;
    bool stopping = false;
};

struct RelayGroup::Thread {
    Thread(const Options& options, int number, std::shared_ptr<zrnet::AddressPlaces> places)
        : relay(io, options, number, std::move(places)) {}

    asio::io_context io;
    Relay relay;
    std::thread thread;
    std::atomic<bool> done{false};  // its io_context has stopped: its counters may be read from here
};

RelayGroup::RelayGroup(const Options& options)
    : m_options(options),
      m_log(options.logLevel, options.logFormat),
      m_places(std::make_shared<zrnet::AddressPlaces>(options.limits.maxClientsPerAddress)) {
    const unsigned threads = std::max(1u, options.threads);
    for (unsigned i = 0; i < threads; ++i) {
        m_threads.push_back(std::make_unique<Thread>(m_options, threads > 1 ? static_cast<int>(i) : -1, m_places));
    }
    m_io = std::make_unique<GroupIo>();
}

RelayGroup::~RelayGroup() {
    for (const auto& t : m_threads) {
        if (t->thread.joinable()) {
            t->io.stop();
            t->thread.join();
        }
    }
    m_metrics.reset();
    m_io.reset();  // an accept its listener still holds names a relay's io_context
}

void RelayGroup::start() {
    m_io->listener = std::make_unique<zrnet::Listener>(m_io->io, m_options.listen.host, m_options.listen.port);
    m_log.line(LogLevel::Info, text("listening on ", zrnet::endpointText(m_io->listener->localEndpoint()),
                                    ", backend ", m_options.backend.text()));
    if (!m_options.metrics.host.empty()) {
        m_metrics = std::make_unique<MetricsServer>(
            m_io->io, m_log, [this] { return prometheusText(counters()); }, [this] { return healthy(); });
        m_metrics->start(m_options.metrics);
    }
    for (const auto& t : m_threads) t->relay.start();
    accept();
    waitForSignals();
    waitForUsr1();
}

// The relay the next connection goes to: one whose backend is up, with the
// fewest clients, taking turns among equals.
RelayGroup::Thread& RelayGroup::nextThread() {
    Thread* best = nullptr;
    std::size_t bestLoad = 0;
    bool bestUp = false;
    for (std::size_t i = 0; i < m_threads.size(); ++i) {
        Thread& t = *m_threads[(m_turn + i) % m_threads.size()];
        const bool up = t.relay.backendUp();
        const std::size_t load = t.relay.clientCount();
        if (best == nullptr || (up && !bestUp) || (up == bestUp && load < bestLoad)) {
            best = &t;
            bestLoad = load;
            bestUp = up;
        }
    }
    m_turn = (m_turn + 1) % m_threads.size();
    return *best;
}

void RelayGroup::accept() {
    m_io->listener->start([this]() -> zrnet::Server& { return nextThread().relay.server(); },
                          [this](const std::error_code& error) {
                              m_log.line(LogLevel::Warn, text("accept failed: ", error.message()));
                          });
}

bool RelayGroup::healthy() const {
    for (const auto& t : m_threads) {
        if (t->relay.backendUp()) return true;
    }
    return false;
}

void RelayGroup::run() {
    auto left = std::make_shared<std::atomic<std::size_t>>(m_threads.size());
    for (const auto& t : m_threads) {
        Thread* mine = t.get();
        mine->thread = std::thread([this, mine, left] {
            mine->io.run();
            mine->done = true;
            if (--*left == 0) asio::post(m_io->io, [this] { m_io->io.stop(); });
        });
    }
    m_io->io.run();
    for (const auto& t : m_threads) t->thread.join();
    logCounters();
}

void RelayGroup::waitForSignals() {
    m_io->stop.async_wait([this](const asio::error_code& error, int signal) {
        if (error) return;
        m_log.line(LogLevel::Info, text(signal == SIGINT ? "SIGINT" : "SIGTERM", " received"));
        if (!m_io->stopping) {  // no more clients
            m_io->stopping = true;
            m_io->listener->close();
        }
        for (const auto& t : m_threads) {
            Relay* relay = &t->relay;
            asio::post(t->io, [relay] { relay->drain(); });
        }
        waitForSignals();
    });
}

void RelayGroup::waitForUsr1() {
    m_io->usr1.async_wait([this](const asio::error_code& error, int) {
        if (error) return;
        logCounters();
        waitForUsr1();
    });
}

// "counters: name=value ...", whatever the log level.
void RelayGroup::logCounters() { m_log.event(LogLevel::Info, "counters", counters().fields(), true); }

// The sum over the relays, each read on its own thread (or here, once it has
// stopped).
Counters RelayGroup::counters() {
    Counters total;
    for (const auto& t : m_threads) {
        if (t->done) {
            total += t->relay.counters();
            continue;
        }
        auto promise = std::make_shared<std::promise<Counters>>();
        std::future<Counters> future = promise->get_future();
        Relay* relay = &t->relay;
        asio::post(t->io, [relay, promise] { promise->set_value(relay->counters()); });
        if (future.wait_for(std::chrono::seconds(2)) == std::future_status::ready) {
            total += future.get();
        } else if (t->done) {
            total += t->relay.counters();
        }
    }
    return total;
}

}  // namespace zrrelay
