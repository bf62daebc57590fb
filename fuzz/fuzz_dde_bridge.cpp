// Fuzz target of the DDE bridge's frames: the input read as the bytes a
// connection receives, frame after frame until one is bad or more is needed.
// Every frame read stays within its limits and reads back the same when
// written again.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/dde_bridge.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const char* p = reinterpret_cast<const char*>(data);
    std::size_t at = 0;
    while (at < size) {
        dde_wire::frame f;
        std::size_t used = 0;
        std::string why;
        const auto r = dde_wire::decode(p + at, size - at, &f, &used, &why);
        if (r != dde_wire::parsed::ok) {
            if (r == dde_wire::parsed::bad && why.empty()) __builtin_trap();
            break;
        }
        if (used == 0 || used > size - at || f.name1.size() > dde_wire::max_name ||
            f.name2.size() > dde_wire::max_name || f.data.size() > dde_wire::max_data)
            __builtin_trap();
        // Names hold no zero (it ends them), so writing the frame again gives its bytes.
        const std::string again = dde_wire::encode(f);
        if (again.size() != used || again.compare(0, used, p + at, used) != 0) __builtin_trap();
        at += used;
    }
    return 0;
}
