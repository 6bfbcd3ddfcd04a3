#pragma once

#include "ui/DropdownOption.h"

#include <QAbstractButton>
#include <QList>
#include <QPointer>
#include <QVariant>

#include <functional>

#include <QMenu>

namespace velloq {

// A compact button showing the current choice; a click pops a menu of the options at the
// pointer with the current choice checked and under the pointer. It never changes its
// selection itself: it calls onSelect, and the owner stores the value and sets it back.
class Dropdown : public QAbstractButton {
    Q_OBJECT

public:
    explicit Dropdown(QWidget* parent = nullptr);
    ~Dropdown() override;

    void setOptions(const QList<DropdownOption>& options);
    const QList<DropdownOption>& options() const { return options_; }
    void setSelection(const QVariant& value);
    const QVariant& selection() const { return selection_; }
    void setOnSelect(std::function<void(const QVariant&)> onSelect);

    // The title of the first option whose value equals the selection, else "Choose…".
    QString currentTitle() const;

    // Builds the menu and pops it up at the pointer.
    void openMenu();
    // The menu while it is open.
    QMenu* menu() const { return menu_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void updateAccessibleName();

    QList<DropdownOption> options_;
    QVariant selection_;
    std::function<void(const QVariant&)> onSelect_;
    QPointer<QMenu> menu_;
};

} // namespace velloq
