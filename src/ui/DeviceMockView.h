#pragma once

#include "controller/Selection.h"

#include <QList>
#include <QPoint>
#include <QUuid>
#include <QWidget>

#include <optional>

class QLabel;
class QMimeData;

namespace velloq {

class DockController;
class PreviewElement;

// A clickable picture of the dock: six screen buttons, three round buttons and three knobs,
// each showing what it does. Clicking one selects it in the controller; so do the arrow keys,
// moving by row and column.
class DeviceMockView : public QWidget {
    Q_OBJECT

public:
    explicit DeviceMockView(DockController& controller, QWidget* parent = nullptr);

    // The element that selects `selection`, for tests and screenshots.
    QWidget* element(const Selection& selection) const;
    // The short note a refused drop or paste leaves; empty when none shows.
    QString note() const;
    // Shows `text` over the preview for a few seconds.
    void showNote(const QString& text);

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void refresh(bool force);
    // Moves a focus held inside the preview to the selected element: one element shows it.
    void focusSelected();
    // The element next to `from` on screen in the direction of the arrow `key`: Up and Down
    // keep to its column, Left and Right to its row. None at the edge.
    PreviewElement* neighbour(const PreviewElement* from, int key) const;
    // Dragging (DeviceMockView's drag and drop part).
    std::optional<Selection> selectionAt(const QPoint& position) const;
    bool accepts(const QMimeData* mime, const Selection& target) const;
    void setDropTarget(std::optional<Selection> target);
    void startDrag(PreviewElement* source, const Selection& selection);

    DockController& controller_;
    QList<PreviewElement*> keys_;  // key index 0-8
    QList<PreviewElement*> knobs_; // knob index 0-2
    QPoint pressPosition_;
    std::optional<Selection> dropTarget_;
    std::optional<QUuid> dragPage_; // where the drag under way started
    QLabel* note_ = nullptr;
    // The last move by an arrow key, so that the opposite arrow goes back.
    struct ArrowMove {
        PreviewElement* from = nullptr;
        PreviewElement* to = nullptr;
        int key = 0;
    } lastArrow_;
    // A refresh asked for while hidden, done when the preview shows again.
    std::optional<bool> pendingRefresh_;
};

} // namespace velloq
