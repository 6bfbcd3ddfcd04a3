#include "siteicons/Inflater.h"

#include <zlib.h>

#include <algorithm>

namespace velloq {

struct Inflater::Stream {
    z_stream z{};
    bool open = false;
    ~Stream() {
        if (open)
            inflateEnd(&z);
    }
};

namespace {
// A zlib header: deflate method, and the check bits that make the first two bytes a multiple
// of 31. Servers that say "deflate" send raw deflate data about as often as zlib data.
bool hasZlibHeader(const QByteArray& chunk) {
    if (chunk.size() < 2)
        return true;
    const auto first = static_cast<unsigned char>(chunk[0]);
    const auto second = static_cast<unsigned char>(chunk[1]);
    return (first & 0x0f) == 8 && (first * 256 + second) % 31 == 0;
}
} // namespace

Inflater::Inflater(Encoding encoding, qint64 limit)
    : stream_(std::make_unique<Stream>())
    , encoding_(encoding)
    , limit_(limit) {
}

Inflater::~Inflater() = default;

std::unique_ptr<Inflater> Inflater::forHeader(const QByteArray& contentEncoding, qint64 limit) {
    const QByteArray name = contentEncoding.trimmed().toLower();
    if (name == "gzip" || name == "x-gzip")
        return std::make_unique<Inflater>(Encoding::gzip, limit);
    if (name == "deflate")
        return std::make_unique<Inflater>(Encoding::deflate, limit);
    return nullptr;
}

Inflater::Result Inflater::feed(const QByteArray& chunk, QByteArray& out) {
    if (out.size() > limit_)
        return Result::full;
    if (ended_ || chunk.isEmpty())
        return Result::more;
    z_stream& z = stream_->z;
    if (!started_) {
        started_ = true;
        // 15 + 32: gzip or zlib, told apart by the header; -15: raw deflate.
        const int windowBits =
            encoding_ == Encoding::deflate && !hasZlibHeader(chunk) ? -MAX_WBITS : MAX_WBITS + 32;
        if (inflateInit2(&z, windowBits) != Z_OK)
            return Result::failed;
        stream_->open = true;
    }
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(chunk.constData()));
    z.avail_in = static_cast<uInt>(chunk.size());
    constexpr qint64 kStep = 64 * 1024;
    for (;;) {
        const qint64 room = limit_ + 1 - out.size();
        if (room <= 0)
            return Result::full;
        const qint64 step = std::min(room, kStep);
        const qsizetype before = out.size();
        out.resize(before + step);
        z.next_out = reinterpret_cast<Bytef*>(out.data() + before);
        z.avail_out = static_cast<uInt>(step);
        const int status = inflate(&z, Z_NO_FLUSH);
        const uInt unused = z.avail_out;
        out.resize(before + step - unused);
        if (status == Z_STREAM_END) {
            ended_ = true; // anything after the stream is not part of the body
            break;
        }
        if (status != Z_OK && status != Z_BUF_ERROR)
            return Result::failed;
        if (unused > 0)
            break; // all input taken: wait for the next chunk
    }
    return out.size() > limit_ ? Result::full : Result::more;
}

} // namespace velloq
