// The counters over HTTP/1.x (--metrics), on the listening thread's
// io_context: GET /metrics, their Prometheus text; GET /health, 200 while a
// backend connection is up and 503 otherwise, for a load balancer's check.
// One request per connection.
#ifndef ZRRELAY_METRICS_SERVER_H
#define ZRRELAY_METRICS_SERVER_H

#include <asio.hpp>
#include <functional>
#include <memory>
#include <string>

#include "host_port.h"
#include "relay_log.h"

namespace zrrelay {

class MetricsServer {
public:
    MetricsServer(asio::io_context& io, const Logger& log, std::function<std::string()> metrics,
                  std::function<bool()> healthy);
    // Binds (throws asio::system_error), logs the address, starts accepting.
    void start(const HostPort& address);

private:
    struct Session;
    void accept();
    void answer(const std::shared_ptr<Session>& session);

    asio::io_context& m_io;
    const Logger& m_log;
    asio::ip::tcp::acceptor m_acceptor;
    asio::steady_timer m_acceptRetry;
    std::function<std::string()> m_metrics;
    std::function<bool()> m_healthy;
};

}  // namespace zrrelay

#endif  // ZRRELAY_METRICS_SERVER_H
