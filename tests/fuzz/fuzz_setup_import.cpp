// The importer reads files from anywhere: whatever bytes a .velloq holds, it must refuse them
// with one sentence or give contents whose every image is there and decodes, that write back
// to the same contents, and that merge into a configuration as one page or the whole setup.
#include "share/SetupImport.h"

#include <QGuiApplication>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The image plugins (GIF among them) are found through the application.
    static int argc = 1;
    static char name[] = "fuzz_setup_import";
    static char* argv[] = {name, nullptr};
    static QGuiApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QGuiApplication(argc, argv);
    }();
    Q_UNUSED(app);

    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QString error;
    const auto checked =
        velloq::SetupImport::readMemory(bytes, QStringLiteral("fuzz.velloq"), {}, &error);
    if (!checked) {
        if (error.isEmpty() || error.contains(u'\n'))
            __builtin_trap();
        return 0;
    }
    using velloq::SetupFile::Contents;
    const Contents& contents = checked->contents;
    const QStringList names = velloq::SetupFile::imageNames(contents);
    if (names.size() != checked->images.size())
        __builtin_trap();
    for (qsizetype i = 0; i < names.size(); ++i) {
        if (checked->images[i].name != names[i] || checked->images[i].format.isEmpty())
            __builtin_trap();
    }
    const auto text = velloq::SetupFile::encode(contents, {}, nullptr);
    if (!text)
        __builtin_trap();
    const auto back = velloq::SetupFile::decode(*text, QStringLiteral("fuzz.velloq"), {}, nullptr);
    if (!back || !(*back == contents))
        __builtin_trap();
    const velloq::DockConfig current;
    QUuid page;
    const velloq::DockConfig next = velloq::SetupImport::merged(current, contents, &page);
    if (contents.kind == Contents::Kind::page) {
        if (next.pages.size() != 1 || next.pages[0].id != page || page.isNull() ||
            next.pages[0].name == u"Home")
            __builtin_trap();
    } else if (!(next == contents.setup) || !page.isNull()) {
        __builtin_trap();
    }
    return 0;
}
