#pragma once

#include <QHash>
#include <QUuid>
#include <QWidget>

class QPushButton;
class QVBoxLayout;

namespace velloq {

class DockController;
class SnippetRow;

// The "Snippets" tab: one row per saved snippet, in order, and "Add Snippet", which shows the
// new snippet with its name selected for typing.
class SnippetsView : public QWidget {
    Q_OBJECT

public:
    SnippetsView(DockController& controller, QWidget* parent = nullptr);

private:
    void sync();
    void showForTyping(const QUuid& id);

    DockController& controller_;
    QVBoxLayout* rowsLayout_;
    QPushButton* add_;
    QHash<QUuid, SnippetRow*> rows_;
};

} // namespace velloq
