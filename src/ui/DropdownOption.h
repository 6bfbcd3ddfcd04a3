#pragma once

#include <QString>
#include <QVariant>

#include <optional>

namespace velloq {

// One choice of a Dropdown. `value` holds any type with equality registered with QMetaType
// (enums, QString, QUuid, int, ...).
struct DropdownOption {
    QString title;
    QVariant value;
    std::optional<QString> section; // heading the option is listed under

    template <typename T>
    static DropdownOption of(const QString& title, const T& value,
                             std::optional<QString> section = std::nullopt) {
        return {title, QVariant::fromValue(value), std::move(section)};
    }
};

} // namespace velloq
