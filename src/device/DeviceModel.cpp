#include "device/DeviceModel.h"

#include <array>

namespace velloq::DockModels {

namespace {
const std::array<DockModel, 14>& models() {
    static const std::array<DockModel, 14> entries = {{
        {0x0300, 0x1002, QStringLiteral("Ajazz AKP03E"), false},
        {0x0300, 0x3002, QStringLiteral("Ajazz AKP03E (rev. 2)"), true},
        {0x0300, 0x1001, QStringLiteral("Ajazz AKP03"), false},
        {0x0300, 0x1003, QStringLiteral("Ajazz AKP03R"), false},
        {0x0300, 0x3003, QStringLiteral("Ajazz AKP03R (rev. 2)"), true},
        {0x6602, 0x1000, QStringLiteral("Mirabox N3"), false},
        {0x6602, 0x1002, QStringLiteral("Mirabox N3"), false},
        {0x6603, 0x1002, QStringLiteral("Mirabox N3"), true},
        {0x6603, 0x1003, QStringLiteral("Mirabox N3EN"), true},
        {0x1500, 0x3001, QStringLiteral("Soomfon Stream Controller SE"), true},
        {0x1500, 0x3006, QStringLiteral("Streonor S6"), true},
        {0x5548, 0x1001, QStringLiteral("TreasLin N3"), true},
        {0x0B00, 0x1001, QStringLiteral("Mars Gaming MSD-TWO"), false},
        {0x0200, 0x2000, QStringLiteral("Redragon Skyrider SS-551"), true},
    }};
    return entries;
}
} // namespace

std::span<const DockModel> table() {
    return models();
}

std::optional<DockModel> lookup(int64_t vendorID, int64_t productID) {
    for (const DockModel& model : models()) {
        if (model.vendorID == vendorID && model.productID == productID)
            return model;
    }
    return std::nullopt;
}

int imageEdge(const std::optional<DockModel>& model) {
    return model ? model->imageEdge() : 60;
}

int baseRotation(const std::optional<DockModel>& model) {
    return model ? model->baseRotation() : 0;
}

int finalRotation(const std::optional<DockModel>& model, int64_t extraRotation) {
    // Reduce first: the sum itself could overflow for a hand-edited extraRotation.
    const int base = baseRotation(model);
    int turn = (base + static_cast<int>(extraRotation % 360)) % 360;
    if (extraRotation < -base && turn > 0)
        turn -= 360; // the sum is negative, and so is its remainder
    return turn;
}

} // namespace velloq::DockModels
