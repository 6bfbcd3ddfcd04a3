#pragma once

// The small values that say what a dock button does and what a knob adjusts. Plain values:
// copied and compared, never shared. Their JSON forms live in ConfigJson.h.
//
// Each enumeration is a thin class around a plain enum, so that it reads like the enumeration
// it is (`ButtonFunction::copy`, `switch (f)`) and still carries its names:
// `rawValue()` is the stored form, `fromRawValue()` gives nothing for an unknown string and
// `allCases()` lists the cases in menu order.

#include <QList>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <cstdint>
#include <optional>
#include <utility>
#include <variant>

namespace velloq {

class ButtonFunction {
public:
    enum Value : uint8_t {
        copy,
        cut,
        paste,
        pasteWithoutFormatting,
        undo,
        redo,
        selectAll,
        lockScreen,
        sleepDisplay,
        screenshot,
        screenshotTools,
        missionControl,
        showDesktop,
        spotlight,
        emojiPicker,
        forceQuit,
        toggleDarkMode,
        playPause,
        nextTrack,
        previousTrack,
        toggleMute,
        toggleMicMute,
    };

    constexpr ButtonFunction() = default;
    constexpr ButtonFunction(Value value)
        : value_(value) {}                              // NOLINT: implicit on purpose
    constexpr operator Value() const { return value_; } // NOLINT: lets `switch` work

    // The stored form and identity, e.g. "toggleMicMute".
    QString rawValue() const;
    QString id() const { return rawValue(); }
    // The user-facing name, e.g. "Force Quit an App…".
    QString title() const;
    // The symbol name drawn on the key face, e.g. "mic.slash.fill".
    QString symbol() const;
    // "Editing", "System" or "Media & Audio".
    QString section() const;
    // Whether running it injects input and so needs the input-injection permission.
    bool needsAccessibility() const;

    static std::optional<ButtonFunction> fromRawValue(const QString& raw);
    // All 22 cases in menu order (sections Editing, System, Media & Audio in turn).
    static const QList<ButtonFunction>& allCases();
    // The section headings in menu order.
    static const QList<QString>& sections();

private:
    Value value_ = copy;
};

class KnobRole {
public:
    enum Value : uint8_t { volume, microphone, brightness, nothing };

    constexpr KnobRole() = default;
    constexpr KnobRole(Value value)
        : value_(value) {}                              // NOLINT
    constexpr operator Value() const { return value_; } // NOLINT

    QString rawValue() const;
    QString id() const { return rawValue(); }
    static std::optional<KnobRole> fromRawValue(const QString& raw);
    static const QList<KnobRole>& allCases();

private:
    Value value_ = volume;
};

class PlaybackMode {
public:
    enum Value : uint8_t { loop, bounce };

    constexpr PlaybackMode() = default;
    constexpr PlaybackMode(Value value)
        : value_(value) {}                              // NOLINT
    constexpr operator Value() const { return value_; } // NOLINT

    QString rawValue() const;
    static std::optional<PlaybackMode> fromRawValue(const QString& raw);
    static const QList<PlaybackMode>& allCases();

private:
    Value value_ = loop;
};

// One keyboard shortcut, in the key numbering and modifier layout of the configuration file.
struct KeyCombo {
    static constexpr uint64_t kShift = 0x20000;
    static constexpr uint64_t kControl = 0x40000;
    static constexpr uint64_t kOption = 0x80000;
    static constexpr uint64_t kCommand = 0x100000;

    uint16_t keyCode = 0;
    uint64_t flags = 0;
    // The display text as stored: "Ctrl+Shift+K", or with glyphs ("⇧⌘K") in files written
    // before. Empty: nothing recorded yet; such a combo is never sent.
    QString display;

    bool isRecorded() const { return !display.isEmpty(); }
    // What the user sees: the modifiers in the order Ctrl, Alt, Shift, Super, each followed by
    // "+", then the key's name ("Ctrl+Shift+K"). A glyph text is shown in that form too.
    QString displayText() const;
    bool operator==(const KeyCombo&) const = default;
};

// A saved text that a button can paste.
struct Snippet {
    QUuid id;
    QString name;
    QString text;

    // A new snippet with a fresh random id.
    static Snippet make(const QString& name, const QString& text);
    bool operator==(const Snippet&) const = default;
};

// A position inside an action: a step of a sequence, or a side of a toggle (0 when off, 1 when
// on); each entry one level deeper. Empty: the action itself.
using ActionPath = QList<int>;

// What a dock button does: exactly one of its kinds with its payload.
class ButtonAction {
public:
    static constexpr int kMaxSteps = 20;
    static constexpr int kMaxWaitMs = 60000;

    // The kinds. The raw value is also the id. `wait` is only a step of a sequence.
    class Kind {
    public:
        enum Value : uint8_t {
            nothing,
            app,
            function,
            snippet,
            keys,
            shortcut,
            url,
            page,
            sequence,
            toggle,
            wait,
        };

        constexpr Kind() = default;
        constexpr Kind(Value value)
            : value_(value) {}                              // NOLINT
        constexpr operator Value() const { return value_; } // NOLINT

        // "Nothing", "Open App", "Function", "Paste Snippet", "Keyboard Shortcut",
        // "Run Shortcut", "Open Website", "Open Page", "Several Actions", "Toggle", "Wait".
        QString rawValue() const;
        // The raw value, except "Run Script" for the shortcut kind.
        QString title() const;
        QString id() const { return rawValue(); }
        static std::optional<Kind> fromRawValue(const QString& raw);
        // What a button can do, in menu order (no `wait`).
        static const QList<Kind>& allCases();
        // What a step of a sequence can be: no sequence or toggle, and `wait` last.
        static const QList<Kind>& stepCases();
        // What a side of a toggle can be: no toggle.
        static const QList<Kind>& sideCases();

    private:
        Value value_ = nothing;
    };

    // The default action does nothing.
    ButtonAction() = default;

    static ButtonAction nothing() { return ButtonAction(); }
    // Open the application at this absolute path.
    static ButtonAction app(const QString& path) { return ButtonAction(App{path}); }
    static ButtonAction function(ButtonFunction f) { return ButtonAction(f); }
    // Paste the text of the snippet with this id.
    static ButtonAction snippet(const QUuid& id) { return ButtonAction(id); }
    static ButtonAction keys(const KeyCombo& combo) { return ButtonAction(combo); }
    // Run the named user shortcut.
    static ButtonAction shortcut(const QString& name) { return ButtonAction(Shortcut{name}); }
    // Open a website; the text is the address exactly as the user typed it.
    static ButtonAction url(const QString& text) { return ButtonAction(Url{text}); }
    // Show the page with this id on the dock; the nil id is the home page.
    static ButtonAction page(const QUuid& id) { return ButtonAction(PageLink{id}); }
    // Runs `steps` in order. Steps that cannot be one (a sequence or a toggle) are dropped and
    // only the first kMaxSteps kept; nothing left gives `nothing`.
    static ButtonAction sequence(QList<ButtonAction> steps);
    // Pauses a sequence; `ms` is held to 0 ... kMaxWaitMs.
    static ButtonAction wait(int ms);
    // Runs `off` when pressed while off (and turns on), `on` when pressed while on. A side that
    // cannot be one (a toggle or a wait) becomes `nothing`.
    static ButtonAction toggle(const ButtonAction& off, const ButtonAction& on);

    Kind kind() const { return Kind(static_cast<Kind::Value>(payload_.index())); }

    // Each payload accessor gives a value only for its own kind.
    std::optional<QString> appPath() const;
    std::optional<ButtonFunction> buttonFunction() const;
    std::optional<QUuid> snippetID() const;
    std::optional<KeyCombo> keyCombo() const;
    std::optional<QString> shortcutName() const;
    std::optional<QString> urlText() const;
    std::optional<QUuid> pageID() const;
    std::optional<QList<ButtonAction>> sequenceSteps() const;
    std::optional<int> waitMs() const;
    // The side a toggle runs in that state.
    std::optional<ButtonAction> toggleSide(bool on) const;

    // The actions inside this one: a sequence's steps, a toggle's two sides (off, on); none for
    // the other kinds.
    QList<ButtonAction> innerActions() const;
    // The same kind with other inner actions, which the factories above check; unchanged for a
    // kind without inner actions.
    ButtonAction withInnerActions(const QList<ButtonAction>& inner) const;
    // The action at `path` inside this one (this one for an empty path); none when the path
    // leads nowhere.
    std::optional<ButtonAction> at(const ActionPath& path) const;
    // This action with the one at `path` replaced; none when the path leads nowhere.
    std::optional<ButtonAction> replacing(const ActionPath& path,
                                          const ButtonAction& replacement) const;

    bool operator==(const ButtonAction&) const = default;

private:
    struct Nothing {
        bool operator==(const Nothing&) const = default;
    };
    struct App {
        QString path;
        bool operator==(const App&) const = default;
    };
    struct Shortcut {
        QString name;
        bool operator==(const Shortcut&) const = default;
    };
    struct Url {
        QString text;
        bool operator==(const Url&) const = default;
    };
    struct PageLink {
        QUuid id;
        bool operator==(const PageLink&) const = default;
    };
    // Written out: a defaulted comparison of a list of the enclosing, still incomplete, class
    // is rejected by clang.
    struct Sequence {
        QList<ButtonAction> steps;
        bool operator==(const Sequence& other) const { return steps == other.steps; }
    };
    struct Toggle {
        QList<ButtonAction> sides; // off, on
        bool operator==(const Toggle& other) const { return sides == other.sides; }
    };
    struct Wait {
        int ms = 0;
        bool operator==(const Wait&) const = default;
    };
    // Alternatives in the order of Kind, so that index() is the kind.
    using Payload = std::variant<Nothing, App, ButtonFunction, QUuid, KeyCombo, Shortcut, Url,
                                 PageLink, Sequence, Toggle, Wait>;

    explicit ButtonAction(Payload payload)
        : payload_(std::move(payload)) {}

    Payload payload_;
};

// A further set of nine buttons that a `page` action shows on the dock. Its lists are indexed
// and padded like the top-level ones, which are the home page.
struct Page {
    QUuid id;
    QString name;
    QList<ButtonAction> keys;                  // nine `nothing`
    QList<std::optional<QString>> customIcons; // nine empty
    // A toggle's own image while it is on, by key; nine empty.
    QList<std::optional<QString>> onIcons = QList<std::optional<QString>>(9);
    // .desktop paths of the apps in front of which the dock shows this page; written only
    // when not empty.
    QStringList apps = {};

    // A new empty page with a fresh random id.
    static Page make(const QString& name);
    bool operator==(const Page&) const = default;
};

} // namespace velloq
