#include "device/EmulatorDiscovery.h"

#include "device/DeviceModel.h"
#include "support/AppPaths.h"
#include "support/InotifyEvents.h"

#include <QFile>
#include <QSocketNotifier>
#include <QTimer>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <dirent.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace velloq {

namespace {

constexpr char kMagic[] = "VLQDOCK1";
constexpr int kMagicSize = 8;
constexpr int kHeaderSize = 14;
constexpr int kHelloTimeoutMs = 2000;
// A socket file exists from bind() on, but refuses connections until its owner calls
// listen(); an emulator that does both in turn gets this long.
constexpr auto kConnectRetryFor = std::chrono::milliseconds(3000);
constexpr int kConnectRetryIntervalMs = 50;

QString errnoText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

void putBigEndian16(QByteArray& out, int value) {
    out.append(static_cast<char>((value >> 8) & 0xFF));
    out.append(static_cast<char>(value & 0xFF));
}

int bigEndian16(const QByteArray& in, int offset) {
    return (static_cast<uint8_t>(in[offset]) << 8) | static_cast<uint8_t>(in[offset + 1]);
}

// Device and inode together, so a socket re-created under the same name is a new dock.
std::optional<uint64_t> socketIdentity(const QString& path) {
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISSOCK(st.st_mode))
        return std::nullopt;
    return (uint64_t(st.st_dev) << 40) ^ uint64_t(st.st_ino);
}

// A connected, non-blocking SOCK_SEQPACKET socket, or an invalid fd with `error` set (and
// `code` to the errno, when given).
UniqueFd connectSocket(const QString& path, QString* error, int* code = nullptr) {
    const QByteArray encoded = QFile::encodeName(path);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (size_t(encoded.size()) >= sizeof(address.sun_path)) {
        *error = QStringLiteral("socket path too long");
        return {};
    }
    std::memcpy(address.sun_path, encoded.constData(), size_t(encoded.size()));
    UniqueFd fd(::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd) {
        *error = errnoText(errno);
        return {};
    }
    // A hidraw write returns once the dock has the report. A send buffer of a few reports
    // keeps the socket close to that, so a slow dock holds back the writer (and with it
    // pendingBatches) instead of filling a large kernel queue.
    const int sendBuffer = 4 * 1025;
    ::setsockopt(fd.get(), SOL_SOCKET, SO_SNDBUF, &sendBuffer, sizeof sendBuffer);
    if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        const int failure = errno;
        *error = errnoText(failure);
        if (code)
            *code = failure;
        return {};
    }
    return fd;
}

std::optional<HidDeviceInfo> infoFromHello(const QByteArray& message, const QString& path) {
    const std::optional<EmulatorHello> hello = EmulatorHello::decode(message);
    if (!hello)
        return std::nullopt;
    HidDeviceInfo info;
    info.vendorID = hello->vendorID;
    info.productID = hello->productID;
    info.usagePage = DockModels::kUsagePage;
    info.usage = DockModels::kUsage;
    info.maxOutputReportSize = hello->maxOutputReportSize;
    info.node = path;
    info.name = hello->name;
    return info;
}

// One message, or nothing when none is waiting; `closed` is set on end of stream or error.
std::optional<QByteArray> receiveMessage(int fd, bool* closed) {
    std::array<char, 2048> buffer{};
    for (;;) {
        const ssize_t n = ::recv(fd, buffer.data(), buffer.size(), MSG_DONTWAIT);
        if (n > 0)
            return QByteArray(buffer.data(), n);
        if (n < 0 && errno == EINTR)
            continue;
        *closed = !(n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK));
        return std::nullopt;
    }
}

} // namespace

QByteArray EmulatorHello::encode() const {
    QByteArray out(kMagic, kMagicSize);
    putBigEndian16(out, vendorID);
    putBigEndian16(out, productID);
    putBigEndian16(out, maxOutputReportSize);
    QByteArray utf8 = name.toUtf8();
    if (utf8.size() > kMaxName)
        utf8 = QString::fromUtf8(utf8.left(kMaxName)).toUtf8().left(kMaxName);
    return out + utf8;
}

std::optional<EmulatorHello> EmulatorHello::decode(const QByteArray& message) {
    if (message.size() < kHeaderSize || message.size() > kHeaderSize + kMaxName ||
        !message.startsWith(QByteArray(kMagic, kMagicSize)))
        return std::nullopt;
    EmulatorHello hello;
    hello.vendorID = bigEndian16(message, 8);
    hello.productID = bigEndian16(message, 10);
    hello.maxOutputReportSize = bigEndian16(message, 12);
    hello.name = QString::fromUtf8(message.mid(kHeaderSize));
    return hello;
}

struct EmulatorDiscovery::Entry {
    uint64_t identity = 0;
    UniqueFd fd;                         // held from connect until open() hands it over
    QSocketNotifier* notifier = nullptr; // owned by the discovery object
    QTimer* helloTimer = nullptr;
    QTimer* retryTimer = nullptr; // while a refused connection is retried
    std::chrono::steady_clock::time_point retryUntil;
    std::optional<HidDeviceInfo> info; // set once the hello arrived and it was reported

    // Later, because this may run inside the notifier's or the timer's own signal.
    void stopWatching() {
        if (notifier) {
            notifier->setEnabled(false);
            notifier->deleteLater();
            notifier = nullptr;
        }
        for (QTimer** timer : {&helloTimer, &retryTimer}) {
            if (*timer) {
                (*timer)->stop();
                (*timer)->deleteLater();
                *timer = nullptr;
            }
        }
    }
    ~Entry() { stopWatching(); }
};

EmulatorDiscovery::EmulatorDiscovery(QObject* parent)
    : EmulatorDiscovery(defaultFolder(), parent) {
}

EmulatorDiscovery::EmulatorDiscovery(QString folder, QObject* parent)
    : DiscoverySource(parent)
    , folder_(std::move(folder)) {
}

EmulatorDiscovery::~EmulatorDiscovery() {
    delete inotifyNotifier_; // before the descriptor it watches closes
}

QString EmulatorDiscovery::defaultFolder() {
    return AppPaths::runtimeDir() + QStringLiteral("/velloq/docks");
}

bool EmulatorDiscovery::makeFolder(const QString& folder, QString* error) {
    const int slash = folder.lastIndexOf(QLatin1Char('/'));
    for (const QString& dir : {slash > 0 ? folder.left(slash) : QString(), folder}) {
        if (dir.isEmpty())
            continue;
        const QByteArray encoded = QFile::encodeName(dir);
        if (::mkdir(encoded.constData(), 0700) != 0 && errno != EEXIST) {
            *error = dir + QStringLiteral(": ") + errnoText(errno);
            return false;
        }
    }
    struct stat st {};
    if (::stat(QFile::encodeName(folder).constData(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        *error = folder + QStringLiteral(": not a folder");
        return false;
    }
    return true;
}

void EmulatorDiscovery::start() {
    QString error;
    if (!makeFolder(folder_, &error)) {
        Q_EMIT discoveryFailed(QStringLiteral("emulated docks: ") + error);
        return;
    }
    // inotify itself rather than a directory watcher: every creation is an event of its
    // own, so a socket made again under the same name (even with the same inode) is seen.
    delete inotifyNotifier_;
    inotifyNotifier_ = nullptr;
    inotify_.reset(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    if (!inotify_ ||
        ::inotify_add_watch(inotify_.get(), QFile::encodeName(folder_).constData(),
                            IN_CREATE | IN_MOVED_TO | IN_DELETE | IN_MOVED_FROM | IN_ONLYDIR) < 0) {
        Q_EMIT discoveryFailed(QStringLiteral("emulated docks: cannot watch ") + folder_ +
                               QStringLiteral(": ") + errnoText(errno));
        inotify_.reset();
        return;
    }
    inotifyNotifier_ = new QSocketNotifier(inotify_.get(), QSocketNotifier::Read, this);
    connect(inotifyNotifier_, &QSocketNotifier::activated, this, [this] { readEvents(); });
    rescan();
}

void EmulatorDiscovery::readEvents() {
    bool overflow = false;
    readInotifyEvents(inotify_.get(), [&](const inotify_event& event, const char* name) {
        if (event.mask & IN_Q_OVERFLOW)
            overflow = true;
        // Names starting with a dot are sockets still being set up.
        if (name[0] == '\0' || name[0] == '.')
            return;
        const QString path = folder_ + QLatin1Char('/') + QFile::decodeName(name);
        if (event.mask & (IN_DELETE | IN_MOVED_FROM))
            forget(path);
        if (event.mask & (IN_CREATE | IN_MOVED_TO))
            socketAppeared(path);
    });
    if (overflow)
        rescan();
}

void EmulatorDiscovery::socketAppeared(const QString& path) {
    // Whatever was known under this name is gone, even if the events of its removal were
    // folded into this one.
    forget(path);
    if (const std::optional<uint64_t> identity = socketIdentity(path))
        connectTo(path, *identity);
}

void EmulatorDiscovery::rescan() {
    std::map<QString, uint64_t> present;
    if (DIR* dir = ::opendir(QFile::encodeName(folder_).constData())) {
        while (const dirent* item = ::readdir(dir)) {
            // Names starting with a dot are sockets still being set up.
            if (item->d_name[0] == '.')
                continue;
            const QString path = folder_ + QLatin1Char('/') + QFile::decodeName(item->d_name);
            if (const std::optional<uint64_t> identity = socketIdentity(path))
                present.emplace(path, *identity);
        }
        ::closedir(dir);
    }

    std::vector<QString> gone;
    for (const auto& [path, entry] : entries_) {
        const auto it = present.find(path);
        if (it == present.end() || it->second != entry->identity)
            gone.push_back(path);
    }
    for (const QString& path : gone)
        forget(path);
    for (const auto& [path, identity] : present) {
        if (!entries_.contains(path))
            connectTo(path, identity);
    }
}

void EmulatorDiscovery::connectTo(const QString& path, uint64_t identity) {
    auto entry = std::make_unique<Entry>();
    entry->identity = identity;
    entry->retryUntil = std::chrono::steady_clock::now() + kConnectRetryFor;
    entries_[path] = std::move(entry);
    tryConnect(path);
}

void EmulatorDiscovery::tryConnect(const QString& path) {
    Entry& entry = *entries_.at(path);
    QString error;
    int code = 0;
    entry.fd = connectSocket(path, &error, &code);
    if (!entry.fd) {
        // Refused: not listening yet (or a full backlog), or a stale socket whose emulator is
        // gone. Retried for a while; after that it stays in the table, unconnected, until it
        // is replaced.
        const bool mayListenSoon = code == ECONNREFUSED || code == EAGAIN;
        if (!mayListenSoon || std::chrono::steady_clock::now() >= entry.retryUntil)
            return;
        if (!entry.retryTimer) {
            entry.retryTimer = new QTimer(this);
            entry.retryTimer->setSingleShot(true);
            connect(entry.retryTimer, &QTimer::timeout, this, [this, path] {
                if (entries_.contains(path))
                    tryConnect(path);
            });
        }
        entry.retryTimer->start(kConnectRetryIntervalMs);
        return;
    }
    entry.stopWatching();
    entry.notifier = new QSocketNotifier(entry.fd.get(), QSocketNotifier::Read, this);
    connect(entry.notifier, &QSocketNotifier::activated, this, [this, path] { readHello(path); });
    entry.helloTimer = new QTimer(this);
    entry.helloTimer->setSingleShot(true);
    connect(entry.helloTimer, &QTimer::timeout, this, [this, path] {
        if (const auto it = entries_.find(path); it != entries_.end()) {
            it->second->stopWatching();
            it->second->fd.reset();
        }
    });
    entry.helloTimer->start(kHelloTimeoutMs);
}

void EmulatorDiscovery::readHello(const QString& path) {
    const auto it = entries_.find(path);
    if (it == entries_.end())
        return;
    Entry& entry = *it->second;
    bool closed = false;
    const std::optional<QByteArray> message = receiveMessage(entry.fd.get(), &closed);
    if (!message && !closed)
        return;
    entry.stopWatching();
    const std::optional<HidDeviceInfo> info =
        message ? infoFromHello(*message, path) : std::nullopt;
    if (!info) {
        entry.fd.reset();
        return;
    }
    entry.info = info;
    watchPeer(path);
    Q_EMIT deviceAttached(*info);
}

// Until StreamDock takes the connection, input is discarded (as from an unopened node) and
// the end of the connection is a removal.
void EmulatorDiscovery::watchPeer(const QString& path) {
    Entry& entry = *entries_.at(path);
    entry.notifier = new QSocketNotifier(entry.fd.get(), QSocketNotifier::Read, this);
    connect(entry.notifier, &QSocketNotifier::activated, this, [this, path] {
        const auto it = entries_.find(path);
        if (it == entries_.end() || !it->second->fd)
            return;
        bool closed = false;
        while (receiveMessage(it->second->fd.get(), &closed)) {
        }
        if (closed)
            forget(path);
    });
}

void EmulatorDiscovery::forget(const QString& path) {
    const auto it = entries_.find(path);
    if (it == entries_.end())
        return;
    const bool reported = it->second->info.has_value();
    it->second->stopWatching();
    entries_.erase(it);
    if (reported)
        Q_EMIT deviceRemoved(path);
}

UniqueFd EmulatorDiscovery::open(const HidDeviceInfo& info, QString* error) {
    const auto it = entries_.find(info.node);
    if (it != entries_.end() && it->second->info && it->second->fd) {
        it->second->stopWatching();
        return std::move(it->second->fd);
    }

    QString reason;
    UniqueFd fd = connectSocket(info.node, &reason);
    if (!fd) {
        if (error)
            *error = reason;
        return {};
    }
    pollfd p{fd.get(), POLLIN, 0};
    int ready = 0;
    do {
        ready = ::poll(&p, 1, kHelloTimeoutMs);
    } while (ready < 0 && errno == EINTR);
    bool closed = false;
    const std::optional<QByteArray> message =
        ready > 0 ? receiveMessage(fd.get(), &closed) : std::nullopt;
    if (!message || !infoFromHello(*message, info.node)) {
        if (error)
            *error = QStringLiteral("no hello from the emulated dock");
        return {};
    }
    return fd;
}

} // namespace velloq
