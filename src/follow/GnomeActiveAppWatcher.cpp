#include "follow/GnomeActiveAppWatcher.h"

#include "follow/ActiveAppService.h"
#include "follow/BusReply.h"
#include "support/Log.h"

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QDBusServiceWatcher>

namespace velloq {

namespace {

const QString kShell = QStringLiteral("org.gnome.Shell");
const QString kShellPath = QStringLiteral("/org/gnome/Shell");
const QString kExtensions = QStringLiteral("org.gnome.Shell.Extensions");

// GNOME Shell's ExtensionState values (ACTIVE and INACTIVE from GNOME 47 on).
enum ExtensionState {
    enabled = 1,
    disabled = 2,
    outOfDate = 4,
    initialized = 6,
    disabling = 7,
    enabling = 8
};

int stateOf(const QVariantMap& info) {
    const auto it = info.constFind(QStringLiteral("state"));
    return it == info.constEnd() ? 0 : int(it->toDouble());
}

} // namespace

GnomeActiveAppWatcher::GnomeActiveAppWatcher(QDBusConnection bus, QObject* parent)
    : ActiveAppWatcher(parent)
    , bus_(std::move(bus))
    , shellWatcher_(
          new QDBusServiceWatcher(kShell, bus_, QDBusServiceWatcher::WatchForOwnerChange, this)) {
    bus_.connect(kShell, kShellPath, kExtensions, QStringLiteral("ExtensionStateChanged"), this,
                 SLOT(extensionStateChanged(QString, QVariantMap)));
    connect(shellWatcher_, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString&, const QString& newOwner) {
                if (!newOwner.isEmpty()) {
                    refreshAvailability();
                    return;
                }
                states_.clear(); // no shell, no extension
                updateAvailability();
            });
    refreshAvailability();
}

void GnomeActiveAppWatcher::refreshAvailability() {
    for (const QString& uuid : {extensionUuid(), legacyExtensionUuid()}) {
        QDBusMessage call = QDBusMessage::createMethodCall(kShell, kShellPath, kExtensions,
                                                           QStringLiteral("GetExtensionInfo"));
        call << uuid;
        whenAnswered(bus_, call, this, [this, uuid](const QDBusMessage& reply) {
            if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
                return;
            const QVariantMap info =
                qdbus_cast<QVariantMap>(reply.arguments().constFirst().value<QDBusArgument>());
            extensionStateChanged(uuid, info);
        });
    }
}

GnomeActiveAppWatcher::~GnomeActiveAppWatcher() = default;

void GnomeActiveAppWatcher::start() {
    refreshAvailability();
    if (!service_) {
        service_ = std::make_unique<ActiveAppService>(bus_);
        connect(service_.get(), &ActiveAppService::windowActivated, this,
                &ActiveAppWatcher::activated);
    }
    // The extension reports the focused app at once, and each change after.
    service_->setWatching(true);
}

void GnomeActiveAppWatcher::stop() {
    if (service_)
        service_->setWatching(false);
}

QString GnomeActiveAppWatcher::enableCommand() const {
    return offUuid_.isEmpty() ? QString() : QStringLiteral("gnome-extensions enable ") + offUuid_;
}

void GnomeActiveAppWatcher::extensionStateChanged(const QString& uuid, const QVariantMap& info) {
    if (uuid != extensionUuid() && uuid != legacyExtensionUuid())
        return;
    // An empty answer: no extension of that uuid is installed.
    if (info.isEmpty())
        states_.remove(uuid);
    else
        states_[uuid] = stateOf(info);
    updateAvailability();
}

void GnomeActiveAppWatcher::updateAvailability() {
    Availability next = Availability::unavailable;
    QString off;
    for (auto it = states_.constBegin(); it != states_.constEnd(); ++it) {
        switch (it.value()) {
        case enabled:
        case enabling:
            next = Availability::available;
            break;
        case disabled:
        case initialized:
        case disabling:
            if (next != Availability::available) {
                next = Availability::extensionOff;
                off = it.key();
            }
            break;
        default: // an error, or made for another GNOME version
            break;
        }
    }
    if (next == Availability::available)
        off.clear();
    if (next == availability_ && off == offUuid_)
        return;
    availability_ = next;
    offUuid_ = off;
    Q_EMIT availabilityChanged();
}

} // namespace velloq
