#pragma once

#include <QList>
#include <QString>

namespace velloq::cli {

class Invocation;

// One subcommand of velloq: `velloq <name> ...`.
struct Command {
    QString name;
    QString synopsis;    // after "velloq ", one line per form
    QString summary;     // its line in velloq --help, one per form
    QString description; // its paragraph in velloq <name> --help
    int (*run)(Invocation& invocation);
};

// Every command, in the order velloq --help lists them. A new command is one more entry.
const QList<Command>& commands();
const Command* findCommand(const QString& name);

} // namespace velloq::cli
