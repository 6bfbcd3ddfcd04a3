#include "siteicons/LinkParser.h"

#include <cstddef>
#include <cstdint>

// The input is a downloaded page. Every candidate must be an absolute URL, the two site-root
// fallbacks must be present, and there is at most one candidate per tag.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 400000)
        return 0;
    static const QUrl base(QStringLiteral("https://www.example.com/a/b/page.html?q=1#top"));
    static const QUrl touch(QStringLiteral("https://www.example.com/apple-touch-icon.png"));
    static const QUrl favicon(QStringLiteral("https://www.example.com/favicon.ico"));

    const QByteArray body(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QList<QUrl> candidates = velloq::LinkParser::pageCandidates(body, base);
    for (const QUrl& url : candidates) {
        if (!url.isValid() || url.isRelative())
            __builtin_trap();
    }
    if (candidates.count(touch) < 1 || candidates.count(favicon) < 1)
        __builtin_trap();
    if (candidates.size() > body.count("<") + 2)
        __builtin_trap();
    return 0;
}
