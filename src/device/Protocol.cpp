#include "device/Protocol.h"

#include <algorithm>
#include <cstring>

namespace velloq::Protocol {

namespace {
QByteArray command(const char* text, std::initializer_list<int> tail = {}) {
    QByteArray report("CRT\0\0", 5);
    report.append(text);
    for (int byte : tail)
        report.append(static_cast<char>(byte & 0xFF));
    return report;
}
} // namespace

QByteArray dis() {
    return command("DIS");
}
QByteArray lig(int level) {
    return command("LIG", {0, 0, level});
}
QByteArray cleKey(int keyNumber) {
    return command("CLE", {0, 0, 0, keyNumber});
}
QByteArray cleAll() {
    return command("CLE", {0, 0, 0, 0xFF});
}
QByteArray cleShutdown() {
    return command("CLE", {0, 0, 'D', 'C'});
}
QByteArray stp() {
    return command("STP");
}
QByteArray bat(int size, int keyNumber) {
    return command("BAT", {0, 0, (size >> 8) & 0xFF, size & 0xFF, keyNumber});
}
QByteArray connect() {
    return command("CONNECT");
}
QByteArray han() {
    return command("HAN");
}

QByteArray brightnessCommand(int percent) {
    return lig(std::clamp(percent, 0, 100));
}

QList<QByteArray> initializeBatch(int brightness) {
    return {dis(), command("LIG", {0, 0, 0, 0}), cleAll(), stp(), brightnessCommand(brightness)};
}

QList<QByteArray> imageReports(int index, const std::optional<QByteArray>& image, int packetSize) {
    const int keyNumber = index + 1;
    if (!image || image->isEmpty())
        return {cleKey(keyNumber)};
    QList<QByteArray> reports;
    const qsizetype slice = std::max(packetSize, 1);
    reports.reserve(1 + (image->size() + slice - 1) / slice);
    reports.append(bat(static_cast<int>(image->size()), keyNumber));
    for (qsizetype offset = 0; offset < image->size(); offset += slice)
        reports.append(image->mid(offset, slice));
    return reports;
}

QList<QByteArray> imageBatch(const ImageBatch& images, int packetSize) {
    QList<QByteArray> reports;
    if (images.empty())
        return reports;
    for (const auto& [index, image] : images) // std::map iterates in ascending key order
        reports.append(imageReports(index, image, packetSize));
    reports.append(stp());
    return reports;
}

QList<QByteArray> keepAliveBatch() {
    return {connect()};
}
QList<QByteArray> shutdownBatch() {
    return {cleShutdown(), han()};
}

QByteArray padded(const QByteArray& report, int packetSize) {
    if (report.size() >= packetSize)
        return report;
    QByteArray out = report;
    out.append(packetSize - report.size(), '\0');
    return out;
}

QByteArray framed(const QList<QByteArray>& reports, int packetSize) {
    if (packetSize < 1)
        return {};
    const qsizetype stride = qsizetype(packetSize) + 1;
    QByteArray out(stride * reports.size(), '\0');
    char* at = out.data();
    for (const QByteArray& report : reports) {
        if (report.size() > packetSize)
            return {};
        std::memcpy(at + 1, report.constData(), size_t(report.size()));
        at += stride;
    }
    return out;
}

std::optional<DockEvent> decodeInput(const uint8_t* data, size_t length,
                                     const std::optional<DockModel>& model) {
    if (!data)
        return std::nullopt;
    length = std::min<size_t>(length, kMaxInputReport);
    if (length < 3)
        return std::nullopt;
    size_t o = 0;
    if (std::memcmp(data, "ACK", 3) == 0)
        o = 0;
    else if (length >= 4 && std::memcmp(data + 1, "ACK", 3) == 0)
        o = 1;
    else
        return std::nullopt;
    if (length <= o + 10)
        return std::nullopt;

    const uint8_t code = data[o + 9];
    const bool pressed = data[o + 10] != 0;
    const bool releaseRule = model && model->reportsReleases();

    std::optional<DockEvent> event;
    bool isTurn = false;
    switch (code) {
    case 0x01:
    case 0x02:
    case 0x03:
    case 0x04:
    case 0x05:
    case 0x06:
        event = DockEvent::key(code - 1);
        break;
    case 0x25:
        event = DockEvent::key(6);
        break;
    case 0x30:
        event = DockEvent::key(7);
        break;
    case 0x31:
        event = DockEvent::key(8);
        break;
    case 0x33:
        event = DockEvent::knobPress(0);
        break;
    case 0x35:
        event = DockEvent::knobPress(1);
        break;
    case 0x34:
        event = DockEvent::knobPress(2);
        break;
    case 0x90:
        event = DockEvent::knobTurn(0, -1);
        isTurn = true;
        break;
    case 0x91:
        event = DockEvent::knobTurn(0, +1);
        isTurn = true;
        break;
    case 0x50:
        event = DockEvent::knobTurn(1, -1);
        isTurn = true;
        break;
    case 0x51:
        event = DockEvent::knobTurn(1, +1);
        isTurn = true;
        break;
    case 0x60:
        event = DockEvent::knobTurn(2, -1);
        isTurn = true;
        break;
    case 0x61:
        event = DockEvent::knobTurn(2, +1);
        isTurn = true;
        break;
    default:
        return std::nullopt;
    }
    if (releaseRule && !isTurn && !pressed)
        return std::nullopt;
    return event;
}

} // namespace velloq::Protocol
