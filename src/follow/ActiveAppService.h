#pragma once

#include "system/AppMatcher.h"

#include <QDBusConnection>
#include <QObject>
#include <QString>

namespace velloq {

// Velloq's app.velloq.ActiveApp1 object (app.velloq.ActiveApp1.xml), through which the
// KWin script and the GNOME Shell extension report the window in front. The generated
// adaptor forwards here; this checks the arguments. Registered while it lives.
class ActiveAppService : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool Watching READ watching)
    Q_PROPERTY(uint Version READ version)

public:
    static QString objectPath() { return QStringLiteral("/app/velloq/Velloq/ActiveApp"); }
    static QString interfaceName() { return QStringLiteral("app.velloq.ActiveApp1"); }

    explicit ActiveAppService(QDBusConnection bus, QObject* parent = nullptr);
    ~ActiveAppService() override;
    ActiveAppService(const ActiveAppService&) = delete;
    ActiveAppService& operator=(const ActiveAppService&) = delete;

    bool isRegistered() const { return registered_; }
    bool watching() const { return watching_; }
    // Announces the change with PropertiesChanged.
    void setWatching(bool value);
    uint version() const { return 1; }

public Q_SLOTS:
    void WindowActivated(const QString& appId, const QString& wmClass, const QString& wmInstance,
                         const QString& pid);

Q_SIGNALS:
    void windowActivated(const velloq::WindowIdentity& window);

private:
    QDBusConnection bus_;
    bool registered_ = false;
    bool watching_ = false;
};

} // namespace velloq
