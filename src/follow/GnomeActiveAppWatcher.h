#pragma once

#include "follow/ActiveAppWatcher.h"

#include <QDBusConnection>
#include <QMap>
#include <QString>
#include <QVariantMap>

#include <memory>

class QDBusServiceWatcher;

namespace velloq {

class ActiveAppService;

// GNOME on Wayland: Velloq's GNOME Shell extension (shipped under
// /usr/share/gnome-shell/extensions/) reports the focused app to Velloq's ActiveApp object
// while its Watching property is true. Whether the extension is enabled comes from
// org.gnome.Shell.Extensions: asked when made, when the shell (re)starts, when watching
// starts and on refreshAvailability(), and followed by its ExtensionStateChanged.
class GnomeActiveAppWatcher final : public ActiveAppWatcher {
    Q_OBJECT

public:
    // The ES-module form for GNOME 45 and later, and the older form for GNOME 43 and 44.
    static QString extensionUuid() { return QStringLiteral("velloq@velloq.app"); }
    static QString legacyExtensionUuid() { return QStringLiteral("velloq-legacy@velloq.app"); }

    explicit GnomeActiveAppWatcher(QDBusConnection bus, QObject* parent = nullptr);
    ~GnomeActiveAppWatcher() override;

    void start() override;
    void stop() override;
    Availability availability() const override { return availability_; }
    QString enableCommand() const override;
    void refreshAvailability() override;

private Q_SLOTS:
    void extensionStateChanged(const QString& uuid, const QVariantMap& info);

private:
    void updateAvailability();

    QDBusConnection bus_;
    std::unique_ptr<ActiveAppService> service_;
    QDBusServiceWatcher* shellWatcher_;
    QMap<QString, int> states_; // by uuid; absent: not installed
    Availability availability_ = Availability::unavailable;
    QString offUuid_; // the installed one to enable
};

} // namespace velloq
