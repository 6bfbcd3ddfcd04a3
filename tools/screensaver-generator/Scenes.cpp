#include "Scenes.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cmath>
#include <numbers>
#include <random>

namespace velloq::screensavers {

namespace {

constexpr double kTau = 2 * std::numbers::pi;
constexpr double kWidth = kDesignSize.width();
constexpr double kHeight = kDesignSize.height();

// Scale the design space onto the canvas, antialiased.
void begin(QPainter& p, QImage& canvas) {
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.scale(canvas.width() / kWidth, canvas.height() / kHeight);
}

double wrap(double value, double period) {
    const double r = std::fmod(value, period);
    return r < 0 ? r + period : r;
}

QColor withAlpha(QColor color, double alpha) {
    color.setAlphaF(float(std::clamp(alpha, 0.0, 1.0)));
    return color;
}

// A seeded generator, so each frame rebuilds the same layout.
struct Dice {
    explicit Dice(unsigned seed)
        : engine(seed) {}
    double operator()(double lo, double hi) {
        return std::uniform_real_distribution<double>(lo, hi)(engine);
    }
    int integer(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(engine); }
    std::mt19937 engine;
};

// Stars that twinkle a whole number of times per loop.
void drawStars(QPainter& p, double phase, unsigned seed, int count, double maxY,
               double brightness) {
    Dice dice(seed);
    p.setPen(Qt::NoPen);
    for (int i = 0; i < count; ++i) {
        const double x = dice(0, kWidth);
        const double y = dice(0, maxY);
        const double size = dice(0.35, 1.1);
        const int rate = dice.integer(1, 3);
        const double offset = dice(0, 1);
        const double glow = 0.55 + 0.45 * std::sin(kTau * (rate * phase + offset));
        p.setBrush(withAlpha(QColor(255, 248, 230), brightness * glow));
        p.drawEllipse(QPointF(x, y), size, size);
    }
}

// ---------------------------------------------------------------- Sports Car

struct Building {
    double x, width, height;
    bool antenna;
};

QList<Building> skyline(unsigned seed, double minWidth, double maxWidth, double minHeight,
                        double maxHeight) {
    Dice dice(seed);
    QList<Building> buildings;
    double x = 0;
    while (x < kWidth) {
        const double width = std::min(dice(minWidth, maxWidth), kWidth - x);
        buildings.append({x, width, dice(minHeight, maxHeight), dice(0, 1) < 0.25});
        x += width + dice(0, 2.5);
    }
    return buildings;
}

// One period of skyline, repeated so it scrolls without a seam.
void drawSkyline(QPainter& p, const QList<Building>& buildings, double horizon, double offset,
                 QColor body, bool windows, unsigned seed) {
    for (int copy = -1; copy <= 1; ++copy) {
        const double shift = copy * kWidth - offset;
        Dice lights(seed);
        for (const Building& b : buildings) {
            const double x = b.x + shift;
            const QRectF rect(x, horizon - b.height, b.width, b.height);
            p.setPen(Qt::NoPen);
            p.setBrush(body);
            p.drawRect(rect);
            if (b.antenna)
                p.drawRect(QRectF(x + b.width / 2 - 0.4, rect.top() - 7, 0.8, 7));
            if (!windows)
                continue;
            for (double wy = rect.top() + 3; wy < horizon - 3; wy += 4.5) {
                for (double wx = x + 2; wx < x + b.width - 2.5; wx += 3.5) {
                    if (lights(0, 1) < 0.42) {
                        const double warm = lights(0, 1);
                        p.setBrush(warm < 0.7 ? QColor(255, 205, 110, 210)
                                              : QColor(140, 220, 255, 190));
                        p.drawRect(QRectF(wx, wy, 1.6, 2.0));
                    }
                }
            }
        }
    }
}

// The car faces right; local units: length 104, ground at y 0, y up is negative.
void drawCar(QPainter& p, double wheelAngle, double bounce) {
    // Shadow on the road.
    QRadialGradient shadow(QPointF(53, 0), 56);
    shadow.setColorAt(0, QColor(0, 0, 0, 150));
    shadow.setColorAt(1, QColor(0, 0, 0, 0));
    p.save();
    p.scale(1, 0.12);
    p.setPen(Qt::NoPen);
    p.setBrush(shadow);
    p.drawEllipse(QPointF(53, 0), 58, 58);
    p.restore();

    // Headlight beam on the road ahead.
    QLinearGradient beamFill(QPointF(102, 0), QPointF(150, 0));
    beamFill.setColorAt(0, QColor(255, 240, 170, 150));
    beamFill.setColorAt(1, QColor(255, 240, 170, 0));
    QPainterPath beam;
    beam.moveTo(101, -15);
    beam.lineTo(160, -26);
    beam.lineTo(160, 2);
    beam.lineTo(101, -10);
    beam.closeSubpath();
    p.setBrush(beamFill);
    p.drawPath(beam);

    p.save();
    p.translate(0, bounce);
    QPainterPath body;
    body.moveTo(4, -9);
    body.lineTo(2, -19);
    body.quadTo(3, -22, 12, -23);
    body.lineTo(30, -25);
    body.cubicTo(38, -31, 42, -32.5, 50, -32.5);
    body.lineTo(58, -32.5);
    body.cubicTo(64, -32, 70, -28, 80, -24);
    body.cubicTo(90, -22, 100, -20, 103, -15);
    body.quadTo(105, -11, 102, -8);
    body.closeSubpath();
    QLinearGradient paint(QPointF(0, -33), QPointF(0, -8));
    paint.setColorAt(0, QColor(255, 110, 130));
    paint.setColorAt(0.35, QColor(235, 40, 75));
    paint.setColorAt(1, QColor(120, 10, 45));
    p.setBrush(paint);
    p.setPen(QPen(QColor(60, 0, 25), 0.6));
    p.drawPath(body);

    // Spoiler.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(90, 8, 35));
    p.drawRect(QRectF(1, -26, 13, 2.2));
    p.drawRect(QRectF(6, -24, 1.6, 2.5));

    // Glass.
    QPainterPath glass;
    glass.moveTo(33, -25.5);
    glass.cubicTo(39, -30, 43, -31.2, 50, -31.2);
    glass.lineTo(57.5, -31.2);
    glass.cubicTo(63, -30.6, 68, -28, 76, -24.6);
    glass.closeSubpath();
    QLinearGradient glassFill(QPointF(40, -34), QPointF(60, -24));
    glassFill.setColorAt(0, QColor(120, 200, 240));
    glassFill.setColorAt(0.5, QColor(40, 70, 130));
    glassFill.setColorAt(1, QColor(20, 30, 70));
    p.setBrush(glassFill);
    p.drawPath(glass);
    p.setPen(QPen(QColor(110, 10, 40), 1.6));
    p.drawLine(QPointF(55, -31.2), QPointF(54, -25));

    // Side stripe and door line.
    p.setPen(QPen(QColor(255, 220, 230, 170), 0.9));
    p.drawLine(QPointF(9, -17), QPointF(99, -15));
    p.setPen(QPen(QColor(90, 0, 30, 160), 0.6));
    p.drawLine(QPointF(36, -24), QPointF(37, -11));
    p.drawLine(QPointF(68, -24), QPointF(68, -11));

    // Lights.
    p.setPen(Qt::NoPen);
    QRadialGradient tail(QPointF(3, -16), 6);
    tail.setColorAt(0, QColor(255, 60, 70, 230));
    tail.setColorAt(1, QColor(255, 0, 40, 0));
    p.setBrush(tail);
    p.drawEllipse(QPointF(3, -16), 6, 6);
    p.setBrush(QColor(255, 40, 60));
    p.drawRect(QRectF(1.5, -18.5, 2.6, 4));
    p.setBrush(QColor(255, 250, 210));
    p.drawEllipse(QPointF(100.5, -15.5), 2.4, 1.5);
    p.restore();

    // Wheels, in arches.
    for (const double cx : {22.0, 84.0}) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(20, 4, 14));
        p.drawEllipse(QPointF(cx, -8 + bounce * 0.3), 10, 10);
        p.setBrush(QColor(18, 18, 22));
        p.drawEllipse(QPointF(cx, -8), 8, 8);
        QRadialGradient rim(QPointF(cx - 1, -9), 5);
        rim.setColorAt(0, QColor(235, 235, 245));
        rim.setColorAt(1, QColor(130, 130, 150));
        p.setBrush(rim);
        p.drawEllipse(QPointF(cx, -8), 5, 5);
        p.setPen(QPen(QColor(60, 60, 75), 1.2, Qt::SolidLine, Qt::RoundCap));
        for (int spoke = 0; spoke < 3; ++spoke) {
            const double a = wheelAngle + spoke * kTau / 3;
            p.drawLine(QPointF(cx, -8), QPointF(cx + 4.6 * std::cos(a), -8 + 4.6 * std::sin(a)));
        }
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(255, 60, 90));
        p.drawEllipse(QPointF(cx, -8), 1.3, 1.3);
    }
}

void drawSportsCar(QImage& canvas, double phase) {
    QPainter p(&canvas);
    begin(p, canvas);
    const double horizon = 104;

    QLinearGradient sky(QPointF(0, 0), QPointF(0, horizon));
    sky.setColorAt(0, QColor(18, 18, 56));
    sky.setColorAt(0.45, QColor(66, 36, 110));
    sky.setColorAt(0.75, QColor(196, 70, 120));
    sky.setColorAt(1, QColor(255, 150, 95));
    p.fillRect(QRectF(0, 0, kWidth, horizon), sky);
    drawStars(p, phase, 7, 26, 40, 0.8);

    // Striped setting sun.
    QPainterPath sun;
    sun.addEllipse(QPointF(150, 62), 34, 34);
    for (int i = 0; i < 6; ++i) {
        QPainterPath stripe;
        const double y = 50 + i * 6.5;
        stripe.addRect(QRectF(100, y, 100, 0.7 + i * 0.5));
        sun = sun.subtracted(stripe);
    }
    QLinearGradient sunFill(QPointF(0, 28), QPointF(0, 96));
    sunFill.setColorAt(0, QColor(255, 236, 120));
    sunFill.setColorAt(1, QColor(255, 80, 130));
    p.setPen(Qt::NoPen);
    p.setBrush(sunFill);
    p.drawPath(sun);

    static const QList<Building> far = skyline(11, 9, 20, 16, 44);
    static const QList<Building> near = skyline(23, 13, 26, 22, 58);
    drawSkyline(p, far, horizon, wrap(phase * kWidth, kWidth), QColor(92, 50, 120), false, 0);
    drawSkyline(p, near, horizon, wrap(phase * 2 * kWidth, kWidth), QColor(34, 22, 58), true, 5);

    // Sidewalk, road and its neon edge.
    p.fillRect(QRectF(0, horizon, kWidth, 6), QColor(44, 32, 66));
    p.fillRect(QRectF(0, horizon + 6, kWidth, kHeight - horizon - 6), QColor(28, 24, 42));
    p.fillRect(QRectF(0, horizon + 5.6, kWidth, 1.1), QColor(255, 105, 170));

    // Street lamps and lane dashes move with the road: 8 lamp gaps and 32 dash gaps a loop.
    const double road = phase * 4 * kWidth;
    for (double x = -wrap(road, 112) - 112; x < kWidth + 112; x += 112) {
        p.setPen(QPen(QColor(20, 14, 34), 1.6));
        p.drawLine(QPointF(x, horizon + 3), QPointF(x, horizon - 40));
        p.drawLine(QPointF(x, horizon - 40), QPointF(x + 7, horizon - 42));
        QRadialGradient glow(QPointF(x + 8, horizon - 41), 10);
        glow.setColorAt(0, QColor(255, 230, 160, 230));
        glow.setColorAt(1, QColor(255, 200, 120, 0));
        p.setPen(Qt::NoPen);
        p.setBrush(glow);
        p.drawEllipse(QPointF(x + 8, horizon - 41), 10, 10);
    }
    p.setBrush(QColor(245, 230, 170));
    for (double x = -wrap(road, 28); x < kWidth; x += 28)
        p.drawRect(QRectF(x, 127, 14, 1.6));

    // The car sways gently over the loop and bounces on its springs.
    const double scale = 1.8;
    const double sway = 4 * std::sin(kTau * phase);
    const double bounce = 0.35 * std::sin(kTau * 12 * phase);
    p.translate(kWidth / 2 - 52 * scale + sway, 142);
    p.scale(scale, scale);
    drawCar(p, kTau * 17 * phase, bounce);
}

// ---------------------------------------------------------------- Apple

void drawCloud(QPainter& p, QPointF at, double size) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 235));
    QPainterPath cloud;
    cloud.addEllipse(at + QPointF(-size * 0.9, 0), size * 0.7, size * 0.55);
    cloud.addEllipse(at + QPointF(0, -size * 0.35), size * 0.85, size * 0.75);
    cloud.addEllipse(at + QPointF(size * 0.95, 0), size * 0.65, size * 0.5);
    cloud.addRoundedRect(QRectF(at.x() - size * 1.5, at.y() - size * 0.1, size * 3, size * 0.6),
                         size * 0.3, size * 0.3);
    cloud.setFillRule(Qt::WindingFill);
    p.drawPath(cloud.simplified());
}

void drawAppleFruit(QPainter& p) {
    QPainterPath fruit;
    fruit.moveTo(0, -0.72);
    fruit.cubicTo(0.35, -1.05, 1.05, -0.95, 1.0, -0.2);
    fruit.cubicTo(0.97, 0.45, 0.6, 0.98, 0.25, 0.95);
    fruit.cubicTo(0.12, 0.94, -0.12, 0.94, -0.25, 0.95);
    fruit.cubicTo(-0.6, 0.98, -0.97, 0.45, -1.0, -0.2);
    fruit.cubicTo(-1.05, -0.95, -0.35, -1.05, 0, -0.72);
    fruit.closeSubpath();

    // Stem and leaf behind the top of the fruit.
    QPainterPath stem;
    stem.moveTo(0, -0.7);
    stem.quadTo(0.02, -1.0, 0.16, -1.22);
    p.setPen(QPen(QColor(100, 60, 30), 0.11, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawPath(stem);

    QRadialGradient skin(QPointF(-0.35, -0.4), 1.5);
    skin.setColorAt(0, QColor(255, 120, 110));
    skin.setColorAt(0.45, QColor(220, 30, 40));
    skin.setColorAt(1, QColor(110, 8, 20));
    p.setPen(Qt::NoPen);
    p.setBrush(skin);
    p.drawPath(fruit);

    p.save();
    p.translate(-0.45, -0.35);
    p.rotate(25);
    p.setBrush(QColor(255, 255, 255, 140));
    p.drawEllipse(QPointF(0, 0), 0.13, 0.26);
    p.restore();

    QPainterPath leaf;
    leaf.moveTo(0.08, -0.95);
    leaf.cubicTo(0.25, -1.35, 0.7, -1.35, 0.9, -1.18);
    leaf.cubicTo(0.7, -0.92, 0.3, -0.85, 0.08, -0.95);
    leaf.closeSubpath();
    QLinearGradient leafFill(QPointF(0.1, -1.3), QPointF(0.8, -0.9));
    leafFill.setColorAt(0, QColor(140, 215, 80));
    leafFill.setColorAt(1, QColor(50, 130, 40));
    p.setBrush(leafFill);
    p.drawPath(leaf);
    p.setPen(QPen(QColor(40, 100, 30), 0.04));
    p.drawLine(QPointF(0.12, -0.96), QPointF(0.82, -1.16));
}

void drawApple(QImage& canvas, double phase) {
    QPainter p(&canvas);
    begin(p, canvas);
    const double ground = 128;

    QLinearGradient sky(QPointF(0, 0), QPointF(0, 110));
    sky.setColorAt(0, QColor(90, 170, 240));
    sky.setColorAt(1, QColor(210, 238, 255));
    p.fillRect(QRectF(0, 0, kWidth, kHeight), sky);

    QRadialGradient sunGlow(QPointF(196, 22), 26);
    sunGlow.setColorAt(0, QColor(255, 250, 200, 255));
    sunGlow.setColorAt(0.45, QColor(255, 235, 140, 230));
    sunGlow.setColorAt(1, QColor(255, 235, 140, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(sunGlow);
    p.drawEllipse(QPointF(196, 22), 26, 26);

    // Clouds drift one period to the left per loop.
    const double cloudPeriod = kWidth + 60;
    const double drift = phase * cloudPeriod;
    const struct {
        double x, y, size;
    } clouds[] = {{24, 22, 12}, {120, 42, 9}, {210, 60, 8}, {170, 16, 7}};
    for (const auto& c : clouds) {
        const double x = wrap(c.x - drift + 30, cloudPeriod) - 30;
        drawCloud(p, QPointF(x, c.y), c.size);
    }

    // Rolling hills, far and near.
    QPainterPath farHills;
    farHills.moveTo(0, kHeight);
    for (double x = 0; x <= kWidth; x += 2)
        farHills.lineTo(x, 96 - 8 * std::sin(x / 30 + 1) - 4 * std::sin(x / 13));
    farHills.lineTo(kWidth, kHeight);
    p.setBrush(QColor(150, 205, 110));
    p.drawPath(farHills);
    QPainterPath nearHills;
    nearHills.moveTo(0, kHeight);
    for (double x = 0; x <= kWidth; x += 2)
        nearHills.lineTo(x, 112 - 6 * std::sin(x / 22 + 3));
    nearHills.lineTo(kWidth, kHeight);
    p.setBrush(QColor(105, 180, 75));
    p.drawPath(nearHills);

    QLinearGradient grass(QPointF(0, ground - 6), QPointF(0, kHeight));
    grass.setColorAt(0, QColor(95, 170, 60));
    grass.setColorAt(1, QColor(55, 125, 40));
    p.fillRect(QRectF(0, ground - 4, kWidth, kHeight), grass);
    Dice dice(3);
    for (int i = 0; i < 90; ++i) {
        const double x = dice(0, kWidth);
        const double y = dice(ground - 3, kHeight);
        const double lean = dice(-1.5, 1.5);
        p.setPen(QPen(QColor(60, 140, 45), 0.7));
        p.drawLine(QPointF(x, y), QPointF(x + lean, y - dice(2, 4)));
    }
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 14; ++i) {
        const double x = dice(0, kWidth);
        const double y = dice(ground, kHeight - 2);
        p.setBrush(i % 2 ? QColor(255, 240, 120) : QColor(255, 255, 255));
        p.drawEllipse(QPointF(x, y), 1.1, 1.1);
    }

    // The apple crosses once per loop in three bounces, rolling three turns.
    const double radius = 19;
    const double travel = kWidth + 4 * radius;
    const double x = -2 * radius + phase * travel;
    const double u = wrap(phase * 3, 1);
    const double height = 84 * 4 * u * (1 - u);
    const double impact = std::min(u, 1 - u);
    const double squash = impact < 0.05 ? 0.8 + 0.2 * impact / 0.05 : 1.0;

    QRadialGradient shadow(QPointF(0, 0), 1);
    shadow.setColorAt(0, QColor(20, 60, 10, 150));
    shadow.setColorAt(1, QColor(20, 60, 10, 0));
    const double shadowScale = radius * (1.2 - 0.6 * height / 84);
    p.save();
    p.translate(x, ground + 1);
    p.scale(shadowScale, shadowScale * 0.25);
    p.setBrush(shadow);
    p.drawEllipse(QPointF(0, 0), 1, 1);
    p.restore();

    p.save();
    p.translate(x, ground - height);
    p.scale(1 / std::sqrt(squash), squash);
    p.translate(0, -radius);
    p.rotate(360 * 3 * phase);
    p.scale(radius, radius);
    drawAppleFruit(p);
    p.restore();
}

// ---------------------------------------------------------------- Space Junk

enum class Junk { satellite, panel, bolt, rock, canister };

void drawJunk(QPainter& p, Junk kind, double size, unsigned seed) {
    p.scale(size, size);
    p.setPen(QPen(QColor(20, 20, 30), 0.08));
    switch (kind) {
    case Junk::satellite: {
        p.setBrush(QColor(210, 200, 160));
        p.drawRect(QRectF(-0.6, -0.45, 1.2, 0.9));
        QLinearGradient cells(QPointF(0, -0.35), QPointF(0, 0.35));
        cells.setColorAt(0, QColor(80, 140, 230));
        cells.setColorAt(1, QColor(30, 60, 140));
        p.setBrush(cells);
        for (const double side : {-1.0, 1.0}) {
            const QRectF wing(side > 0 ? 0.8 : -2.2, -0.35, 1.4, 0.7);
            p.drawRect(wing);
            p.drawLine(QPointF(wing.center().x(), wing.top()),
                       QPointF(wing.center().x(), wing.bottom()));
            p.drawLine(QPointF(side * 0.6, 0), QPointF(side * 0.8, 0));
        }
        p.drawLine(QPointF(0, -0.45), QPointF(0, -0.95));
        p.setBrush(QColor(240, 240, 250));
        p.drawEllipse(QPointF(0, -1.0), 0.15, 0.15);
        break;
    }
    case Junk::panel: {
        p.setBrush(QColor(60, 100, 190));
        QPolygonF shard;
        shard << QPointF(-1, -0.5) << QPointF(0.9, -0.6) << QPointF(0.6, 0.2) << QPointF(1.0, 0.55)
              << QPointF(-0.8, 0.5);
        p.drawPolygon(shard);
        p.setPen(QPen(QColor(150, 190, 255, 180), 0.05));
        p.drawLine(QPointF(-0.3, -0.55), QPointF(-0.25, 0.5));
        p.drawLine(QPointF(0.3, -0.58), QPointF(0.3, 0.52));
        p.drawLine(QPointF(-0.9, 0), QPointF(0.7, -0.03));
        break;
    }
    case Junk::bolt: {
        QPolygonF hex;
        for (int i = 0; i < 6; ++i)
            hex << QPointF(std::cos(kTau * i / 6), std::sin(kTau * i / 6)) * 0.7;
        p.setBrush(QColor(170, 175, 190));
        p.drawPolygon(hex);
        p.setBrush(QColor(40, 40, 55));
        p.drawEllipse(QPointF(0, 0), 0.3, 0.3);
        break;
    }
    case Junk::rock: {
        Dice dice(seed);
        QPolygonF rock;
        for (int i = 0; i < 9; ++i)
            rock << QPointF(std::cos(kTau * i / 9), std::sin(kTau * i / 9)) * dice(0.65, 1.0);
        QRadialGradient shade(QPointF(-0.3, -0.3), 1.3);
        shade.setColorAt(0, QColor(185, 160, 140));
        shade.setColorAt(1, QColor(80, 65, 60));
        p.setBrush(shade);
        p.drawPolygon(rock);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(60, 50, 45, 160));
        p.drawEllipse(QPointF(0.2, 0.1), 0.18, 0.14);
        break;
    }
    case Junk::canister: {
        QLinearGradient metal(QPointF(0, -0.4), QPointF(0, 0.4));
        metal.setColorAt(0, QColor(240, 240, 245));
        metal.setColorAt(1, QColor(120, 125, 140));
        p.setBrush(metal);
        p.drawRoundedRect(QRectF(-1, -0.4, 2, 0.8), 0.3, 0.3);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(230, 90, 50));
        p.drawRect(QRectF(-0.35, -0.39, 0.25, 0.78));
        break;
    }
    }
}

struct Orbiter {
    Junk kind;
    double radius; // of the orbit
    double offset; // starting angle, in turns
    int turns;     // orbits per loop
    int spins;     // own turns per loop
    double size;
};

void drawSpaceJunk(QImage& canvas, double phase) {
    QPainter p(&canvas);
    begin(p, canvas);
    const QPointF centre(112, 72);
    const double planetRadius = 34;
    const double tilt = -14;
    const double flatten = 0.3;

    QRadialGradient space(centre, 150);
    space.setColorAt(0, QColor(16, 22, 54));
    space.setColorAt(1, QColor(2, 3, 12));
    p.fillRect(QRectF(0, 0, kWidth, kHeight), space);
    for (const auto& [at, colour] : {std::pair{QPointF(40, 30), QColor(150, 60, 170, 70)},
                                     std::pair{QPointF(195, 115), QColor(40, 160, 170, 60)}}) {
        QRadialGradient nebula(at, 60);
        nebula.setColorAt(0, colour);
        nebula.setColorAt(1, withAlpha(colour, 0));
        p.fillRect(QRectF(0, 0, kWidth, kHeight), nebula);
    }
    drawStars(p, phase, 41, 80, kHeight, 1.0);

    static const QList<Orbiter> orbiters = [] {
        QList<Orbiter> list;
        Dice dice(97);
        const Junk kinds[] = {Junk::satellite, Junk::rock, Junk::panel,     Junk::bolt,
                              Junk::canister,  Junk::rock, Junk::satellite, Junk::bolt,
                              Junk::panel,     Junk::rock, Junk::canister,  Junk::rock};
        int i = 0;
        for (const Junk kind : kinds) {
            const double radius = 50 + 60.0 * i / 11 + dice(-4, 4);
            const int turns = radius < 75 ? 2 : 1;
            int spins = dice.integer(-3, 3);
            if (spins == 0)
                spins = 1;
            const double size = kind == Junk::satellite ? 5.2 : kind == Junk::rock ? 4.8 : 4.2;
            list.append({kind, radius, dice(0, 1), turns, spins, size});
            ++i;
        }
        return list;
    }();

    // Orbits in a tilted plane: the far half is drawn before the planet, the near half after.
    auto drawOrbiters = [&](bool front) {
        for (int i = 0; i < orbiters.size(); ++i) {
            const Orbiter& o = orbiters[i];
            const double angle = kTau * (o.offset + o.turns * phase);
            const double depth = std::sin(angle);
            if ((depth >= 0) != front)
                continue;
            p.save();
            p.translate(centre);
            p.rotate(tilt);
            const QPointF at(o.radius * std::cos(angle), o.radius * flatten * depth);
            p.translate(at);
            p.rotate(-tilt + 360 * o.spins * phase);
            p.setOpacity(front ? 1.0 : 0.75);
            drawJunk(p, o.kind, o.size * (1 + 0.22 * depth), unsigned(i));
            p.restore();
        }
    };

    // Ring: back half, planet, front half.
    auto drawRing = [&](bool front) {
        p.save();
        p.translate(centre);
        p.rotate(tilt);
        p.setClipRect(front ? QRectF(-200, 0, 400, 200) : QRectF(-200, -200, 400, 200));
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(QColor(220, 200, 160, 150), 3.2));
        p.drawEllipse(QPointF(0, 0), 54, 54 * flatten * 0.7);
        p.setPen(QPen(QColor(240, 225, 190, 110), 1.2));
        p.drawEllipse(QPointF(0, 0), 60, 60 * flatten * 0.7);
        p.restore();
    };

    drawOrbiters(false);
    drawRing(false);

    QRadialGradient glow(centre, planetRadius + 9);
    glow.setColorAt(planetRadius / (planetRadius + 9), QColor(110, 200, 255, 120));
    glow.setColorAt(1, QColor(110, 200, 255, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(glow);
    p.drawEllipse(centre, planetRadius + 9, planetRadius + 9);

    p.save();
    QPainterPath disc;
    disc.addEllipse(centre, planetRadius, planetRadius);
    p.setClipPath(disc);
    QLinearGradient baseFill(centre - QPointF(0, planetRadius), centre + QPointF(0, planetRadius));
    baseFill.setColorAt(0, QColor(70, 190, 200));
    baseFill.setColorAt(1, QColor(30, 90, 160));
    p.fillRect(disc.boundingRect(), baseFill);
    // Cloud bands drift once around per loop.
    for (int band = 0; band < 7; ++band) {
        const double y = centre.y() - planetRadius + band * 10 + 4;
        QPainterPath wave;
        const double shift = phase * 68 * (band % 2 ? 1 : -1);
        wave.moveTo(centre.x() - planetRadius - 80, y);
        for (double x = -planetRadius - 80; x <= planetRadius + 80; x += 2)
            wave.lineTo(centre.x() + x, y + 1.6 * std::sin(kTau * (x + shift) / 68 * 2 + band));
        wave.lineTo(centre.x() + planetRadius + 80, y + 3.5);
        wave.lineTo(centre.x() - planetRadius - 80, y + 3.5);
        wave.closeSubpath();
        p.setBrush(band % 2 ? QColor(235, 250, 255, 70) : QColor(20, 60, 120, 70));
        p.drawPath(wave);
    }
    QRadialGradient night(centre + QPointF(-14, -14), planetRadius * 1.9);
    night.setColorAt(0, QColor(0, 0, 0, 0));
    night.setColorAt(0.5, QColor(0, 0, 10, 40));
    night.setColorAt(1, QColor(0, 0, 10, 235));
    p.fillRect(disc.boundingRect(), night);
    p.restore();

    drawRing(true);
    drawOrbiters(true);

    // A tumbling canister drifts across the top, and a rock across the bottom, once a loop.
    const double lane = kWidth + 20;
    p.save();
    p.translate(wrap(-10 + phase * lane, lane) - 10, 18 + 4 * std::sin(kTau * phase));
    p.rotate(360 * 2 * phase);
    drawJunk(p, Junk::canister, 6.0, 0);
    p.restore();
    p.save();
    p.translate(wrap(kWidth + 10 - phase * lane + lane / 2, lane) - 10,
                128 - 3 * std::sin(kTau * phase));
    p.rotate(-360 * phase);
    drawJunk(p, Junk::rock, 7.0, 77);
    p.restore();
}

} // namespace

QList<Scene> scenes() {
    return {
        {QStringLiteral("Sports Car"), 6.0, drawSportsCar},
        {QStringLiteral("Apple"), 6.0, drawApple},
        {QStringLiteral("Space Junk"), 8.0, drawSpaceJunk},
    };
}

} // namespace velloq::screensavers
