// The subcommands, each a thin client of app.velloq.Velloq1: checks its arguments, calls the
// running Velloq and prints the result.

#include "cli/Commands.h"

#include "cli/AppModule.h"
#include "cli/Invocation.h"
#include "scripting/Velloq1.h"
#include "share/Sentences.h"
#include "share/ShareCommand.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QObject>

namespace velloq::cli {

namespace {

int ended(const std::optional<QDBusMessage>& reply) {
    return reply ? kSuccess : kFailure;
}

QString numberError(const QString& what, const QString& text) {
    return what + QStringLiteral(", not \"") + text + QLatin1Char('"');
}

int page(Invocation& in) {
    if (const auto status = in.parse(1, 1))
        return *status;
    return ended(in.call(QStringLiteral("ShowPage"), {in.positional().at(0)}));
}

int press(Invocation& in) {
    if (const auto status = in.parse(1, 1))
        return *status;
    const auto button = Invocation::number(in.positional().at(0), 1, Velloq1::kButtons);
    if (!button)
        return in.usageError(
            numberError(QStringLiteral("N is a button, 1 to 9"), in.positional().at(0)));
    return ended(in.call(QStringLiteral("PressButton"), {uint(*button)}));
}

int toggle(Invocation& in) {
    if (const auto status = in.parse(2, 2))
        return *status;
    const QStringList& args = in.positional();
    const auto button = Invocation::number(args.at(0), 1, Velloq1::kButtons);
    if (!button)
        return in.usageError(numberError(QStringLiteral("N is a button, 1 to 9"), args.at(0)));
    const QString on = QStringLiteral("on");
    if (args.at(1) != on && args.at(1) != QStringLiteral("off"))
        return in.usageError(numberError(QStringLiteral("a toggle is on or off"), args.at(1)));
    return ended(in.call(QStringLiteral("SetToggle"), {uint(*button), args.at(1) == on}));
}

int knob(Invocation& in) {
    if (const auto status = in.parse(2, 3))
        return *status;
    const QStringList& args = in.positional();
    const auto knob = Invocation::number(args.at(0), 1, Velloq1::kKnobs);
    if (!knob)
        return in.usageError(numberError(QStringLiteral("N is a knob, 1 to 3"), args.at(0)));
    if (args.at(1) == QStringLiteral("press")) {
        if (args.size() > 2)
            return in.usageError(QStringLiteral("unexpected argument ") + args.at(2));
        return ended(in.call(QStringLiteral("PressKnob"), {uint(*knob)}));
    }
    if (args.at(1) != QStringLiteral("turn"))
        return in.usageError(QStringLiteral("a knob can turn or press, not \"") + args.at(1) +
                             QLatin1Char('"'));
    if (args.size() < 3)
        return in.usageError(QStringLiteral("missing STEPS"));
    const auto steps = Invocation::number(args.at(2), -Velloq1::kMaxSteps, Velloq1::kMaxSteps);
    if (!steps || *steps == 0)
        return in.usageError(
            numberError(QStringLiteral("STEPS is -100 to 100 and not 0"), args.at(2)));
    return ended(in.call(QStringLiteral("TurnKnob"), {uint(*knob), *steps}));
}

int face(Invocation& in) {
    const QString image = QStringLiteral("image");
    const QString title = QStringLiteral("title");
    const QString reset = QStringLiteral("reset");
    in.addOption(
        {image, QStringLiteral("An image file, still or animated."), QStringLiteral("FILE")});
    in.addOption({title, QStringLiteral("A caption, drawn as the automatic faces draw theirs."),
                  QStringLiteral("TEXT")});
    in.addOption({reset, QStringLiteral("The button's own face again.")});
    if (const auto status = in.parse(1, 1))
        return *status;
    const auto button = Invocation::number(in.positional().at(0), 1, Velloq1::kScreenButtons);
    if (!button)
        return in.usageError(
            numberError(QStringLiteral("N is a screen button, 1 to 6"), in.positional().at(0)));
    const bool changes = in.isSet(image) || in.isSet(title);
    if (in.isSet(reset)) {
        if (changes)
            return in.usageError(QStringLiteral("--reset takes neither --image nor --title"));
        return ended(in.call(QStringLiteral("ResetButtonFace"), {uint(*button)}));
    }
    if (!changes)
        return in.usageError(QStringLiteral("give --image FILE, --title TEXT or both, or --reset"));
    // Velloq may run in another folder: it is given the whole path.
    QString file = in.value(image);
    if (!file.isEmpty())
        file = QDir::current().absoluteFilePath(file);
    return ended(in.call(QStringLiteral("SetButtonFace"), {uint(*button), file, in.value(title)}));
}

int brightness(Invocation& in) {
    if (const auto status = in.parse(1, 1))
        return *status;
    QString text = in.positional().at(0);
    if (text.endsWith(QLatin1Char('%')))
        text.chop(1);
    const auto percent = Invocation::number(text, 0, 100);
    if (!percent)
        return in.usageError(
            numberError(QStringLiteral("PERCENT is 0 to 100"), in.positional().at(0)));
    return ended(in.call(QStringLiteral("SetBrightness"), {uint(*percent)}));
}

int screensaver(Invocation& in) {
    if (const auto status = in.parse(1, 1))
        return *status;
    const QString what = in.positional().at(0);
    if (what == QStringLiteral("start"))
        return ended(in.call(QStringLiteral("StartScreensaver")));
    if (what == QStringLiteral("stop"))
        return ended(in.call(QStringLiteral("StopScreensaver")));
    return in.usageError(QStringLiteral("the screensaver can start or stop, not \"") + what +
                         QLatin1Char('"'));
}

QCommandLineOption jsonOption() {
    return {QStringLiteral("json"), QStringLiteral("JSON instead of text, one object a line.")};
}

int status(Invocation& in) {
    in.addOption(jsonOption());
    if (const auto status = in.parse(0, 0))
        return *status;
    const std::optional<QVariantMap> values = in.properties();
    if (!values)
        return kFailure;
    const bool connected = values->value(QStringLiteral("Connected")).toBool();
    const QString dock = values->value(QStringLiteral("DockName")).toString();
    const QString current = values->value(QStringLiteral("CurrentPage")).toString();
    const uint percent = values->value(QStringLiteral("Brightness")).toUInt();
    const PageList pages = values->value(QStringLiteral("Pages")).value<PageList>();
    QString currentName = current;
    for (const PageEntry& page : pages) {
        if (page.id == current)
            currentName = page.name;
    }

    if (in.isSet(QStringLiteral("json"))) {
        QJsonArray list;
        for (const PageEntry& page : pages)
            list.append(
                QJsonObject{{QStringLiteral("id"), page.id}, {QStringLiteral("name"), page.name}});
        const QJsonObject object{{QStringLiteral("connected"), connected},
                                 {QStringLiteral("dock"), dock},
                                 {QStringLiteral("page"), current},
                                 {QStringLiteral("pages"), list},
                                 {QStringLiteral("brightness"), int(percent)}};
        in.print(QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)));
        return kSuccess;
    }
    in.print(QStringLiteral("Dock: ") + (connected ? dock : QStringLiteral("none connected")));
    in.print(QStringLiteral("Page: ") + currentName);
    in.print(QStringLiteral("Brightness: %1%").arg(percent));
    in.print(QStringLiteral("Pages:"));
    for (const PageEntry& page : pages)
        in.print(QStringLiteral("  ") + page.id + QStringLiteral("  ") + page.name);
    return kSuccess;
}

// Prints one line per signal of app.velloq.Velloq1.
class Watcher : public QObject {
    Q_OBJECT
public:
    Watcher(Invocation& in, bool json)
        : in_(in)
        , json_(json) {}

    bool subscribe() {
        QDBusConnection bus = QDBusConnection::sessionBus();
        const struct {
            const char* name;
            const char* slot;
        } hooks[] = {{"ButtonPressed", SLOT(buttonPressed(uint, QString))},
                     {"KnobTurned", SLOT(knobTurned(uint, int))},
                     {"KnobPressed", SLOT(knobPressed(uint))},
                     {"PageChanged", SLOT(pageChanged(QString, QString))}};
        for (const auto& hook : hooks) {
            if (!bus.connect(Velloq1::service(), Velloq1::path(), Velloq1::interface(),
                             QLatin1String(hook.name), this, hook.slot))
                return false;
        }
        return true;
    }

public Q_SLOTS:
    void buttonPressed(uint button, const QString& page) {
        emitLine(QStringLiteral("ButtonPressed"),
                 {{QStringLiteral("button"), int(button)}, {QStringLiteral("page"), page}});
    }
    void knobTurned(uint knob, int steps) {
        emitLine(QStringLiteral("KnobTurned"),
                 {{QStringLiteral("knob"), int(knob)}, {QStringLiteral("steps"), steps}});
    }
    void knobPressed(uint knob) {
        emitLine(QStringLiteral("KnobPressed"), {{QStringLiteral("knob"), int(knob)}});
    }
    void pageChanged(const QString& id, const QString& name) {
        emitLine(QStringLiteral("PageChanged"),
                 {{QStringLiteral("id"), id}, {QStringLiteral("name"), name}});
    }

private:
    // "Name value value", or {"signal": "Name", ...} with --json.
    void emitLine(const QString& name, const QList<std::pair<QString, QJsonValue>>& fields) {
        if (json_) {
            QJsonObject object{{QStringLiteral("signal"), name}};
            for (const auto& [key, value] : fields)
                object.insert(key, value);
            in_.print(QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)));
            return;
        }
        QString line = name;
        for (const auto& [key, value] : fields)
            line += QLatin1Char(' ') + value.toVariant().toString();
        in_.print(line);
    }

    Invocation& in_;
    bool json_;
};

int watch(Invocation& in) {
    in.addOption(jsonOption());
    if (const auto status = in.parse(0, 0))
        return *status;
    // Starts Velloq where D-Bus can, and says so when it is not running.
    if (!in.properties())
        return kFailure;
    Watcher watcher(in, in.isSet(QStringLiteral("json")));
    if (!watcher.subscribe())
        return in.failure(QStringLiteral("Cannot watch Velloq's signals: ") +
                          QDBusConnection::sessionBus().lastError().message());
    QCoreApplication::exec();
    return kSuccess;
}

// An export or import may read and check up to 256 MiB: far longer than a call usually takes.
constexpr int kShareTimeoutMs = 10 * 60 * 1000;

// Asks the running Velloq to export or import, so that its window sees the change (one undo
// step); nothing when it quit in the meantime.
std::optional<ShareCommand::Result> shareThroughVelloq(Invocation& in,
                                                       const ShareCommand::Request& request) {
    using Kind = ShareCommand::Request::Kind;
    using Status = ShareCommand::Result::Status;
    const QDBusMessage reply =
        request.kind == Kind::importFile
            ? in.callRunning(QStringLiteral("Import"), {request.file, request.replace},
                             kShareTimeoutMs)
        : request.page
            ? in.callRunning(QStringLiteral("ExportPage"), {*request.page, request.file},
                             kShareTimeoutMs)
            : in.callRunning(QStringLiteral("ExportSetup"), {request.file}, kShareTimeoutMs);
    if (reply.type() == QDBusMessage::ReplyMessage) {
        ShareCommand::Result result{Status::done, {}, {}};
        if (request.kind == Kind::exportFile)
            result.leftOut = reply.arguments().value(0).toStringList();
        return result;
    }
    const QString error = reply.errorName();
    if (error == QStringLiteral("org.freedesktop.DBus.Error.ServiceUnknown") ||
        error == QStringLiteral("org.freedesktop.DBus.Error.NameHasNoOwner"))
        return std::nullopt;
    if (error == Velloq1::error(Velloq1::kWouldReplace))
        return ShareCommand::Result{
            Status::wouldReplace,
            ShareCommand::wouldReplace(Sentences::quoted(QFileInfo(request.file).fileName())),
            {}};
    return ShareCommand::Result{Status::failed, Invocation::failureOf(reply), {}};
}

// Through the running Velloq when there is one; else the app module does it on its own, as
// starting Velloq for one file would be a surprise.
int share(Invocation& in, ShareCommand::Request request) {
    // Velloq may run in another folder: it is given the whole path.
    request.file = QDir::current().absoluteFilePath(request.file);
    std::optional<ShareCommand::Result> result;
    if (in.velloqRuns())
        result = shareThroughVelloq(in, request);
    if (!result) {
        result.emplace();
        if (!AppModule::share(request, *result))
            return kFailure;
    }
    if (result->status != ShareCommand::Result::Status::done)
        return in.failure(result->error);
    if (!result->leftOut.isEmpty())
        in.warn(QStringLiteral("some images could not be read, so their buttons have none in "
                               "the file: ") +
                result->leftOut.join(QStringLiteral(", ")));
    return kSuccess;
}

int exportFile(Invocation& in) {
    const QString page = QStringLiteral("page");
    in.addOption({page, QStringLiteral("Only this page: its name, its id or home."),
                  QStringLiteral("NAME")});
    if (const auto status = in.parse(1, 1))
        return *status;
    ShareCommand::Request request{ShareCommand::Request::Kind::exportFile, in.positional().at(0),
                                  std::nullopt, false};
    if (in.isSet(page))
        request.page = in.value(page);
    return share(in, request);
}

int importFile(Invocation& in) {
    const QString replace = QStringLiteral("replace");
    in.addOption({replace, QStringLiteral("Let a whole setup replace yours.")});
    if (const auto status = in.parse(1, 1))
        return *status;
    return share(in, {ShareCommand::Request::Kind::importFile, in.positional().at(0), std::nullopt,
                      in.isSet(replace)});
}

} // namespace

const QList<Command>& commands() {
    static const QList<Command> all = {
        {QStringLiteral("page"), QStringLiteral("page NAME|ID|home"),
         QStringLiteral("Show a page."),
         QStringLiteral("Shows a page on the dock and in the window: its name (in any case),\n"
                        "its id, or home."),
         page},
        {QStringLiteral("press"), QStringLiteral("press N"),
         QStringLiteral("Press button N (1-6 screen, 7-9 round)."),
         QStringLiteral("Runs the action of button N on the page the dock shows, as a press on\n"
                        "the dock does. Buttons 1 to 6 are the screen buttons, row by row from\n"
                        "the top left, 7 to 9 the round buttons."),
         press},
        {QStringLiteral("toggle"), QStringLiteral("toggle N on|off"),
         QStringLiteral("Turn the toggle on button N on or off."),
         QStringLiteral("Turns the toggle on button N of the page the dock shows on or off\n"
                        "without running either side, so that its face shows the state of\n"
                        "what it controls."),
         toggle},
        {QStringLiteral("knob"), QStringLiteral("knob N turn STEPS\nknob N press"),
         QStringLiteral("Turn knob N (1-3); STEPS < 0 turn left.\nPress knob N."),
         QStringLiteral("Turns knob N (1 to 3) by STEPS detents, -100 to 100 (negative turns\n"
                        "to the left), or presses it, as on the dock, with the indicator."),
         knob},
        {QStringLiteral("face"),
         QStringLiteral("face N [--image FILE] [--title TEXT]\nface N --reset"),
         QStringLiteral(
             "Put a temporary face on screen button N.\nGive button N its own face back."),
         QStringLiteral("Puts a temporary face on screen button N (1 to 6) of the page the dock\n"
                        "shows: an image, a title under it, or both. It stays until --reset,\n"
                        "until the button's action or image is changed in the window, or until\n"
                        "Velloq quits, and is never saved."),
         face},
        {QStringLiteral("brightness"), QStringLiteral("brightness PERCENT"),
         QStringLiteral("Set the dock's brightness (saved)."),
         QStringLiteral("Sets the dock's screen brightness, 0 to 100 percent, and saves it as\n"
                        "the slider in Settings does."),
         brightness},
        {QStringLiteral("screensaver"), QStringLiteral("screensaver start|stop"),
         QStringLiteral("Start or stop the screensaver."),
         QStringLiteral("Starts the screensaver on the dock now, or ends it."), screensaver},
        {QStringLiteral("status"), QStringLiteral("status [--json]"),
         QStringLiteral("The dock, its page, brightness, pages."),
         QStringLiteral("Shows the connected dock, the page it shows, its brightness and every\n"
                        "page with its id."),
         status},
        {QStringLiteral("watch"), QStringLiteral("watch [--json]"),
         QStringLiteral("A line per press, turn and page change."),
         QStringLiteral("Prints one line per button press, knob turn, knob press and page\n"
                        "change until interrupted, each written at once:\n"
                        "  ButtonPressed BUTTON PAGE-ID\n"
                        "  KnobTurned KNOB STEPS\n"
                        "  KnobPressed KNOB\n"
                        "  PageChanged PAGE-ID PAGE-NAME"),
         watch},
        {QStringLiteral("export"), QStringLiteral("export [--page NAME] FILE"),
         QStringLiteral("Write your setup, or one page, to a .velloq file."),
         QStringLiteral("Writes your whole setup (every button, page, snippet and setting), or\n"
                        "with --page one page (its name, its id or home) and the snippets its\n"
                        "buttons paste, to FILE as a .velloq file with the images they use, to\n"
                        "move to another computer, keep as a backup or share. Through the\n"
                        "running Velloq, or on its own when Velloq is not running."),
         exportFile},
        {QStringLiteral("import"), QStringLiteral("import FILE [--replace]"),
         QStringLiteral("Add the page in a .velloq file, or replace your setup."),
         QStringLiteral("Imports a .velloq file, checked in full before anything changes. A\n"
                        "page is added beside yours (\"Media 2\" when you have a \"Media\"). A\n"
                        "whole setup replaces yours only with --replace; the one it replaces\n"
                        "is kept beside config.json. Through the running Velloq, where Undo\n"
                        "takes it back, or on its own when Velloq is not running."),
         importFile},
    };
    return all;
}

const Command* findCommand(const QString& name) {
    for (const Command& command : commands()) {
        if (command.name == name)
            return &command;
    }
    return nullptr;
}

} // namespace velloq::cli

#include "Commands.moc"
