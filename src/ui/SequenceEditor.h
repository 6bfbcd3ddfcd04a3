#pragma once

#include "config/ActionModel.h"

#include <QList>
#include <QWidget>

class QPushButton;
class QToolButton;
class QVBoxLayout;

namespace velloq {

class ActionEditor;
class DockController;

// The steps of "Several Actions", one row each: the step's own kind and details (or a wait in
// milliseconds), with buttons to move it up or down and to remove it, and "Add Step" below.
// Every control is reachable with Tab; moving a step keeps the focus on it.
class SequenceEditor : public QWidget {
    Q_OBJECT

public:
    // The sequence at `inside` the action of key `index` on the current page.
    SequenceEditor(DockController& controller, int index, const ActionPath& inside,
                   QWidget* parent = nullptr);

private:
    struct Row {
        QWidget* widget;
        ActionEditor* editor;
        QToolButton* up;
        QToolButton* down;
        QToolButton* remove;
    };

    QList<ButtonAction> steps() const;
    void store(const QList<ButtonAction>& steps);
    void sync();
    void addRow();
    void move(int from, int to, QToolButton* Row::*focus);

    DockController& controller_;
    int index_;
    ActionPath inside_;
    QVBoxLayout* rowsLayout_;
    QList<Row> rows_;
    QPushButton* add_;
};

} // namespace velloq
