#include "share/ShareCommand.h"

#include "config/ConfigStore.h"
#include "share/Sentences.h"
#include "share/SetupExport.h"
#include "share/SetupImport.h"
#include "support/DesktopEntry.h"

#include <QFileInfo>

namespace velloq::ShareCommand {

namespace {

Result failed(const QString& sentence) {
    return {Result::Status::failed, sentence, {}};
}

} // namespace

Result run(const Request& request, ConfigStore& store) {
    const DockConfig current = store.load();
    const QStringList dirs = DesktopEntries::applicationDirs();
    if (request.kind == Request::Kind::exportFile) {
        std::optional<QUuid> page;
        if (request.page) {
            page = current.findPage(*request.page);
            if (!page)
                return failed(noSuchPage(*request.page));
        }
        const SetupExport::Result written = SetupExport::write(current, page, request.file, dirs);
        return {written.ok ? Result::Status::done : Result::Status::failed, written.error,
                written.leftOut};
    }

    QString error;
    const std::optional<SetupImport::Checked> checked =
        SetupImport::read(request.file, dirs, {}, &error);
    if (!checked)
        return failed(error);
    const bool setup = checked->contents.kind == SetupFile::Contents::Kind::setup;
    if (setup && !request.replace)
        return {Result::Status::wouldReplace,
                wouldReplace(Sentences::quoted(checked->displayName)),
                {}};
    const std::optional<SetupImport::Staged> staged =
        SetupImport::stage(*checked, QFileInfo(store.path()).absolutePath(), &error);
    if (!staged)
        return failed(error);
    const DockConfig next = SetupImport::merged(current, staged->contents);
    if (!store.save(next, setup ? std::optional(current) : std::nullopt)) {
        SetupImport::discard(*staged);
        return failed(QStringLiteral("%1 could not be saved; the log says why")
                          .arg(Sentences::quoted(store.path())));
    }
    return {Result::Status::done, {}, {}};
}

} // namespace velloq::ShareCommand
