#pragma once

#include <QUuid>
#include <QWidget>

class QLineEdit;
class QPlainTextEdit;

namespace velloq {

class DockController;
struct Snippet;

// One saved snippet: its name, a delete button and its text. The snippet is looked up by id
// on every read and write; once it is gone, the row reads empty and writes nothing.
class SnippetRow : public QWidget {
    Q_OBJECT

public:
    SnippetRow(DockController& controller, const QUuid& id, QWidget* parent = nullptr);

    const QUuid& id() const { return id_; }

private:
    const Snippet* snippet() const;
    template <typename Change> void write(Change&& change);
    void sync();

    DockController& controller_;
    QUuid id_;
    QLineEdit* name_;
    QPlainTextEdit* text_;
};

} // namespace velloq
