#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

#include <optional>

namespace velloq::test {

// A PulseAudio daemon of the test's own in `dir`, with a null sink and a null source, kept off
// the session bus, so tests can run in parallel and stop, pause or restart it freely.
class PulseDaemon {
public:
    explicit PulseDaemon(const QString& dir)
        : dir_(dir) {}
    ~PulseDaemon() { stop(); }
    PulseDaemon(const PulseDaemon&) = delete;
    PulseDaemon& operator=(const PulseDaemon&) = delete;

    QString server() const { return QStringLiteral("unix:") + dir_ + QStringLiteral("/native"); }

    // Starts the daemon and waits until it answers.
    bool start();
    void stop();
    void pause();
    void resume();

    // pactl against this daemon; none when it fails.
    std::optional<QString> pactl(const QStringList& args) const;
    // The first channel's raw volume of a sink or source, as pactl reports it.
    std::optional<int> rawVolume(const QString& kind, const QString& name) const;

private:
    QString dir_;
    QProcess process_;
};

} // namespace velloq::test
