#pragma once

#include <QString>
#include <QWidget>

#include <utility>

class QPainter;

namespace velloq {

// A system symbol and, unless compact, its title under it in one line: what a key without a
// picture shows in the preview.
class SymbolFace : public QWidget {
    Q_OBJECT

public:
    explicit SymbolFace(QWidget* parent = nullptr);

    // (symbol name, title)
    void setInfo(const std::pair<QString, QString>& info, bool compact);
    const std::pair<QString, QString>& info() const { return info_; }

    // Paints the face into `rect`; also used by KeyFace for faces without a widget.
    static void paint(QPainter& painter, const QRectF& rect,
                      const std::pair<QString, QString>& info, bool compact);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::pair<QString, QString> info_;
    bool compact_ = false;
};

} // namespace velloq
