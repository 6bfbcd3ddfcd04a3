#pragma once

#include "hud/Scheduler.h"

#include <QColor>
#include <QPointer>
#include <QRectF>
#include <QSize>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class QPainter;
class QWidget;

namespace velloq {

// What the indicator shows.
struct HUDModel {
    QString symbol;              // a system symbol name ("speaker.wave.2.fill")
    QString title;               // "Volume"
    std::optional<double> value; // level 0…1; none draws the bar empty and dimmed
};

// Draws a system symbol centred in a box, in a colour; the same symbols as the key faces.
using SymbolPainter = std::function<void(QPainter& painter, const QRectF& box,
                                         const QString& symbol, const QColor& color)>;

// The floating volume / microphone / brightness indicator: top right of the screen under the
// pointer, never taking focus or clicks; fades in over 0.15 s, stays 1.5 s after the last
// show() and fades out over 0.3 s. Main thread.
class HUD {
public:
    static constexpr QSize size{290, 68};
    static constexpr double cornerRadius = 20;
    static constexpr double fadeInSeconds = 0.15;
    static constexpr double holdSeconds = 1.5;
    static constexpr double fadeOutSeconds = 0.3;

    // `drawSymbol` empty draws the system's symbols (materialSymbol); `scheduler` must
    // outlive the HUD, null uses the real clock and timers.
    explicit HUD(SymbolPainter drawSymbol = {}, Scheduler* scheduler = nullptr);
    ~HUD();
    HUD(const HUD&) = delete;
    HUD& operator=(const HUD&) = delete;

    void show(const QString& symbol, const QString& title, std::optional<double> value);

    const HUDModel& model() const { return model_; }
    bool isOnScreen() const { return isOnScreen_; }
    int generation() const { return generation_; }
    // The panel's current opacity, 0…1 (what the window shows).
    double opacity() const;
    // The panel, made on first show() and then kept; null before.
    QWidget* panel() const;

    // The system's symbol glyph at 13 px, centred in `box`.
    static void materialSymbol(QPainter& painter, const QRectF& box, const QString& symbol,
                               const QColor& color);

    // Paints the indicator for `model` into a panel-sized area (the panel's own painting).
    static void paint(QPainter& painter, const HUDModel& model, const SymbolPainter& drawSymbol);

private:
    enum class Fade { none, in, out };
    void ensurePanel();
    void position();
    void startFrames();
    void frame();
    void fadeOut(int generation);
    void finishFadeOut(int generation);

    std::unique_ptr<QtScheduler> ownScheduler_;
    Scheduler& scheduler_;
    SymbolPainter drawSymbol_;
    HUDModel model_;
    QPointer<QWidget> panel_;
    bool isOnScreen_ = false;
    int generation_ = 0;
    Fade fade_ = Fade::none;
    double fadeStart_ = 0;
    double fadeFrom_ = 0;
    double opacity_ = 0;
    bool framesRunning_ = false;
    double levelShown_ = 0;
    double levelFrom_ = 0;
    double levelTo_ = 0;
    double levelStart_ = 0;
    bool levelAnimating_ = false;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

} // namespace velloq
