#include "zr_net_error.h"

#include <string>

namespace zrnet {
namespace {

class Category : public std::error_category {
public:
    const char* name() const noexcept override { return "zrnet"; }
    std::string message(int value) const override {
        switch (static_cast<Error>(value)) {
        case Error::Busy: return "too many requests in flight or bytes queued: wait for room";
        case Error::DuplicateSN: return "another request in flight has this SN";
        case Error::NotAPacket: return "the request's bytes are not a packet";
        case Error::EncodeFailed: return "the request did not encode";
        case Error::NotSent: return "not sent: its deadline passed before it could be written";
        case Error::TimedOut: return "no reply by its deadline";
        case Error::ConnectionLost: return "the connection went before its reply came: it may have run";
        case Error::BadReply: return "the reply did not decode";
        }
        return "unknown zrnet error " + std::to_string(value);
    }
};

}  // namespace

const std::error_category& errorCategory() noexcept {
    static const Category category;
    return category;
}

}  // namespace zrnet
