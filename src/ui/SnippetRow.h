#pragma once

#include <QMessageBox>
#include <QPointer>
#include <QUuid>
#include <QWidget>

class QLineEdit;
class QPlainTextEdit;

namespace velloq {

class DockController;
struct Snippet;

// One saved snippet: its name, a delete button and its text. The snippet is looked up by id
// on every read and write; once it is gone, the row reads empty and writes nothing. Deleting a
// snippet that buttons paste asks first and says how many.
class SnippetRow : public QWidget {
    Q_OBJECT

public:
    SnippetRow(DockController& controller, const QUuid& id, QWidget* parent = nullptr);

    const QUuid& id() const { return id_; }
    // The name field, for focusing a new snippet.
    QLineEdit* nameField() const { return name_; }
    // The question before a delete, while it is open.
    QMessageBox* deleteDialog() const { return deleteDialog_; }

private:
    const Snippet* snippet() const;
    template <typename Change> void write(Change&& change);
    void sync();
    void askToDelete();

    DockController& controller_;
    QUuid id_;
    QLineEdit* name_;
    QPlainTextEdit* text_;
    QPointer<QMessageBox> deleteDialog_;
};

} // namespace velloq
