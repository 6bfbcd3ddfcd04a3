#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <utility>

namespace velloq {

// The desktop clipboard (QClipboard, the Clipboard mode) with what a paste-and-restore needs:
// a copy of every format on it, putting that copy back, and a count of its changes.
class Clipboard : public QObject {
    Q_OBJECT

public:
    // Each format (MIME type) with its bytes, in the order the clipboard lists them.
    using Snapshot = QList<std::pair<QString, QByteArray>>;

    explicit Clipboard(QObject* parent = nullptr);

    using SnapshotDone = std::function<void(std::optional<Snapshot>)>;

    // Hands `done` every format currently offered (formats without data skipped; empty when
    // the clipboard is), or none when another client has content of which nothing could be
    // read in time. At once when the content is ours or the session is not X11; otherwise it
    // is read over X on a worker thread (a quarter of a second for the list and the formats;
    // when the list is late, a further quarter second for the text alone; late formats are
    // skipped and logged) and handed over on the main thread, unless `context` is gone.
    void snapshot(QObject* context, SnapshotDone done) const;
    // Clears the clipboard and, unless `saved` is empty, puts every saved format back.
    void restore(const Snapshot& saved);
    // Replaces whatever is on the clipboard by `text` as plain text.
    void setText(const QString& text);
    QString text() const;

    // Counts the clipboard's change notifications (ours and other applications' alike).
    uint64_t changeCount() const { return changes_; }

private:
    uint64_t changes_ = 0;
};

} // namespace velloq
