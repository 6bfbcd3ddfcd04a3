#pragma once

#include <QIcon>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace velloq {

// The [Desktop Entry] group of one .desktop file (freedesktop Desktop Entry Specification).
// Plain value; reading needs no widgets.
struct DesktopEntry {
    QString path;           // absolute path of the .desktop file
    QString id;             // desktop file id ("org.gnome.Foo.desktop"); empty when read directly
    QString type;           // "Application", "Link", "Directory"
    QString name;           // Name, localized for the current locale; may be empty
    QString iconName;       // Icon: a theme name or an absolute path
    QString exec;           // Exec, escapes resolved, field codes still in place
    QString tryExec;        // TryExec
    QString workingDir;     // Path
    QString startupWMClass; // StartupWMClass: the WM_CLASS its windows carry
    bool noDisplay = false;
    bool hidden = false;
    bool terminal = false; // Terminal: runs in a terminal window

    // Reads `filePath`. `locale` is a POSIX locale name (lang_COUNTRY.ENCODING@MODIFIER);
    // empty means the process's LC_ALL / LC_MESSAGES / LANG. Absent when the file cannot be
    // read or has no [Desktop Entry] group.
    static std::optional<DesktopEntry> read(const QString& filePath,
                                            const QString& locale = QString());

    // Name, or the file name less ".desktop" when there is none.
    QString displayName() const;

    // The Icon as a QIcon: a path, a theme icon, or a file in /usr/share/pixmaps. Null when
    // none is found.
    QIcon icon() const;

    // Exec split into program and arguments (the Desktop Entry quoting rules), with the
    // field codes handled: %f %F %u %U are dropped (no files are passed), %i becomes
    // "--icon <Icon>", %c the name, %k the file path, %% a "%". Empty when Exec is empty or
    // its quoting is broken.
    QStringList commandLine() const;

    // True for a visible application: Type=Application, neither NoDisplay nor Hidden.
    bool isShownApplication() const;
};

namespace DesktopEntries {

// The folders that hold installed applications, in precedence order:
// $XDG_DATA_HOME/applications, each $XDG_DATA_DIRS/applications (default
// /usr/local/share:/usr/share), then the Flatpak export folders. Each folder appears once.
QStringList applicationDirs();

// Every shown application in `dirs` (default: applicationDirs()), subfolders included. An
// entry id found in an earlier folder wins over a later one, even when the earlier one is
// hidden. Sorted by id.
QList<DesktopEntry> installedApplications(const QStringList& dirs = applicationDirs());

// The desktop file id of the entry at `path`: its path below the first of `dirs` holding it,
// "/" becoming "-"; the file name when none does. Empty for a path that is no .desktop file.
QString idOf(const QString& path, const QStringList& dirs = applicationDirs());

} // namespace DesktopEntries

} // namespace velloq
