#pragma once

#include "config/DockConfig.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <optional>

namespace velloq::SetupFile {

// The format this version writes and the newest it reads.
inline constexpr int64_t kFormat = 1;
// The archive's entries: this file, and the images under the folder.
inline const QString kManifestName = QStringLiteral("velloq.json");
inline const QString kImageFolder = QStringLiteral("images/");

// What velloq.json holds: a whole setup, or one page with the snippets its keys paste. Image
// paths in it are names of the archive's entries ("images/1.png"); a screensaver animation is
// either such a name or a built-in one.
struct Contents {
    enum class Kind { setup, page };
    Kind kind = Kind::setup;
    DockConfig setup;        // kind setup
    Page page;               // kind page
    QList<Snippet> snippets; // kind page

    // Compares what the kind holds.
    bool operator==(const Contents& other) const {
        if (kind != other.kind)
            return false;
        return kind == Kind::setup ? setup == other.setup
                                   : page == other.page && snippets == other.snippets;
    }
};

// The desktop-file ID stored beside an app action's path ("org.gnome.Calculator.desktop").
using DesktopIdOf = std::function<QString(const QString& path)>;
// The path an app action gets on import, from the stored path and desktop-file ID.
using AppPathFor = std::function<QString(const QString& path, const QString& desktopId)>;

// The text of velloq.json. The configuration is written by its own encoder, so every member
// it stores is carried; each app action also gets "desktopId". Nothing, with `error` set, when
// a number is not finite.
std::optional<QByteArray> encode(const Contents& contents, const DesktopIdOf& desktopIdOf,
                                 QString* error);

// Reads velloq.json strictly: nothing, with a one-sentence `error` naming the archive as
// `displayName`, for text that is not a JSON object, a missing or newer format, an unknown
// kind, a setting that does not decode in whole, or an image that is not an archive entry
// under images/.
std::optional<Contents> decode(QByteArrayView json, const QString& displayName,
                               const AppPathFor& appPathFor, QString* error);

// The images the contents name, each once, in order of first use.
QStringList imageNames(const Contents& contents);

} // namespace velloq::SetupFile
