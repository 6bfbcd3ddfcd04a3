#pragma once

#include "device/DeviceModel.h"

#include <QByteArray>
#include <QList>

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>

namespace velloq {

// Decoded dock input.
struct DockEvent {
    enum class Kind { key, knobTurn, knobPress };
    Kind kind = Kind::key;
    int index = 0; // key index 0-8, or knob index 0-2
    int step = 0;  // -1 or +1 for knobTurn, 0 otherwise

    static DockEvent key(int index) { return {Kind::key, index, 0}; }
    static DockEvent knobTurn(int knob, int step) { return {Kind::knobTurn, knob, step}; }
    static DockEvent knobPress(int knob) { return {Kind::knobPress, knob, 0}; }
    bool operator==(const DockEvent&) const = default;
};

// Key index -> JPEG bytes; an absent or empty value blanks the key.
using ImageBatch = std::map<int, std::optional<QByteArray>>;

// Builders and the input decoder of the dock's wire protocol. Reports are returned before
// padding; the writer pads each to the packet size.
namespace Protocol {

inline constexpr int kMaxInputReport = 1024;

QByteArray dis();
QByteArray lig(int level);
QByteArray cleKey(int keyNumber);
QByteArray cleAll();
QByteArray cleShutdown();
QByteArray stp();
QByteArray bat(int size, int keyNumber);
QByteArray connect();
QByteArray han();

// LIG with the level clamped to 0...100.
QByteArray brightnessCommand(int percent);

// DIS, LIG 0 (four zero bytes), CLE all, STP, then brightnessCommand(brightness).
QList<QByteArray> initializeBatch(int brightness);

// Keys in ascending order: BAT + data slices of packetSize for an image, CLE for a blank
// key; then STP. An empty map gives an empty list.
QList<QByteArray> imageBatch(const ImageBatch& images, int packetSize);
// One key's part of imageBatch(): BAT and the data slices, or CLE for a blank key.
QList<QByteArray> imageReports(int index, const std::optional<QByteArray>& image, int packetSize);

QList<QByteArray> keepAliveBatch();
QList<QByteArray> shutdownBatch();

// `report` padded with zero bytes to `packetSize`; longer reports stay as they are.
QByteArray padded(const QByteArray& report, int packetSize);

// `reports` as the writer sends them (0x00, the report, zero padding to packetSize), joined
// in one array of packetSize + 1 bytes a report; made once, a frame can then be sent many
// times without copying. Empty when a report does not fit in packetSize.
QByteArray framed(const QList<QByteArray>& reports, int packetSize);

// One input report -> an event, or nothing. `model` decides the release rule.
std::optional<DockEvent> decodeInput(const uint8_t* data, size_t length,
                                     const std::optional<DockModel>& model);

} // namespace Protocol
} // namespace velloq
