#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace velloq::MediaCheck {

// What an image a .velloq file holds is, as the format its copy is named by: "png", "gif",
// "jpeg", … for a picture whose first frame decodes; the suffix ("mp4", "mov", "m4v") for a
// video (told by the suffix of `name`, as Velloq tells videos everywhere) of which a frame
// decodes. Nothing otherwise. `file` is where the bytes are on disk already, if they are.
// Any thread.
std::optional<QString> formatOf(const QByteArray& bytes, const QString& name,
                                const QString& file = QString());

} // namespace velloq::MediaCheck
