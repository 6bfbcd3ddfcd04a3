#include "config/ActionModel.h"

#include "config/DockConfig.h"

#include <algorithm>
#include <array>
#include <iterator>

namespace velloq {

namespace {

struct FunctionInfo {
    const char* raw;
    const char* title;
    const char* symbol;
    int section;
    bool needsAccessibility;
};

constexpr int kEditing = 0;
constexpr int kSystem = 1;
constexpr int kMedia = 2;

// In the order of ButtonFunction::Value.
constexpr std::array<FunctionInfo, 22> kFunctions{{
    {"copy", "Copy", "doc.on.doc", kEditing, true},
    {"cut", "Cut", "scissors", kEditing, true},
    {"paste", "Paste", "doc.on.clipboard", kEditing, true},
    {"pasteWithoutFormatting", "Paste Without Formatting", "doc.plaintext", kEditing, true},
    {"undo", "Undo", "arrow.uturn.backward", kEditing, true},
    {"redo", "Redo", "arrow.uturn.forward", kEditing, true},
    {"selectAll", "Select All", "selection.pin.in.out", kEditing, true},
    {"lockScreen", "Lock Screen", "lock.fill", kSystem, true},
    {"sleepDisplay", "Sleep Display", "moon.fill", kSystem, false},
    {"screenshot", "Screenshot (Area)", "camera.viewfinder", kSystem, true},
    {"screenshotTools", "Screenshot & Recording Tools", "record.circle", kSystem, true},
    {"missionControl", "Overview", "rectangle.3.group", kSystem, false},
    {"showDesktop", "Show Desktop", "menubar.dock.rectangle", kSystem, false},
    {"spotlight", "Search", "magnifyingglass", kSystem, true},
    {"emojiPicker", "Emoji Picker", "face.smiling", kSystem, true},
    {"forceQuit", "Force Quit an App\u2026", "xmark.octagon", kSystem, false},
    {"toggleDarkMode", "Toggle Dark Mode", "circle.lefthalf.filled", kSystem, false},
    {"playPause", "Play / Pause", "playpause.fill", kMedia, true},
    {"nextTrack", "Next Track", "forward.fill", kMedia, true},
    {"previousTrack", "Previous Track", "backward.fill", kMedia, true},
    {"toggleMute", "Mute / Unmute Sound", "speaker.slash.fill", kMedia, false},
    {"toggleMicMute", "Mute / Unmute Mic", "mic.slash.fill", kMedia, false},
}};

constexpr std::array<const char*, 3> kSections{"Editing", "System", "Media & Audio"};
constexpr std::array<const char*, 4> kKnobRoles{"volume", "microphone", "brightness", "nothing"};
constexpr std::array<const char*, 2> kPlaybackModes{"loop", "bounce"};
constexpr std::array<const char*, 11> kKinds{
    "Nothing",           "Open App",     "Function",     "Paste Snippet",
    "Keyboard Shortcut", "Run Shortcut", "Open Website", "Open Page",
    "Several Actions",   "Toggle",       "Wait"};

template <typename T, size_t N> QList<T> casesOf() {
    QList<T> cases;
    for (size_t i = 0; i < N; ++i)
        cases.append(T(static_cast<typename T::Value>(i)));
    return cases;
}

template <typename T, typename Table, typename Name>
std::optional<T> lookupRaw(const Table& table, const QString& raw, Name name) {
    for (size_t i = 0; i < table.size(); ++i) {
        if (raw == QLatin1String(name(table[i])))
            return T(static_cast<typename T::Value>(i));
    }
    return std::nullopt;
}

QString utf8(const char* text) {
    return QString::fromUtf8(text);
}

} // namespace

QString ButtonFunction::rawValue() const {
    return utf8(kFunctions[value_].raw);
}
QString ButtonFunction::title() const {
    return utf8(kFunctions[value_].title);
}
QString ButtonFunction::symbol() const {
    return utf8(kFunctions[value_].symbol);
}
QString ButtonFunction::section() const {
    return utf8(kSections[kFunctions[value_].section]);
}
bool ButtonFunction::needsAccessibility() const {
    return kFunctions[value_].needsAccessibility;
}

std::optional<ButtonFunction> ButtonFunction::fromRawValue(const QString& raw) {
    return lookupRaw<ButtonFunction>(kFunctions, raw, [](const FunctionInfo& f) { return f.raw; });
}

const QList<ButtonFunction>& ButtonFunction::allCases() {
    static const QList<ButtonFunction> cases = casesOf<ButtonFunction, kFunctions.size()>();
    return cases;
}

const QList<QString>& ButtonFunction::sections() {
    static const QList<QString> names{utf8(kSections[0]), utf8(kSections[1]), utf8(kSections[2])};
    return names;
}

QString KnobRole::rawValue() const {
    return utf8(kKnobRoles[value_]);
}

std::optional<KnobRole> KnobRole::fromRawValue(const QString& raw) {
    return lookupRaw<KnobRole>(kKnobRoles, raw, [](const char* s) { return s; });
}

const QList<KnobRole>& KnobRole::allCases() {
    static const QList<KnobRole> cases = casesOf<KnobRole, kKnobRoles.size()>();
    return cases;
}

QString PlaybackMode::rawValue() const {
    return utf8(kPlaybackModes[value_]);
}

std::optional<PlaybackMode> PlaybackMode::fromRawValue(const QString& raw) {
    return lookupRaw<PlaybackMode>(kPlaybackModes, raw, [](const char* s) { return s; });
}

const QList<PlaybackMode>& PlaybackMode::allCases() {
    static const QList<PlaybackMode> cases = casesOf<PlaybackMode, kPlaybackModes.size()>();
    return cases;
}

QString ButtonAction::Kind::rawValue() const {
    return utf8(kKinds[value_]);
}

QString ButtonAction::Kind::title() const {
    return value_ == shortcut ? QStringLiteral("Run Script") : rawValue();
}

std::optional<ButtonAction::Kind> ButtonAction::Kind::fromRawValue(const QString& raw) {
    return lookupRaw<Kind>(kKinds, raw, [](const char* s) { return s; });
}

const QList<ButtonAction::Kind>& ButtonAction::Kind::allCases() {
    static const QList<Kind> cases = casesOf<Kind, wait>();
    return cases;
}

const QList<ButtonAction::Kind>& ButtonAction::Kind::stepCases() {
    static const QList<Kind> cases = [] {
        QList<Kind> list = casesOf<Kind, sequence>();
        list.append(wait);
        return list;
    }();
    return cases;
}

const QList<ButtonAction::Kind>& ButtonAction::Kind::sideCases() {
    static const QList<Kind> cases = casesOf<Kind, toggle>();
    return cases;
}

Snippet Snippet::make(const QString& name, const QString& text) {
    return Snippet{QUuid::createUuid(), name, text};
}

Page Page::make(const QString& name) {
    return Page{QUuid::createUuid(), name, QList<ButtonAction>(DockConfig::kMinKeys),
                QList<std::optional<QString>>(DockConfig::kMinKeys)};
}

namespace {
template <typename T, typename Variant> std::optional<T> alternative(const Variant& payload) {
    if (const T* value = std::get_if<T>(&payload))
        return *value;
    return std::nullopt;
}
} // namespace

std::optional<QString> ButtonAction::appPath() const {
    if (const App* a = std::get_if<App>(&payload_))
        return a->path;
    return std::nullopt;
}

std::optional<ButtonFunction> ButtonAction::buttonFunction() const {
    return alternative<ButtonFunction>(payload_);
}

std::optional<QUuid> ButtonAction::snippetID() const {
    return alternative<QUuid>(payload_);
}

std::optional<KeyCombo> ButtonAction::keyCombo() const {
    return alternative<KeyCombo>(payload_);
}

std::optional<QString> ButtonAction::shortcutName() const {
    if (const Shortcut* s = std::get_if<Shortcut>(&payload_))
        return s->name;
    return std::nullopt;
}

std::optional<QString> ButtonAction::urlText() const {
    if (const Url* u = std::get_if<Url>(&payload_))
        return u->text;
    return std::nullopt;
}

std::optional<QUuid> ButtonAction::pageID() const {
    if (const PageLink* p = std::get_if<PageLink>(&payload_))
        return p->id;
    return std::nullopt;
}

ButtonAction ButtonAction::sequence(QList<ButtonAction> steps) {
    steps.removeIf(
        [](const ButtonAction& step) { return !Kind::stepCases().contains(step.kind()); });
    if (steps.size() > kMaxSteps)
        steps.resize(kMaxSteps);
    if (steps.isEmpty())
        return nothing();
    return ButtonAction(Sequence{std::move(steps)});
}

ButtonAction ButtonAction::wait(int ms) {
    return ButtonAction(Wait{std::clamp(ms, 0, kMaxWaitMs)});
}

ButtonAction ButtonAction::toggle(const ButtonAction& off, const ButtonAction& on) {
    const auto side = [](const ButtonAction& action) {
        return Kind::sideCases().contains(action.kind()) ? action : nothing();
    };
    return ButtonAction(Toggle{{side(off), side(on)}});
}

std::optional<QList<ButtonAction>> ButtonAction::sequenceSteps() const {
    if (const Sequence* s = std::get_if<Sequence>(&payload_))
        return s->steps;
    return std::nullopt;
}

std::optional<int> ButtonAction::waitMs() const {
    if (const Wait* w = std::get_if<Wait>(&payload_))
        return w->ms;
    return std::nullopt;
}

std::optional<ButtonAction> ButtonAction::toggleSide(bool on) const {
    if (const Toggle* t = std::get_if<Toggle>(&payload_))
        return t->sides.at(on ? 1 : 0);
    return std::nullopt;
}

QList<ButtonAction> ButtonAction::innerActions() const {
    if (const Sequence* s = std::get_if<Sequence>(&payload_))
        return s->steps;
    if (const Toggle* t = std::get_if<Toggle>(&payload_))
        return t->sides;
    return {};
}

ButtonAction ButtonAction::withInnerActions(const QList<ButtonAction>& inner) const {
    switch (kind()) {
    case Kind::sequence:
        return sequence(inner);
    case Kind::toggle:
        return toggle(inner.value(0), inner.value(1));
    default:
        return *this;
    }
}

std::optional<ButtonAction> ButtonAction::at(const ActionPath& path) const {
    if (path.isEmpty())
        return *this;
    const QList<ButtonAction> inner = innerActions();
    const int index = path.first();
    if (index < 0 || index >= inner.size())
        return std::nullopt;
    return inner.at(index).at(path.mid(1));
}

std::optional<ButtonAction> ButtonAction::replacing(const ActionPath& path,
                                                    const ButtonAction& replacement) const {
    if (path.isEmpty())
        return replacement;
    QList<ButtonAction> inner = innerActions();
    const int index = path.first();
    if (index < 0 || index >= inner.size())
        return std::nullopt;
    const std::optional<ButtonAction> changed = inner.at(index).replacing(path.mid(1), replacement);
    if (!changed)
        return std::nullopt;
    inner[index] = *changed;
    return withInnerActions(inner);
}

QString KeyCombo::displayText() const {
    struct Glyph {
        char16_t glyph;
        const char* name;
    };
    // In the order they are shown.
    static constexpr Glyph modifierGlyphs[] = {
        {u'⌃', "Ctrl"}, {u'⌥', "Alt"}, {u'⇧', "Shift"}, {u'⌘', "Super"}};
    static constexpr Glyph keyGlyphs[] = {{u'↩', "Enter"}, {u'⇥', "Tab"},    {u'⌫', "Backspace"},
                                          {u'⎋', "Esc"},   {u'⌦', "Delete"}, {u'←', "Left"},
                                          {u'→', "Right"}, {u'↓', "Down"},   {u'↑', "Up"}};

    qsizetype keyStart = 0;
    bool held[std::size(modifierGlyphs)] = {};
    for (; keyStart < display.size(); ++keyStart) {
        const auto found =
            std::find_if(std::begin(modifierGlyphs), std::end(modifierGlyphs),
                         [&](const Glyph& g) { return display[keyStart] == g.glyph; });
        if (found == std::end(modifierGlyphs))
            break;
        held[found - std::begin(modifierGlyphs)] = true;
    }
    QString key = display.mid(keyStart);
    for (const Glyph& g : keyGlyphs) {
        if (key.size() == 1 && key[0] == g.glyph)
            key = QString::fromLatin1(g.name);
    }
    if (keyStart == 0 && key == display)
        return display; // already in this form
    QString text;
    for (size_t i = 0; i < std::size(modifierGlyphs); ++i) {
        if (held[i])
            text += QString::fromLatin1(modifierGlyphs[i].name) + u'+';
    }
    return text + key;
}

} // namespace velloq
