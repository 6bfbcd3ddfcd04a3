#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QDBusMessage>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <cstdio>
#include <optional>

namespace velloq::cli {

// Exit statuses, as scripts expect them.
enum Status { kSuccess = 0, kFailure = 1, kUsage = 2 };

struct Command;

// One run of a command: its options and arguments, its output (stdout for results, stderr
// for messages prefixed "velloq: ") and the running Velloq on the session bus.
class Invocation {
public:
    Invocation(const Command& command, QStringList arguments, std::FILE* out, std::FILE* err);

    // --- Arguments ---
    void addOption(const QCommandLineOption& option);
    // Parses; gives the status to end with after --help (0) or a usage error (2), or nothing
    // to go on. Options may follow the positional arguments; "--" ends the options.
    std::optional<int> parse(qsizetype minPositional, qsizetype maxPositional);
    const QStringList& positional() const { return positional_; }
    bool isSet(const QString& option) const { return parser_.isSet(option); }
    QString value(const QString& option) const { return parser_.value(option); }
    // The whole number `text`, when it is one between `min` and `max`.
    static std::optional<int> number(const QString& text, int min, int max);

    // --- Output ---
    // Prints the message and the command's usage on stderr; gives 2.
    int usageError(const QString& message);
    // Prints the message on stderr; gives 1.
    int failure(const QString& message);
    // Prints the message on stderr, for a command that succeeds all the same.
    void warn(const QString& message);
    // One line on stdout, flushed at once (watch loops read line by line).
    void print(const QString& line);
    QString help() const;

    // --- The running Velloq ---
    // Calls `method` of app.velloq.Velloq1. D-Bus starts Velloq when it is installed and not
    // running. Gives the reply, or nothing after printing why there is none.
    std::optional<QDBusMessage> call(const QString& method, const QVariantList& arguments = {});
    // Every property of app.velloq.Velloq1 (Pages as a velloq::PageList), or nothing after
    // printing why.
    std::optional<QVariantMap> properties();
    // Whether a Velloq runs now; asking does not start one.
    bool velloqRuns();
    // Calls `method` of the Velloq that runs now, without D-Bus starting one, waiting up to
    // `timeoutMs`: the reply or the error, as it came.
    QDBusMessage callRunning(const QString& method, const QVariantList& arguments, int timeoutMs);
    // What a failed call means, in the words of someone running the command.
    static QString failureOf(const QDBusMessage& reply);

private:
    std::optional<QDBusMessage> send(const QDBusMessage& message);

    const Command& command_;
    QStringList arguments_;
    std::FILE* out_;
    std::FILE* err_;
    QCommandLineParser parser_;
    QList<QCommandLineOption> options_;
    QStringList positional_;
};

} // namespace velloq::cli
