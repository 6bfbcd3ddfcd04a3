#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace velloq {

// What the device link needs from a HID report descriptor.
struct ReportDescriptor {
    struct Application {
        uint32_t usagePage = 0;
        uint32_t usage = 0;
        bool operator==(const Application&) const = default;
    };

    // Top-level application collections, in descriptor order.
    std::vector<Application> applications;
    // The largest output report in bytes, without the report-id byte; 0 when there is none.
    int maxOutputReportSize = 0;

    bool hasApplication(uint32_t usagePage, uint32_t usage) const;

    // Nothing when the descriptor is malformed (a truncated item, unbalanced Push/Pop or
    // End Collection).
    static std::optional<ReportDescriptor> parse(std::span<const uint8_t> bytes);
};

} // namespace velloq
