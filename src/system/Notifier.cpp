#include "system/Notifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

namespace velloq {

void DesktopNotifier::notify(const QString& summary, const QString& body, const QString& icon) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    QDBusMessage notify = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    notify << QStringLiteral("Velloq") << uint(0) << icon << summary << body << QStringList()
           << QVariantMap{{QStringLiteral("desktop-entry"), QStringLiteral("app.velloq.Velloq")}}
           << int(-1);
    bus.call(notify, QDBus::NoBlock);
}

} // namespace velloq
