#pragma once

#include "config/DockConfig.h"
#include "follow/ActiveAppWatcher.h"
#include "system/AppMatcher.h"

#include <QList>
#include <QObject>
#include <QThreadPool>
#include <QUuid>

#include <memory>
#include <optional>

#include <sys/types.h>
#include <unistd.h>

namespace velloq {

// Which page belongs in front: the first page whose apps list the app in front. Watches the
// desktop only while the configuration asks for it ("followApps" on and some page listing an
// app); Velloq's own windows, and no window at all, never count. Main thread.
class PageFollower : public QObject {
    Q_OBJECT

public:
    explicit PageFollower(std::unique_ptr<ActiveAppWatcher> watcher, pid_t ownPid = ::getpid(),
                          QObject* parent = nullptr);
    ~PageFollower() override;

    // Takes each configuration once the controller runs: starts or stops watching, and reads
    // the listed apps' desktop entries anew, off the main thread, when the lists changed.
    void setConfig(const DockConfig& config);
    bool watching() const { return watching_; }
    const ActiveAppWatcher& watcher() const { return *watcher_; }
    ActiveAppWatcher& watcher() { return *watcher_; }

Q_SIGNALS:
    // The app in front changed: the page that lists it, or nothing when no page does.
    void appInFront(std::optional<QUuid> page);

private:
    struct Rule {
        QUuid page;
        AppMatcher matcher;
    };
    using Listing = QList<std::pair<QUuid, QStringList>>;

    void windowActivated(const WindowIdentity& window);
    void decide();

    std::unique_ptr<ActiveAppWatcher> watcher_;
    pid_t ownPid_;
    bool watching_ = false;
    Listing listing_;   // the pages' app lists the rules are (being) made from
    QList<Rule> rules_; // in page order
    quint64 rulesStamp_ = 0;
    bool rulesReady_ = false;
    std::optional<WindowIdentity> inFront_; // the last one reported, not ours
    bool decisionPending_ = false;
    QThreadPool pool_;
};

} // namespace velloq
