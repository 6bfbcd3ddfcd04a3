#include "device/ReportDescriptor.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto parsed = velloq::ReportDescriptor::parse({data, size});
    if (parsed && parsed->maxOutputReportSize < 0)
        __builtin_trap();
    return 0;
}
