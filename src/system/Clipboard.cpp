#include "system/Clipboard.h"

#include "system/X11Selection.h"

#include "support/Background.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace velloq {

namespace {

constexpr int kSnapshotBudgetMs = 250;

// Every format QClipboard offers, read on the calling (main) thread.
Clipboard::Snapshot mimeSnapshot() {
    Clipboard::Snapshot saved;
    const QClipboard* clipboard = QGuiApplication::clipboard();
    const QMimeData* data = clipboard ? clipboard->mimeData() : nullptr;
    if (!data)
        return saved;
    for (const QString& format : data->formats()) {
        QByteArray bytes = data->data(format);
        if (!bytes.isEmpty())
            saved.append({format, std::move(bytes)});
    }
    return saved;
}

} // namespace

Clipboard::Clipboard(QObject* parent)
    : QObject(parent) {
    if (QClipboard* clipboard = QGuiApplication::clipboard()) {
        connect(clipboard, &QClipboard::dataChanged, this, [this] { ++changes_; });
    }
}

void Clipboard::snapshot(QObject* context, SnapshotDone done) const {
    const QClipboard* clipboard = QGuiApplication::clipboard();
    // Qt reads another client's formats one by one on the main thread, each with a limit of
    // seconds; over X we read them ourselves, off it, within short limits. Our own content
    // is at hand either way.
    if (clipboard && !clipboard->ownsClipboard() &&
        QGuiApplication::platformName() == QStringLiteral("xcb")) {
        inBackground(
            context, [] { return X11Selection::readClipboard(kSnapshotBudgetMs); },
            [done = std::move(done)](std::optional<X11Selection::Contents> contents) {
                if (!contents)
                    done(mimeSnapshot()); // no X server after all
                else if (contents->unreadable)
                    done(std::nullopt);
                else
                    done(std::move(contents->formats));
            });
        return;
    }
    done(mimeSnapshot());
}

void Clipboard::restore(const Snapshot& saved) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard)
        return;
    clipboard->clear();
    if (saved.isEmpty())
        return;
    auto* data = new QMimeData;
    for (const auto& [format, bytes] : saved)
        data->setData(format, bytes);
    clipboard->setMimeData(data); // the clipboard owns it
}

void Clipboard::setText(const QString& text) {
    if (QClipboard* clipboard = QGuiApplication::clipboard())
        clipboard->setText(text);
}

QString Clipboard::text() const {
    const QClipboard* clipboard = QGuiApplication::clipboard();
    return clipboard ? clipboard->text() : QString();
}

} // namespace velloq
