#pragma once

#include "config/ActionModel.h"

#include <QString>
#include <QWidget>

class QLabel;

namespace velloq {

class DockController;
class Dropdown;

// The editor of one knob (0-2): what it controls, and what turning and pressing it do.
class KnobEditor : public QWidget {
    Q_OBJECT

public:
    KnobEditor(DockController& controller, int index, QWidget* parent = nullptr);

    // "Small left knob", "Big knob", "Small right knob".
    static QString title(int index);
    // "Sound Volume", "Microphone Volume", "Screen Brightness", "Nothing".
    static QString roleTitle(KnobRole role);
    // "Turn to adjust. Press …." ; empty for `nothing`.
    static QString help(KnobRole role);

private:
    void sync();

    DockController& controller_;
    int index_;
    Dropdown* role_;
    QLabel* help_;
};

} // namespace velloq
