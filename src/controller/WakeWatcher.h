#pragma once

#include <QObject>

namespace velloq {

// Tells when the computer has woken from sleep.
class WakeWatcher : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~WakeWatcher() override = default;

    // Begins watching. Main thread.
    virtual void start() = 0;

Q_SIGNALS:
    void woke();
};

// logind's PrepareForSleep(false) on the system bus. Without a system bus or logind it
// never fires, and says so once in the log.
class LogindWakeWatcher final : public WakeWatcher {
    Q_OBJECT
public:
    using WakeWatcher::WakeWatcher;
    void start() override;

private Q_SLOTS:
    void prepareForSleep(bool sleeping);
};

} // namespace velloq
