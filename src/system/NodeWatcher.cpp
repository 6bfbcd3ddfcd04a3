#include "system/NodeWatcher.h"

#include "support/InotifyEvents.h"

#include <QFile>
#include <QSocketNotifier>

#include <cerrno>
#include <cstring>

namespace velloq {

NodeWatcher::NodeWatcher(QString folder, QStringList names, QObject* parent)
    : QObject(parent)
    , folder_(std::move(folder))
    , names_(std::move(names)) {
}

NodeWatcher::~NodeWatcher() {
    delete notifier_;
}

bool NodeWatcher::start(QString* error) {
    if (inotify_)
        return true;
    inotify_.reset(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    // Creations only: attribute changes of the folder's other nodes would wake us for nothing.
    folderWatch_ = inotify_
                       ? ::inotify_add_watch(inotify_.get(), QFile::encodeName(folder_).constData(),
                                             IN_CREATE | IN_MOVED_TO | IN_ONLYDIR)
                       : -1;
    if (folderWatch_ < 0) {
        if (error)
            *error = QString::fromLocal8Bit(std::strerror(errno));
        inotify_.reset();
        return false;
    }
    for (const QString& name : std::as_const(names_))
        watchNode(name);
    notifier_ = new QSocketNotifier(inotify_.get(), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] { readEvents(); });
    return true;
}

void NodeWatcher::watchNode(const QString& name) {
    // A node that does not exist yet is watched once its folder reports its creation.
    const int wd = ::inotify_add_watch(
        inotify_.get(), QFile::encodeName(folder_ + QLatin1Char('/') + name).constData(),
        IN_ATTRIB);
    if (wd >= 0)
        nodeWatches_[wd] = name;
}

void NodeWatcher::readEvents() {
    bool relevant = false;
    readInotifyEvents(inotify_.get(), [&](const inotify_event& event, const char* name) {
        if (event.mask & IN_Q_OVERFLOW) {
            relevant = true;
        } else if (event.wd == folderWatch_) {
            const QString created = QFile::decodeName(name);
            if (names_.contains(created)) {
                // Watched before the check that follows, so no later change is missed.
                watchNode(created);
                relevant = true;
            }
        } else if (event.mask & IN_IGNORED) {
            nodeWatches_.erase(event.wd); // the node went away
        } else if (event.mask & IN_ATTRIB) {
            relevant = true;
        }
    });
    if (relevant)
        Q_EMIT changed();
}

} // namespace velloq
