#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

#include <cstdint>
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

    // Every format currently offered; formats without data are skipped. Empty when the
    // clipboard is. Another client's formats are read within a quarter of a second in total
    // on X11; the ones that do not arrive in time are skipped and logged.
    Snapshot snapshot() const;
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
