#pragma once

#include <QByteArray>

#include <memory>

namespace velloq {

// Expands a gzip or deflate body as it arrives, never beyond a set size, so a small
// download cannot grow into a large allocation. Safe to use from one thread at a time.
class Inflater {
public:
    enum class Encoding { gzip, deflate };
    enum class Result { more, full, failed };

    Inflater(Encoding encoding, qint64 limit);
    ~Inflater();
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;

    // Appends what `chunk` expands to. `full` once `out` holds more than the limit (it then
    // holds limit + 1 bytes), `failed` when the data is not in the encoding.
    Result feed(const QByteArray& chunk, QByteArray& out);

    // The encoding a Content-Encoding value names, when it is one of these two.
    static std::unique_ptr<Inflater> forHeader(const QByteArray& contentEncoding, qint64 limit);

private:
    struct Stream;
    std::unique_ptr<Stream> stream_;
    Encoding encoding_;
    qint64 limit_;
    bool started_ = false;
    bool ended_ = false;
};

} // namespace velloq
