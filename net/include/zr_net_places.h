// Connections per address (ServerOptions::maxClientsPerAddress), counted on
// the client's real address (the PROXY header's, when there is one), and
// shared by the servers of several threads when they are given one object.
// A place is held by an object that gives it back when it goes.
#ifndef ZRPACKET_ZR_NET_PLACES_H
#define ZRPACKET_ZR_NET_PLACES_H

#include <asio/ip/address.hpp>
#include <cstddef>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

namespace zrnet {

class AddressPlaces {
public:
    // 0: no limit (a place is always given, and nothing is counted).
    explicit AddressPlaces(std::size_t limit) : m_limit(limit) {}
    std::size_t limit() const { return m_limit; }
    AddressPlaces(const AddressPlaces&) = delete;
    AddressPlaces& operator=(const AddressPlaces&) = delete;

    class Place {
    public:
        Place(Place&& other) noexcept : m_owner(other.m_owner), m_address(std::move(other.m_address)) {
            other.m_owner = nullptr;
        }
        Place& operator=(Place&& other) noexcept {
            if (this != &other) {
                give();
                m_owner = other.m_owner;
                m_address = std::move(other.m_address);
                other.m_owner = nullptr;
            }
            return *this;
        }
        ~Place() { give(); }

    private:
        friend class AddressPlaces;
        Place(AddressPlaces* owner, std::string address) : m_owner(owner), m_address(std::move(address)) {}
        void give() {
            if (m_owner != nullptr) m_owner->give(m_address);
            m_owner = nullptr;
        }

        AddressPlaces* m_owner;
        std::string m_address;
    };

    // A place for the address, or none when it holds `limit` already.
    std::optional<Place> take(const asio::ip::address& address) {
        if (m_limit == 0) return Place(nullptr, std::string());
        // An IPv4 client of a dual-stack socket counts as its IPv4 address.
        const bool mapped = address.is_v6() && address.to_v6().is_v4_mapped();
        std::string key =
            mapped ? asio::ip::make_address_v4(asio::ip::v4_mapped, address.to_v6()).to_string() : address.to_string();
        std::lock_guard<std::mutex> lock(m_mutex);
        std::size_t& held = m_held[key];
        if (held >= m_limit) return std::nullopt;
        ++held;
        return Place(this, std::move(key));
    }

private:
    void give(const std::string& address) {
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto it = m_held.find(address);
        if (it != m_held.end() && --it->second == 0) m_held.erase(it);
    }

    std::size_t m_limit;
    std::mutex m_mutex;
    std::unordered_map<std::string, std::size_t> m_held;
};

}  // namespace zrnet

#endif  // ZRPACKET_ZR_NET_PLACES_H
