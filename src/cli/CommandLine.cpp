#include "cli/CommandLine.h"

#include "cli/Commands.h"
#include "cli/Invocation.h"
#include "support/AppPaths.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QUrl>

#include <algorithm>

namespace velloq::CommandLine {

namespace {

QString help() {
    QString text = QStringLiteral(
        "Usage: velloq [COMMAND [ARGUMENTS] | FILE.velloq]\n"
        "\n"
        "Velloq turns a USB stream-controller dock into a control surface for your\n"
        "desktop. Without a command it starts and runs in the tray: click its icon to\n"
        "open the window, where every setting is made (without a tray the window opens\n"
        "at start). The settings, your images and scripts live in %1.\n"
        "A .velloq file given is imported in the window.\n"
        "\n"
        "A command drives the running Velloq (which D-Bus starts when it is installed;\n"
        "export and import work on their own when it is not running):\n");
    text = text.arg(AppPaths::dataDir());
    QList<std::pair<QString, QString>> rows;
    qsizetype width = 0;
    for (const cli::Command& command : cli::commands()) {
        const QStringList forms = command.synopsis.split(QLatin1Char('\n'));
        const QStringList summaries = command.summary.split(QLatin1Char('\n'));
        for (qsizetype i = 0; i < forms.size(); ++i) {
            rows.append({forms.at(i), summaries.value(i)});
            width = std::max(width, forms.at(i).size());
        }
    }
    for (const auto& [form, summary] : rows)
        text += QStringLiteral("  ") + form.leftJustified(width + 2) + summary + QLatin1Char('\n');
    text += QStringLiteral(
        "\n"
        "Options:\n"
        "  -h, --help  Show this help; \"velloq COMMAND --help\" describes a command.\n"
        "  --version   Show the version.\n"
        "\n"
        "Exit status: 0 on success, 1 when the command fails, 2 for bad arguments.\n"
        "More in the manual page velloq(1).\n");
    return text;
}

void write(std::FILE* to, const QString& text) {
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), to);
    std::fflush(to);
}

// Qt 6.4's D-Bus thread, still finishing an error reply while the program's statics are
// destroyed, warns about its own message types; the command has printed its answer by then.
void dropExitNoise(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (message.startsWith(QStringLiteral("Trying to construct an instance of an invalid type")))
        return;
    const QByteArray text = qFormatLogMessage(type, context, message).toLocal8Bit();
    std::fprintf(stderr, "velloq: %s\n", text.constData());
}

int usageError(std::FILE* err, const QString& message) {
    write(err, QStringLiteral("velloq: ") + message + QStringLiteral("\n\n") + help());
    return cli::kUsage;
}

} // namespace

const char* version() {
    return VELLOQ_VERSION;
}

int run(int& argc, char** argv, const std::function<int(int&, char**)>& runApp, std::FILE* out,
        std::FILE* err) {
    if (argc <= 1 || !filesToOpen(argc, argv).isEmpty())
        return runApp(argc, argv);
    const QString first = QString::fromLocal8Bit(argv[1]);
    QStringList rest;
    for (int i = 2; i < argc; ++i)
        rest << QString::fromLocal8Bit(argv[i]);

    if (first == QStringLiteral("-h") || first == QStringLiteral("--help") ||
        first == QStringLiteral("--version")) {
        if (!rest.isEmpty())
            return usageError(err, QStringLiteral("unexpected argument ") + rest.first());
        write(out, first == QStringLiteral("--version")
                       ? QStringLiteral("Velloq %1\n").arg(QLatin1String(version()))
                       : help());
        return cli::kSuccess;
    }
    if (first.startsWith(QLatin1Char('-')))
        return usageError(err, QStringLiteral("unknown option ") + first);
    const cli::Command* command = cli::findCommand(first);
    if (!command)
        return usageError(err, QStringLiteral("unknown command ") + first);

    qInstallMessageHandler(dropExitNoise);
    // D-Bus wants an application object; a plain one keeps the start quick.
    int appArgc = 1;
    QCoreApplication app(appArgc, argv);
    cli::Invocation invocation(*command, rest, out, err);
    return command->run(invocation);
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
