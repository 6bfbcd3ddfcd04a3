#include "share/ZipMaker.h"

#include <QFile>

#include <zlib.h>

namespace velloq::test {

namespace {

void put16(QByteArray& out, uint32_t value) {
    out.append(char(value & 0xff)).append(char((value >> 8) & 0xff));
}

void put32(QByteArray& out, uint32_t value) {
    put16(out, value & 0xffff);
    put16(out, value >> 16);
}

// Raw deflate of `size` bytes given out by `next` in pieces; also their CRC.
QByteArray deflated(qint64 size, const std::function<QByteArray(qint64 offset)>& next,
                    uint32_t& crc) {
    z_stream stream{};
    if (deflateInit2(&stream, Z_BEST_SPEED, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return {};
    QByteArray out;
    crc = uint32_t(crc32(0, nullptr, 0));
    char buffer[64 * 1024];
    qint64 offset = 0;
    int flush = Z_NO_FLUSH;
    do {
        QByteArray piece = offset < size ? next(offset) : QByteArray();
        offset += piece.size();
        crc = uint32_t(
            crc32(crc, reinterpret_cast<const Bytef*>(piece.constData()), uInt(piece.size())));
        flush = offset >= size ? Z_FINISH : Z_NO_FLUSH;
        stream.next_in = reinterpret_cast<Bytef*>(piece.data());
        stream.avail_in = uInt(piece.size());
        do {
            stream.next_out = reinterpret_cast<Bytef*>(buffer);
            stream.avail_out = sizeof buffer;
            deflate(&stream, flush);
            out.append(buffer, qsizetype(sizeof buffer - stream.avail_out));
        } while (stream.avail_out == 0);
    } while (flush != Z_FINISH);
    deflateEnd(&stream);
    return out;
}

} // namespace

void ZipMaker::add(const QString& name, const QByteArray& bytes, uint32_t mode, bool store) {
    Entry entry{name.toUtf8(), {}, 0, bytes.size(), mode, !store};
    if (store) {
        entry.data = bytes;
        entry.crc = uint32_t(
            crc32(0, reinterpret_cast<const Bytef*>(bytes.constData()), uInt(bytes.size())));
    } else {
        entry.data = deflated(
            bytes.size(), [&bytes](qint64) { return bytes; }, entry.crc);
    }
    entries_.append(entry);
}

void ZipMaker::addZeros(const QString& name, qint64 zeros, qint64 statedSize) {
    Entry entry{name.toUtf8(), {}, 0, statedSize >= 0 ? statedSize : zeros, kFile, true};
    const QByteArray block(1 << 20, '\0');
    entry.data = deflated(
        zeros,
        [&](qint64 offset) {
            return block.left(qsizetype(std::min<qint64>(block.size(), zeros - offset)));
        },
        entry.crc);
    entries_.append(entry);
}

QByteArray ZipMaker::bytes() const {
    QByteArray out;
    QByteArray central;
    for (const Entry& e : entries_) {
        const auto offset = uint32_t(out.size());
        const uint32_t method = e.deflated ? 8 : 0;
        // What the local header and the central record share: version needed, UTF-8 names,
        // method, time and date, CRC, sizes, name length, no extra field.
        const auto common = [&](QByteArray& to) {
            put16(to, 20);
            put16(to, 0x0800);
            put16(to, method);
            put16(to, 0);
            put16(to, 0x21);
            put32(to, e.crc);
            put32(to, uint32_t(e.data.size()));
            put32(to, uint32_t(e.size));
            put16(to, uint32_t(e.name.size()));
            put16(to, 0);
        };
        put32(out, 0x04034b50);
        common(out);
        out.append(e.name).append(e.data);
        // Its central directory record, made by Unix (3) so the mode counts.
        put32(central, 0x02014b50);
        put16(central, (3 << 8) | 20);
        common(central);
        put16(central, 0);
        put16(central, 0);
        put16(central, 0);
        put32(central, e.mode << 16);
        put32(central, offset);
        central.append(e.name);
    }
    const auto start = uint32_t(out.size());
    out.append(central);
    put32(out, 0x06054b50);
    put16(out, 0);
    put16(out, 0);
    put16(out, uint32_t(entries_.size()));
    put16(out, uint32_t(entries_.size()));
    put32(out, uint32_t(central.size()));
    put32(out, start);
    put16(out, 0);
    return out;
}

bool ZipMaker::write(const QString& path) const {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes()) >= 0;
}

} // namespace velloq::test
