#pragma once

#include "config/ActionModel.h"
#include "config/DockConfig.h"
#include "imaging/IconRenderer.h"

#include <QImage>
#include <QList>
#include <QWidget>

#include <optional>
#include <utility>

namespace velloq {

class AnimatedImage;
class DockController;
class SymbolFace;

// What a key shows in the preview, decided by the same picture function as the dock's face. A
// screen key is drawn as the dock draws it (its caption cut at the same place), scaled to the
// preview; an animated custom image plays. A round key shows its picture or symbol small. A key
// with nothing to show has a faint placeholder. A toggle that is on has its marker.
class KeyFace : public QWidget {
    Q_OBJECT

public:
    explicit KeyFace(QWidget* parent = nullptr);

    // Recomputes the picture only when something it shows changed (the action, the image, a
    // toggle's state, the name of the one snippet or page the action names), or when `force`
    // is set (a website icon arrived): typing a snippet's text rebuilds no face. `edge` is the
    // dock's key size in pixels, which decides where a screen key's caption is cut.
    void setFace(const KeyLook& look, const QList<Snippet>& snippets, const QList<Page>& pages,
                 bool compact, int edge, bool force = false);
    // An animated image shows the frames the dock plays on key `key`, when it plays the same.
    void followDock(DockController& controller, int key);
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
    bool on_ = false;
    // Whether the snippet or page the action names exists, and its name.
    std::optional<std::pair<bool, QString>> named_;
    bool compact_ = false;
    int edge_ = 0;
    IconRenderer::Picture picture_;
    // The screen key's face as the dock draws it, at this widget's pixel size; made on paint.
    QImage drawn_;
    AnimatedImage* animated_ = nullptr;
    SymbolFace* symbol_ = nullptr;
    QWidget* onMarker_ = nullptr; // above the others
};

} // namespace velloq
