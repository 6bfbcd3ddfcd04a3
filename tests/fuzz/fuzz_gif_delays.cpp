// The GIF delay scan reads untrusted files: it must stay inside the data whatever it holds.
#include "imaging/GifDelays.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto delays = velloq::GifDelays::statedDelays(data, size);
    for (const int delay : delays) {
        if (delay < -1) {
            __builtin_trap();
        }
    }
    return 0;
}
