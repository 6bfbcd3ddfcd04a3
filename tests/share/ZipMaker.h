#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>
#include <functional>

namespace velloq::test {

// Writes zip archives by hand, so that tests can make the ones Velloq never writes: links and
// devices, unsafe names, sizes that lie, bombs.
class ZipMaker {
public:
    // Unix file types as a zip's external attributes carry them.
    static constexpr uint32_t kFile = 0100644;
    static constexpr uint32_t kFolder = 0040755;
    static constexpr uint32_t kLink = 0120777;
    static constexpr uint32_t kCharDevice = 0020644;

    // One entry of `bytes`, deflated unless `store`.
    void add(const QString& name, const QByteArray& bytes, uint32_t mode = kFile,
             bool store = false);
    // `zeros` bytes of zeros, deflated in pieces (a bomb); the headers claim `statedSize`
    // bytes when it is not negative.
    void addZeros(const QString& name, qint64 zeros, qint64 statedSize = -1);

    // The archive's bytes; empty when zlib fails.
    QByteArray bytes() const;
    bool write(const QString& path) const;

private:
    struct Entry {
        QByteArray name;
        QByteArray data; // stored or deflated
        uint32_t crc = 0;
        qint64 size = 0;
        uint32_t mode = kFile;
        bool deflated = false;
    };
    QList<Entry> entries_;
};

} // namespace velloq::test
