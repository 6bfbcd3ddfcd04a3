#pragma once

#include "config/ActionModel.h"
#include "imaging/IconRenderer.h"

#include <QList>
#include <QWidget>

#include <optional>
#include <utility>

namespace velloq {

class AnimatedImage;
class SymbolFace;

// What a key shows in the preview, decided by the same picture function as the dock's face:
// an animated custom image plays, a still picture is scaled to fit (website icons on a white
// tile), a symbol with its title, or a faint placeholder.
class KeyFace : public QWidget {
    Q_OBJECT

public:
    explicit KeyFace(QWidget* parent = nullptr);

    // Recomputes the picture only when something it shows changed (the action, the image, the
    // name of the one snippet or page the action names), or when `force` is set (a website
    // icon arrived): typing a snippet's text rebuilds no face.
    void setFace(const ButtonAction& action, const std::optional<QString>& customIcon,
                 const QList<Snippet>& snippets, const QList<Page>& pages, bool compact,
                 bool force = false);
    // No face at all: the key lies outside the configuration's lists.
    void clearFace();
    bool hasFace() const { return action_.has_value(); }
    const IconRenderer::Picture& picture() const { return picture_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void layoutChildren();

    std::optional<ButtonAction> action_;
    std::optional<QString> customIcon_;
    // Whether the snippet or page the action names exists, and its name.
    std::optional<std::pair<bool, QString>> named_;
    bool compact_ = false;
    IconRenderer::Picture picture_;
    AnimatedImage* animated_ = nullptr;
    SymbolFace* symbol_ = nullptr;
};

} // namespace velloq
