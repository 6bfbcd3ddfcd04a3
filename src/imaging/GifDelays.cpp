#include "imaging/GifDelays.h"

#include <cstring>

namespace velloq::GifDelays {

std::vector<int> statedDelays(const uint8_t* data, size_t size) {
    std::vector<int> delays;
    // Header (6) + logical screen descriptor (7), then the global colour table.
    if (size < 13 || std::memcmp(data, "GIF", 3) != 0) {
        return delays;
    }
    size_t at = 13;
    if (data[10] & 0x80) {
        at += 3u * (2u << (data[10] & 0x07));
    }
    const auto skipSubBlocks = [&]() {
        while (at < size) {
            const size_t length = data[at];
            at += 1 + length;
            if (length == 0) {
                return true;
            }
        }
        return false;
    };
    int pending = -1; // the delay of the control block that precedes the next image
    while (at < size) {
        const uint8_t introducer = data[at++];
        if (introducer == 0x3B) {
            break; // trailer
        }
        if (introducer == 0x21) {
            if (at >= size) {
                break;
            }
            const uint8_t label = data[at++];
            if (label == 0xF9 && at + 5 <= size && data[at] >= 4) {
                pending = 10 * (data[at + 2] | (data[at + 3] << 8));
            }
            if (!skipSubBlocks()) {
                break;
            }
            continue;
        }
        if (introducer != 0x2C || at + 9 > size) {
            break; // not a block this format has: stop where the data stops making sense
        }
        const uint8_t packed = data[at + 8];
        at += 9;
        if (packed & 0x80) {
            at += 3u * (2u << (packed & 0x07));
        }
        at += 1; // LZW minimum code size
        if (at > size || !skipSubBlocks()) {
            delays.push_back(pending);
            break;
        }
        delays.push_back(pending);
        pending = -1;
    }
    return delays;
}

} // namespace velloq::GifDelays
