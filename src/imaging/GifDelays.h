#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace velloq::GifDelays {

// The delay each image of a GIF states in its graphic control block, in milliseconds, or -1
// for an image without one; in file order, as far as the data is well formed. Reads only
// inside `data`; meant for untrusted files.
std::vector<int> statedDelays(const uint8_t* data, size_t size);

} // namespace velloq::GifDelays
