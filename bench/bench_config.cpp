// The configuration file: encoding and decoding time of a typical file and of one with a
// 1 MB snippet (against targets), and how long the main thread waits when the controller saves:
// a synchronous save against a hand-over to the store's writer thread.

#include "config/ConfigStore.h"
#include "config/DockConfig.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

using namespace velloq;

namespace {

constexpr double kTypicalTarget = 1e-3;    // seconds per encode, "well under" this
constexpr double kMegabyteTarget = 20e-3;  // seconds per encode with a 1 MB snippet
constexpr double kHandOverTarget = 100e-6; // seconds the main thread may wait per save

double medianSeconds(int runs, const std::function<void()>& work) {
    std::vector<double> times;
    times.reserve(size_t(runs));
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        work();
        times.push_back(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    std::nth_element(times.begin(), times.begin() + runs / 2, times.end());
    return times[size_t(runs / 2)];
}

void report(const char* what, double seconds, double target) {
    std::printf("%-44s %10.4f ms  target %8.3f ms  ratio %.4f\n", what, seconds * 1e3, target * 1e3,
                seconds / target);
}

// Every key set, a few snippets and custom icons: what a used installation holds.
DockConfig typical() {
    DockConfig config;
    for (int i = 0; i < 9; ++i) {
        switch (i % 4) {
        case 0:
            config.keys[i] =
                ButtonAction::url(QStringLiteral("https://example.com/page/%1").arg(i));
            break;
        case 1:
            config.keys[i] = ButtonAction::function(ButtonFunction::copy);
            break;
        case 2:
            config.keys[i] = ButtonAction::keys(KeyCombo{40, 0x120000, QStringLiteral("⇧⌘K")});
            break;
        default:
            config.keys[i] =
                ButtonAction::app(QStringLiteral("/usr/share/applications/app%1.desktop").arg(i));
        }
        if (i < 6)
            config.customIcons[i] =
                QStringLiteral("/home/user/.local/share/Velloq/CustomIcons/%1.gif").arg(i);
    }
    for (int i = 0; i < 5; ++i)
        config.snippets.append(Snippet::make(QStringLiteral("Snippet %1").arg(i),
                                             QStringLiteral("Dear Sir or Madam,\nthank you — ") +
                                                 QString(200, QChar(u'x'))));
    config.dockBrightness = 42.5;
    return config;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);

    const DockConfig small = typical();
    const double typicalEncode = medianSeconds(2000, [&] { (void)small.encoded(); });
    report("encode a typical file", typicalEncode, kTypicalTarget);

    DockConfig large = typical();
    QString text;
    text.reserve(1 << 20);
    while (text.size() < (1 << 20))
        text += QStringLiteral("Line with \"quotes\", a/slash, ünïcödé and a tab\t.\n");
    large.snippets.append(Snippet::make(QStringLiteral("Big"), text));
    const double largeEncode = medianSeconds(20, [&] { (void)large.encoded(); });
    report("encode with a 1 MB snippet", largeEncode, kMegabyteTarget);

    // Reading back: done once at start, but the same figures bound a load.
    const QByteArray smallFile = *small.encoded();
    report("decode a typical file",
           medianSeconds(2000, [&] { (void)DockConfig::decode(smallFile); }), kTypicalTarget);
    const QByteArray largeFile = *large.encoded();
    report("decode with a 1 MB snippet",
           medianSeconds(20, [&] { (void)DockConfig::decode(largeFile); }), kMegabyteTarget);

    QTemporaryDir dir;
    ConfigStore store(dir.path() + QStringLiteral("/config.json"));
    DockConfig config = small;
    int step = 0;
    const double direct = medianSeconds(50, [&] {
        config.dockBrightness = ++step % 100;
        store.save(config);
    });
    report("main thread per save, written in line", direct, kHandOverTarget);
    const double handOver = medianSeconds(500, [&] {
        config.dockBrightness = ++step % 100;
        store.saveInBackground(config);
    });
    store.flush();
    report("main thread per save, handed to the writer", handOver, kHandOverTarget);
    return 0;
}
