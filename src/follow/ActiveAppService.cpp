#include "follow/ActiveAppService.h"

#include "follow/ActiveAppAdaptor.h"
#include "support/Log.h"

#include <QDBusMessage>
#include <QVariantMap>

namespace velloq {

namespace {
// Longer names are no application's; a caller sending them is broken or hostile.
constexpr qsizetype kMaxText = 512;

QString bounded(const QString& text) {
    return text.size() <= kMaxText ? text : QString();
}
} // namespace

ActiveAppService::ActiveAppService(QDBusConnection bus, QObject* parent)
    : QObject(parent)
    , bus_(std::move(bus)) {
    new ActiveAppAdaptor(this);
    registered_ = bus_.isConnected() &&
                  bus_.registerObject(objectPath(), this, QDBusConnection::ExportAdaptors);
    if (!registered_)
        logLine(QStringLiteral("Could not register ") + objectPath() +
                QStringLiteral(" on the session bus: ") + bus_.lastError().message());
}

ActiveAppService::~ActiveAppService() {
    if (registered_)
        bus_.unregisterObject(objectPath());
}

void ActiveAppService::setWatching(bool value) {
    if (value == watching_)
        return;
    watching_ = value;
    if (!registered_)
        return;
    QDBusMessage changed =
        QDBusMessage::createSignal(objectPath(), QStringLiteral("org.freedesktop.DBus.Properties"),
                                   QStringLiteral("PropertiesChanged"));
    changed << interfaceName() << QVariantMap{{QStringLiteral("Watching"), watching_}}
            << QStringList();
    bus_.send(changed);
}

void ActiveAppService::WindowActivated(const QString& appId, const QString& wmClass,
                                       const QString& wmInstance, const QString& pid) {
    if (!watching_)
        return;
    WindowIdentity window;
    window.appId = bounded(appId);
    window.wmClass = bounded(wmClass);
    window.wmInstance = bounded(wmInstance);
    bool ok = false;
    const uint number = pid.trimmed().toUInt(&ok);
    window.pid = ok && number <= uint(std::numeric_limits<pid_t>::max()) ? pid_t(number) : 0;
    Q_EMIT windowActivated(window);
}

} // namespace velloq
