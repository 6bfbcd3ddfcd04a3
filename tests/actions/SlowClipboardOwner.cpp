#include "SlowClipboardOwner.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <poll.h>
#include <xcb/xcb.h>

namespace velloq::test {

namespace {

using Clock = std::chrono::steady_clock;

xcb_atom_t intern(xcb_connection_t* c, const QByteArray& name) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, uint16_t(name.size()), name.constData()), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : XCB_NONE;
    std::free(reply);
    return atom;
}

struct Pending {
    Clock::time_point due;
    xcb_selection_request_event_t request;
    int format; // -1: the list of formats
};

} // namespace

SlowClipboardOwner::SlowClipboardOwner(QList<Format> formats, int listDelayMs)
    : formats_(std::move(formats))
    , listDelayMs_(listDelayMs)
    , thread_([this] { serve(); }) {
    while (!ready_)
        std::this_thread::yield();
}

SlowClipboardOwner::~SlowClipboardOwner() {
    stop_ = true;
    thread_.join();
}

void SlowClipboardOwner::serve() {
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        xcb_disconnect(c);
        ready_ = true;
        return;
    }
    const xcb_atom_t clipboard = intern(c, "CLIPBOARD");
    const xcb_atom_t targets = intern(c, "TARGETS");
    std::vector<xcb_atom_t> atoms;
    for (const Format& format : formats_)
        atoms.push_back(intern(c, format.target.toLatin1()));
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const xcb_window_t window = xcb_generate_id(c);
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
    xcb_set_selection_owner(c, window, clipboard, XCB_CURRENT_TIME);
    xcb_get_selection_owner_reply_t* owner =
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, clipboard), nullptr);
    owns_ = owner && owner->owner == window;
    std::free(owner);
    ready_ = true;

    auto answer = [&](const xcb_selection_request_event_t& request, const QByteArray* data,
                      xcb_atom_t type, uint8_t format) {
        xcb_selection_notify_event_t notify{};
        notify.response_type = XCB_SELECTION_NOTIFY;
        notify.time = request.time;
        notify.requestor = request.requestor;
        notify.selection = request.selection;
        notify.target = request.target;
        notify.property = data ? request.property : XCB_NONE;
        if (data)
            xcb_change_property(c, XCB_PROP_MODE_REPLACE, request.requestor, request.property, type,
                                format, uint32_t(data->size() / (format / 8)), data->constData());
        xcb_send_event(c, 0, request.requestor, XCB_EVENT_MASK_NO_EVENT,
                       reinterpret_cast<const char*>(&notify));
        xcb_flush(c);
    };

    std::vector<xcb_atom_t> list{targets};
    list.insert(list.end(), atoms.begin(), atoms.end());
    const QByteArray listBytes(reinterpret_cast<const char*>(list.data()),
                               qsizetype(list.size() * sizeof(xcb_atom_t)));

    std::vector<Pending> pending;
    while (!stop_) {
        const Clock::time_point now = Clock::now();
        for (auto it = pending.begin(); it != pending.end();) {
            if (it->due > now) {
                ++it;
                continue;
            }
            if (it->format < 0)
                answer(it->request, &listBytes, XCB_ATOM_ATOM, 32);
            else
                answer(it->request, &formats_[it->format].data, atoms[size_t(it->format)], 8);
            it = pending.erase(it);
        }
        while (xcb_generic_event_t* event = xcb_poll_for_event(c)) {
            if ((event->response_type & 0x7f) == XCB_SELECTION_CLEAR)
                lost_ = true;
            if ((event->response_type & 0x7f) == XCB_SELECTION_REQUEST) {
                const auto request = *reinterpret_cast<xcb_selection_request_event_t*>(event);
                if (request.target == targets) {
                    if (listDelayMs_ >= 0)
                        pending.push_back(
                            {Clock::now() + std::chrono::milliseconds(listDelayMs_), request, -1});
                } else {
                    int found = -1;
                    for (size_t i = 0; i < atoms.size(); ++i) {
                        if (atoms[i] == request.target)
                            found = int(i);
                    }
                    if (found < 0)
                        answer(request, nullptr, XCB_NONE, 8);
                    else if (formats_[found].delayMs >= 0)
                        pending.push_back(
                            {Clock::now() + std::chrono::milliseconds(formats_[found].delayMs),
                             request, found});
                }
            }
            std::free(event);
        }
        pollfd ready{xcb_get_file_descriptor(c), POLLIN, 0};
        ::poll(&ready, 1, 5);
    }
    xcb_disconnect(c);
}

} // namespace velloq::test
