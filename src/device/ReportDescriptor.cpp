#include "device/ReportDescriptor.h"

#include <algorithm>
#include <map>

namespace velloq {

namespace {

enum ItemType : uint8_t { mainItem = 0, globalItem = 1, localItem = 2 };

enum MainTag : uint8_t {
    input = 0x8,
    output = 0x9,
    collection = 0xA,
    feature = 0xB,
    endCollection = 0xC
};

enum GlobalTag : uint8_t {
    usagePageTag = 0x0,
    reportSize = 0x7,
    reportId = 0x8,
    reportCount = 0x9,
    push = 0xA,
    pop = 0xB,
};

enum LocalTag : uint8_t { usageTag = 0x0 };

constexpr uint8_t kLongItemPrefix = 0xFE;
constexpr uint32_t kApplicationCollection = 0x01;
constexpr size_t kMaxPushDepth = 64;
// Far beyond any real report; keeps the sums from overflowing.
constexpr uint64_t kMaxReportBits = uint64_t(1) << 32;

struct Globals {
    uint32_t usagePage = 0;
    uint32_t reportSize = 0;
    uint32_t reportCount = 0;
    uint32_t reportId = 0;
};

} // namespace

bool ReportDescriptor::hasApplication(uint32_t usagePage, uint32_t usage) const {
    return std::find(applications.begin(), applications.end(), Application{usagePage, usage}) !=
           applications.end();
}

std::optional<ReportDescriptor> ReportDescriptor::parse(std::span<const uint8_t> bytes) {
    ReportDescriptor result;
    Globals globals;
    std::vector<Globals> stack;
    // The first usage of the pending main item, as (page, usage).
    std::optional<Application> firstUsage;
    std::map<uint32_t, uint64_t> outputBits; // per report id
    int depth = 0;

    size_t i = 0;
    while (i < bytes.size()) {
        const uint8_t prefix = bytes[i];
        if (prefix == kLongItemPrefix) {
            if (i + 3 > bytes.size())
                return std::nullopt;
            const size_t size = bytes[i + 1];
            if (i + 3 + size > bytes.size())
                return std::nullopt;
            i += 3 + size; // no long items are defined; skip them
            continue;
        }
        const size_t size = (prefix & 0x3) == 3 ? 4 : prefix & 0x3;
        if (i + 1 + size > bytes.size())
            return std::nullopt;
        uint32_t data = 0;
        for (size_t b = 0; b < size; ++b)
            data |= uint32_t(bytes[i + 1 + b]) << (8 * b);
        const uint8_t type = (prefix >> 2) & 0x3;
        const uint8_t tag = prefix >> 4;
        i += 1 + size;

        if (type == globalItem) {
            switch (tag) {
            case usagePageTag:
                globals.usagePage = data;
                break;
            case reportSize:
                globals.reportSize = data;
                break;
            case reportCount:
                globals.reportCount = data;
                break;
            case reportId:
                globals.reportId = data;
                break;
            case push:
                if (stack.size() >= kMaxPushDepth)
                    return std::nullopt;
                stack.push_back(globals);
                break;
            case pop:
                if (stack.empty())
                    return std::nullopt;
                globals = stack.back();
                stack.pop_back();
                break;
            default:
                break;
            }
        } else if (type == localItem) {
            if (tag == usageTag && !firstUsage) {
                // A four-byte usage carries its own page in the high half.
                firstUsage = size == 4 ? Application{data >> 16, data & 0xFFFF}
                                       : Application{globals.usagePage, data};
            }
        } else if (type == mainItem) {
            switch (tag) {
            case collection:
                if (depth == 0 && data == kApplicationCollection)
                    result.applications.push_back(
                        firstUsage.value_or(Application{globals.usagePage, 0}));
                ++depth;
                break;
            case endCollection:
                if (depth == 0)
                    return std::nullopt;
                --depth;
                break;
            case output: {
                uint64_t& bits = outputBits[globals.reportId];
                bits = std::min(kMaxReportBits,
                                bits + uint64_t(globals.reportSize) * globals.reportCount);
                break;
            }
            case input:
            case feature:
            default:
                break;
            }
            firstUsage.reset(); // local items last until the next main item
        }
    }
    if (depth != 0)
        return std::nullopt;

    uint64_t largest = 0;
    for (const auto& [id, bits] : outputBits)
        largest = std::max(largest, bits);
    result.maxOutputReportSize = int((largest + 7) / 8);
    return result;
}

} // namespace velloq
