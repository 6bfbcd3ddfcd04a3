#include "system/LinuxForceQuitMenu.h"

#include "support/Log.h"
#include "support/TestEnv.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

using namespace velloq;

namespace {

class Apps : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        QDir(dir_.path()).mkpath(QStringLiteral("bin"));
        QDir(dir_.path()).mkpath(QStringLiteral("applications"));
    }

    void TearDown() override {
        for (QProcess* p : owner_.findChildren<QProcess*>()) {
            p->kill();
            p->waitForFinished();
        }
    }

    // A program of its own (a copy of sleep), so its process can be told apart; the folder's
    // unique name keeps tests running side by side from seeing each other's programs.
    QString program(const QString& name) {
        const QString path =
            dir_.filePath(QStringLiteral("bin/") + name + u'-' + QFileInfo(dir_.path()).fileName());
        if (!QFile::exists(path)) {
            EXPECT_TRUE(QFile::copy(QStringLiteral("/bin/sleep"), path));
        }
        return path;
    }

    void entry(const QString& file, const QString& body) {
        QFile f(dir_.filePath(QStringLiteral("applications/") + file));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(("[Desktop Entry]\nType=Application\n" + body).toUtf8());
    }

    QProcess* run(const QString& programName) {
        auto* p = new QProcess(&owner_);
        p->start(program(programName), {QStringLiteral("300")});
        EXPECT_TRUE(p->waitForStarted());
        return p;
    }

    LinuxForceQuitMenu menu() {
        return LinuxForceQuitMenu(QStringLiteral("/proc"),
                                  {dir_.filePath(QStringLiteral("applications"))});
    }

    static QStringList names(const QList<RunningApp>& apps) {
        QStringList out;
        for (const RunningApp& app : apps)
            out << app.name;
        return out;
    }

    // Clicks the button titled `button` of the next message box, and remembers its texts.
    void answerNextMessageBox(const QString& button) {
        auto* timer = new QTimer(&owner_);
        QObject::connect(timer, &QTimer::timeout, &owner_, [this, timer, button] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || !box->isVisible())
                return;
            if (!box->isActiveWindow() && ++waits_ < 50)
                return; // give the activation a moment
            boxActive_ = box->isActiveWindow();
            timer->stop();
            boxText_ = box->text();
            boxInformative_ = box->informativeText();
            for (QAbstractButton* b : box->buttons()) {
                boxButtons_ << b->text();
                if (b->text() == button)
                    b->click();
            }
        });
        timer->start(10);
    }

    QTemporaryDir dir_;
    QObject owner_;
    QString boxText_;
    QString boxInformative_;
    bool boxActive_ = false;
    int waits_ = 0;
    QStringList boxButtons_;
};

} // namespace

TEST_F(Apps, ListsRunningEntriesSortedWithoutItself) {
    entry(QStringLiteral("beta.desktop"),
          QStringLiteral("Name=beta\nExec=%1 %U\n").arg(program("beta-bin")));
    entry(QStringLiteral("Alpha.desktop"),
          QStringLiteral("Name=Alpha\nExec=%1\n").arg(program("Alpha-bin")));
    entry(QStringLiteral("alpha2.desktop"),
          QStringLiteral("Name=alpha\nExec=env LANG=C %1 --flag\n").arg(program("alpha-bin")));
    entry(QStringLiteral("idle.desktop"),
          QStringLiteral("Name=Idle\nExec=%1\n").arg(program("idle-bin")));
    entry(QStringLiteral("hidden.desktop"),
          QStringLiteral("Name=Hidden\nNoDisplay=true\nExec=%1\n").arg(program("hidden-bin")));
    entry(QStringLiteral("velloq.desktop"),
          QStringLiteral("Name=Velloq\nExec=%1\n").arg(QCoreApplication::applicationFilePath()));
    entry(QStringLiteral("shell.desktop"), QStringLiteral("Name=Shell\nExec=sh -c true\n"));

    EXPECT_EQ(names(menu().runningApplications()).join(u',').toStdString(), "");
    const auto emptyMenu = menu().buildMenu({});
    ASSERT_EQ(emptyMenu->actions().size(), 2);
    EXPECT_EQ(emptyMenu->title(), u"Force Quit");
    EXPECT_EQ(emptyMenu->actions()[0]->text(), u"Force Quit an App");
    EXPECT_FALSE(emptyMenu->actions()[0]->isEnabled());
    EXPECT_TRUE(emptyMenu->actions()[1]->isSeparator());

    // Started in this order, so the equal names "Alpha" and "alpha" keep it.
    run(QStringLiteral("beta-bin"));
    run(QStringLiteral("Alpha-bin"));
    run(QStringLiteral("alpha-bin"));
    run(QStringLiteral("alpha-bin")); // a second process of the same app
    run(QStringLiteral("hidden-bin"));

    const QList<RunningApp> apps = menu().runningApplications();
    EXPECT_EQ(names(apps), (QStringList{QStringLiteral("Alpha"), QStringLiteral("alpha"),
                                        QStringLiteral("beta")}));
    ASSERT_EQ(apps.size(), 3);
    EXPECT_EQ(apps[1].pids.size(), 2);

    const auto built = menu().buildMenu(apps);
    QStringList titles;
    for (QAction* a : built->actions())
        titles << a->text();
    EXPECT_EQ(titles,
              (QStringList{QStringLiteral("Force Quit an App"), QString(), QStringLiteral("Alpha"),
                           QStringLiteral("alpha"), QStringLiteral("beta")}));
}

TEST_F(Apps, ConfirmationCancelsOrKills) {
    entry(QStringLiteral("beta.desktop"),
          QStringLiteral("Name=beta\nExec=%1\n").arg(program("beta-bin")));
    QProcess* beta = run(QStringLiteral("beta-bin"));
    LinuxForceQuitMenu forceQuit = menu();
    const QList<RunningApp> apps = forceQuit.runningApplications();
    ASSERT_EQ(apps.size(), 1);

    answerNextMessageBox(QStringLiteral("Cancel"));
    forceQuit.choose(apps[0]);
    EXPECT_EQ(boxText_, u"Force quit beta?");
    EXPECT_TRUE(boxActive_);
    EXPECT_EQ(boxInformative_, u"You'll lose any unsaved changes in beta.");
    EXPECT_EQ(boxButtons_.size(), 2);
    EXPECT_TRUE(boxButtons_.contains(QStringLiteral("Force Quit")));
    EXPECT_EQ(beta->state(), QProcess::Running);

    answerNextMessageBox(QStringLiteral("Force Quit"));
    forceQuit.choose(apps[0]);
    ASSERT_TRUE(beta->waitForFinished(5000));
    EXPECT_EQ(beta->exitStatus(), QProcess::CrashExit);

    // Already gone: refused, logged, and no other process is touched.
    LogCapture log;
    answerNextMessageBox(QStringLiteral("Force Quit"));
    forceQuit.choose(apps[0]);
    EXPECT_TRUE(log.contains(QStringLiteral("Could not force quit beta")));

    RunningApp nameless = apps[0];
    nameless.name.clear();
    answerNextMessageBox(QStringLiteral("Cancel"));
    forceQuit.choose(nameless);
    EXPECT_EQ(boxText_, u"Force quit this app?");
}

TEST_F(Apps, ALauncherIsListedUnderItsOwnEntryNotUnderAGame) {
    const QString launcher = program("launcher");
    entry(QStringLiteral("game1.desktop"),
          QStringLiteral("Name=A Game\nExec=%1 steam://rungameid/1\n").arg(launcher));
    entry(QStringLiteral("game2.desktop"),
          QStringLiteral("Name=Another Game\nExec=%1 steam://rungameid/2\n").arg(launcher));
    run(QStringLiteral("launcher"));
    // Only games share the program: listed under the program's own name.
    QList<RunningApp> apps = menu().runningApplications();
    ASSERT_EQ(apps.size(), 1);
    EXPECT_EQ(apps[0].name, QFileInfo(launcher).fileName());
    EXPECT_TRUE(apps[0].entryPath.isEmpty());

    entry(QStringLiteral("zlauncher.desktop"),
          QStringLiteral("Name=Launcher\nExec=%1 %U\n").arg(launcher));
    apps = menu().runningApplications();
    ASSERT_EQ(apps.size(), 1);
    EXPECT_EQ(apps[0].name, u"Launcher");
    const QStringList dirs{dir_.filePath(QStringLiteral("applications"))};
    const QList<AppEntry> running = Applications::runningApps(dirs);
    ASSERT_EQ(running.size(), 1);
    EXPECT_EQ(running[0].path, apps[0].entryPath);
}

TEST_F(Apps, RunningAppsAndTheMenuShareOneMatcherOverTheCurrentEntries) {
    const QStringList dirs{dir_.filePath(QStringLiteral("applications"))};
    run(QStringLiteral("late"));
    run(QStringLiteral("scripted"));
    EXPECT_TRUE(Applications::runningApps(dirs).isEmpty());

    // Installed after the first look, and one named by its path only.
    entry(QStringLiteral("late.desktop"),
          QStringLiteral("Name=Late\nExec=%1\n").arg(program("late")));
    entry(QStringLiteral("scripted.desktop"),
          QStringLiteral("Name=Scripted\nExec=env FOO=1 %1 --x\n").arg(program("scripted")));
    QStringList fromList;
    for (const AppEntry& app : Applications::runningApps(dirs))
        fromList << app.name;
    EXPECT_EQ(fromList, (QStringList{QStringLiteral("Late"), QStringLiteral("Scripted")}));
    EXPECT_EQ(names(menu().runningApplications()), fromList);
}

TEST_F(Apps, OneMenuAtATimeRaisedAndActive) {
    entry(QStringLiteral("beta.desktop"),
          QStringLiteral("Name=beta\nExec=%1\n").arg(program("beta-bin")));
    run(QStringLiteral("beta-bin"));
    LinuxForceQuitMenu forceQuit = menu();
    auto visibleMenus = [] {
        QList<QMenu*> menus;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* m = qobject_cast<QMenu*>(w); m && m->isVisible())
                menus << m;
        }
        return menus;
    };
    forceQuit.show(); // returns at once; the menu follows the listing
    ASSERT_TRUE(test::waitUntil([&] { return visibleMenus().size() == 1; }));
    QMenu* first = visibleMenus().first();
    EXPECT_EQ(QApplication::activePopupWidget(), first);
    EXPECT_EQ(first->actions().size(), 3);
    forceQuit.show(); // a second press while it is open
    test::waitUntil([&] { return visibleMenus().size() > 1; }, 300);
    EXPECT_EQ(visibleMenus(), QList<QMenu*>{first});

    first->close();
    ASSERT_TRUE(test::waitUntil([&] { return visibleMenus().isEmpty(); }));
    forceQuit.show(); // closed: a press opens it again
    ASSERT_TRUE(test::waitUntil([&] { return visibleMenus().size() == 1; }));
    visibleMenus().first()->close();
}
