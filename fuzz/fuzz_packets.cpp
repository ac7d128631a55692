// libFuzzer harness over every decoder of the library and the JSON and hex
// readers of the inspector. The input layout and the properties checked are
// in packet_checks.h; a broken property aborts with its description.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "packet_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string broken = zrfuzz::checkInput(data, size);
    if (!broken.empty()) {
        std::fprintf(stderr, "property violated: %s\n", broken.c_str());
        std::abort();
    }
    return 0;
}
