#pragma once

#include <QString>

#include <cstdint>
#include <optional>
#include <span>

namespace velloq {

// One supported dock model. Everything model-specific follows from `v3`.
struct DockModel {
    int64_t vendorID = 0;
    int64_t productID = 0;
    QString name;
    bool v3 = false;

    // Key image edge in pixels: 64 for v3, else 60.
    int imageEdge() const { return v3 ? 64 : 60; }
    // Clockwise rotation of every key image before the user's extra rotation.
    int baseRotation() const { return v3 ? 90 : 0; }
    // v3 docks send a release report after each press; only the press counts.
    bool reportsReleases() const { return v3; }

    bool operator==(const DockModel&) const = default;
};

namespace DockModels {

// The usage page and usage of the dock's vendor interface; other interfaces never match.
inline constexpr int kUsagePage = 0xFFA0;
inline constexpr int kUsage = 1;

// All supported models, in matching order.
std::span<const DockModel> table();

// The first table entry whose ids both match, or nothing.
std::optional<DockModel> lookup(int64_t vendorID, int64_t productID);

// Edge and base rotation for a possibly unknown model (unknown behaves as not v3).
int imageEdge(const std::optional<DockModel>& model);
int baseRotation(const std::optional<DockModel>& model);

// (base rotation + extraRotation) % 360; the remainder keeps the sign of the sum.
int finalRotation(const std::optional<DockModel>& model, int64_t extraRotation);

} // namespace DockModels
} // namespace velloq
