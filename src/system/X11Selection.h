#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>
#include <utility>

namespace velloq::X11Selection {

using Formats = QList<std::pair<QString, QByteArray>>;

struct Contents {
    Formats formats;
    // The owner has content of which nothing arrived in time: not the same as empty.
    bool unreadable = false;
};

// Every MIME format (and UTF8_STRING as "text/plain") the owner of the CLIPBOARD selection
// offers, read over a connection of our own within `budgetMs` in total: text first, then the
// rest in the owner's order. A format that does not arrive in time is skipped, and with it
// the ones after it, each said so in the log. When the owner does not list its formats in
// time, its text alone is asked for, within a further `budgetMs`. None when there is no X
// server. Blocks: call it off the main thread.
std::optional<Contents> readClipboard(int budgetMs);

} // namespace velloq::X11Selection
