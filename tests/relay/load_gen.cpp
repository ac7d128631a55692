// zrrelay_load: client connections that send packets of mixed classes,
// plain and enciphered, cut at random points, and check every reply byte
// for byte against what they sent, in order (behind the relay, an echo
// backend answers each packet with itself).
//   zrrelay_load --connect HOST:PORT [--clients 50] [--packets 2000] [--seed 1]
//                [--max-chunk 700] [--deadline 60] [--allow-loss]
// Prints one summary line; exit status 0 when every packet was answered
// correctly (with --allow-loss: when no reply was wrong), 1 otherwise.
#include <CLI/CLI.hpp>
#include <iostream>

#include "host_port.h"
#include "relay_kit.h"

int main(int argc, char** argv) {
    relaykit::LoadOptions options;
    std::string connect;
    long long deadline = options.deadline.count();
    bool allowLoss = false;
    CLI::App app{"zrrelay_load: a load of checked client connections"};
    app.add_option("--connect", connect, "The relay (or the backend itself)")->required()->type_name("HOST:PORT");
    app.add_option("--clients", options.clients, "Connections")->capture_default_str();
    app.add_option("--packets", options.packets, "Packets per connection")->capture_default_str();
    app.add_option("--seed", options.seed, "Seed of the packets and of the cuts")->capture_default_str();
    app.add_option("--max-chunk", options.maxChunk, "Longest write, in bytes")->capture_default_str();
    app.add_option("--deadline", deadline, "Seconds before the load gives up")->capture_default_str();
    app.add_flag("--allow-loss", allowLoss, "Packets left unanswered by a closed connection are no failure");
    CLI11_PARSE(app, argc, argv);
    zrrelay::HostPort target;
    if (!zrrelay::parseHostPort(connect, target)) {
        std::cerr << "zrrelay_load: --connect: expected HOST:PORT, got " << connect << '\n';
        return 2;
    }
    options.host = target.host;
    options.port = target.port;
    options.deadline = std::chrono::seconds(deadline);

    const relaykit::LoadResult result = relaykit::runLoad(options);
    std::cout << "zrrelay_load: " << options.clients << " clients x " << options.packets
              << " packets: " << result.summary() << '\n';
    if (!result.firstError.empty()) std::cout << "zrrelay_load: first failure: " << result.firstError << '\n';
    const bool ok = allowLoss ? result.wrong == 0 && !result.timedOut : result.allAnswered();
    return ok ? 0 : 1;
}
