#include "cli/Invocation.h"

#include "cli/Commands.h"
#include "scripting/Velloq1.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMetaType>

#include <algorithm>

namespace velloq::cli {

namespace {

const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");

void write(std::FILE* to, const QString& text) {
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), to);
    std::fflush(to);
}

QString dashed(const QString& name) {
    return (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
}

} // namespace

QString Invocation::failureOf(const QDBusMessage& reply) {
    const QString name = reply.errorName();
    if (name == QStringLiteral("org.freedesktop.DBus.Error.ServiceUnknown") ||
        name == QStringLiteral("org.freedesktop.DBus.Error.NameHasNoOwner"))
        return QStringLiteral("Velloq is not running");
    if (name.startsWith(QStringLiteral("org.freedesktop.DBus.Error.Spawn.")))
        return QStringLiteral("Velloq could not be started: ") + reply.errorMessage();
    if (name == QStringLiteral("org.freedesktop.DBus.Error.NoReply") ||
        name == QStringLiteral("org.freedesktop.DBus.Error.Timeout"))
        return QStringLiteral("Velloq did not answer");
    return reply.errorMessage();
}

Invocation::Invocation(const Command& command, QStringList arguments, std::FILE* out,
                       std::FILE* err)
    : command_(command)
    , arguments_(std::move(arguments))
    , out_(out)
    , err_(err) {
    parser_.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    addOption(QCommandLineOption({QStringLiteral("h"), QStringLiteral("help")},
                                 QStringLiteral("Show this help.")));
}

void Invocation::addOption(const QCommandLineOption& option) {
    parser_.addOption(option);
    options_ << option;
}

std::optional<int> Invocation::parse(qsizetype minPositional, qsizetype maxPositional) {
    // The program's name first, as QCommandLineParser expects. Negative numbers ("turn -3")
    // are arguments, not options.
    QStringList arguments{QStringLiteral("velloq")};
    bool ended = false;
    for (const QString& argument : arguments_) {
        bool isNumber = false;
        argument.toInt(&isNumber);
        if (!ended && isNumber && argument.startsWith(QLatin1Char('-'))) {
            arguments << QStringLiteral("--");
            ended = true;
        }
        ended = ended || argument == QStringLiteral("--");
        arguments << argument;
    }
    if (!parser_.parse(arguments)) {
        const QStringList unknown = parser_.unknownOptionNames();
        if (!unknown.isEmpty())
            return usageError(QStringLiteral("unknown option ") + dashed(unknown.first()));
        QString message = parser_.errorText();
        if (message.endsWith(QLatin1Char('.')))
            message.chop(1);
        if (!message.isEmpty())
            message[0] = message[0].toLower();
        return usageError(message);
    }
    if (parser_.isSet(QStringLiteral("help"))) {
        write(out_, help());
        return kSuccess;
    }
    positional_ = parser_.positionalArguments();
    if (positional_.size() < minPositional)
        return usageError(QStringLiteral("missing arguments"));
    if (positional_.size() > maxPositional)
        return usageError(QStringLiteral("unexpected argument ") + positional_.at(maxPositional));
    return std::nullopt;
}

std::optional<int> Invocation::number(const QString& text, int min, int max) {
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < min || value > max)
        return std::nullopt;
    return value;
}

QString Invocation::help() const {
    QString text;
    const QStringList usages = command_.synopsis.split(QLatin1Char('\n'));
    for (qsizetype i = 0; i < usages.size(); ++i)
        text += (i == 0 ? QStringLiteral("Usage: velloq ") : QStringLiteral("       velloq ")) +
                usages.at(i) + QLatin1Char('\n');
    text += QLatin1Char('\n') + command_.description + QStringLiteral("\n\nOptions:\n");
    QStringList names;
    qsizetype width = 0;
    for (const QCommandLineOption& option : options_) {
        QStringList dashes;
        for (const QString& name : option.names())
            dashes << dashed(name);
        QString shown = dashes.join(QStringLiteral(", "));
        if (!option.valueName().isEmpty())
            shown += QLatin1Char(' ') + option.valueName();
        names << shown;
        width = std::max(width, shown.size());
    }
    for (qsizetype i = 0; i < options_.size(); ++i)
        text += QStringLiteral("  ") + names.at(i).leftJustified(width + 2) +
                options_.at(i).description() + QLatin1Char('\n');
    return text;
}

int Invocation::usageError(const QString& message) {
    write(err_, QStringLiteral("velloq: ") + message + QStringLiteral("\n\n") + help());
    return kUsage;
}

int Invocation::failure(const QString& message) {
    warn(message);
    return kFailure;
}

void Invocation::warn(const QString& message) {
    write(err_, QStringLiteral("velloq: ") + message + QLatin1Char('\n'));
}

void Invocation::print(const QString& line) {
    write(out_, line + QLatin1Char('\n'));
}

std::optional<QDBusMessage> Invocation::send(const QDBusMessage& message) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        failure(QStringLiteral("Cannot reach the session bus: ") + bus.lastError().message());
        return std::nullopt;
    }
    const QDBusMessage reply = bus.call(message);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        failure(failureOf(reply));
        return std::nullopt;
    }
    return reply;
}

std::optional<QDBusMessage> Invocation::call(const QString& method, const QVariantList& arguments) {
    QDBusMessage message = QDBusMessage::createMethodCall(Velloq1::service(), Velloq1::path(),
                                                          Velloq1::interface(), method);
    message.setArguments(arguments);
    return send(message);
}

std::optional<QVariantMap> Invocation::properties() {
    qDBusRegisterMetaType<PageEntry>();
    qDBusRegisterMetaType<PageList>();
    QDBusMessage message = QDBusMessage::createMethodCall(Velloq1::service(), Velloq1::path(),
                                                          kProperties, QStringLiteral("GetAll"));
    message << Velloq1::interface();
    const std::optional<QDBusMessage> reply = send(message);
    if (!reply)
        return std::nullopt;
    QVariantMap values = qdbus_cast<QVariantMap>(reply->arguments().value(0));
    const QVariant pages = values.value(QStringLiteral("Pages"));
    if (pages.canConvert<QDBusArgument>())
        values.insert(QStringLiteral("Pages"),
                      QVariant::fromValue(qdbus_cast<PageList>(pages.value<QDBusArgument>())));
    return values;
}

bool Invocation::velloqRuns() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    return bus.isConnected() && bus.interface()->isServiceRegistered(Velloq1::service()).value();
}

QDBusMessage Invocation::callRunning(const QString& method, const QVariantList& arguments,
                                     int timeoutMs) {
    QDBusMessage message = QDBusMessage::createMethodCall(Velloq1::service(), Velloq1::path(),
                                                          Velloq1::interface(), method);
    message.setArguments(arguments);
    message.setAutoStartService(false);
    return QDBusConnection::sessionBus().call(message, QDBus::Block, timeoutMs);
}

} // namespace velloq::cli
