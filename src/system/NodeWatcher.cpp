#include "system/NodeWatcher.h"

#include <QFile>
#include <QSocketNotifier>

#include <array>
#include <cerrno>
#include <cstring>
#include <sys/inotify.h>
#include <unistd.h>

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
    alignas(inotify_event) std::array<char, 4096> buffer{};
    bool relevant = false;
    for (;;) {
        const ssize_t n = ::read(inotify_.get(), buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        for (ssize_t offset = 0; offset < n;) {
            inotify_event event{};
            std::memcpy(&event, buffer.data() + offset, sizeof event);
            const char* name = buffer.data() + offset + sizeof event;
            offset += ssize_t(sizeof event + event.len);
            if (event.mask & IN_Q_OVERFLOW) {
                relevant = true;
            } else if (event.wd == folderWatch_) {
                const QString created = event.len ? QFile::decodeName(name) : QString();
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
        }
    }
    if (relevant)
        Q_EMIT changed();
}

} // namespace velloq
