#pragma once

#include "follow/ActiveAppWatcher.h"

#include <QDBusConnection>
#include <QString>

#include <memory>

class QDBusServiceWatcher;

namespace velloq {

class ActiveAppService;

// Plasma: a KWin script, loaded through org.kde.KWin /Scripting (loadScript, then run),
// reports each activated window to Velloq's ActiveApp object. Loaded again when KWin
// restarts, unloaded by stop() and when this goes (at quit).
class KWinActiveAppWatcher final : public ActiveAppWatcher {
    Q_OBJECT

public:
    static QString pluginName() { return QStringLiteral("velloq-active-app"); }

    // The script is written into `scriptFolder` ($XDG_RUNTIME_DIR/velloq when empty).
    explicit KWinActiveAppWatcher(QDBusConnection bus, QString scriptFolder = QString(),
                                  QObject* parent = nullptr);
    ~KWinActiveAppWatcher() override;

    void start() override;
    void stop() override;
    Availability availability() const override { return Availability::available; }

    // The script as KWin gets it, calling back to `service`.
    static QString script(const QString& service);

private:
    void load(bool unloadFirst);
    void run(int scriptId, bool plasma5Path);
    void unload(bool wait);

    QDBusConnection bus_;
    QString scriptFolder_;
    std::unique_ptr<ActiveAppService> service_;
    QDBusServiceWatcher* kwinWatcher_ = nullptr;
    // Replies of an earlier start, or from a KWin that has gone since, are dropped.
    quint64 generation_ = 0;
    bool loaded_ = false;
};

} // namespace velloq
