#pragma once

#include "config/ActionModel.h"
#include "controller/FaceOverrides.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QThreadPool>
#include <QTimer>
#include <QUuid>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <utility>

namespace velloq {

class DockController;

// The faces scripts put on screen keys. An image is read on a worker; a face belongs to the
// page that was current when it was asked for and stays until it is reset, until its key's
// action or image changes, or until Velloq quits. The dock is sent a key's new face at most
// once per animation frame, and only while it has taken everything before: faces that come
// faster replace each other, the newest winning. Main thread.
class TemporaryFaces final : public QObject, public FaceOverrides {
    Q_OBJECT
public:
    static constexpr int kFrameMs = 33; // the animations' frame, 1/30 s

    // Nothing once the face is in place or a newer one replaced it, else why it is not.
    using Done = std::function<void(const std::optional<QString>& error)>;

    // Serves as `controller`'s face overrides until either is destroyed.
    explicit TemporaryFaces(DockController& controller, QObject* parent = nullptr);
    ~TemporaryFaces() override;

    // A face on screen key `key` (0-5) of the current page: `image` is an absolute path or
    // empty, `title` a caption or empty, not both empty.
    void set(int key, const QString& image, const QString& title, Done done);
    // The key's own face again, on the current page.
    void reset(int key);

    const Face* face(const QUuid& page, int key) const override;

private:
    using Slot = std::pair<QUuid, int>;
    struct Entry {
        Face face;
        // What the key held when the face went up; a change of either ends the face.
        ButtonAction action;
        std::optional<QString> customIcon;
    };
    // The newest request per slot, read by the worker to skip decoding what is replaced.
    struct Requests;

    quint64 request(const Slot& slot);
    void install(const Slot& slot, Face face);
    void forget(const Slot& slot);
    void dropChangedKeys();
    void markDirty(const Slot& slot);
    void flush();

    QPointer<DockController> controller_;
    std::map<Slot, Entry> faces_;
    std::shared_ptr<Requests> requests_;
    QList<int> dirty_;
    QTimer flushTimer_;
    QElapsedTimer sinceFlush_;
    QThreadPool reader_; // one thread: requests are read in the order they came
};

} // namespace velloq
