#pragma once

#include "support/UniqueFd.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <map>

class QSocketNotifier;

namespace velloq {

// Tells when the access to some device nodes may have changed: one of them was created in
// its folder, or its owner, mode or ACL changed. inotify, so nothing runs while nothing
// changes. Main thread.
class NodeWatcher : public QObject {
    Q_OBJECT
public:
    // Watches `names` inside `folder`, e.g. "/dev" and {"uinput"}.
    NodeWatcher(QString folder, QStringList names, QObject* parent = nullptr);
    ~NodeWatcher() override;

    // False (with the reason) when the folder cannot be watched.
    bool start(QString* error = nullptr);

Q_SIGNALS:
    // Once for every burst of events read together; ask for the access again.
    void changed();

private:
    void readEvents();
    void watchNode(const QString& name);

    QString folder_;
    QStringList names_;
    UniqueFd inotify_;
    int folderWatch_ = -1;
    std::map<int, QString> nodeWatches_; // watch descriptor -> node name
    QSocketNotifier* notifier_ = nullptr;
};

} // namespace velloq
