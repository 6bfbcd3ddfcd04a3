// Moving a setup: exporting and importing one of 50 images (40 PNG photo-like faces of
// 256 x 256, 10 animated GIFs), against targets: how long the export, the reading and checking
// and the copying in take, and how long the main thread goes without its timer (and how much
// of that is its own work) while an import runs the window's way.

#include "EmulatorSession.h"
#include "MediaWriters.h"
#include "StallMeter.h"
#include "config/ConfigStore.h"
#include "controller/DockController.h"
#include "share/SetupSharing.h"
#include "siteicons/SiteIcons.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImage>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThreadPool>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

using namespace velloq;

namespace {

constexpr int kImages = 50;
constexpr int kGifs = 10;
constexpr double kExportTargetMs = 1000;
constexpr double kReadTargetMs = 1000;
constexpr double kStageTargetMs = 500;
constexpr double kFrameMs = 16.7;

// A face with gradients and grain, as photos and rendered icons have, so PNG cannot shrink it
// to nothing.
QImage face(int seed, int edge) {
    QImage image(edge, edge, QImage::Format_RGB32);
    QRandomGenerator random(quint32(seed) + 1);
    for (int y = 0; y < edge; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < edge; ++x) {
            const int grain = int(random.bounded(24));
            line[x] = qRgb((x + seed * 37) % 256, (y * 2 + grain) % 256, (x + y + grain) % 256);
        }
    }
    return image;
}

// 50 images on home and five pages.
DockConfig fiftyImages(const QString& folder) {
    QDir().mkpath(folder);
    DockConfig config;
    for (int p = 0; p < 5; ++p)
        config.pages << Page::make(QStringLiteral("Page %1").arg(p + 2));
    for (int i = 0; i < kImages; ++i) {
        QString path;
        if (i < kGifs) {
            path = folder + QStringLiteral("/anim%1.gif").arg(i);
            QList<QImage> frames;
            for (int f = 0; f < 8; ++f)
                frames << face(i * 10 + f, 128);
            velloq::test::writeGifImages(path, frames, 10);
        } else {
            path = folder + QStringLiteral("/face%1.png").arg(i);
            face(i, 256).save(path);
        }
        auto& icons = i < 9 ? config.customIcons : config.pages[(i - 9) / 9].customIcons;
        icons[i < 9 ? i : (i - 9) % 9] = path;
    }
    return config;
}

double medianMs(int runs, const std::function<void()>& work) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        times.push_back(double(timer.nsecsElapsed()) * 1e-6);
    }
    std::nth_element(times.begin(), times.begin() + runs / 2, times.end());
    return times[size_t(runs / 2)];
}

void report(const char* what, double value, double target) {
    std::printf("%-44s %9.2f ms  target %7.2f ms  ratio %6.3f\n", what, value, target,
                value / target);
}

} // namespace

int main(int argc, char** argv) {
    QTemporaryDir root;
    qputenv("XDG_DATA_HOME", QFile::encodeName(root.path()));
    QApplication app(argc, argv);
    const DockConfig config = fiftyImages(root.path() + QStringLiteral("/images"));
    qint64 imageBytes = 0;
    for (const QFileInfo& info :
         QDir(root.path() + QStringLiteral("/images")).entryInfoList(QDir::Files))
        imageBytes += info.size();

    const QString file = root.path() + QStringLiteral("/setup.velloq");
    bool ok = true;
    const double exportMs =
        medianMs(3, [&] { ok = SetupExport::write(config, std::nullopt, file, {}).ok && ok; });
    std::printf("%d images, %.1f MB; the file %.1f MB\n", kImages, double(imageBytes) / 1e6,
                double(QFileInfo(file).size()) / 1e6);
    report("export, whole setup", exportMs, kExportTargetMs);

    std::optional<SetupImport::Checked> checked;
    const double readMs = medianMs(3, [&] {
        QString error;
        checked = SetupImport::read(file, {}, {}, &error);
        if (!checked)
            std::fprintf(stderr, "%s\n", qPrintable(error));
    });
    report("import: reading and checking", readMs, kReadTargetMs);
    if (!checked)
        return 1;
    const QString profile = root.path() + QStringLiteral("/profile");
    const double stageMs = medianMs(3, [&] {
        QString error;
        const auto staged = SetupImport::stage(*checked, profile, &error);
        ok = staged.has_value() && ok;
    });
    report("import: copying the images in", stageMs, kStageTargetMs);

    session::GrantedPermissions permissions;
    SteadyClock clock;
    SiteIcons siteIcons(SiteIcons::Options{root.path() + QStringLiteral("/SiteIcons"), 10000});
    DockController::Services services = session::emulatorServices(clock, permissions, siteIcons);
    services.actions.applicationDirs = {root.path() + QStringLiteral("/applications")};
    DockController controller(std::move(services));
    bool imported = false;
    session::StallMeter meter;
    SetupSharing::read(
        controller, &controller, file, [](double) {},
        [&](SetupSharing::ReadResult read) {
            if (!read.checked) {
                imported = true;
                ok = false;
                return;
            }
            SetupSharing::apply(controller, &controller, std::move(*read.checked),
                                [&](SetupSharing::Applied applied) {
                                    ok = applied.ok && ok;
                                    imported = true;
                                });
        });
    ok = session::spinUntil([&] { return imported; }, 60000) && ok;
    // The longest gap includes what the machine's other load takes from the main thread; its
    // own CPU time between two ticks does not.
    report("longest main-thread stall, whole import", meter.longestMs(), kFrameMs);
    report("main thread's busiest tick, whole import", meter.busiestMs(), kFrameMs);
    controller.flushSave();
    QThreadPool::globalInstance()->waitForDone();
    return ok ? 0 : 1;
}
