#include "system/Clipboard.h"

#include "system/X11Selection.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace velloq {

namespace {

constexpr int kSnapshotBudgetMs = 250;

} // namespace

Clipboard::Clipboard(QObject* parent)
    : QObject(parent) {
    if (QClipboard* clipboard = QGuiApplication::clipboard()) {
        connect(clipboard, &QClipboard::dataChanged, this, [this] { ++changes_; });
    }
}

Clipboard::Snapshot Clipboard::snapshot() const {
    Snapshot saved;
    const QClipboard* clipboard = QGuiApplication::clipboard();
    // Qt reads another client's formats one by one, each with a limit of seconds; over X we
    // read them ourselves within one short limit. Our own content is at hand either way.
    if (clipboard && !clipboard->ownsClipboard() &&
        QGuiApplication::platformName() == QStringLiteral("xcb")) {
        if (std::optional<X11Selection::Formats> formats =
                X11Selection::readClipboard(kSnapshotBudgetMs))
            return *formats;
    }
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
