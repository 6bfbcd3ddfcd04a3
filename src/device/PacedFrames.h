#pragma once

#include <QByteArray>
#include <QList>

#include <chrono>
#include <optional>

namespace velloq {

// Frames the dock's writer thread sends by itself, at the times they give, between the batches
// queued meanwhile: an animation then plays without waking the main thread for each frame.
class PacedFrames {
public:
    virtual ~PacedFrames() = default;
    struct Step {
        // Made by Protocol::framed() for the packet size asked for; empty for nothing now.
        QList<QByteArray> reports;
        // Until the next step; nothing: until StreamDock::pokePacedFrames().
        std::optional<std::chrono::nanoseconds> wait;
    };
    // Writer thread, while a dock is held: once the wait given has passed, or when poked.
    // `busy`: the dock was still taking other batches then, so nothing should go out now.
    virtual Step step(bool busy, int packetSize) = 0;
};

} // namespace velloq
