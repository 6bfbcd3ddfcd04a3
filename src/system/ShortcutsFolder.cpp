#include "system/ShortcutsFolder.h"

#include "support/AppPaths.h"
#include "support/Background.h"
#include "support/Log.h"
#include "system/ProcessLauncher.h"

#include <QCollator>
#include <QDir>
#include <QFileInfo>
#include <QObject>

#include <algorithm>
#include <memory>

namespace velloq::ShortcutsFolder {

namespace {

QString trimSpacesAndTabs(const QString& s) {
    qsizetype begin = 0;
    qsizetype end = s.size();
    auto blank = [](QChar c) { return c == u' ' || c == u'\t'; };
    while (begin < end && blank(s.at(begin)))
        ++begin;
    while (end > begin && blank(s.at(end - 1)))
        --end;
    return s.mid(begin, end - begin);
}

bool isScript(const QFileInfo& info) {
    return info.isFile() && info.isExecutable() && !info.fileName().startsWith(u'.');
}

// The executable regular files of the folder, symlinks to such files included.
std::optional<QStringList> scriptFileNames(const QString& folder) {
    QDir dir(folder);
    if (!dir.exists() && !QDir().mkpath(folder))
        return std::nullopt;
    if (!dir.isReadable())
        return std::nullopt;
    QStringList names;
    for (const QFileInfo& info : dir.entryInfoList(QDir::Files | QDir::Hidden | QDir::System)) {
        if (isScript(info))
            names << info.fileName();
    }
    return names;
}

} // namespace

QString path() {
    return AppPaths::dataDir() + QStringLiteral("/Shortcuts");
}

QStringList tidyNames(const QStringList& names) {
    QStringList out;
    for (const QString& name : names) {
        QString trimmed = trimSpacesAndTabs(name);
        if (!trimmed.isEmpty())
            out << trimmed;
    }
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(out.begin(), out.end(), [&collator](const QString& a, const QString& b) {
        return collator.compare(a, b) < 0;
    });
    return out;
}

std::optional<QStringList> listNames(const QString& folder) {
    const std::optional<QStringList> files = scriptFileNames(folder);
    if (!files)
        return std::nullopt;
    return tidyNames(*files);
}

void listNamesInBackground(QObject* context, std::function<void(const QStringList&)> done,
                           const QString& folder) {
    inBackground(
        context, [folder] { return listNames(folder); },
        [done = std::move(done)](std::optional<QStringList> names) {
            if (names)
                done(*names);
        });
}

std::optional<QString> scriptFor(const QString& name, QString* reason, const QString& folder) {
    auto refuse = [reason](const QString& why) -> std::optional<QString> {
        if (reason)
            *reason = why;
        return std::nullopt;
    };
    if (name.isEmpty() || name.contains(u'/') || name.startsWith(u'.'))
        return refuse(QStringLiteral("not a script name"));

    const QFileInfo exact(QDir(folder).filePath(name));
    if (isScript(exact))
        return exact.absoluteFilePath();
    // The listing trims names; find the file that was trimmed to this one.
    if (const std::optional<QStringList> files = scriptFileNames(folder)) {
        for (const QString& file : *files) {
            if (trimSpacesAndTabs(file) == name)
                return QFileInfo(QDir(folder).filePath(file)).absoluteFilePath();
        }
    }
    if (exact.exists())
        return refuse(QStringLiteral("not an executable file in ") + folder);
    return refuse(QStringLiteral("no such script in ") + folder);
}

bool run(ProcessLauncher& launcher, const QString& name, const QString& folder, QObject* context,
         std::function<void(const QString& reason)> failed) {
    auto report = [failed](const QString& what, const QString& reason) {
        logLine(QStringLiteral("Could not run ") + what + QStringLiteral(": ") + reason);
        if (failed)
            failed(reason);
    };
    QString reason;
    const std::optional<QString> script = scriptFor(name, &reason, folder);
    if (!script) {
        report(name, reason);
        return false;
    }
    const LaunchResult result =
        launcher.launchWatched(*script, {}, context, [report, name](int status) {
            if (status != 0)
                report(name, QStringLiteral("it ended with status ") + QString::number(status));
        });
    if (!result.started)
        report(*script, result.error);
    return result.started;
}

} // namespace velloq::ShortcutsFolder
