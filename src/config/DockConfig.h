#pragma once

#include "config/ActionModel.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>
#include <optional>

namespace velloq {

namespace ConfigJson {
struct Node;
}

// One button of one page: the page's id (nil for home) and the key index.
struct ButtonRef {
    QUuid page;
    int key = 0;
    bool operator==(const ButtonRef&) const = default;
};

// What a key shows: its action, the image that replaces the action's face (for a toggle, the
// one of its state), and whether it is a toggle that is on.
struct KeyLook {
    ButtonAction action;
    std::optional<QString> image;
    bool on = false;
};

// Every user setting. Lists are indexed by key index (keys, customIcons) or knob index (knobs)
// and are never shortened; they may be longer than the minimum.
struct DockConfig {
    static constexpr int kMinKeys = 9;
    static constexpr int kMinKnobs = 3;

    QList<ButtonAction> keys;                  // nine `nothing`
    QList<KnobRole> knobs;                     // microphone, volume, brightness
    QList<Snippet> snippets;                   // one "Example" snippet with a fresh id
    double dockBrightness = 70;                // percent, 0 to 100
    double knobStep = 3;                       // percent per knob detent
    int64_t extraRotation = 0;                 // degrees added to the model's rotation
    bool showHUD = true;                       // our own indicator after knob/mute changes
    bool nativeIndicators = true;              // prefer the desktop's own indicators
    QList<std::optional<QString>> customIcons; // nine empty; absolute image paths
    bool screensaverEnabled = false;
    double screensaverDelay = 5;  // idle minutes
    QString screensaverAnimation; // "Sports Car"; an absolute path or a built-in name
    PlaybackMode screensaverPlayback = PlaybackMode::loop;
    double screensaverSpeed = 1;
    // Further sets of buttons; written only when there are any, so that a file without pages
    // keeps its exact form.
    QList<Page> pages;
    // Whether the dock shows the page that lists the app in front; written only when false.
    bool followApps = true;
    // The home page's toggle images for the on state, parallel to customIcons; written only
    // when one is set.
    QList<std::optional<QString>> onIcons;
    // The toggle buttons that are on, in the order they were turned on; written only when not
    // empty. Any other toggle is off.
    QList<ButtonRef> toggleStates;

    // The defaults (a new random id for the example snippet each time).
    DockConfig();

    bool operator==(const DockConfig&) const = default;

    // The page with this id, or null (also for the nil id, which is the home page).
    const Page* page(const QUuid& id) const;
    Page* page(const QUuid& id);
    // The page `text` names, as scripts and commands name one: "home", an id, or a page's
    // name ignoring case (nil for home).
    std::optional<QUuid> findPage(const QString& text) const;
    // The keys and custom images of a page; the top-level ones for home or an unknown id.
    const QList<ButtonAction>& keysOf(const QUuid& pageID) const;
    QList<ButtonAction>& keysOf(const QUuid& pageID);
    const QList<std::optional<QString>>& customIconsOf(const QUuid& pageID) const;
    QList<std::optional<QString>>& customIconsOf(const QUuid& pageID);
    // The first page (in order) whose apps list `appPath`; null when none does.
    const Page* pageListing(const QString& appPath) const;
    // Whether some page lists an app, so that the app in front matters.
    bool anyPageListsApps() const;
    const QList<std::optional<QString>>& onIconsOf(const QUuid& pageID) const;
    QList<std::optional<QString>>& onIconsOf(const QUuid& pageID);
    // Whether the toggle on this button is on.
    bool isToggleOn(const ButtonRef& button) const { return toggleStates.contains(button); }
    // Records the state; false when it already was so.
    bool setToggleOn(const ButtonRef& button, bool on);
    // Keeps only the states of buttons that are toggles.
    void dropStaleToggleStates();
    // What key `key` of page `pageID` shows; a toggle's image is the custom one while off and
    // the on image while on.
    KeyLook lookOf(const QUuid& pageID, int key) const;
    // Calls `f` with every action of every page, home first, each followed by the actions
    // inside it (a sequence's steps, a toggle's sides), which `f` may change as well.
    template <typename F> void forEachAction(F f) const { visitActions(*this, f); }
    template <typename F> void forEachAction(F f) { visitActions(*this, f); }
    // Calls `f` with `action` and every action inside it, which `f` may change.
    template <typename F> static void forEachActionIn(const ButtonAction& action, F f) {
        visitAction(action, f);
    }
    template <typename F> static void forEachActionIn(ButtonAction& action, F f) {
        visitAction(action, f);
    }

    // $XDG_DATA_HOME/Velloq/config.json.
    static QString fileURL();

    // The screensaver animation file: an absolute `screensaverAnimation` if a file is there,
    // else the built-in resource Screensavers/<name>.mp4 if it exists; otherwise nothing.
    std::optional<QString> screensaverURL() const;

    // The file's bytes: pretty-printed, keys sorted at every level, every field written.
    // Nothing (with `error` set) when a float is not finite, which JSON cannot hold.
    std::optional<QByteArray> encoded(QString* error = nullptr) const;

    struct Decoded;
    // Tolerant reader: nothing when the text is not a JSON object; otherwise each member
    // that is missing, null or undecodable falls back to its own default.
    static std::optional<DockConfig> decode(const QByteArray& json);
    // The same, saying which members were dropped. A leading UTF-8 byte-order mark is skipped.
    static std::optional<Decoded> decodeReporting(const QByteArray& json);
    static Decoded decodeReporting(const ConfigJson::Node& object);

    // Writes `encoded()` to `fileURL()` (or `path`) atomically and durably, creating the folder.
    // On failure logs "Could not save config: <reason>" and gives false. Keeps no copy of a
    // damaged file: ConfigStore does that.
    bool save() const;
    bool save(const QString& path) const;

private:
    template <typename F> static void visitAction(const ButtonAction& action, F& f) {
        f(action);
        for (const ButtonAction& inner : action.innerActions())
            visitAction(inner, f);
    }
    template <typename F> static void visitAction(ButtonAction& action, F& f) {
        f(action);
        QList<ButtonAction> inner = action.innerActions();
        if (inner.isEmpty())
            return;
        for (ButtonAction& each : inner)
            visitAction(each, f);
        action = action.withInnerActions(inner);
    }
    template <typename Self, typename F> static void visitActions(Self& config, F& f) {
        for (auto& action : config.keys)
            visitAction(action, f);
        for (auto& p : config.pages) {
            for (auto& action : p.keys)
                visitAction(action, f);
        }
    }
};

// The tolerant reader's result with what it had to drop.
struct DockConfig::Decoded {
    DockConfig config;
    // Top-level members that were present and not null but could not be decoded, and members
    // with unknown names; both are lost on the next save.
    QList<QString> droppedMembers;
};

} // namespace velloq
