#pragma once

// Velloq's scripting interface served on the test fixture's session bus, as the app serves it,
// over the controller and an emulated dock; calls come through a connection of their own, as
// from another program, and the real velloq program runs the commands.

#include "imaging/IconRenderer.h"
#include "scripting/ScriptingService.h"
#include "scripting/Velloq1.h"
#include "ui/EditorsFixture.h"
#include "ui/SingleInstance.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QProcess>

namespace velloq::test {

// Keeps the messages of the signals it is connected to.
class SignalLog : public QObject {
    Q_OBJECT
public:
    QList<QDBusMessage> messages;
    // The arguments of each signal called `member`, in order.
    QList<QVariantList> of(const QString& member) const {
        QList<QVariantList> found;
        for (const QDBusMessage& message : messages) {
            if (message.member() == member)
                found << message.arguments();
        }
        return found;
    }

public Q_SLOTS:
    void record(const QDBusMessage& message) { messages << message; }
};

struct CommandResult {
    int status = -1;
    QString out;
    QString err;
};

class ScriptingTest : public EditorsTest {
protected:
    void SetUp() override {
        if (!QDBusConnection::sessionBus().isConnected())
            GTEST_SKIP() << "no session bus";
        client = QDBusConnection::connectToBus(QDBusConnection::SessionBus, kClient);
        ASSERT_TRUE(client.isConnected());
    }

    void TearDown() override {
        QDBusConnection bus = QDBusConnection::sessionBus();
        bus.unregisterObject(Velloq1::path());
        bus.unregisterService(Velloq1::service());
        service.reset();
        instance.reset();
        EditorsTest::TearDown();
        QDBusConnection::disconnectFromBus(kClient);
    }

    // The controller (with an emulated dock unless `dock` is false) and the interface on the
    // bus, claimed as Velloq claims it.
    void serve(const DockConfig& config = DockConfig(), bool dock = true) {
        make(config, dock);
        service = std::make_unique<ScriptingService>();
        instance = std::make_unique<SingleInstance>();
        ASSERT_EQ(instance->claim(service.get()), SingleInstance::Claim::first);
        service->bind(*controller);
    }

    // A call from another program; the event loop runs meanwhile, so the service answers.
    QDBusMessage call(const QString& method, const QVariantList& arguments = {},
                      const QString& interface = Velloq1::interface()) {
        QDBusMessage message =
            QDBusMessage::createMethodCall(Velloq1::service(), Velloq1::path(), interface, method);
        message.setArguments(arguments);
        QDBusPendingCall pending = client.asyncCall(message);
        waitUntil([&] { return pending.isFinished(); }, 20000);
        return pending.reply();
    }
    QVariant property(const QString& name) {
        const QDBusMessage reply = call(QStringLiteral("Get"), {Velloq1::interface(), name},
                                        QStringLiteral("org.freedesktop.DBus.Properties"));
        return reply.arguments().value(0).value<QDBusVariant>().variant();
    }
    static QString error(const char* name) { return Velloq1::error(name); }

    // Subscribes `log` to the interface's signals and to PropertiesChanged; in place on return.
    void listen(SignalLog& log) {
        for (const char* name : {"ButtonPressed", "KnobTurned", "KnobPressed", "PageChanged"})
            ASSERT_TRUE(client.connect(Velloq1::service(), Velloq1::path(), Velloq1::interface(),
                                       QLatin1String(name), &log, SLOT(record(QDBusMessage))));
        ASSERT_TRUE(client.connect(
            Velloq1::service(), Velloq1::path(), QStringLiteral("org.freedesktop.DBus.Properties"),
            QStringLiteral("PropertiesChanged"), &log, SLOT(record(QDBusMessage))));
        // The bus takes a connection's messages in order: once this is answered, the
        // subscriptions are in place.
        call(QStringLiteral("Ping"), {}, QStringLiteral("org.freedesktop.DBus.Peer"));
    }

    // The real velloq program with `arguments`, run to its end (in `folder`, with `env`, when
    // given).
    CommandResult velloq(const QStringList& arguments, const QString& folder = QString(),
                         const QProcessEnvironment& env = QProcessEnvironment()) {
        QProcess process;
        if (!folder.isEmpty())
            process.setWorkingDirectory(folder);
        if (!env.isEmpty())
            process.setProcessEnvironment(env);
        process.start(QStringLiteral(VELLOQ_BINARY), arguments);
        const bool ended =
            process.waitForStarted() &&
            waitUntil([&] { return process.state() == QProcess::NotRunning; }, 30000);
        if (!ended) {
            process.kill();
            process.waitForFinished();
            return {};
        }
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
    }

    // What screen key `key` of the emulated dock shows for `picture`.
    QByteArray faceOf(const IconRenderer::Picture& picture) const {
        const DockModel model = emulator->model();
        return IconRenderer::face(picture, DockModels::imageEdge(model),
                                  DockModels::finalRotation(model, 0))
            .value_or(QByteArray());
    }
    bool shows(int key, const QByteArray& face) {
        return waitUntil([&] { return emulator->faceData(key) == face; }, 10000);
    }

    static inline const QString kClient = QStringLiteral("velloq-test-client");
    QDBusConnection client{QString()};
    std::unique_ptr<ScriptingService> service;
    std::unique_ptr<SingleInstance> instance;
};

} // namespace velloq::test
