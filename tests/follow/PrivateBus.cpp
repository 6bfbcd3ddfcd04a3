#include "PrivateBus.h"

#include "support/TestEnv.h"

namespace velloq::test {

PrivateBus::PrivateBus() {
    daemon_.start(QStringLiteral("dbus-daemon"),
                  {QStringLiteral("--session"), QStringLiteral("--nofork"),
                   QStringLiteral("--print-address=1"),
                   QStringLiteral("--address=unix:tmpdir=") + scratchDir()});
    if (!daemon_.waitForStarted())
        return;
    waitUntil([this] { return daemon_.canReadLine() || daemon_.state() != QProcess::Running; },
              10000);
    address_ = QString::fromUtf8(daemon_.readLine().trimmed());
}

PrivateBus::~PrivateBus() {
    for (const QString& name : connections_)
        QDBusConnection::disconnectFromBus(name);
    daemon_.terminate();
    daemon_.waitForFinished();
}

QDBusConnection PrivateBus::connect(const QString& name) {
    connections_ << name;
    return QDBusConnection::connectToBus(address_, name);
}

std::unique_ptr<QProcess> PrivateBus::start(const QString& program, const QStringList& arguments,
                                            const QByteArray& ready) {
    auto process = std::make_unique<QProcess>();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address_);
    process->setProcessEnvironment(environment);
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process->start(program, arguments);
    QByteArray output;
    waitUntil(
        [&] {
            output += process->readAllStandardOutput();
            return output.contains(ready) || process->state() == QProcess::NotRunning;
        },
        20000);
    if (!output.contains(ready))
        return nullptr;
    return process;
}

} // namespace velloq::test
