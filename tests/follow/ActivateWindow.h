#pragma once

#include <xcb/xcb.h>

#include <cstdint>
#include <cstdlib>

namespace velloq::test {

// Asks the window manager to bring `window` to the front, as a pager does (EWMH
// _NET_ACTIVE_WINDOW with source 2, which window managers obey).
inline void activateWindow(xcb_connection_t* connection, uint32_t window) {
    const char name[] = "_NET_ACTIVE_WINDOW";
    xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, sizeof name - 1, name), nullptr);
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = atom ? atom->atom : xcb_atom_t(XCB_ATOM_NONE);
    event.data.data32[0] = 2;
    event.data.data32[1] = XCB_CURRENT_TIME;
    std::free(atom);
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    xcb_send_event(connection, 0, root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&event));
    xcb_flush(connection);
}

} // namespace velloq::test
