#include "scripting/ScriptingService.h"

#include "Velloq1Adaptor.h"
#include "config/ConfigJson.h"
#include "controller/DockController.h"
#include "scripting/TemporaryFaces.h"
#include "share/Sentences.h"
#include "share/SetupSharing.h"
#include "share/ShareCommand.h"

#include <QDBusMetaType>
#include <QDir>
#include <QFileInfo>

#include <cmath>

namespace velloq {

namespace {

QString pageName(const DockConfig& config, const QUuid& id) {
    const Page* page = config.page(id);
    return page ? page->name : QStringLiteral("Home");
}

} // namespace

ScriptingService::ScriptingService(QDBusConnection bus, QObject* parent)
    : QObject(parent)
    , bus_(std::move(bus)) {
    qDBusRegisterMetaType<PageEntry>();
    qDBusRegisterMetaType<PageList>();
    new Velloq1Adaptor(this);
}

ScriptingService::~ScriptingService() = default;

void ScriptingService::bind(DockController& controller) {
    controller_ = &controller;
    faces_ = std::make_unique<TemporaryFaces>(controller);
    announced_ = snapshot();
    for (auto changed : {&DockController::isConnectedChanged, &DockController::deviceNameChanged,
                         &DockController::configChanged})
        connect(&controller, changed, this, &ScriptingService::announceChanges);
    connect(&controller, &DockController::currentPageChanged, this, [this] {
        announceChanges();
        Q_EMIT PageChanged(currentPage(),
                           pageName(controller_->config(), controller_->currentPage()));
    });
    connect(&controller, &DockController::dockInput, this, &ScriptingService::forwardInput);
}

// ---------------------------------------------------------------- Properties

bool ScriptingService::connected() const {
    return controller_ && controller_->isConnected();
}

QString ScriptingService::dockName() const {
    if (!connected())
        return {};
    const auto model = controller_->dock().model();
    return model ? model->name : controller_->deviceName();
}

PageList ScriptingService::pages() const {
    PageList list{{ConfigJson::uuidString(QUuid()), QStringLiteral("Home")}};
    if (controller_) {
        for (const Page& page : controller_->config().pages)
            list.append({ConfigJson::uuidString(page.id), page.name});
    }
    return list;
}

QString ScriptingService::currentPage() const {
    return ConfigJson::uuidString(controller_ ? controller_->currentPage() : QUuid());
}

uint ScriptingService::brightness() const {
    if (!controller_)
        return 0;
    const double percent = controller_->config().dockBrightness;
    return std::isfinite(percent) ? uint(std::lround(std::clamp(percent, 0.0, 100.0))) : 0;
}

QVariantMap ScriptingService::snapshot() const {
    return {{QStringLiteral("Connected"), connected()},
            {QStringLiteral("DockName"), dockName()},
            {QStringLiteral("Pages"), QVariant::fromValue(pages())},
            {QStringLiteral("CurrentPage"), currentPage()},
            {QStringLiteral("Brightness"), brightness()}};
}

void ScriptingService::announceChanges() {
    const QVariantMap now = snapshot();
    QVariantMap changed;
    for (auto it = now.begin(); it != now.end(); ++it) {
        if (announced_.value(it.key()) != it.value())
            changed.insert(it.key(), it.value());
    }
    announced_ = now;
    if (changed.isEmpty())
        return;
    QDBusMessage signal = QDBusMessage::createSignal(
        Velloq1::path(), QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("PropertiesChanged"));
    signal << Velloq1::interface() << changed << QStringList();
    bus_.send(signal);
}

// ---------------------------------------------------------------- Signals

void ScriptingService::forwardInput(const DockEvent& event) {
    const uint number = uint(event.index) + 1;
    switch (event.kind) {
    case DockEvent::Kind::key:
        Q_EMIT ButtonPressed(number, currentPage());
        break;
    case DockEvent::Kind::knobTurn:
        Q_EMIT KnobTurned(number, event.step);
        break;
    case DockEvent::Kind::knobPress:
        Q_EMIT KnobPressed(number);
        break;
    }
}

// ---------------------------------------------------------------- Checks

bool ScriptingService::fail(const char* name, const QString& message) {
    sendErrorReply(Velloq1::error(name), message);
    return false;
}

bool ScriptingService::bound() {
    return controller_ || fail(Velloq1::kFailed, QStringLiteral("Velloq is still starting"));
}

bool ScriptingService::checkButton(uint button, uint last) {
    if (button >= 1 && button <= last)
        return true;
    if (last == Velloq1::kScreenButtons && button > last && button <= Velloq1::kButtons)
        return fail(
            Velloq1::kInvalidArgument,
            QStringLiteral("Button %1 has no screen: faces go on buttons 1 to 6").arg(button));
    return fail(Velloq1::kInvalidArgument,
                QStringLiteral("There is no button %1: buttons are numbered 1 to %2")
                    .arg(button)
                    .arg(last));
}

bool ScriptingService::checkKnob(uint knob) {
    return (knob >= 1 && knob <= Velloq1::kKnobs) ||
           fail(Velloq1::kInvalidArgument,
                QStringLiteral("There is no knob %1: knobs are numbered 1 to 3").arg(knob));
}

// ---------------------------------------------------------------- Methods

void ScriptingService::ShowPage(const QString& page) {
    if (!bound())
        return;
    const std::optional<QUuid> id = controller_->config().findPage(page);
    if (!id) {
        fail(Velloq1::kNoSuchPage, ShareCommand::noSuchPage(page));
        return;
    }
    controller_->setCurrentPage(*id);
}

void ScriptingService::PressButton(uint button) {
    if (bound() && checkButton(button, Velloq1::kButtons))
        controller_->handleInput(DockEvent::key(int(button) - 1));
}

void ScriptingService::SetToggle(uint button, bool on) {
    if (bound() && checkButton(button, Velloq1::kButtons) &&
        !controller_->setToggle(int(button) - 1, on))
        fail(Velloq1::kInvalidArgument,
             QStringLiteral("Button %1 on the page the dock shows is not a toggle").arg(button));
}

void ScriptingService::TurnKnob(uint knob, int steps) {
    if (!bound() || !checkKnob(knob))
        return;
    if (steps == 0 || std::abs(steps) > Velloq1::kMaxSteps) {
        fail(Velloq1::kInvalidArgument,
             QStringLiteral("Turn by 1 to 100 steps, negative to the left, not %1").arg(steps));
        return;
    }
    // Detent by detent, as the dock reports them.
    for (int i = 0; i < std::abs(steps); ++i)
        controller_->handleInput(DockEvent::knobTurn(int(knob) - 1, steps > 0 ? 1 : -1));
}

void ScriptingService::PressKnob(uint knob) {
    if (bound() && checkKnob(knob))
        controller_->handleInput(DockEvent::knobPress(int(knob) - 1));
}

void ScriptingService::SetButtonFace(uint button, const QString& image, const QString& title) {
    if (!bound() || !checkButton(button, Velloq1::kScreenButtons))
        return;
    if (image.isEmpty() && title.isEmpty()) {
        fail(Velloq1::kInvalidArgument, QStringLiteral("Give an image, a title or both"));
        return;
    }
    if (!image.isEmpty() && !QDir::isAbsolutePath(image)) {
        fail(Velloq1::kInvalidArgument,
             QStringLiteral("The image must be an absolute path, not %1").arg(image));
        return;
    }
    if (title.size() > Velloq1::kMaxTitleLength) {
        fail(Velloq1::kInvalidArgument,
             QStringLiteral("A title has at most %1 characters").arg(Velloq1::kMaxTitleLength));
        return;
    }
    // Answered once the image is read, on a worker.
    setDelayedReply(true);
    faces_->set(int(button) - 1, image, title,
                [bus = connection(), call = message()](const std::optional<QString>& error) {
                    bus.send(error ? call.createErrorReply(
                                         Velloq1::error(Velloq1::kInvalidArgument), *error)
                                   : call.createReply());
                });
}

void ScriptingService::ResetButtonFace(uint button) {
    if (bound() && checkButton(button, Velloq1::kScreenButtons))
        faces_->reset(int(button) - 1);
}

void ScriptingService::SetBrightness(uint percent) {
    if (!bound())
        return;
    if (percent > 100) {
        fail(Velloq1::kInvalidArgument,
             QStringLiteral("Brightness is 0 to 100 percent, not %1").arg(percent));
        return;
    }
    DockConfig next = controller_->config();
    next.dockBrightness = percent;
    controller_->setConfig(next);
}

void ScriptingService::StartScreensaver() {
    if (!bound())
        return;
    if (!controller_->isConnected()) {
        fail(Velloq1::kNoDock, QStringLiteral("No dock is connected"));
        return;
    }
    if (controller_->screensaverRunning())
        return;
    controller_->startScreensaver();
    if (!controller_->screensaverRunning())
        fail(Velloq1::kFailed, QStringLiteral("The screensaver's animation cannot be found"));
}

void ScriptingService::StopScreensaver() {
    if (bound())
        controller_->stopScreensaver();
}

// ---------------------------------------------------------------- Moving and sharing

bool ScriptingService::checkFile(const QString& file) {
    return QDir::isAbsolutePath(file) ||
           fail(Velloq1::kInvalidArgument,
                QStringLiteral("The file must be an absolute path, not %1").arg(file));
}

QStringList ScriptingService::ExportSetup(const QString& file) {
    exportTo(std::nullopt, file);
    return {};
}

QStringList ScriptingService::ExportPage(const QString& page, const QString& file) {
    if (!bound())
        return {};
    const std::optional<QUuid> id = controller_->config().findPage(page);
    if (!id)
        fail(Velloq1::kNoSuchPage, ShareCommand::noSuchPage(page));
    else
        exportTo(*id, file);
    return {};
}

void ScriptingService::exportTo(const std::optional<QUuid>& page, const QString& file) {
    if (!bound() || !checkFile(file))
        return;
    // Answered once the file is written, on a worker.
    setDelayedReply(true);
    SetupSharing::exportTo(
        *controller_, this, file, page,
        [bus = connection(), call = message()](SetupExport::Result result) {
            bus.send(result.ok
                         ? call.createReply(result.leftOut)
                         : call.createErrorReply(Velloq1::error(Velloq1::kFailed), result.error));
        });
}

QString ScriptingService::Import(const QString& file, bool replace) {
    if (!bound() || !checkFile(file))
        return {};
    // Answered once the file is read, checked and taken in, on workers.
    setDelayedReply(true);
    const auto answer = [bus = connection(), call = message()](const char* error,
                                                               const QString& text) {
        bus.send(error ? call.createErrorReply(Velloq1::error(error), text)
                       : call.createReply(text));
    };
    SetupSharing::read(
        *controller_, this, file, {}, [this, answer, replace](SetupSharing::ReadResult read) {
            if (!read.checked) {
                answer(Velloq1::kInvalidArgument, read.error);
                return;
            }
            if (read.checked->contents.kind == SetupFile::Contents::Kind::setup && !replace) {
                answer(Velloq1::kWouldReplace,
                       QStringLiteral("%1 holds a whole setup, which replaces the current one "
                                      "only when replace is true")
                           .arg(Sentences::quoted(read.checked->displayName)));
                return;
            }
            if (!controller_)
                return;
            SetupSharing::apply(*controller_, this, std::move(*read.checked),
                                [answer](SetupSharing::Applied applied) {
                                    if (!applied.ok)
                                        answer(Velloq1::kFailed, applied.error);
                                    else
                                        answer(nullptr, applied.page.isNull()
                                                            ? QString()
                                                            : ConfigJson::uuidString(applied.page));
                                });
        });
    return {};
}

} // namespace velloq
