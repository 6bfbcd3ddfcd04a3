#pragma once

#include <QWidget>

namespace velloq {

class DockController;

// stub until built
class SnippetsView : public QWidget {
    Q_OBJECT

public:
    SnippetsView(DockController& controller, QWidget* parent = nullptr);
};

} // namespace velloq
