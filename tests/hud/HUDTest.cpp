#include "hud/HUD.h"

#include "support/TestEnv.h"

#include <QCursor>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QWidget>

#include <gtest/gtest.h>

#include <map>

using namespace velloq;

namespace {

// Time that moves only when the test says so; due work runs in order as it passes.
class ManualScheduler final : public Scheduler {
public:
    double now() const override { return now_; }
    void schedule(double seconds, std::function<void()> task) override {
        tasks_.emplace(std::make_pair(now_ + seconds, seq_++), std::move(task));
    }
    void advanceTo(double t) {
        while (!tasks_.empty() && tasks_.begin()->first.first <= t) {
            auto node = tasks_.extract(tasks_.begin());
            now_ = node.key().first;
            node.mapped()();
        }
        now_ = t;
    }

private:
    double now_ = 1000;
    long seq_ = 0;
    std::multimap<std::pair<double, long>, std::function<void()>> tasks_;
};

class HUDTiming : public ::testing::Test {
protected:
    ManualScheduler time_;
    HUD hud_{{}, &time_};
    double t0_ = time_.now();
    void at(double t) { time_.advanceTo(t0_ + t); }
    bool visible() const { return hud_.isOnScreen() && hud_.panel() && hud_.panel()->isVisible(); }
};

} // namespace

TEST_F(HUDTiming, FadesInHoldsAndFadesOut) {
    EXPECT_EQ(hud_.panel(), nullptr);
    hud_.show(QStringLiteral("speaker.wave.2.fill"), QStringLiteral("Volume"), 0.53);
    ASSERT_NE(hud_.panel(), nullptr);
    EXPECT_TRUE(visible());
    EXPECT_EQ(hud_.opacity(), 0.0);
    at(0.075);
    EXPECT_GT(hud_.opacity(), 0.3);
    EXPECT_LT(hud_.opacity(), 0.7);
    at(0.17); // the first frame after the 0.15 s fade
    EXPECT_EQ(hud_.opacity(), 1.0);
    at(1.49);
    EXPECT_EQ(hud_.opacity(), 1.0);
    at(1.65);
    EXPECT_TRUE(visible());
    EXPECT_GT(hud_.opacity(), 0.0);
    EXPECT_LT(hud_.opacity(), 1.0);
    at(1.81);
    EXPECT_FALSE(visible());
    EXPECT_EQ(hud_.opacity(), 0.0);
    EXPECT_FALSE(hud_.panel()->isVisible());

    QWidget* panel = hud_.panel();
    hud_.show(QStringLiteral("mic.fill"), QStringLiteral("Microphone"), 0.2);
    EXPECT_EQ(hud_.panel(), panel); // made once, reused
    EXPECT_EQ(hud_.opacity(), 0.0); // a new fade-in from hidden
    EXPECT_EQ(hud_.generation(), 2);
}

TEST_F(HUDTiming, TenShowsStayVisibleUntilOneAndAHalfSecondsAfterTheLast) {
    for (int i = 0; i < 10; ++i) {
        at(0.2 * i);
        if (i > 0) {
            EXPECT_TRUE(visible()) << i;
            EXPECT_EQ(hud_.opacity(), 1.0) << i;
        }
        hud_.show(QStringLiteral("speaker.wave.3.fill"), QStringLiteral("Volume"), 0.1 * i);
    }
    const double last = 1.8;
    EXPECT_EQ(hud_.generation(), 10);
    at(last + 1.49);
    EXPECT_TRUE(visible());
    EXPECT_EQ(hud_.opacity(), 1.0);
    at(last + 1.5 + 0.15);
    EXPECT_TRUE(visible());
    EXPECT_LT(hud_.opacity(), 1.0);
    at(last + 1.5 + 0.31);
    EXPECT_FALSE(visible());
}

TEST_F(HUDTiming, ShowDuringFadeOutRestoresFullOpacityAtOnce) {
    hud_.show(QStringLiteral("sun.max.fill"), QStringLiteral("Display"), 0.8);
    const QPoint placed = hud_.panel()->pos();
    at(1.6); // fading out
    const double fading = hud_.opacity();
    EXPECT_GT(fading, 0.0);
    EXPECT_LT(fading, 1.0);

    QCursor::setPos(QPoint(5, 5));
    hud_.show(QStringLiteral("sun.min.fill"), QStringLiteral("Display"), 0.4);
    EXPECT_EQ(hud_.opacity(), 1.0);
    at(1.62);
    EXPECT_EQ(hud_.opacity(), 1.0); // no new fade-in
    at(1.5 + 0.3 + 0.01);           // the first fade's completion is stale
    EXPECT_TRUE(visible());
    EXPECT_EQ(hud_.opacity(), 1.0);
    EXPECT_EQ(hud_.panel()->pos(), placed); // updates while visible do not move it
    EXPECT_EQ(hud_.model().symbol, u"sun.min.fill");
    at(1.6 + 1.5 + 0.31);
    EXPECT_FALSE(visible());
}

TEST(HUD, PanelTakesNoFocusOrInputAndSitsTopRight) {
    ManualScheduler time;
    HUD hud({}, &time);
    hud.show(QStringLiteral("mic.slash.fill"), QStringLiteral("Microphone"), std::nullopt);
    QWidget* panel = hud.panel();
    ASSERT_TRUE(panel);
    const Qt::WindowFlags flags = panel->windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::WindowTransparentForInput));
    EXPECT_TRUE(flags.testFlag(Qt::WindowDoesNotAcceptFocus));
    EXPECT_TRUE(flags.testFlag(Qt::FramelessWindowHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(panel->testAttribute(Qt::WA_ShowWithoutActivating));
    EXPECT_TRUE(panel->testAttribute(Qt::WA_TranslucentBackground));
    EXPECT_EQ(panel->size(), QSize(290, 68));
    EXPECT_NE(QGuiApplication::focusWindow(), panel->windowHandle());

    const QRect visible = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_EQ(panel->pos(), QPoint(visible.x() + visible.width() - 290 - 10, visible.y() + 8));
}

namespace {

QImage render(const HUDModel& model) {
    QImage image(HUD::size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    HUD::paint(painter, model, {});
    return image;
}

// The bar's row: the symbol box is 16..36, the bar 46..274, centred at y of the bar.
int barY(const QImage& image) {
    // The knob is the brightest thing in the panel's lower half.
    for (int y = image.height() - 1; y > image.height() / 2; --y) {
        for (int x = 46; x < 274; ++x) {
            if (qGray(image.pixel(x, y)) > 250)
                return y - 7;
        }
    }
    return -1;
}

int knobCentre(const QImage& image, int y) {
    int first = -1, last = -1;
    for (int x = 40; x < 280; ++x) {
        if (qGray(image.pixel(x, y)) > 250) {
            if (first < 0)
                first = x;
            last = x;
        }
    }
    return (first + last) / 2;
}

} // namespace

TEST(HUD, LevelBarClampsAndDims) {
    const QImage full =
        render({QStringLiteral("speaker.wave.3.fill"), QStringLiteral("Volume"), 1.3});
    const QImage empty = render({QStringLiteral("speaker.fill"), QStringLiteral("Volume"), -0.2});
    const QImage none =
        render({QStringLiteral("mic.slash.fill"), QStringLiteral("Microphone"), std::nullopt});
    const QImage half =
        render({QStringLiteral("speaker.wave.2.fill"), QStringLiteral("Volume"), 0.5});
    const int y = barY(full);
    ASSERT_GT(y, 34);
    // Knob centres: fill = v × (228 − 16), the knob 16 wide from the bar's start at 46.
    EXPECT_NEAR(knobCentre(full, y), 46 + 212 + 8, 2);
    EXPECT_NEAR(knobCentre(empty, y), 46 + 8, 2);
    EXPECT_NEAR(knobCentre(none, y), 46 + 8, 2);
    EXPECT_NEAR(knobCentre(half, y), 46 + 106 + 8, 2);

    // Left of the half knob the fill is bright; with no level the same spot is only the track,
    // and a dimmed fill would be no brighter than 0.25 white.
    const int fillX = 46 + 60;
    EXPECT_GT(qGray(half.pixel(fillX, y)), qGray(none.pixel(fillX, y)) + 80);
    EXPECT_EQ(none.pixel(fillX, y), empty.pixel(fillX, y));
    // Corners are transparent (radius 20), the middle is the dark background.
    EXPECT_EQ(qAlpha(full.pixel(1, 1)), 0);
    EXPECT_GT(qAlpha(full.pixel(145, 5)), 200);
}

// Renders the indicator for volume, a muted microphone and brightness over a backdrop, as the
// panel itself draws them. Written to $VELLOQ_HUD_PREVIEW_DIR (docs/hud for review), else to
// the scratch folder.
TEST(HUD, PreviewImages) {
    QString dir = qEnvironmentVariable("VELLOQ_HUD_PREVIEW_DIR");
    if (dir.isEmpty())
        dir = test::scratchDir();
    const struct {
        const char* file;
        HUDModel model;
    } cases[] = {
        {"volume.png", {QStringLiteral("speaker.wave.2.fill"), QStringLiteral("Volume"), 0.53}},
        {"microphone-muted.png",
         {QStringLiteral("mic.slash.fill"), QStringLiteral("Microphone"), std::nullopt}},
        {"brightness.png", {QStringLiteral("sun.max.fill"), QStringLiteral("Display"), 0.8}},
    };
    ManualScheduler time;
    HUD hud({}, &time);
    for (const auto& c : cases) {
        hud.show(c.model.symbol, c.model.title, c.model.value);
        time.advanceTo(time.now() + 0.2); // past the fade-in and the bar's easing
        const QPixmap panel = hud.panel()->grab();
        QImage image(panel.width() + 40, panel.height() + 40, QImage::Format_RGB32);
        QPainter painter(&image);
        QLinearGradient backdrop(0, 0, image.width(), image.height());
        backdrop.setColorAt(0, QColor(70, 120, 190));
        backdrop.setColorAt(1, QColor(190, 110, 140));
        painter.fillRect(image.rect(), backdrop);
        painter.drawPixmap(20, 20, panel);
        painter.end();
        // The symbol is drawn: white pixels in its box (x 16..36 of the panel, lower half).
        int bright = 0;
        for (int y = 20 + 34; y < 20 + 68; ++y) {
            for (int x = 20 + 16; x < 20 + 36; ++x)
                bright += qGray(image.pixel(x, y)) > 200;
        }
        EXPECT_GT(bright, 10) << c.file;
        EXPECT_TRUE(image.save(dir + u'/' + QLatin1String(c.file))) << c.file;
    }
}
