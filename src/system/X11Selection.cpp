#include "system/X11Selection.h"

#include "support/Log.h"

#include <QStringList>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>

#include <poll.h>
#include <xcb/xcb.h>

namespace velloq::X11Selection {

namespace {

using Clock = std::chrono::steady_clock;

struct Free {
    void operator()(void* p) const { std::free(p); }
};
template <typename T> using Owned = std::unique_ptr<T, Free>;

// One request's result.
struct Transfer {
    enum class Result { data, refused, late } result = Result::refused;
    QByteArray bytes;
};

// A connection and an unmapped window of our own that receives the selection.
class Reader {
public:
    Reader()
        : c_(xcb_connect(nullptr, nullptr)) {}
    ~Reader() {
        if (window_ != 0 && ok())
            xcb_destroy_window(c_, window_);
        xcb_disconnect(c_);
    }
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    bool ok() const { return xcb_connection_has_error(c_) == 0; }

    bool setUp() {
        const char* names[] = {"CLIPBOARD",        "INCR",
                               "TARGETS",          "UTF8_STRING",
                               "VELLOQ_SELECTION", "VELLOQ_SELECTION_TEXT"};
        constexpr int count = 6;
        xcb_intern_atom_cookie_t cookies[count];
        for (int i = 0; i < count; ++i)
            cookies[i] = xcb_intern_atom(c_, 0, uint16_t(strlen(names[i])), names[i]);
        xcb_atom_t* slots[] = {&clipboard_, &incr_,     &targets_,
                               &utf8_,      &property_, &secondProperty_};
        for (int i = 0; i < count; ++i) {
            Owned<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(c_, cookies[i], nullptr));
            if (!reply)
                return false;
            *slots[i] = reply->atom;
        }
        xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c_)).data;
        if (!screen)
            return false;
        window_ = xcb_generate_id(c_);
        const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_create_window(c_, XCB_COPY_FROM_PARENT, window_, screen->root, 0, 0, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_EVENT_MASK,
                          &events);
        return ok();
    }

    bool hasOwner() {
        Owned<xcb_get_selection_owner_reply_t> reply(
            xcb_get_selection_owner_reply(c_, xcb_get_selection_owner(c_, clipboard_), nullptr));
        return reply && reply->owner != XCB_NONE;
    }

    xcb_atom_t targetsAtom() const { return targets_; }
    xcb_atom_t utf8Atom() const { return utf8_; }

    QList<QString> names(const QList<xcb_atom_t>& atoms) {
        QList<xcb_get_atom_name_cookie_t> cookies;
        for (xcb_atom_t atom : atoms)
            cookies << xcb_get_atom_name(c_, atom);
        QList<QString> out;
        for (const xcb_get_atom_name_cookie_t& cookie : cookies) {
            Owned<xcb_get_atom_name_reply_t> reply(xcb_get_atom_name_reply(c_, cookie, nullptr));
            out << (reply ? QString::fromLatin1(xcb_get_atom_name_name(reply.get()),
                                                xcb_get_atom_name_name_length(reply.get()))
                          : QString());
        }
        return out;
    }

    // Where the owner puts a transfer: a request after one given up on uses the second, so
    // a late answer to the first cannot stand in for it.
    enum class Slot { first, second };

    // Asks the owner for `target` and waits until `deadline` for it, incremental transfers
    // included.
    Transfer convert(xcb_atom_t target, Clock::time_point deadline, Slot slot = Slot::first) {
        const xcb_atom_t property = slot == Slot::first ? property_ : secondProperty_;
        xcb_convert_selection(c_, window_, clipboard_, target, property, XCB_CURRENT_TIME);
        xcb_flush(c_);
        const Owned<xcb_generic_event_t> event = waitFor(
            [&](xcb_generic_event_t* e) {
                if ((e->response_type & 0x7f) != XCB_SELECTION_NOTIFY)
                    return false;
                const auto* n = reinterpret_cast<xcb_selection_notify_event_t*>(e);
                return n->requestor == window_ && n->target == target;
            },
            deadline);
        if (!event)
            return {Transfer::Result::late, {}};
        if (reinterpret_cast<xcb_selection_notify_event_t*>(event.get())->property == XCB_NONE)
            return {};
        Owned<xcb_get_property_reply_t> value = takeProperty(property);
        if (!value)
            return {};
        if (value->type != incr_)
            return {Transfer::Result::data, bytesOf(*value)};

        // Incremental: each chunk is announced by a new value, the last one is empty.
        QByteArray all;
        for (;;) {
            const Owned<xcb_generic_event_t> chunk = waitFor(
                [&](xcb_generic_event_t* e) {
                    if ((e->response_type & 0x7f) != XCB_PROPERTY_NOTIFY)
                        return false;
                    const auto* n = reinterpret_cast<xcb_property_notify_event_t*>(e);
                    return n->window == window_ && n->atom == property &&
                           n->state == XCB_PROPERTY_NEW_VALUE;
                },
                deadline);
            if (!chunk)
                return {Transfer::Result::late, {}};
            Owned<xcb_get_property_reply_t> part = takeProperty(property);
            if (!part)
                return {};
            const QByteArray bytes = bytesOf(*part);
            if (bytes.isEmpty())
                return {Transfer::Result::data, all};
            all += bytes;
        }
    }

private:
    Owned<xcb_get_property_reply_t> takeProperty(xcb_atom_t property) {
        return Owned<xcb_get_property_reply_t>(xcb_get_property_reply(
            c_,
            xcb_get_property(c_, 1, window_, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 0x1fffffff),
            nullptr));
    }

    static QByteArray bytesOf(xcb_get_property_reply_t& reply) {
        return QByteArray(static_cast<const char*>(xcb_get_property_value(&reply)),
                          xcb_get_property_value_length(&reply));
    }

    Owned<xcb_generic_event_t> waitFor(const std::function<bool(xcb_generic_event_t*)>& wanted,
                                       Clock::time_point deadline) {
        for (;;) {
            while (xcb_generic_event_t* raw = xcb_poll_for_event(c_)) {
                Owned<xcb_generic_event_t> event(raw);
                if (wanted(raw))
                    return event;
            }
            if (!ok())
                return nullptr;
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0)
                return nullptr;
            pollfd ready{xcb_get_file_descriptor(c_), POLLIN, 0};
            ::poll(&ready, 1, int(left));
        }
    }

    xcb_connection_t* c_;
    xcb_window_t window_ = 0;
    xcb_atom_t clipboard_ = XCB_NONE;
    xcb_atom_t incr_ = XCB_NONE;
    xcb_atom_t targets_ = XCB_NONE;
    xcb_atom_t utf8_ = XCB_NONE;
    xcb_atom_t property_ = XCB_NONE;
    xcb_atom_t secondProperty_ = XCB_NONE;
};

void logSkipped(const QStringList& formats, int budgetMs) {
    if (!formats.isEmpty())
        logLine(QStringLiteral("Could not save the clipboard's ") + formats.join(u", ") +
                QStringLiteral(": no answer within %1 ms; skipped").arg(budgetMs));
}

} // namespace

std::optional<Contents> readClipboard(int budgetMs) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(budgetMs);
    Reader reader;
    if (!reader.ok() || !reader.setUp())
        return std::nullopt;
    if (!reader.hasOwner())
        return Contents();

    const Transfer listing = reader.convert(reader.targetsAtom(), deadline);
    if (listing.result != Transfer::Result::data) {
        // A late or refused list: the text is what a paste most likely needs back.
        const Transfer text =
            reader.convert(reader.utf8Atom(), Clock::now() + std::chrono::milliseconds(budgetMs),
                           Reader::Slot::second);
        if (text.result != Transfer::Result::data || text.bytes.isEmpty())
            return Contents{{}, true};
        logLine(QStringLiteral("Could not save the clipboard's formats: no list within %1 ms; "
                               "saved its text only")
                    .arg(budgetMs));
        return Contents{{{QStringLiteral("text/plain"), text.bytes}}, false};
    }
    QList<xcb_atom_t> atoms;
    for (qsizetype i = 0; i + 4 <= listing.bytes.size(); i += 4) {
        uint32_t atom = 0;
        std::memcpy(&atom, listing.bytes.constData() + i, 4);
        atoms << atom;
    }
    const QList<QString> names = reader.names(atoms);

    // MIME types only (the X names of the same text are duplicates), UTF8_STRING standing
    // for text/plain when that is not offered itself; text first.
    struct Wanted {
        xcb_atom_t atom;
        QString format;
    };
    QList<Wanted> wanted;
    const bool plainOffered = names.contains(QStringLiteral("text/plain"));
    for (qsizetype i = 0; i < atoms.size(); ++i) {
        if (names.at(i).contains(u'/'))
            wanted.append({atoms.at(i), names.at(i)});
        else if (atoms.at(i) == reader.utf8Atom() && !plainOffered)
            wanted.append({atoms.at(i), QStringLiteral("text/plain")});
    }
    std::stable_partition(wanted.begin(), wanted.end(),
                          [](const Wanted& w) { return w.format.startsWith(u"text/"); });

    Formats formats;
    QStringList skipped;
    for (const Wanted& format : std::as_const(wanted)) {
        if (!skipped.isEmpty() || Clock::now() >= deadline) {
            skipped << format.format;
            continue;
        }
        const Transfer transfer = reader.convert(format.atom, deadline);
        if (transfer.result == Transfer::Result::late)
            skipped << format.format;
        else if (transfer.result == Transfer::Result::data && !transfer.bytes.isEmpty())
            formats.append({format.format, transfer.bytes});
    }
    if (formats.isEmpty() && !skipped.isEmpty())
        return Contents{{}, true}; // the caller says so, once
    logSkipped(skipped, budgetMs);
    return Contents{formats, false};
}

} // namespace velloq::X11Selection
