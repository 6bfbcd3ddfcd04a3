#include "support/DesktopEntry.h"

#include "support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace velloq;

namespace {

void writeFile(const QString& path, const QByteArray& text) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
}

QStringList ids(const QList<DesktopEntry>& entries) {
    QStringList out;
    for (const DesktopEntry& e : entries)
        out << e.id;
    return out;
}

} // namespace

TEST(DesktopEntry, ReadsKeysWithLocaleAndEscapes) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("org.example.Editor.desktop"));
    writeFile(path, "# comment\n"
                    "[Desktop Entry]\n"
                    "Type=Application\n"
                    "Name=Editor\n"
                    "Name[de]=Bearbeiter\n"
                    "Name[de_AT]=Editor AT\n"
                    "Name[sr@latin]=Urednik\n"
                    "Icon=accessories-text-editor\n"
                    "Exec=\"/opt/my editor/bin/edit\" --new-window %U\n"
                    "TryExec=edit\n"
                    "Path=/tmp\\swork\n"
                    "NoDisplay=false\n"
                    "[Desktop Action new]\n"
                    "Name=Ignored\n");

    const auto plain = DesktopEntry::read(path, QStringLiteral("C"));
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->type, u"Application");
    EXPECT_EQ(plain->name, u"Editor");
    EXPECT_EQ(plain->iconName, u"accessories-text-editor");
    EXPECT_EQ(plain->tryExec, u"edit");
    EXPECT_EQ(plain->workingDir, u"/tmp work");
    EXPECT_TRUE(plain->isShownApplication());
    EXPECT_EQ(plain->commandLine(), (QStringList{QStringLiteral("/opt/my editor/bin/edit"),
                                                 QStringLiteral("--new-window")}));

    EXPECT_EQ(DesktopEntry::read(path, QStringLiteral("de_DE.UTF-8"))->name, u"Bearbeiter");
    EXPECT_EQ(DesktopEntry::read(path, QStringLiteral("de_AT.UTF-8"))->name, u"Editor AT");
    EXPECT_EQ(DesktopEntry::read(path, QStringLiteral("sr_RS@latin"))->name, u"Urednik");
}

TEST(DesktopEntry, FallsBackToFileNameAndRejectsNonEntries) {
    QTemporaryDir dir;
    const QString nameless = dir.filePath(QStringLiteral("Tool.desktop"));
    writeFile(nameless, "[Desktop Entry]\nType=Application\nExec=tool %i %c %k 100%%\n"
                        "Icon=tool-icon\n");
    const auto entry = DesktopEntry::read(nameless);
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->displayName(), u"Tool");
    EXPECT_EQ(
        entry->commandLine(),
        (QStringList{QStringLiteral("tool"), QStringLiteral("--icon"), QStringLiteral("tool-icon"),
                     QStringLiteral("Tool"), nameless, QStringLiteral("100%")}));

    const QString broken = dir.filePath(QStringLiteral("broken.desktop"));
    writeFile(broken, "[Desktop Entry]\nType=Application\nExec=\"unterminated\n");
    EXPECT_TRUE(DesktopEntry::read(broken)->commandLine().isEmpty());

    const QString other = dir.filePath(QStringLiteral("other.desktop"));
    writeFile(other, "[Something Else]\nName=x\n");
    EXPECT_FALSE(DesktopEntry::read(other));
    EXPECT_FALSE(DesktopEntry::read(dir.filePath(QStringLiteral("missing.desktop"))));
}

TEST(DesktopEntry, IconFromPathOrNothing) {
    QTemporaryDir dir;
    const QString png = dir.filePath(QStringLiteral("icon.png"));
    QImage image(16, 16, QImage::Format_ARGB32);
    image.fill(Qt::red);
    ASSERT_TRUE(image.save(png));
    DesktopEntry entry;
    entry.iconName = png;
    EXPECT_FALSE(entry.icon().isNull());
    entry.iconName = dir.filePath(QStringLiteral("absent.png"));
    EXPECT_TRUE(entry.icon().isNull());
    entry.iconName.clear();
    EXPECT_TRUE(entry.icon().isNull());
}

TEST(DesktopEntries, FoldersFollowXdgOrderAndEarlierIdWins) {
    QTemporaryDir dir;
    const QString home = dir.filePath(QStringLiteral("home"));
    const QString sys1 = dir.filePath(QStringLiteral("sys1"));
    const QString sys2 = dir.filePath(QStringLiteral("sys2"));
    qputenv("XDG_DATA_HOME", home.toUtf8());
    qputenv("XDG_DATA_DIRS", (sys1 + u':' + sys2 + u":relative:" + sys1).toUtf8());
    const QStringList dirs = DesktopEntries::applicationDirs();
    ASSERT_GE(dirs.size(), 3);
    EXPECT_EQ(dirs.mid(0, 3), (QStringList{home + QStringLiteral("/applications"),
                                           sys1 + QStringLiteral("/applications"),
                                           sys2 + QStringLiteral("/applications")}));
    EXPECT_TRUE(dirs.last().endsWith(u"flatpak/exports/share/applications"));
    EXPECT_EQ(dirs.count(sys1 + QStringLiteral("/applications")), 1);

    // The user's hidden copy of "shadowed" hides the system one.
    writeFile(home + "/applications/shadowed.desktop", "[Desktop Entry]\nType=Application\n"
                                                       "Name=Shadowed\nHidden=true\n");
    writeFile(sys1 + "/applications/shadowed.desktop", "[Desktop Entry]\nType=Application\n"
                                                       "Name=Shadowed\nExec=x\n");
    writeFile(sys1 + "/applications/kde/konsole.desktop",
              "[Desktop Entry]\nType=Application\nName=Konsole\nExec=konsole\n");
    writeFile(sys1 + "/applications/first.desktop",
              "[Desktop Entry]\nType=Application\nName=First one\nExec=a\n");
    writeFile(sys2 + "/applications/first.desktop",
              "[Desktop Entry]\nType=Application\nName=Second one\nExec=b\n");
    writeFile(sys2 + "/applications/nodisplay.desktop",
              "[Desktop Entry]\nType=Application\nName=N\nNoDisplay=true\nExec=n\n");
    writeFile(sys2 + "/applications/link.desktop",
              "[Desktop Entry]\nType=Link\nName=L\nURL=https://example.org\n");
    writeFile(sys2 + "/applications/absent.desktop",
              "[Desktop Entry]\nType=Application\nName=A\nExec=a\n"
              "TryExec=velloq-no-such-program\n");

    const QList<DesktopEntry> apps = DesktopEntries::installedApplications(dirs);
    EXPECT_EQ(ids(apps), (QStringList{QStringLiteral("first.desktop"),
                                      QStringLiteral("kde-konsole.desktop")}));
    EXPECT_EQ(apps.first().name, u"First one");

    qunsetenv("XDG_DATA_DIRS");
    qputenv("XDG_DATA_HOME", (test::scratchDir() + QStringLiteral("/XDG_DATA_HOME")).toUtf8());
    const QStringList defaults = DesktopEntries::applicationDirs();
    EXPECT_TRUE(defaults.contains(QStringLiteral("/usr/local/share/applications")));
    EXPECT_TRUE(defaults.contains(QStringLiteral("/usr/share/applications")));
}
