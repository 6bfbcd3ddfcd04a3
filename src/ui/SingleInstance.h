#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>

namespace velloq {

// One Velloq per user: the first instance owns a name on the session bus and serves
// org.freedesktop.Application there; a later one asks it to show its window instead, or to
// open the files it was started with (a .velloq opened from the file manager).
class SingleInstance : public QObject {
    Q_OBJECT

public:
    // Matches the desktop entry's id.
    static QString busName() { return QStringLiteral("app.velloq.Velloq"); }
    static QString objectPath() { return QStringLiteral("/app/velloq/Velloq"); }

    enum class Claim {
        first,       // this process owns the name; `activated` reports later launches
        activated,   // another instance runs and was asked to show itself
        unreachable, // another instance owns the name but did not answer
        noBus,       // no session bus: run alone, without the check
    };

    explicit SingleInstance(QDBusConnection bus = QDBusConnection::sessionBus(),
                            QObject* parent = nullptr);

    // Blocks for at most a few seconds, before the window exists. `served` is the object put
    // at objectPath(): its own adaptors (app.velloq.Velloq1) are served there beside
    // org.freedesktop.Application, which is added to it; this object when null. Both are in
    // place before the name is taken, so a call that starts Velloq finds them. When another
    // instance runs, it is asked to open `files` (local paths), or else to show itself.
    Claim claim(QObject* served = nullptr, const QStringList& files = {});

Q_SIGNALS:
    // Activate was called (a second launch, or the desktop's launcher). Open and
    // ActivateAction end here too, so Velloq shows itself.
    void activated();
    // Open was called with these local files, after activated().
    void openRequested(const QStringList& paths);

private:
    friend class ApplicationAdaptor;
    void handleActivate(const QVariantMap& platformData);
    void handleOpen(const QStringList& uris, const QVariantMap& platformData);

    QDBusConnection bus_;
};

} // namespace velloq
