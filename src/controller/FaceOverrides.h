#pragma once

#include "imaging/IconRenderer.h"

#include <QString>
#include <QUuid>

#include <optional>

namespace velloq {

// Faces shown for a while in place of what a screen key's action and image call for (a
// script's recording timer, a build status). Never saved. The controller asks for them each
// time it draws a key; whoever sets them calls `refreshScreen` when one changes.
class FaceOverrides {
public:
    struct Face {
        IconRenderer::Picture picture;
        std::optional<QString> animation; // an animated image played over the picture
    };

    FaceOverrides() = default;
    virtual ~FaceOverrides() = default;
    FaceOverrides(const FaceOverrides&) = delete;
    FaceOverrides& operator=(const FaceOverrides&) = delete;

    // What key `key` (0-5) of `page` shows instead, if anything.
    virtual const Face* face(const QUuid& page, int key) const = 0;
};

} // namespace velloq
