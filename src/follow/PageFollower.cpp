#include "follow/PageFollower.h"

#include "support/Background.h"

#include <QGuiApplication>

namespace velloq {

PageFollower::PageFollower(std::unique_ptr<ActiveAppWatcher> watcher, pid_t ownPid, QObject* parent)
    : QObject(parent)
    , watcher_(std::move(watcher))
    , ownPid_(ownPid) {
    // Its own worker: the shared pool may be busy for seconds decoding a screensaver.
    pool_.setMaxThreadCount(1);
    connect(watcher_.get(), &ActiveAppWatcher::activated, this, &PageFollower::windowActivated);
}

PageFollower::~PageFollower() {
    pool_.waitForDone();
}

void PageFollower::setConfig(const DockConfig& config) {
    Listing listing;
    for (const Page& page : config.pages) {
        if (!page.apps.isEmpty())
            listing.append({page.id, page.apps});
    }
    const bool watch = config.followApps && !listing.isEmpty();
    if (listing != listing_) {
        listing_ = listing;
        rulesReady_ = false;
        const quint64 stamp = ++rulesStamp_;
        inBackground(
            this,
            [listing] {
                QList<Rule> rules;
                for (const auto& [page, apps] : listing) {
                    for (const QString& path : apps) {
                        // An app removed since still matches by its file's name.
                        DesktopEntry entry = DesktopEntry::read(path).value_or(DesktopEntry());
                        entry.path = path;
                        rules.append({page, AppMatcher(entry)});
                    }
                }
                return rules;
            },
            [this, stamp](QList<Rule> rules) {
                if (stamp != rulesStamp_)
                    return;
                rules_ = std::move(rules);
                rulesReady_ = true;
                if (decisionPending_)
                    decide();
            },
            &pool_);
    }
    if (watch == watching_)
        return;
    watching_ = watch;
    inFront_.reset();
    decisionPending_ = false;
    if (watch)
        watcher_->start();
    else
        watcher_->stop();
}

void PageFollower::windowActivated(const WindowIdentity& window) {
    // Nothing in front is no app: window managers pass through it between two windows, and
    // following it would flick the dock to the user's page and back.
    if (!watching_ || window.isEmpty())
        return;
    // Opening Velloq's window to edit a page must not switch away from that page.
    const QString ownId = QGuiApplication::desktopFileName();
    if ((ownPid_ > 0 && window.pid == ownPid_) ||
        (!ownId.isEmpty() && (window.appId == ownId || window.appId == ownId + u".desktop")))
        return;
    if (inFront_ == window)
        return;
    inFront_ = window;
    decisionPending_ = true;
    if (rulesReady_)
        decide();
}

void PageFollower::decide() {
    decisionPending_ = false;
    if (!inFront_)
        return;
    const WindowIdentity& window = *inFront_;
    const std::optional<ProcessInfo> process =
        window.pid > 0 ? ProcessInfo::read(window.pid) : std::nullopt;
    for (const Rule& rule : rules_) {
        if (rule.matcher.matches(window, process ? &*process : nullptr)) {
            Q_EMIT appInFront(rule.page);
            return;
        }
    }
    Q_EMIT appInFront(std::nullopt);
}

} // namespace velloq
