#pragma once

#include <QWidget>

namespace velloq {

// Puts the Tab-focusable widgets inside `container` between `before` and `after` in the Tab
// order, in the order they were made. Widgets built after their neighbours (details rebuilt
// on a change, rows added later) would otherwise come last. Without `before`, the first one
// keeps its place. Returns the last one placed, or `before` when there is none.
inline QWidget* placeInTabOrder(QWidget* before, QWidget* container, QWidget* after = nullptr) {
    QWidget* previous = before;
    for (QWidget* widget : container->findChildren<QWidget*>()) {
        if (widget->window() != container->window() || !(widget->focusPolicy() & Qt::TabFocus))
            continue;
        if (previous)
            QWidget::setTabOrder(previous, widget);
        previous = widget;
    }
    if (previous && after)
        QWidget::setTabOrder(previous, after);
    return previous;
}

} // namespace velloq
