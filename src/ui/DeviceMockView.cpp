#include "ui/DeviceMockView.h"

#include "controller/DockController.h"
#include "imaging/Symbols.h"
#include "ui/KeyFace.h"
#include "ui/KnobEditor.h"

#include "ui/KeyDrag.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDrag>
#include <QDropEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QImageReader>
#include <QLabel>
#include <QLinearGradient>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>
#include <QVBoxLayout>

namespace velloq {

namespace {
constexpr int kScreenKey = 54;
constexpr int kRoundKey = 34;
constexpr int kBigKnob = 84;
constexpr int kSmallKnob = 36;
constexpr qreal kScreenKeyRadius = 10;
constexpr qreal kSelectedWidth = 2.5;

QString knobSymbol(KnobRole role) {
    switch (role) {
    case KnobRole::volume:
        return QStringLiteral("speaker.wave.2.fill");
    case KnobRole::microphone:
        return QStringLiteral("mic.fill");
    case KnobRole::brightness:
        return QStringLiteral("sun.max.fill");
    case KnobRole::nothing:
        break;
    }
    return QStringLiteral("circle.dashed");
}

QColor whiteLevel(qreal level, qreal alpha = 1) {
    QColor color = QColor::fromRgbF(float(level), float(level), float(level));
    color.setAlphaF(float(alpha));
    return color;
}
} // namespace

// One key or knob of the preview: a focusable button that selects itself when clicked.
class PreviewElement : public QAbstractButton {
public:
    enum class Shape { screenKey, roundKey, knob };

    PreviewElement(Shape shape, int diameter, QWidget* parent)
        : QAbstractButton(parent)
        , shape_(shape) {
        setFixedSize(diameter, diameter);
        setFocusPolicy(Qt::StrongFocus);
        setCursor(Qt::PointingHandCursor);
        if (shape != Shape::knob) {
            face_ = new KeyFace(this);
            face_->setGeometry(rect());
        }
    }

    KeyFace* face() const { return face_; }
    void setDropTarget(bool target) {
        if (dropTarget_ == target)
            return;
        dropTarget_ = target;
        update();
    }
    void setSelected(bool selected) {
        if (selected_ == selected)
            return;
        selected_ = selected;
        update();
    }
    // The knob's role; none when it lies outside the configuration's list.
    void setRole(std::optional<KnobRole> role) {
        if (role_ == role)
            return;
        role_ = role;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF bounds = QRectF(rect()).adjusted(1.5, 1.5, -1.5, -1.5);
        const auto outline = [&](QPainter& p) {
            if (shape_ == Shape::screenKey)
                p.drawRoundedRect(bounds, kScreenKeyRadius, kScreenKeyRadius);
            else
                p.drawEllipse(bounds);
        };

        painter.setPen(Qt::NoPen);
        if (shape_ == Shape::screenKey) {
            painter.setBrush(Qt::black);
        } else if (shape_ == Shape::roundKey) {
            painter.setBrush(whiteLevel(0.28));
        } else {
            QLinearGradient gradient(bounds.topLeft(), bounds.bottomLeft());
            gradient.setColorAt(0, whiteLevel(0.42));
            gradient.setColorAt(1, whiteLevel(0.22));
            painter.setBrush(gradient);
        }
        outline(painter);

        if (shape_ == Shape::knob && role_) {
            const qreal px = 0.3 * width();
            const bool none = *role_ == KnobRole::nothing;
            Symbols::draw(painter, knobSymbol(*role_),
                          QRectF(rect()).center() - QPointF(px / 2, px / 2), px,
                          whiteLevel(1, none ? 0.35 : 0.9));
        }

        painter.setBrush(Qt::NoBrush);
        const QColor accent = palette().color(QPalette::Highlight);
        if (dropTarget_) {
            painter.setPen(QPen(accent, kSelectedWidth, Qt::DashLine));
            QColor fill = accent;
            fill.setAlphaF(0.3F);
            painter.setBrush(fill);
            outline(painter);
        } else if (selected_) {
            painter.setPen(QPen(accent, kSelectedWidth));
            outline(painter);
        } else if (hasFocus()) {
            painter.setPen(QPen(accent, 1, Qt::DashLine));
            outline(painter);
        } else if (shape_ == Shape::screenKey) {
            painter.setPen(QPen(whiteLevel(1, 0.15), 1));
            outline(painter);
        }
    }

private:
    Shape shape_;
    KeyFace* face_ = nullptr;
    bool selected_ = false;
    bool dropTarget_ = false;
    std::optional<KnobRole> role_;
};

DeviceMockView::DeviceMockView(DockController& controller, QWidget* parent)
    : QWidget(parent)
    , controller_(controller) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);

    const auto makeKey = [&](int index) {
        const bool screen = index < DockController::kScreenKeys;
        auto* key = new PreviewElement(screen ? PreviewElement::Shape::screenKey
                                              : PreviewElement::Shape::roundKey,
                                       screen ? kScreenKey : kRoundKey, this);
        const QString help = screen ? QStringLiteral("Screen button %1").arg(index + 1)
                                    : QStringLiteral("Round button %1").arg(index - 5);
        key->setToolTip(help);
        key->setAccessibleName(help);
        connect(key, &QAbstractButton::clicked, this,
                [this, index] { controller_.setSelected(Selection::key(index)); });
        key->installEventFilter(this);
        keys_.append(key);
        return key;
    };
    const auto makeKnob = [&](int index, int diameter) {
        auto* knob = new PreviewElement(PreviewElement::Shape::knob, diameter, this);
        connect(knob, &QAbstractButton::clicked, this,
                [this, index] { controller_.setSelected(Selection::knob(index)); });
        knob->installEventFilter(this);
        knobs_.append(knob);
        return knob;
    };

    auto* grid = new QGridLayout;
    grid->setSpacing(8);
    for (int index = 0; index < DockController::kScreenKeys; ++index)
        grid->addWidget(makeKey(index), index / 3, index % 3);
    auto* roundRow = new QHBoxLayout;
    roundRow->setSpacing(8);
    roundRow->addStretch();
    for (int index = DockController::kScreenKeys; index < 9; ++index)
        roundRow->addWidget(makeKey(index));
    roundRow->addStretch();
    auto* left = new QVBoxLayout;
    left->setSpacing(12);
    left->addLayout(grid);
    left->addLayout(roundRow);

    // Made in knob order so that Tab goes left, big, right; placed big left of the column.
    PreviewElement* small0 = makeKnob(0, kSmallKnob);
    PreviewElement* big = makeKnob(1, kBigKnob);
    PreviewElement* small2 = makeKnob(2, kSmallKnob);
    auto* smallColumn = new QVBoxLayout;
    smallColumn->setSpacing(10);
    smallColumn->addWidget(small0, 0, Qt::AlignHCenter);
    smallColumn->addWidget(small2, 0, Qt::AlignHCenter);
    auto* right = new QHBoxLayout;
    right->setSpacing(10);
    right->addWidget(big, 0, Qt::AlignVCenter);
    right->addLayout(smallColumn);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(14, 14, 14, 14);
    layout->setSpacing(14);
    layout->addLayout(left);
    layout->addLayout(right);

    connect(&controller_, &DockController::configChanged, this, [this] { refresh(false); });
    connect(&controller_, &DockController::siteIconsUpdated, this, [this] { refresh(true); });
    connect(&controller_, &DockController::selectedChanged, this, [this] { refresh(false); });
    connect(&controller_, &DockController::currentPageChanged, this, [this] { refresh(false); });
    setAcceptDrops(true);
    note_ = new QLabel(this);
    note_->setAlignment(Qt::AlignCenter);
    note_->setWordWrap(true);
    note_->setStyleSheet(
        QStringLiteral("QLabel { background: rgba(0, 0, 0, 200); color: white; border-radius: 6px; "
                       "padding: 4px; }"));
    note_->hide();
    refresh(false);
}

QWidget* DeviceMockView::element(const Selection& selection) const {
    const QList<PreviewElement*>& list = selection.kind == Selection::Kind::key ? keys_ : knobs_;
    return selection.index >= 0 && selection.index < list.size() ? list[selection.index] : nullptr;
}

void DeviceMockView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (const std::optional<bool> force = std::exchange(pendingRefresh_, std::nullopt))
        refresh(*force);
}

void DeviceMockView::refresh(bool force) {
    if (!isVisible()) {
        // Closed window or another tab: nothing is drawn until it shows.
        pendingRefresh_ = pendingRefresh_.value_or(false) || force;
        return;
    }
    const DockConfig& config = controller_.config();
    const QList<ButtonAction>& actions = controller_.currentKeys();
    const QList<std::optional<QString>>& icons = controller_.currentCustomIcons();
    const Selection selected = controller_.selected();
    for (int index = 0; index < keys_.size(); ++index) {
        PreviewElement* key = keys_[index];
        key->setSelected(selected == Selection::key(index));
        if (index < actions.size()) {
            const std::optional<QString> icon = index < icons.size() ? icons[index] : std::nullopt;
            key->face()->setFace(actions[index], icon, config.snippets, config.pages,
                                 index >= DockController::kScreenKeys, force);
        } else {
            key->face()->clearFace();
        }
    }
    for (int index = 0; index < knobs_.size(); ++index) {
        PreviewElement* knob = knobs_[index];
        knob->setSelected(selected == Selection::knob(index));
        const std::optional<KnobRole> role =
            index < config.knobs.size() ? std::optional(config.knobs[index]) : std::nullopt;
        knob->setRole(role);
        const QString help = role ? KnobEditor::roleTitle(*role) : QString();
        knob->setToolTip(help);
        knob->setAccessibleName(help.isEmpty() ? QStringLiteral("Knob %1").arg(index + 1) : help);
    }
}

void DeviceMockView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(whiteLevel(1, 0.18), 1));
    painter.setBrush(whiteLevel(0.14));
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 14, 14);
}

// --- Drag and drop ---

namespace {
constexpr int kNoteMs = 4000;
} // namespace

QString DeviceMockView::note() const {
    return note_->isVisible() ? note_->text() : QString();
}

std::optional<Selection> DeviceMockView::selectionAt(const QPoint& position) const {
    for (int index = 0; index < keys_.size(); ++index) {
        if (keys_[index]->geometry().contains(position))
            return Selection::key(index);
    }
    for (int index = 0; index < knobs_.size(); ++index) {
        if (knobs_[index]->geometry().contains(position))
            return Selection::knob(index);
    }
    return std::nullopt;
}

bool DeviceMockView::accepts(const QMimeData* mime, const Selection& target) const {
    if (const std::optional<Selection> source = KeyDrag::elementOf(mime))
        return source->kind == target.kind && *source != target && element(*source);
    // Whether the file is an image is told on the drop, with a note.
    return KeyDrag::droppedFile(mime) && target.kind == Selection::Kind::key &&
           target.index < DockController::kScreenKeys;
}

void DeviceMockView::setDropTarget(std::optional<Selection> target) {
    if (dropTarget_ == target)
        return;
    if (dropTarget_)
        static_cast<PreviewElement*>(element(*dropTarget_))->setDropTarget(false);
    dropTarget_ = target;
    if (dropTarget_)
        static_cast<PreviewElement*>(element(*dropTarget_))->setDropTarget(true);
}

bool DeviceMockView::eventFilter(QObject* watched, QEvent* event) {
    auto* source = static_cast<PreviewElement*>(watched);
    if (event->type() == QEvent::MouseButtonPress) {
        pressPosition_ = static_cast<QMouseEvent*>(event)->position().toPoint();
    } else if (event->type() == QEvent::MouseMove) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if ((mouse->buttons() & Qt::LeftButton) &&
            (mouse->position().toPoint() - pressPosition_).manhattanLength() >=
                QApplication::startDragDistance()) {
            const qsizetype key = keys_.indexOf(source);
            startDrag(source, key >= 0 ? Selection::key(int(key))
                                       : Selection::knob(int(knobs_.indexOf(source))));
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void DeviceMockView::startDrag(PreviewElement* source, const Selection& selection) {
    auto* drag = new QDrag(source);
    drag->setMimeData(KeyDrag::elementData(selection));
    drag->setPixmap(source->grab());
    drag->setHotSpot(pressPosition_);
    // The dock may open another page while the drag runs; the swap is on this one.
    dragPage_ = controller_.currentPage();
    // Escape or a drop outside a key ends it with nothing changed.
    drag->exec(Qt::MoveAction);
    dragPage_.reset();
    source->setDown(false); // the release went to the drag
    setDropTarget(std::nullopt);
}

void DeviceMockView::dragEnterEvent(QDragEnterEvent* event) {
    if (KeyDrag::elementOf(event->mimeData()) || KeyDrag::droppedFile(event->mimeData()))
        event->acceptProposedAction();
}

void DeviceMockView::dragMoveEvent(QDragMoveEvent* event) {
    const std::optional<Selection> target = selectionAt(event->position().toPoint());
    if (target && accepts(event->mimeData(), *target)) {
        setDropTarget(target);
        event->acceptProposedAction();
    } else {
        setDropTarget(std::nullopt);
        event->ignore();
    }
}

void DeviceMockView::dragLeaveEvent(QDragLeaveEvent*) {
    setDropTarget(std::nullopt);
}

void DeviceMockView::dropEvent(QDropEvent* event) {
    setDropTarget(std::nullopt);
    const std::optional<Selection> target = selectionAt(event->position().toPoint());
    if (!target || !accepts(event->mimeData(), *target)) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    if (const std::optional<Selection> source = KeyDrag::elementOf(event->mimeData())) {
        if (target->kind == Selection::Kind::key)
            controller_.swapKeys(source->index, target->index,
                                 dragPage_.value_or(controller_.currentPage()));
        else
            controller_.swapKnobs(source->index, target->index);
        controller_.setSelected(*target);
        return;
    }
    const QString file = *KeyDrag::droppedFile(event->mimeData());
    if (QImageReader(file).canRead()) {
        if (controller_.useCustomIcon(target->index, file))
            controller_.setSelected(*target);
        else
            showNote(QStringLiteral("Could not copy that image."));
    } else {
        showNote(QStringLiteral("Only images can be dropped on a button."));
    }
}

void DeviceMockView::showNote(const QString& text) {
    note_->setText(text);
    note_->setGeometry(12, height() - 40, width() - 24, 28);
    note_->show();
    note_->raise();
    QTimer::singleShot(kNoteMs, note_, &QWidget::hide);
}

} // namespace velloq
