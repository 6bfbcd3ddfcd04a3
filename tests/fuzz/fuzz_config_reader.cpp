#include "config/DockConfig.h"

#include <cstddef>
#include <cstdint>

// The whole input is a config file. Whatever the reader accepts must keep the list minimums
// (on every page), encode, and read back to an equal record with the same bytes.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray text(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const auto config = velloq::DockConfig::decode(text);
    if (!config)
        return 0;
    if (config->keys.size() < 9 || config->customIcons.size() < 9 || config->knobs.size() < 3)
        __builtin_trap();
    // Every page keeps the minimums too, has an id of its own and is never home.
    for (qsizetype i = 0; i < config->pages.size(); ++i) {
        const velloq::Page& page = config->pages[i];
        if (page.keys.size() < 9 || page.customIcons.size() < 9 || page.id.isNull() ||
            config->page(page.id) != &page)
            __builtin_trap();
    }
    const auto bytes = config->encoded();
    if (!bytes)
        __builtin_trap();
    const auto back = velloq::DockConfig::decode(*bytes);
    if (!back || !(*back == *config) || back->encoded() != bytes)
        __builtin_trap();
    return 0;
}
