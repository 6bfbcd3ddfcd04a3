#include "device/DeviceModel.h"
#include "device/Protocol.h"

#include <cstddef>
#include <cstdint>

// The first byte picks the model the decoder is told about; the rest is one input report.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    std::optional<velloq::DockModel> model;
    switch (data[0] % 3) {
    case 1:
        model = velloq::DockModels::lookup(0x6603, 0x1003);
        break; // v3
    case 2:
        model = velloq::DockModels::lookup(0x0300, 0x1001);
        break;
    default:
        break;
    }
    const auto event = velloq::Protocol::decodeInput(data + 1, size - 1, model);
    if (event) {
        const int limit = event->kind == velloq::DockEvent::Kind::key ? 8 : 2;
        if (event->index < 0 || event->index > limit)
            __builtin_trap();
        if (event->kind == velloq::DockEvent::Kind::knobTurn && event->step != 1 &&
            event->step != -1)
            __builtin_trap();
    }
    return 0;
}
