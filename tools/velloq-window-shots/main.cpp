// Takes the window's screenshots for docs/window: the three tabs, an open dropdown, the
// Buttons tab on a second page, a drag in the dock preview and the editors of several actions
// and of a toggle, with a sample configuration on an emulated dock, in a private data folder.
//
//   velloq-window-shots <output folder>
//
// Run it on an X server (Xvfb is fine); scripts/window-shots does that.

#include "EmulatorSession.h"
#include "share/SetupExport.h"
#include "support/AppPaths.h"
#include "ui/DeviceMockView.h"
#include "ui/Dropdown.h"
#include "ui/KeyDrag.h"
#include "ui/KeyFace.h"
#include "ui/MenuView.h"
#include "ui/PageAppsView.h"
#include "ui/PageBar.h"
#include "ui/SelectionEditor.h"
#include "ui/SettingsView.h"
#include "ui/ShareActions.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QWindow>

#include <cstdio>
#include <functional>
#include <memory>

using namespace velloq;
using namespace velloq::session;

namespace {

bool save(const QPixmap& pixmap, const QString& path) {
    if (pixmap.save(path))
        return true;
    std::fprintf(stderr, "could not write %s\n", qPrintable(path));
    return false;
}

// The window with the open menu (or dialog) laid over it where it shows on screen.
QPixmap windowWithMenu(QWidget& window, QWidget& menu) {
    const QRect windowRect = window.frameGeometry().isValid() ? window.geometry() : QRect();
    const QRect menuRect = menu.geometry();
    const QRect all = windowRect.united(menuRect);
    QPixmap canvas(all.size());
    canvas.fill(Qt::transparent);
    QPainter painter(&canvas);
    painter.drawPixmap(windowRect.topLeft() - all.topLeft(), window.grab());
    painter.drawPixmap(menuRect.topLeft() - all.topLeft(), menu.grab());
    return canvas;
}

// The dock preview while key `from` is dragged over key `to` (the dragged face drawn where the
// pointer is), and after the drop.
bool dragShots(DockController& controller, DeviceMockView& preview, int from, int to,
               const QString& out, const std::function<void(int)>& wait) {
    QWidget* source = preview.element(Selection::key(from));
    QWidget* target = preview.element(Selection::key(to));
    controller.setSelected(Selection::key(from));
    wait(300);
    // The face without the room around it that the element keeps for its rings.
    const QWidget* keyFace = source->findChild<KeyFace*>();
    const QPixmap face = source->grab(keyFace->geometry());
    const QPoint at = target->geometry().center() + QPoint(16, 18);
    const std::unique_ptr<QMimeData> data(KeyDrag::elementData(Selection::key(from)));
    QDragEnterEvent enter(at, Qt::MoveAction, data.get(), Qt::LeftButton, {});
    QCoreApplication::sendEvent(&preview, &enter);
    QDragMoveEvent move(at, Qt::MoveAction, data.get(), Qt::LeftButton, {});
    QCoreApplication::sendEvent(&preview, &move);
    wait(100);
    QPixmap dragging = preview.grab();
    {
        QPainter painter(&dragging);
        painter.setOpacity(0.85);
        const QRect faceRect(at - QPoint(keyFace->width() / 2, keyFace->height() / 2),
                             keyFace->size());
        QPainterPath rounded; // the grab's corners show the window behind the key
        rounded.addRoundedRect(QRectF(faceRect), 10, 10);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setClipPath(rounded);
        painter.drawPixmap(faceRect, face);
    }
    bool ok = save(dragging, out + QStringLiteral("/drag-1-dragging.png"));
    QDropEvent drop(QPointF(at), Qt::MoveAction, data.get(), Qt::LeftButton, {});
    QCoreApplication::sendEvent(&preview, &drop);
    wait(500);
    return save(preview.grab(), out + QStringLiteral("/drag-2-dropped.png")) && ok;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: velloq-window-shots <output folder>\n");
        return 2;
    }
    PrivateHome home(QStringLiteral("velloq-shots"));
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velloq"));
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out);

    DockConfig config;
    const Snippet signature =
        Snippet::make(QStringLiteral("Signature"), QStringLiteral("Kind regards,\nAlex"));
    config.snippets = {signature, Snippet::make(QStringLiteral("Address"),
                                                QStringLiteral("12 Example Road, Springfield"))};
    config.keys = {ButtonAction::function(ButtonFunction::copy),
                   ButtonAction::function(ButtonFunction::paste),
                   ButtonAction::url(QStringLiteral("wikipedia.org")),
                   ButtonAction::function(ButtonFunction::playPause),
                   ButtonAction::snippet(signature.id),
                   ButtonAction::function(ButtonFunction::lockScreen),
                   ButtonAction::function(ButtonFunction::toggleMute),
                   ButtonAction::function(ButtonFunction::screenshot),
                   ButtonAction::nothing()};
    Page media = Page::make(QStringLiteral("Media"));
    media.keys = {ButtonAction::page(QUuid()),
                  ButtonAction::function(ButtonFunction::previousTrack),
                  ButtonAction::function(ButtonFunction::playPause),
                  ButtonAction::function(ButtonFunction::nextTrack),
                  ButtonAction::function(ButtonFunction::toggleMute),
                  ButtonAction::function(ButtonFunction::toggleMicMute),
                  ButtonAction::nothing(),
                  ButtonAction::nothing(),
                  ButtonAction::page(QUuid())};
    // The apps in front of which the dock shows the Media page.
    const QString apps = home.path() + QStringLiteral("/applications");
    QDir().mkpath(apps);
    for (const auto& [file, fields] :
         {std::pair(
              "music.desktop",
              "Name=Music\nIcon=/usr/share/icons/Adwaita/48x48/mimetypes/audio-x-generic.png\n"),
          std::pair("videos.desktop", "Name=Videos\nIcon=/usr/share/icons/Adwaita/48x48/mimetypes/"
                                      "video-x-generic.png\n")}) {
        QFile entry(apps + u'/' + QLatin1String(file));
        if (!entry.open(QIODevice::WriteOnly))
            return 1;
        entry.write(QByteArray("[Desktop Entry]\nType=Application\nExec=true\n") + fields);
        media.apps << entry.fileName();
    }
    // A page of buttons that do more: open an editor, wait and paste a signature; start and
    // stop a recording, which is running now.
    Page tools = Page::make(QStringLiteral("Tools"));
    const QString editor = qEnvironmentVariable("XDG_DATA_HOME") +
                           QStringLiteral("/applications/org.example.TextEditor.desktop");
    const QString shortcuts = AppPaths::dataDir() + QStringLiteral("/Shortcuts");
    QDir().mkpath(QFileInfo(editor).absolutePath());
    QDir().mkpath(shortcuts);
    const auto write = [](const QString& path, const QByteArray& text) {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(text) == text.size() &&
               file.setPermissions(file.permissions() | QFile::ExeOwner);
    };
    if (!write(editor, "[Desktop Entry]\nType=Application\nName=Text Editor\nExec=true\n"
                       "Icon=accessories-text-editor\n") ||
        !write(shortcuts + QStringLiteral("/start-recording"), "#!/bin/sh\n") ||
        !write(shortcuts + QStringLiteral("/stop-recording"), "#!/bin/sh\n"))
        return 1;
    tools.keys[0] = ButtonAction::sequence(
        {ButtonAction::app(editor), ButtonAction::wait(1500), ButtonAction::snippet(signature.id)});
    tools.keys[1] = ButtonAction::toggle(ButtonAction::shortcut(QStringLiteral("start-recording")),
                                         ButtonAction::shortcut(QStringLiteral("stop-recording")));
    tools.keys[2] = ButtonAction::page(QUuid());
    config.pages = {media, tools};
    config.toggleStates = {{tools.id, 1}};
    config.keys[8] = ButtonAction::page(media.id);
    if (!ConfigStore().save(config))
        return 1;

    ConnectedController session(home.path());
    if (!session.connect())
        return 1;
    DockController& controller = session.controller;

    MenuView window(controller);
    window.move(100, 60);
    window.show();
    if (!spinUntil([&] { return window.windowHandle() && window.windowHandle()->isExposed(); },
                   5000))
        return 1;

    static_cast<QAbstractButton*>(window.findChild<DeviceMockView*>()->element(Selection::key(1)))
        ->click();
    spin(500);
    bool ok = save(window.grab(), out + QStringLiteral("/buttons.png"));

    // The function list of screen button 2, as a user opens it.
    const QList<Dropdown*> dropdowns =
        window.findChild<SelectionEditor*>()->findChildren<Dropdown*>();
    Dropdown* functions = dropdowns.isEmpty() ? nullptr : dropdowns.constFirst();
    for (Dropdown* dropdown : dropdowns) {
        if (dropdown->currentTitle() == ButtonFunction(ButtonFunction::paste).title())
            functions = dropdown;
    }
    if (functions) {
        QCursor::setPos(functions->mapToGlobal(functions->rect().center()));
        functions->click();
        if (spinUntil([&] { return functions->menu() && functions->menu()->isVisible(); }, 3000)) {
            spin(300);
            ok = save(windowWithMenu(window, *functions->menu()),
                      out + QStringLiteral("/dropdown.png")) &&
                 ok;
            functions->menu()->close();
        }
    } else {
        std::fprintf(stderr, "no dropdown in the button editor\n");
        ok = false;
    }

    controller.setTab(MenuTab::snippets);
    spin(500);
    ok = save(window.grab(), out + QStringLiteral("/snippets.png")) && ok;
    controller.setTab(MenuTab::settings);
    spin(500);
    ok = save(window.grab(), out + QStringLiteral("/settings.png")) && ok;

    // The Buttons tab editing the second page, its way home selected.
    controller.setTab(MenuTab::buttons);
    controller.setCurrentPage(media.id);
    controller.setSelected(Selection::key(0));
    spin(500);
    ok = save(window.grab(), out + QStringLiteral("/pages.png")) && ok;
    // The page's apps under the page bar.
    PageBar* bar = window.findChild<PageBar*>();
    const QWidget* pageApps = window.findChild<PageAppsView*>();
    const QRect appList = QRect(bar->mapTo(&window, QPoint()), bar->size())
                              .united(QRect(pageApps->mapTo(&window, QPoint()), pageApps->size()))
                              .adjusted(-12, -12, 12, 12);
    ok = save(window.grab(appList), out + QStringLiteral("/page-apps.png")) && ok;

    // Sharing: the page bar's menu, the settings' section scrolled into view, and the question
    // before a whole setup replaces this one.
    bar->more()->click();
    QMenu* menu = nullptr;
    if (spinUntil([&] { return (menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())); },
                  3000)) {
        spin(300);
        ok = save(windowWithMenu(window, *menu), out + QStringLiteral("/share-menu.png")) && ok;
        menu->close();
    } else {
        std::fprintf(stderr, "no menu on the page bar\n");
        ok = false;
    }
    controller.setTab(MenuTab::settings);
    spin(300);
    if (auto* scroll =
            qobject_cast<QScrollArea*>(window.currentContent()->parentWidget()->parentWidget()))
        scroll->verticalScrollBar()->setValue(scroll->verticalScrollBar()->maximum());
    spin(300);
    ok = save(window.grab(), out + QStringLiteral("/settings-setup.png")) && ok;
    const QString setupFile = home.path() + QStringLiteral("/Velloq setup.velloq");
    ok = SetupExport::write(controller.config(), std::nullopt, setupFile, {}).ok && ok;
    ShareActions* sharing = window.findChild<SettingsView*>()->sharing();
    sharing->importFile(setupFile, false);
    if (spinUntil([&] { return sharing->dialog() && sharing->dialog()->isVisible(); }, 5000)) {
        spin(300);
        ok = save(windowWithMenu(window, *sharing->dialog()),
                  out + QStringLiteral("/import-question.png")) &&
             ok;
        sharing->dialog()->reject();
    } else {
        std::fprintf(stderr, "no question before the import\n");
        ok = false;
    }
    controller.setTab(MenuTab::buttons);

    // Dragging the first screen button onto the fifth swaps them.
    controller.setCurrentPage(QUuid());
    ok = dragShots(controller, *window.findChild<DeviceMockView*>(), 0, 4, out, spin) && ok;

    // Several actions and a toggle that is on, in a window tall enough for their rows.
    window.resize(window.width(), 800);
    controller.setCurrentPage(tools.id);
    controller.setSelected(Selection::key(0));
    spin(500);
    ok = save(window.grab(), out + QStringLiteral("/several-actions.png")) && ok;
    controller.setSelected(Selection::key(1));
    spin(500);
    ok = save(window.grab(), out + QStringLiteral("/toggle.png")) && ok;
    return ok ? 0 : 1;
}
