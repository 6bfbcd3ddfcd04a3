#pragma once

#include <QHash>
#include <QUuid>
#include <QWidget>

class QPushButton;
class QVBoxLayout;

namespace velloq {

class DockController;
class SnippetRow;

// The "Snippets" tab: one row per saved snippet, in order, and "Add Snippet".
class SnippetsView : public QWidget {
    Q_OBJECT

public:
    SnippetsView(DockController& controller, QWidget* parent = nullptr);

private:
    void sync();

    DockController& controller_;
    QVBoxLayout* rowsLayout_;
    QPushButton* add_;
    QHash<QUuid, SnippetRow*> rows_;
};

} // namespace velloq
