#pragma once

#include <QString>

#include <optional>

// The one-sentence messages of exports and imports, which show in a dialog and on a terminal.
namespace velloq::Sentences {

// A name in quotes as a sentence may show it: on one line (control characters replaced) and
// elided past 80 characters.
inline QString quoted(const QString& name) {
    constexpr qsizetype kMaxShown = 80;
    QString text = name.left(kMaxShown);
    for (QChar& c : text) {
        if (c.category() == QChar::Other_Control)
            c = QChar::ReplacementCharacter;
    }
    return u'“' + (name.size() > kMaxShown ? text + u'…' : text) + u'”';
}

// Sets `error`, when given, to `sentence` kept on one line; for the caller to give nothing.
inline std::nullopt_t fail(QString* error, const QString& sentence) {
    if (error) {
        *error = sentence;
        for (QChar& c : *error) {
            if (c.category() == QChar::Other_Control)
                c = u' ';
        }
    }
    return std::nullopt;
}

} // namespace velloq::Sentences
