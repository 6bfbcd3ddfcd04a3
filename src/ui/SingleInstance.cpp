#include "ui/SingleInstance.h"

#include "support/Log.h"

#include <QDBusAbstractAdaptor>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QUrl>

namespace velloq {

namespace {
constexpr int kActivateTimeoutMs = 5000;
const QString kInterface = QStringLiteral("org.freedesktop.Application");
} // namespace

// org.freedesktop.Application on the first instance's object.
class ApplicationAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")

public:
    ApplicationAdaptor(QObject* served, SingleInstance* instance)
        : QDBusAbstractAdaptor(served)
        , instance_(instance) {}

public Q_SLOTS:
    void Activate(const QVariantMap& platformData) { instance_->handleActivate(platformData); }
    void Open(const QStringList& uris, const QVariantMap& platformData) {
        instance_->handleOpen(uris, platformData);
    }
    void ActivateAction(const QString& name, const QVariantList& parameter,
                        const QVariantMap& platformData) {
        Q_UNUSED(name);
        Q_UNUSED(parameter);
        instance_->handleActivate(platformData);
    }

private:
    SingleInstance* instance_;
};

SingleInstance::SingleInstance(QDBusConnection bus, QObject* parent)
    : QObject(parent)
    , bus_(std::move(bus)) {
}

void SingleInstance::handleActivate(const QVariantMap& platformData) {
    // Lets the window take focus on Wayland (xdg-activation) and X11 (startup notification).
    const QString token = platformData.value(QStringLiteral("activation-token")).toString();
    if (!token.isEmpty())
        qputenv("XDG_ACTIVATION_TOKEN", token.toUtf8());
    Q_EMIT activated();
}

void SingleInstance::handleOpen(const QStringList& uris, const QVariantMap& platformData) {
    handleActivate(platformData);
    QStringList paths;
    for (const QString& uri : uris) {
        const QUrl url(uri);
        if (url.isLocalFile())
            paths << url.toLocalFile();
    }
    if (!paths.isEmpty())
        Q_EMIT openRequested(paths);
}

SingleInstance::Claim SingleInstance::claim(QObject* served, const QStringList& files) {
    if (!bus_.isConnected()) {
        logLine(QStringLiteral("No session bus: running without the one-instance check"));
        return Claim::noBus;
    }
    // The object is in place before the name is, so an Activate right after is served.
    if (!served)
        served = this;
    auto* adaptor = new ApplicationAdaptor(served, this);
    bus_.registerObject(objectPath(), served, QDBusConnection::ExportAdaptors);
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply =
        bus_.interface()->registerService(busName(), QDBusConnectionInterface::DontQueueService,
                                          QDBusConnectionInterface::DontAllowReplacement);
    if (!reply.isValid()) {
        logLine(QStringLiteral("Could not own ") + busName() + QStringLiteral(": ") +
                reply.error().message());
        return Claim::noBus;
    }
    if (reply.value() == QDBusConnectionInterface::ServiceRegistered)
        return Claim::first;
    bus_.unregisterObject(objectPath());
    delete adaptor;

    QVariantMap platformData;
    const QByteArray token = qgetenv("XDG_ACTIVATION_TOKEN");
    if (!token.isEmpty())
        platformData.insert(QStringLiteral("activation-token"), QString::fromUtf8(token));
    QDBusMessage activate = QDBusMessage::createMethodCall(
        busName(), objectPath(), kInterface,
        files.isEmpty() ? QStringLiteral("Activate") : QStringLiteral("Open"));
    if (!files.isEmpty()) {
        QStringList uris;
        for (const QString& file : files)
            uris << QUrl::fromLocalFile(file).toString(QUrl::FullyEncoded);
        activate << uris;
    }
    activate << platformData;
    const QDBusMessage answer = bus_.call(activate, QDBus::Block, kActivateTimeoutMs);
    if (answer.type() == QDBusMessage::ReplyMessage)
        return Claim::activated;
    logLine(QStringLiteral("Could not activate the running Velloq: ") + answer.errorMessage());
    return Claim::unreachable;
}

} // namespace velloq

#include "SingleInstance.moc"
