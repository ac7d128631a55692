// The relays of every thread: each its own io_context, listening socket and
// backend connection; the signals and the metrics on the calling thread. A
// relay's state is touched only by its thread: the counters are read by a
// handler posted to it.
#include <future>
#include <thread>

#include "relay_parts.h"

namespace zrrelay {

struct RelayGroup::Thread {
    explicit Thread(const Options& options) : relay(io, options) {}

    asio::io_context io;
    Relay relay;
    std::thread thread;
    std::atomic<bool> done{false};  // its io_context has stopped: its counters may be read from here
};

RelayGroup::RelayGroup(const Options& options)
    : m_options(options), m_stop(m_io, SIGINT, SIGTERM), m_usr1(m_io, SIGUSR1) {
    for (unsigned i = 0; i < std::max(1u, options.threads); ++i) {
        Options mine = options;
        mine.thread = i;
        m_threads.push_back(std::make_unique<Thread>(mine));
    }
}

RelayGroup::~RelayGroup() {
    for (const auto& t : m_threads) {
        if (t->thread.joinable()) {
            t->io.stop();
            t->thread.join();
        }
    }
}

void RelayGroup::start() {
    // The first relay takes the port (the system's choice for port 0); the
    // others listen on the same one.
    m_threads.front()->relay.start();
    for (std::size_t i = 1; i < m_threads.size(); ++i) {
        m_threads[i]->relay.setListenPort(m_threads.front()->relay.listeningPort());
        m_threads[i]->relay.start();
    }
    if (!m_options.metrics.host.empty()) {
        m_metrics = std::make_unique<MetricsServer>(m_io, [this] { return prometheusText(counters()); });
        m_metrics->start(m_options.metrics);
    }
    waitForSignals();
    waitForUsr1();
}

void RelayGroup::run() {
    auto left = std::make_shared<std::atomic<std::size_t>>(m_threads.size());
    for (const auto& t : m_threads) {
        Thread* mine = t.get();
        mine->thread = std::thread([this, mine, left] {
            mine->io.run();
            mine->done = true;
            if (--*left == 0) asio::post(m_io, [this] { m_io.stop(); });
        });
    }
    m_io.run();
    for (const auto& t : m_threads) t->thread.join();
    writeLog(counters().line());
}

void RelayGroup::waitForSignals() {
    m_stop.async_wait([this](const asio::error_code& error, int signal) {
        if (error) return;
        writeLog(text("info: ", signal == SIGINT ? "SIGINT" : "SIGTERM", " received"));
        for (const auto& t : m_threads) {
            Relay* relay = &t->relay;
            asio::post(t->io, [relay] { relay->drain(); });
        }
        waitForSignals();
    });
}

void RelayGroup::waitForUsr1() {
    m_usr1.async_wait([this](const asio::error_code& error, int) {
        if (error) return;
        writeLog(counters().line());
        waitForUsr1();
    });
}

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
