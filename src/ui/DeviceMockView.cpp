#include "ui/DeviceMockView.h"

#include "controller/DockController.h"
#include "device/DeviceModel.h"
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
#include <QKeyEvent>
#include <QLabel>
#include <QLinearGradient>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>
#include <QVBoxLayout>

#include <cstdlib>
#include <utility>

namespace velloq {

namespace {
constexpr int kScreenKey = 54;
constexpr int kRoundKey = 34;
constexpr int kBigKnob = 84;
constexpr int kSmallKnob = 36;
constexpr qreal kScreenKeyRadius = 10;
constexpr qreal kSelectedWidth = 2.5;
constexpr qreal kFocusWidth = 1.5;
// Room around each element's face for its rings, so that no face can cover them.
constexpr int kRingMargin = 4;
constexpr qreal kRingOffset = 2; // from the face's edge to the middle of the ring

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

// One key or knob of the preview: a focusable button that selects itself when clicked. Its
// face is `diameter` across; the selection and focus rings go around it, outside the face.
class PreviewElement : public QAbstractButton {
public:
    enum class Shape { screenKey, roundKey, knob };

    PreviewElement(Shape shape, int diameter, QWidget* parent)
        : QAbstractButton(parent)
        , shape_(shape) {
        setFixedSize(diameter + 2 * kRingMargin, diameter + 2 * kRingMargin);
        setFocusPolicy(Qt::StrongFocus);
        setCursor(Qt::PointingHandCursor);
        if (shape != Shape::knob) {
            face_ = new KeyFace(this);
            face_->setGeometry(faceRect());
        }
    }

    KeyFace* face() const { return face_; }
    QRect faceRect() const {
        return rect().adjusted(kRingMargin, kRingMargin, -kRingMargin, -kRingMargin);
    }
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
        const QRectF bounds = faceRect();
        // The face's outline grown by `grow` (negative: shrunk).
        const auto outline = [&](QPainter& p, qreal grow) {
            const QRectF shape = bounds.adjusted(-grow, -grow, grow, grow);
            if (shape_ == Shape::screenKey)
                p.drawRoundedRect(shape, kScreenKeyRadius + grow, kScreenKeyRadius + grow);
            else
                p.drawEllipse(shape);
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
        outline(painter, 0);

        if (shape_ == Shape::knob && role_) {
            const qreal px = 0.3 * bounds.width();
            const bool none = *role_ == KnobRole::nothing;
            Symbols::draw(painter, knobSymbol(*role_), bounds.center() - QPointF(px / 2, px / 2),
                          px, whiteLevel(1, none ? 0.35 : 0.9));
        }

        // Rings lie outside the face, where neither a picture nor a face widget covers them.
        const QColor accent = palette().color(QPalette::Highlight);
        if (dropTarget_) {
            QColor fill = accent;
            fill.setAlphaF(0.3F);
            painter.setBrush(fill);
            outline(painter, 0);
        }
        painter.setBrush(Qt::NoBrush);
        if (dropTarget_) {
            painter.setPen(QPen(accent, kSelectedWidth, Qt::DashLine));
            outline(painter, kRingOffset);
        } else if (selected_) {
            painter.setPen(QPen(accent, kSelectedWidth));
            outline(painter, kRingOffset);
        } else if (hasFocus()) {
            painter.setPen(QPen(accent, kFocusWidth, Qt::DashLine));
            outline(painter, kRingOffset);
        } else if (shape_ == Shape::screenKey) {
            painter.setPen(QPen(whiteLevel(1, 0.15), 1));
            outline(painter, 0.5);
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
        if (screen)
            key->face()->followDock(controller_, index);
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

    // The gaps between faces are the elements' ring margins plus these spacings.
    constexpr int kGap = 2 * kRingMargin;
    auto* grid = new QGridLayout;
    grid->setSpacing(8 - kGap);
    for (int index = 0; index < DockController::kScreenKeys; ++index)
        grid->addWidget(makeKey(index), index / 3, index % 3);
    auto* roundRow = new QHBoxLayout;
    roundRow->setSpacing(8 - kGap);
    roundRow->addStretch();
    for (int index = DockController::kScreenKeys; index < 9; ++index)
        roundRow->addWidget(makeKey(index));
    roundRow->addStretch();
    auto* left = new QVBoxLayout;
    left->setSpacing(12 - kGap);
    left->addLayout(grid);
    left->addLayout(roundRow);

    // Made in knob order so that Tab goes left, big, right; placed big left of the column.
    PreviewElement* small0 = makeKnob(0, kSmallKnob);
    PreviewElement* big = makeKnob(1, kBigKnob);
    PreviewElement* small2 = makeKnob(2, kSmallKnob);
    auto* smallColumn = new QVBoxLayout;
    smallColumn->setSpacing(10 - kGap);
    smallColumn->addWidget(small0, 0, Qt::AlignHCenter);
    smallColumn->addWidget(small2, 0, Qt::AlignHCenter);
    auto* right = new QHBoxLayout;
    right->setSpacing(10 - kGap);
    right->addWidget(big, 0, Qt::AlignVCenter);
    right->addLayout(smallColumn);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(14 - kRingMargin, 14 - kRingMargin, 14 - kRingMargin,
                               14 - kRingMargin);
    layout->setSpacing(14 - kGap);
    layout->addLayout(left);
    layout->addLayout(right);

    connect(&controller_, &DockController::configChanged, this, [this] { refresh(false); });
    connect(&controller_, &DockController::siteIconsUpdated, this, [this] { refresh(true); });
    connect(&controller_, &DockController::selectedChanged, this, [this] {
        refresh(false);
        focusSelected();
    });
    // The dock's key size decides where captions are cut.
    connect(&controller_, &DockController::isConnectedChanged, this, [this] { refresh(false); });
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
    const Selection selected = controller_.selected();
    const int edge = DockModels::imageEdge(controller_.dock().model());
    for (int index = 0; index < keys_.size(); ++index) {
        PreviewElement* key = keys_[index];
        key->setSelected(selected == Selection::key(index));
        if (index < actions.size()) {
            key->face()->setFace(config.lookOf(controller_.currentPage(), index), config.snippets,
                                 config.pages, index >= DockController::kScreenKeys, edge, force);
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

void DeviceMockView::focusSelected() {
    QWidget* focused = QApplication::focusWidget();
    QWidget* selected = element(controller_.selected());
    if (focused && selected && focused != selected && isAncestorOf(focused))
        selected->setFocus(Qt::OtherFocusReason);
}

PreviewElement* DeviceMockView::neighbour(const PreviewElement* from, int key) const {
    const auto face = [](const PreviewElement* element) {
        return element->faceRect().translated(element->pos());
    };
    const QRect a = face(from);
    const bool vertical = key == Qt::Key_Up || key == Qt::Key_Down;
    const bool forward = key == Qt::Key_Down || key == Qt::Key_Right;
    // Across distances closer than this count as equal.
    const int band = (vertical ? a.width() : a.height()) / 4;
    PreviewElement* best = nullptr;
    int bestAlong = 0;
    int bestAcross = 0;
    for (PreviewElement* element : keys_ + knobs_) {
        const QRect b = face(element);
        // In line: the faces overlap across the direction of travel.
        const bool inLine = vertical ? a.left() <= b.right() && b.left() <= a.right()
                                     : a.top() <= b.bottom() && b.top() <= a.bottom();
        const QPoint step = b.center() - a.center();
        const int along = (vertical ? step.y() : step.x()) * (forward ? 1 : -1);
        const int across = std::abs(vertical ? step.x() : step.y());
        if (!inLine || along <= 0)
            continue;
        // The nearest along the way; of two as near, the one more nearly in line; of two
        // about as much in line (the big knob's neighbours), the first as read.
        const QRect chosen = best ? face(best) : QRect();
        const bool better =
            !best || along < bestAlong ||
            (along == bestAlong &&
             (std::abs(across - bestAcross) > band
                  ? across < bestAcross
                  : std::pair(b.top(), b.left()) < std::pair(chosen.top(), chosen.left())));
        if (better) {
            best = element;
            bestAlong = along;
            bestAcross = across;
        }
    }
    return best;
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

int opposite(int arrow) {
    switch (arrow) {
    case Qt::Key_Up:
        return Qt::Key_Down;
    case Qt::Key_Down:
        return Qt::Key_Up;
    case Qt::Key_Left:
        return Qt::Key_Right;
    default:
        return Qt::Key_Left;
    }
}
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
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        const Qt::KeyboardModifiers modifiers =
            static_cast<QKeyEvent*>(event)->modifiers() & ~Qt::KeypadModifier;
        if (modifiers == Qt::NoModifier && (key == Qt::Key_Up || key == Qt::Key_Down ||
                                            key == Qt::Key_Left || key == Qt::Key_Right)) {
            // Arrows select the next element on screen; the focus follows the selection. The
            // opposite arrow goes back where the last one came from (out of the big knob too).
            const bool back = source == lastArrow_.to && key == opposite(lastArrow_.key);
            if (PreviewElement* next = back ? lastArrow_.from : neighbour(source, key)) {
                lastArrow_ = {source, next, key};
                const qsizetype index = keys_.indexOf(next);
                controller_.setSelected(index >= 0 ? Selection::key(int(index))
                                                   : Selection::knob(int(knobs_.indexOf(next))));
            }
            return true;
        }
    } else if (event->type() == QEvent::MouseButtonPress) {
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
    drag->setPixmap(source->grab(source->faceRect()));
    drag->setHotSpot(pressPosition_ - source->faceRect().topLeft());
    // The dock may open another page while the drag runs; the swap is on this one.
    dragPage_ = controller_.currentPage();
    // Escape or a drop outside a key ends it with nothing changed.
    drag->exec(Qt::MoveAction);
    dragPage_.reset();
    source->setDown(false); // the release went to the drag
    setDropTarget(std::nullopt);
    // The press focused the source; the focus belongs with the selection.
    focusSelected();
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
