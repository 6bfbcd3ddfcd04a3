#pragma once

#include "device/StreamDock.h"

#include <vector>

namespace velloq::test {

// The events of a StreamDock under test; a connection is initialised at brightness 50.
struct RecordingDelegate : StreamDockDelegate {
    int connects = 0;
    std::vector<DockEvent> events;
    void streamDockDidConnect(StreamDock& dock) override {
        ++connects;
        dock.initialize(50);
    }
    void streamDockDidDisconnect(StreamDock&) override {}
    void streamDockDidReceive(StreamDock&, const DockEvent& event) override {
        events.push_back(event);
    }
};

} // namespace velloq::test
