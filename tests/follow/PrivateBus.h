#pragma once

#include <QDBusConnection>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <memory>

namespace velloq::test {

// A D-Bus session bus of one test's own, so that the names the test takes (org.kde.KWin,
// org.gnome.Shell, app.velloq.Velloq) meet no other test's. Stops with the object.
class PrivateBus {
public:
    PrivateBus();
    ~PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    bool isUp() const { return !address_.isEmpty(); }
    QString address() const { return address_; }
    // A new connection of the test to it.
    QDBusConnection connect(const QString& name);

    // Starts a program with this bus as its session bus; waits until it prints `ready`.
    std::unique_ptr<QProcess> start(const QString& program, const QStringList& arguments,
                                    const QByteArray& ready = "ready");

private:
    QProcess daemon_;
    QString address_;
    QStringList connections_;
};

} // namespace velloq::test
