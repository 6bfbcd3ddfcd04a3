#include "support/DesktopEntry.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QStandardPaths>

#include <algorithm>

namespace velloq {

namespace {

QString unescapeString(const QString& raw) {
    QString out;
    out.reserve(raw.size());
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const QChar c = raw.at(i);
        if (c != u'\\' || i + 1 == raw.size()) {
            out += c;
            continue;
        }
        const QChar next = raw.at(++i);
        switch (next.unicode()) {
        case 's':
            out += u' ';
            break;
        case 'n':
            out += u'\n';
            break;
        case 't':
            out += u'\t';
            break;
        case 'r':
            out += u'\r';
            break;
        case '\\':
            out += u'\\';
            break;
        default: // unknown escapes stay as written (Exec has its own quoting rules)
            out += u'\\';
            out += next;
        }
    }
    return out;
}

QString processLocale() {
    for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const QString value = qEnvironmentVariable(var);
        if (!value.isEmpty())
            return value;
    }
    return QString();
}

// The key suffixes to try, most specific first: lang_COUNTRY@MOD, lang_COUNTRY, lang@MOD,
// lang (the encoding part is never matched).
QStringList localeCandidates(const QString& locale) {
    QString rest = locale;
    QString modifier;
    if (const qsizetype at = rest.indexOf(u'@'); at >= 0) {
        modifier = rest.mid(at + 1);
        rest.truncate(at);
    }
    if (const qsizetype dot = rest.indexOf(u'.'); dot >= 0)
        rest.truncate(dot);
    QString lang = rest;
    QString country;
    if (const qsizetype us = rest.indexOf(u'_'); us >= 0) {
        lang = rest.left(us);
        country = rest.mid(us + 1);
    }
    if (lang.isEmpty() || lang == u"C" || lang == u"POSIX")
        return {};
    QStringList out;
    if (!country.isEmpty() && !modifier.isEmpty())
        out << lang + u'_' + country + u'@' + modifier;
    if (!country.isEmpty())
        out << lang + u'_' + country;
    if (!modifier.isEmpty())
        out << lang + u'@' + modifier;
    out << lang;
    return out;
}

bool isTrue(const QString& value) {
    return value == u"true";
}

QString fileStem(const QString& path) {
    QString name = QFileInfo(path).fileName();
    if (name.endsWith(u".desktop"))
        name.chop(8);
    return name;
}

// Splits Exec by its quoting rules: space-separated, double quotes group, and inside quotes a
// backslash escapes `"`, `` ` ``, `$` and `\`.
std::optional<QStringList> splitExec(const QString& exec) {
    QStringList args;
    QString current;
    bool inArg = false;
    bool quoted = false;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        const QChar c = exec.at(i);
        if (quoted) {
            if (c == u'"') {
                quoted = false;
            } else if (c == u'\\' && i + 1 < exec.size()) {
                current += exec.at(++i);
            } else {
                current += c;
            }
        } else if (c == u'"') {
            quoted = true;
            inArg = true;
        } else if (c == u' ' || c == u'\t' || c == u'\n') {
            if (inArg)
                args << current;
            current.clear();
            inArg = false;
        } else {
            current += c;
            inArg = true;
        }
    }
    if (quoted)
        return std::nullopt;
    if (inArg)
        args << current;
    return args;
}

} // namespace

std::optional<DesktopEntry> DesktopEntry::read(const QString& filePath, const QString& locale) {
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return std::nullopt;

    const QStringList candidates = localeCandidates(locale.isEmpty() ? processLocale() : locale);
    QHash<QString, QString> values; // first occurrence of each key wins
    bool inMainGroup = false;
    bool sawMainGroup = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[')) {
            if (inMainGroup)
                break;
            inMainGroup = line == u"[Desktop Entry]";
            sawMainGroup = sawMainGroup || inMainGroup;
            continue;
        }
        if (!inMainGroup)
            continue;
        const qsizetype eq = line.indexOf(u'=');
        if (eq <= 0)
            continue;
        const QString key = line.left(eq).trimmed();
        if (!values.contains(key))
            values.insert(key, line.mid(eq + 1).trimmed());
    }
    if (!sawMainGroup)
        return std::nullopt;

    auto localized = [&](const QString& key) {
        for (const QString& suffix : candidates) {
            const auto it = values.constFind(key + u'[' + suffix + u']');
            if (it != values.constEnd())
                return unescapeString(*it);
        }
        return unescapeString(values.value(key));
    };

    DesktopEntry entry;
    entry.path = QFileInfo(filePath).absoluteFilePath();
    entry.type = values.value(QStringLiteral("Type"));
    entry.name = localized(QStringLiteral("Name"));
    entry.iconName = localized(QStringLiteral("Icon"));
    entry.exec = unescapeString(values.value(QStringLiteral("Exec")));
    entry.tryExec = unescapeString(values.value(QStringLiteral("TryExec")));
    entry.workingDir = unescapeString(values.value(QStringLiteral("Path")));
    entry.startupWMClass = unescapeString(values.value(QStringLiteral("StartupWMClass")));
    entry.noDisplay = isTrue(values.value(QStringLiteral("NoDisplay")));
    entry.hidden = isTrue(values.value(QStringLiteral("Hidden")));
    entry.terminal = isTrue(values.value(QStringLiteral("Terminal")));
    return entry;
}

QString DesktopEntry::displayName() const {
    return name.isEmpty() ? fileStem(path) : name;
}

QIcon DesktopEntry::icon() const {
    if (iconName.isEmpty())
        return QIcon();
    if (QDir::isAbsolutePath(iconName))
        return QFileInfo::exists(iconName) ? QIcon(iconName) : QIcon();
    QIcon themed = QIcon::fromTheme(iconName);
    if (!themed.isNull())
        return themed;
    const QString pixmaps = QStringLiteral("/usr/share/pixmaps/");
    for (const char* suffix : {"", ".png", ".svg", ".xpm"}) {
        const QString candidate = pixmaps + iconName + QLatin1String(suffix);
        if (QFileInfo(candidate).isFile())
            return QIcon(candidate);
    }
    return QIcon();
}

QStringList DesktopEntry::commandLine() const {
    const std::optional<QStringList> split = splitExec(exec);
    if (!split)
        return {};
    QStringList out;
    for (const QString& arg : *split) {
        if (arg == u"%i") {
            if (!iconName.isEmpty())
                out << QStringLiteral("--icon") << iconName;
            continue;
        }
        if (arg == u"%f" || arg == u"%F" || arg == u"%u" || arg == u"%U")
            continue;
        QString expanded;
        for (qsizetype i = 0; i < arg.size(); ++i) {
            if (arg.at(i) != u'%' || i + 1 == arg.size()) {
                expanded += arg.at(i);
                continue;
            }
            const QChar code = arg.at(++i);
            if (code == u'%')
                expanded += u'%';
            else if (code == u'c')
                expanded += displayName();
            else if (code == u'k')
                expanded += path;
            // every other code (files, URLs, deprecated ones) expands to nothing
        }
        out << expanded;
    }
    return out;
}

bool DesktopEntry::isShownApplication() const {
    return type == u"Application" && !noDisplay && !hidden;
}

namespace DesktopEntries {

QStringList applicationDirs() {
    QStringList bases;
    QString home = qEnvironmentVariable("XDG_DATA_HOME");
    if (home.isEmpty() || !QDir::isAbsolutePath(home))
        home = QDir::homePath() + QStringLiteral("/.local/share");
    bases << home;
    QString dataDirs = qEnvironmentVariable("XDG_DATA_DIRS");
    if (dataDirs.isEmpty())
        dataDirs = QStringLiteral("/usr/local/share:/usr/share");
    for (const QString& dir : dataDirs.split(u':', Qt::SkipEmptyParts)) {
        if (QDir::isAbsolutePath(dir))
            bases << dir;
    }
    bases << QDir::homePath() + QStringLiteral("/.local/share/flatpak/exports/share")
          << QStringLiteral("/var/lib/flatpak/exports/share");

    QStringList out;
    for (const QString& base : bases) {
        const QString dir = QDir::cleanPath(base + QStringLiteral("/applications"));
        if (!out.contains(dir))
            out << dir;
    }
    return out;
}

QList<DesktopEntry> installedApplications(const QStringList& dirs) {
    QSet<QString> seen;
    QList<DesktopEntry> out;
    for (const QString& dir : dirs) {
        const QString root = QDir::cleanPath(dir);
        QDirIterator it(root, {QStringLiteral("*.desktop")}, QDir::Files | QDir::Readable,
                        QDirIterator::Subdirectories | QDirIterator::FollowSymlinks);
        QStringList files;
        while (it.hasNext())
            files << it.next();
        files.sort();
        for (const QString& file : files) {
            QString id = QDir(root).relativeFilePath(file);
            id.replace(u'/', u'-');
            if (seen.contains(id))
                continue;
            seen.insert(id);
            std::optional<DesktopEntry> entry = DesktopEntry::read(file);
            if (!entry || !entry->isShownApplication())
                continue;
            // An entry whose TryExec program is missing is not installed.
            if (!entry->tryExec.isEmpty() &&
                QStandardPaths::findExecutable(entry->tryExec).isEmpty() &&
                !(QDir::isAbsolutePath(entry->tryExec) && QFileInfo(entry->tryExec).isExecutable()))
                continue;
            entry->id = id;
            out << *entry;
        }
    }
    std::sort(out.begin(), out.end(),
              [](const DesktopEntry& a, const DesktopEntry& b) { return a.id < b.id; });
    return out;
}

QString idOf(const QString& path, const QStringList& dirs) {
    const QString clean = QDir::cleanPath(path);
    if (!clean.endsWith(QStringLiteral(".desktop")))
        return QString();
    for (const QString& dir : dirs) {
        const QString root = QDir::cleanPath(dir) + u'/';
        if (clean.startsWith(root)) {
            QString id = clean.mid(root.size());
            id.replace(u'/', u'-');
            return id;
        }
    }
    return QFileInfo(clean).fileName();
}

} // namespace DesktopEntries

} // namespace velloq
