#include "ui/CommandLine.h"

#include "support/AppPaths.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <cstring>

namespace velloq::CommandLine {

namespace {

void printHelp(std::FILE* to) {
    const QByteArray settings = QFile::encodeName(AppPaths::dataDir());
    std::fprintf(to,
                 "Usage: velloq [--help | --version | FILE.velloq]\n"
                 "\n"
                 "Velloq turns a USB stream-controller dock into a control surface for your\n"
                 "desktop. It runs in the tray: click its icon to open the window, where every\n"
                 "setting is made (without a tray the window opens at start). The settings,\n"
                 "your images and scripts live in %s.\n"
                 "\n"
                 "A .velloq file given is imported in the window, after a question.\n",
                 settings.constData());
}

} // namespace

const char* version() {
    return VELLOQ_VERSION;
}

std::optional<int> handle(int argc, const char* const* argv, std::FILE* out, std::FILE* err) {
    if (argc <= 1)
        return std::nullopt;
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::fprintf(out, "Velloq %s\n", version());
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        printHelp(out);
        return 0;
    }
    if (!filesToOpen(argc, argv).isEmpty())
        return std::nullopt;
    printHelp(err);
    return 2;
}

QStringList filesToOpen(int argc, const char* const* argv) {
    QStringList files;
    for (int i = 1; i < argc; ++i) {
        const QString argument = QString::fromLocal8Bit(argv[i]);
        if (argument.startsWith(QStringLiteral("file:"))) {
            const QUrl url(argument);
            if (!url.isLocalFile())
                return {};
            files << url.toLocalFile();
        } else if (argument.endsWith(QStringLiteral(".velloq")) && !argument.startsWith(u'-')) {
            files << QFileInfo(argument).absoluteFilePath();
        } else {
            return {};
        }
    }
    return files;
}

} // namespace velloq::CommandLine
