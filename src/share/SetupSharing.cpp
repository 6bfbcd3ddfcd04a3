#include "share/SetupSharing.h"

#include "controller/DockController.h"
#include "support/Background.h"

#include <QPointer>

namespace velloq::SetupSharing {

void exportTo(DockController& controller, QObject* context, const QString& path,
              const std::optional<QUuid>& page, std::function<void(SetupExport::Result)> done) {
    inBackground(
        context,
        [config = controller.config(), dirs = controller.applicationDirs(), path, page] {
            return SetupExport::write(config, page, path, dirs);
        },
        std::move(done));
}

std::shared_ptr<std::atomic<bool>> read(DockController& controller, QObject* context,
                                        const QString& path, std::function<void(double)> progress,
                                        std::function<void(ReadResult)> done) {
    auto cancelled = std::make_shared<std::atomic<bool>>(false);
    auto guard = std::make_shared<QPointer<QObject>>(context);
    // Progress is handed to the main thread; `context` is only looked at there.
    const ZipArchive::Progress report = [cancelled, guard, progress](double share) {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [guard, progress, share] {
                if (*guard && progress)
                    progress(share);
            },
            Qt::QueuedConnection);
        return !cancelled->load();
    };
    inBackground(
        context,
        [path, dirs = controller.applicationDirs(), report] {
            ReadResult result;
            result.checked = SetupImport::read(path, dirs, report, &result.error);
            return result;
        },
        std::move(done));
    return cancelled;
}

void apply(DockController& controller, QObject* context, SetupImport::Checked checked,
           std::function<void(Applied)> done) {
    struct Staging {
        std::optional<SetupImport::Staged> staged;
        QString error;
    };
    QPointer<DockController> target(&controller);
    inBackground(
        context,
        [checked = std::move(checked), folder = controller.dataFolder()] {
            Staging result;
            result.staged = SetupImport::stage(checked, folder, &result.error);
            return result;
        },
        [target, done = std::move(done)](Staging result) {
            if (!result.staged) {
                done({false, result.error, QUuid()});
                return;
            }
            if (!target) {
                SetupImport::discard(*result.staged);
                return;
            }
            // Merged with the configuration as it is now, on the main thread.
            QUuid page;
            const DockConfig next =
                SetupImport::merged(target->config(), result.staged->contents, &page);
            const bool setup = result.staged->contents.kind == SetupFile::Contents::Kind::setup;
            target->importConfig(next, result.staged->files, setup);
            done({true, QString(), page});
        });
}

} // namespace velloq::SetupSharing
