#include "follow/KWinActiveAppWatcher.h"

#include "follow/ActiveAppService.h"
#include "follow/BusReply.h"
#include "support/AppPaths.h"
#include "support/Log.h"

#include <QDBusServiceWatcher>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonValue>
#include <QSaveFile>

// The script's resource lives in a static library, which registers nothing by itself.
static void initFollowResources() {
    Q_INIT_RESOURCE(follow);
}

namespace velloq {

namespace {

const QString kKWin = QStringLiteral("org.kde.KWin");
const QString kScripting = QStringLiteral("org.kde.kwin.Scripting");
constexpr int kQuitTimeoutMs = 1000;

QDBusMessage scriptingCall(const QString& method) {
    return QDBusMessage::createMethodCall(kKWin, QStringLiteral("/Scripting"), kScripting, method);
}

} // namespace

KWinActiveAppWatcher::KWinActiveAppWatcher(QDBusConnection bus, QString scriptFolder,
                                           QObject* parent)
    : ActiveAppWatcher(parent)
    , bus_(std::move(bus))
    , scriptFolder_(scriptFolder.isEmpty() ? AppPaths::runtimeDir() + QStringLiteral("/velloq")
                                           : std::move(scriptFolder)) {
}

KWinActiveAppWatcher::~KWinActiveAppWatcher() {
    // Quitting: the call must reach KWin before the process ends.
    unload(true);
}

QString KWinActiveAppWatcher::script(const QString& service) {
    initFollowResources();
    QFile file(QStringLiteral(":/follow/kwin/active-app.js"));
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    // A JSON string is a valid JavaScript string literal.
    const QString literal = QString::fromUtf8(
        QJsonDocument::fromVariant(QVariantList{service}).toJson(QJsonDocument::Compact));
    return QString::fromUtf8(file.readAll())
        .replace(QStringLiteral("\"@SERVICE@\""), literal.mid(1, literal.size() - 2));
}

void KWinActiveAppWatcher::start() {
    if (kwinWatcher_)
        return;
    if (!service_) {
        service_ = std::make_unique<ActiveAppService>(bus_);
        connect(service_.get(), &ActiveAppService::windowActivated, this,
                &ActiveAppWatcher::activated);
    }
    service_->setWatching(true);
    kwinWatcher_ =
        new QDBusServiceWatcher(kKWin, bus_, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(kwinWatcher_, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString&, const QString& newOwner) {
                ++generation_; // whatever the old KWin was doing is void
                loaded_ = false;
                if (!newOwner.isEmpty())
                    load(false);
            });
    load(false);
}

void KWinActiveAppWatcher::stop() {
    if (!kwinWatcher_)
        return;
    delete kwinWatcher_;
    kwinWatcher_ = nullptr;
    ++generation_;
    service_->setWatching(false);
    unload(false);
}

void KWinActiveAppWatcher::load(bool unloadFirst) {
    if (unloadFirst) {
        QDBusMessage unloadCall = scriptingCall(QStringLiteral("unloadScript"));
        unloadCall << pluginName();
        bus_.asyncCall(unloadCall); // answered before the load that follows
    }
    if (!QDir().mkpath(scriptFolder_)) {
        logLine(QStringLiteral("Could not create ") + scriptFolder_);
        return;
    }
    const QString path = scriptFolder_ + QStringLiteral("/kwin-active-app.js");
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(script(bus_.baseService()).toUtf8()) < 0 ||
        !file.commit()) {
        logLine(QStringLiteral("Could not write ") + path + QStringLiteral(": ") +
                file.errorString());
        return;
    }
    QDBusMessage call = scriptingCall(QStringLiteral("loadScript"));
    call << path << pluginName();
    const quint64 generation = generation_;
    whenAnswered(bus_, call, this, [this, generation, unloadFirst](const QDBusMessage& reply) {
        if (generation != generation_)
            return;
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
            // No KWin yet: the owner change loads it when one comes.
            if (reply.errorName() != QStringLiteral("org.freedesktop.DBus.Error.ServiceUnknown"))
                logLine(QStringLiteral("Could not load the KWin script: ") + reply.errorMessage());
            return;
        }
        const int id = reply.arguments().constFirst().toInt();
        if (id < 0) {
            // A Velloq that did not quit cleanly left its script loaded: replace it, once.
            if (!unloadFirst)
                load(true);
            else
                logLine(QStringLiteral("Could not load the KWin script: KWin refused it"));
            return;
        }
        loaded_ = true;
        run(id, false);
    });
}

void KWinActiveAppWatcher::run(int scriptId, bool plasma5Path) {
    // Plasma 6 serves a loaded script at /Scripting/Script<id>, Plasma 5 at /<id>.
    const QString path = (plasma5Path ? QStringLiteral("/") : QStringLiteral("/Scripting/Script")) +
                         QString::number(scriptId);
    const QDBusMessage call = QDBusMessage::createMethodCall(
        kKWin, path, QStringLiteral("org.kde.kwin.Script"), QStringLiteral("run"));
    const quint64 generation = generation_;
    whenAnswered(
        bus_, call, this, [this, generation, scriptId, plasma5Path](const QDBusMessage& reply) {
            if (generation != generation_ || reply.type() == QDBusMessage::ReplyMessage)
                return;
            if (!plasma5Path)
                run(scriptId, true);
            else
                logLine(QStringLiteral("Could not run the KWin script: ") + reply.errorMessage());
        });
}

void KWinActiveAppWatcher::unload(bool wait) {
    if (!loaded_)
        return;
    loaded_ = false;
    QDBusMessage call = scriptingCall(QStringLiteral("unloadScript"));
    call << pluginName();
    if (wait)
        bus_.call(call, QDBus::Block, kQuitTimeoutMs);
    else
        bus_.asyncCall(call);
}

} // namespace velloq
