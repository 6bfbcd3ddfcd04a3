#pragma once

#include <QHashFunctions>
#include <QList>
#include <QString>

namespace velloq {

// What the window has selected: a button (key index 0-8) or a knob (0-2).
struct Selection {
    enum class Kind { key, knob };
    Kind kind = Kind::key;
    int index = 0;

    static Selection key(int index) { return {Kind::key, index}; }
    static Selection knob(int index) { return {Kind::knob, index}; }
    bool operator==(const Selection&) const = default;
};

inline size_t qHash(const Selection& selection, size_t seed = 0) {
    return qHashMulti(seed, int(selection.kind), selection.index);
}

// The window's tab; not persisted.
enum class MenuTab { buttons, snippets, settings };

inline const QList<MenuTab>& allMenuTabs() {
    static const QList<MenuTab> tabs{MenuTab::buttons, MenuTab::snippets, MenuTab::settings};
    return tabs;
}

inline QString menuTabTitle(MenuTab tab) {
    switch (tab) {
    case MenuTab::buttons:
        return QStringLiteral("Buttons");
    case MenuTab::snippets:
        return QStringLiteral("Snippets");
    case MenuTab::settings:
        return QStringLiteral("Settings");
    }
    return {};
}

} // namespace velloq
