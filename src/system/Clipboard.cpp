#include "system/Clipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace velloq {

Clipboard::Clipboard(QObject* parent)
    : QObject(parent) {
    if (QClipboard* clipboard = QGuiApplication::clipboard()) {
        connect(clipboard, &QClipboard::dataChanged, this, [this] { ++changes_; });
    }
}

Clipboard::Snapshot Clipboard::snapshot() const {
    Snapshot saved;
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
