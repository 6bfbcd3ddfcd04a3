#include "ui/KeyDrag.h"

#include "config/ConfigJson.h"

#include <QMimeData>
#include <QUrl>

namespace velloq::KeyDrag {

namespace {

std::optional<ButtonAction> actionFrom(const ConfigJson::Node* node) {
    return node ? ConfigJson::decodeAction(*node) : std::nullopt;
}

} // namespace

QMimeData* elementData(const Selection& selection) {
    auto* data = new QMimeData;
    const QString text = (selection.kind == Selection::Kind::key ? QStringLiteral("key:")
                                                                 : QStringLiteral("knob:")) +
                         QString::number(selection.index);
    data->setData(QString::fromLatin1(kElementMime), text.toUtf8());
    return data;
}

std::optional<Selection> elementOf(const QMimeData* data) {
    if (!data || !data->hasFormat(QString::fromLatin1(kElementMime)))
        return std::nullopt;
    const QStringList parts =
        QString::fromUtf8(data->data(QString::fromLatin1(kElementMime))).split(u':');
    bool number = false;
    const int index = parts.value(1).toInt(&number);
    if (parts.size() != 2 || !number || index < 0)
        return std::nullopt;
    if (parts[0] == QStringLiteral("key"))
        return Selection::key(index);
    if (parts[0] == QStringLiteral("knob"))
        return Selection::knob(index);
    return std::nullopt;
}

QMimeData* buttonData(const Button& button) {
    auto* data = new QMimeData;
    ConfigJson::Node full = ConfigJson::Node::object();
    full.insert(QStringLiteral("action"), ConfigJson::encode(button.action));
    full.insert(QStringLiteral("customIcon"), button.customIcon
                                                  ? ConfigJson::Node::of(*button.customIcon)
                                                  : ConfigJson::Node::null());
    if (const std::optional<QByteArray> bytes = ConfigJson::write(full))
        data->setData(QString::fromLatin1(kButtonMime), *bytes);
    if (const std::optional<QByteArray> text = ConfigJson::write(ConfigJson::encode(button.action)))
        data->setText(QString::fromUtf8(*text));
    return data;
}

std::optional<Button> buttonOf(const QMimeData* data) {
    if (!data)
        return std::nullopt;
    if (data->hasFormat(QString::fromLatin1(kButtonMime))) {
        const std::optional<ConfigJson::Node> full =
            ConfigJson::parse(data->data(QString::fromLatin1(kButtonMime)));
        if (full) {
            if (std::optional<ButtonAction> action = actionFrom(full->member("action"))) {
                const ConfigJson::Node* icon = full->member("customIcon");
                return Button{*action, icon ? ConfigJson::decodeString(*icon) : std::nullopt};
            }
        }
    }
    if (!data->hasText())
        return std::nullopt;
    const std::optional<ConfigJson::Node> node = ConfigJson::parse(data->text().trimmed().toUtf8());
    if (std::optional<ButtonAction> action = node ? actionFrom(&*node) : std::nullopt)
        return Button{*action, std::nullopt};
    return std::nullopt;
}

std::optional<QString> droppedFile(const QMimeData* data) {
    if (!data || !data->hasUrls())
        return std::nullopt;
    const QList<QUrl> urls = data->urls();
    if (urls.size() != 1 || !urls.first().isLocalFile())
        return std::nullopt;
    return urls.first().toLocalFile();
}

} // namespace velloq::KeyDrag
