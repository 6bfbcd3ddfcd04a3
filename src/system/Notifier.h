#pragma once

#include <QString>

namespace velloq {

// Desktop notifications. Main thread; never waits for the notification server.
class Notifier {
public:
    virtual ~Notifier() = default;
    // `icon` is a theme icon name.
    virtual void notify(const QString& summary, const QString& body,
                        const QString& icon = QStringLiteral("dialog-warning")) = 0;
};

// org.freedesktop.Notifications on the session bus, fire and forget, as "Velloq".
class DesktopNotifier final : public Notifier {
public:
    void notify(const QString& summary, const QString& body, const QString& icon) override;
};

} // namespace velloq
