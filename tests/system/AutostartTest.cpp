#include "system/Autostart.h"

#include "support/DesktopEntry.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace velloq;

namespace {

QString makeProgram(const QString& folder) {
    const QString path = folder + QStringLiteral("/velloq");
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("#!/bin/sh\n");
    file.close();
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

} // namespace

// After the program is removed the session must skip the entry, and its icon must exist.
TEST(Autostart, EntryNamesTheInstalledIconAndIsSkippedOnceVelloqIsGone) {
    QTemporaryDir bin;
    const QString program = makeProgram(bin.path());
    qputenv("PATH", (bin.path() + QStringLiteral(":/usr/bin:/bin")).toUtf8());

    ASSERT_TRUE(Autostart::setEnabled(true, program, nullptr));
    std::optional<DesktopEntry> entry = DesktopEntry::read(Autostart::entryPath());
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->iconName, u"app.velloq.Velloq");
    EXPECT_EQ(entry->tryExec, u"velloq");
    EXPECT_EQ(entry->exec, u"velloq");

    // Not on PATH (a build tree): both name the file itself, a path with a space intact.
    QTemporaryDir elsewhere;
    const QString spaced = elsewhere.path() + QStringLiteral("/my build");
    ASSERT_TRUE(QDir().mkpath(spaced));
    const QString built = makeProgram(spaced);
    ASSERT_TRUE(Autostart::setEnabled(true, built, nullptr));
    entry = DesktopEntry::read(Autostart::entryPath());
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->tryExec, built);
    EXPECT_EQ(entry->commandLine(), QStringList{built});
}
