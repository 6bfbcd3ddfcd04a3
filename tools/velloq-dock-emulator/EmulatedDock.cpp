#include "EmulatedDock.h"

#include "device/EmulatorDiscovery.h"
#include "support/Log.h"

#include <QFile>
#include <QRandomGenerator>
#include <QSignalBlocker>
#include <QSocketNotifier>
#include <QTimer>
#include <QTransform>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace velloq {

namespace {

constexpr int kReadBuffer = 65536;
constexpr int kMaxLog = 100000; // the window runs for hours; keep the recent commands
constexpr int kPaceIntervalMs = 5;

QString errnoText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

double steadySeconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

uint8_t byteAt(const QByteArray& report, int offset) {
    return offset < report.size() ? static_cast<uint8_t>(report[offset]) : 0;
}

bool zerosFrom(const QByteArray& report, int offset) {
    return std::all_of(report.cbegin() + std::min<qsizetype>(offset, report.size()), report.cend(),
                       [](char c) { return c == 0; });
}

int keyCode(int index) {
    if (index >= 0 && index < EmulatedDock::kKeys)
        return index + 1;
    switch (index) {
    case 6:
        return 0x25;
    case 7:
        return 0x30;
    case 8:
        return 0x31;
    default:
        return 0;
    }
}

int knobPressCode(int knob) {
    static constexpr std::array<int, 3> codes{0x33, 0x35, 0x34};
    return knob >= 0 && knob < 3 ? codes[size_t(knob)] : 0;
}

int knobTurnCode(int knob, int step) {
    static constexpr std::array<std::array<int, 2>, 3> codes{
        {{0x90, 0x91}, {0x50, 0x51}, {0x60, 0x61}}};
    return knob >= 0 && knob < 3 ? codes[size_t(knob)][step > 0 ? 1 : 0] : 0;
}

QString printable(const QByteArray& bytes) {
    QString out;
    for (char c : bytes) {
        if (c >= 0x20 && c < 0x7F)
            out += QLatin1Char(c);
        else
            out += QStringLiteral("\\x%1").arg(static_cast<uint8_t>(c), 2, 16, QLatin1Char('0'));
    }
    return out;
}

} // namespace

QString EmulatedDock::LogEntry::text() const {
    switch (command) {
    case Command::dis:
        return QStringLiteral("DIS");
    case Command::lig:
        return QStringLiteral("LIG %1").arg(value);
    case Command::cleKey:
        return QStringLiteral("CLE key %1").arg(key);
    case Command::cleAll:
        return QStringLiteral("CLE all");
    case Command::cleShutdown:
        return QStringLiteral("CLE shutdown");
    case Command::stp:
        return QStringLiteral("STP");
    case Command::bat:
        return QStringLiteral("BAT key %1, %2 bytes").arg(key).arg(value);
    case Command::connect:
        return QStringLiteral("CONNECT");
    case Command::han:
        return QStringLiteral("HAN");
    }
    return {};
}

QString EmulatedDock::defaultFolder() {
    return EmulatorDiscovery::defaultFolder();
}

EmulatedDock::EmulatedDock(const DockModel& model, QObject* parent)
    : EmulatedDock(model, defaultReportSize(model), defaultFolder(), parent) {
}

EmulatedDock::EmulatedDock(const DockModel& model, int reportSize, QString folder, QObject* parent)
    : QObject(parent)
    , model_(model)
    , reportSize_(reportSize)
    , folder_(std::move(folder)) {
    paceTimer_ = new QTimer(this);
    paceTimer_->setInterval(kPaceIntervalMs);
    connect(paceTimer_, &QTimer::timeout, this, [this] { drainPaced(); });
}

EmulatedDock::~EmulatedDock() {
    const QSignalBlocker blocker(this);
    unplug();
}

void EmulatedDock::setModel(const DockModel& model) {
    const bool wasPluggedIn = isPluggedIn();
    unplug();
    model_ = model;
    reportSize_ = defaultReportSize(model);
    if (wasPluggedIn)
        plugIn();
}

// --- Transport ---

bool EmulatedDock::plugIn(QString* error) {
    if (isPluggedIn())
        return true;
    QString reason;
    if (!EmulatorDiscovery::makeFolder(folder_, &reason)) {
        if (error)
            *error = reason;
        return false;
    }
    const QString name = QStringLiteral("emulator-%1-%2.sock")
                             .arg(::getpid())
                             .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
    const QString path = folder_ + QLatin1Char('/') + name;
    // Bound and listening under a dot name first, so discovery never sees a socket that
    // refuses connections.
    const QString setupPath = folder_ + QStringLiteral("/.") + name;
    const QByteArray encoded = QFile::encodeName(setupPath);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (size_t(encoded.size()) >= sizeof(address.sun_path)) {
        if (error)
            *error = setupPath + QStringLiteral(": socket path too long");
        return false;
    }
    std::memcpy(address.sun_path, encoded.constData(), size_t(encoded.size()));

    UniqueFd fd(::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    ::unlink(encoded.constData());
    if (!fd || ::bind(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) ||
        ::listen(fd.get(), 4) ||
        ::rename(encoded.constData(), QFile::encodeName(path).constData())) {
        const int saved = errno;
        ::unlink(encoded.constData());
        if (error)
            *error = path + QStringLiteral(": ") + errnoText(saved);
        return false;
    }
    listener_ = std::move(fd);
    socketPath_ = path;
    listenNotifier_ = new QSocketNotifier(listener_.get(), QSocketNotifier::Read, this);
    connect(listenNotifier_, &QSocketNotifier::activated, this, [this] { acceptPeer(); });
    Q_EMIT pluggedChanged(true);
    return true;
}

void EmulatedDock::unplug() {
    closePeer(false);
    if (listenNotifier_) {
        listenNotifier_->setEnabled(false);
        listenNotifier_->deleteLater();
        listenNotifier_ = nullptr;
    }
    const bool was = listener_.valid();
    listener_.reset();
    if (!socketPath_.isEmpty())
        ::unlink(QFile::encodeName(socketPath_).constData());
    socketPath_.clear();
    powerOff();
    if (was)
        Q_EMIT pluggedChanged(false);
}

void EmulatedDock::acceptPeer() {
    for (;;) {
        const int fd = ::accept4(listener_.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0)
            return;
        if (peer_.valid()) { // one host at a time, like a USB device
            ::close(fd);
            continue;
        }
        peer_.reset(fd);
        EmulatorHello hello;
        hello.vendorID = int(model_.vendorID);
        hello.productID = int(model_.productID);
        hello.maxOutputReportSize = reportSize_;
        hello.name = model_.name;
        const QByteArray message = hello.encode();
        if (::send(fd, message.constData(), size_t(message.size()), MSG_NOSIGNAL) !=
            message.size()) {
            logLine(QStringLiteral("Dock emulator: could not send the hello: ") + errnoText(errno));
            peer_.reset();
            continue;
        }
        ++connections_;
        peerNotifier_ = new QSocketNotifier(fd, QSocketNotifier::Read, this);
        peerNotifier_->setEnabled(!stalled_);
        connect(peerNotifier_, &QSocketNotifier::activated, this, [this] { onPeerReadable(); });
        Q_EMIT peerChanged(true);
    }
}

void EmulatedDock::onPeerReadable() {
    if (stalled_) {
        peerNotifier_->setEnabled(false);
        return;
    }
    if (rateLimit_ > 0) {
        peerNotifier_->setEnabled(false);
        lastPace_ = std::chrono::steady_clock::now();
        paceTimer_->start();
        return;
    }
    // Bounded, so a busy host cannot starve the window; the notifier fires again.
    for (int i = 0; i < 256; ++i) {
        if (!readOne())
            return;
    }
}

void EmulatedDock::drainPaced() {
    const auto now = std::chrono::steady_clock::now();
    const double elapsed = std::chrono::duration<double>(now - lastPace_).count();
    lastPace_ = now;
    tokens_ = std::min(tokens_ + elapsed * rateLimit_, std::max(1.0, rateLimit_ / 20.0));
    while (tokens_ >= 1 && rateLimit_ > 0) {
        if (!readOne()) {
            paceTimer_->stop();
            if (peerNotifier_)
                peerNotifier_->setEnabled(true);
            return;
        }
        tokens_ -= 1;
    }
}

void EmulatedDock::setReportRateLimit(int reportsPerSecond) {
    rateLimit_ = std::max(0, reportsPerSecond);
    if (rateLimit_ == 0) {
        paceTimer_->stop();
        tokens_ = 0;
        if (peerNotifier_)
            peerNotifier_->setEnabled(!stalled_);
    }
}

void EmulatedDock::setStalled(bool stalled) {
    stalled_ = stalled;
    paceTimer_->stop();
    tokens_ = 0;
    // Reading resumes through the notifier, which fires while anything waits.
    if (peerNotifier_)
        peerNotifier_->setEnabled(!stalled_);
}

bool EmulatedDock::hasUnreadReports() const {
    int bytes = 0;
    return peer_ && ::ioctl(peer_.get(), FIONREAD, &bytes) == 0 && bytes > 0;
}

bool EmulatedDock::readOne() {
    if (!peer_)
        return false;
    QByteArray& buffer = readBuffer_;
    buffer.resize(kReadBuffer); // keeps its capacity from one report to the next
    ssize_t n = 0;
    do {
        n = ::recv(peer_.get(), buffer.data(), size_t(buffer.size()), MSG_DONTWAIT | MSG_TRUNC);
    } while (n < 0 && errno == EINTR);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
        return false;
    if (n <= 0) {
        closePeer(true);
        return false;
    }
    if (n > kReadBuffer) {
        ++reportsReceived_;
        bytesReceived_ += n;
        error(QStringLiteral("report of %1 bytes, expected %2").arg(n).arg(reportSize_ + 1));
        return true;
    }
    buffer.truncate(n);
    receiveMessage(buffer);
    return true;
}

void EmulatedDock::closePeer(bool byHost) {
    if (!peer_)
        return;
    if (byHost && batchOpen())
        error(QStringLiteral("batch left open when Velloq closed the connection"));
    paceTimer_->stop();
    if (peerNotifier_) {
        peerNotifier_->setEnabled(false);
        peerNotifier_->deleteLater();
        peerNotifier_ = nullptr;
    }
    peer_.reset();
    batch_ = Batch::none;
    pending_.clear();
    dataRemaining_ = 0;
    dataBytes_.clear();
    justCompletedKey_ = 0;
    Q_EMIT peerChanged(false);
}

// --- Input ---

bool EmulatedDock::sendInput(int code, int state) {
    if (!peer_ || code == 0)
        return false;
    QByteArray report(kInputReportSize, '\0');
    report.replace(0, 3, "ACK");
    report[9] = static_cast<char>(code);
    report[10] = static_cast<char>(state);
    const ssize_t n =
        ::send(peer_.get(), report.constData(), size_t(report.size()), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n != report.size()) {
        logLine(QStringLiteral("Dock emulator: input report dropped: ") + errnoText(errno));
        return false;
    }
    return true;
}

bool EmulatedDock::sendPressOrRelease(int code, bool press) {
    if (code == 0)
        return false;
    if (press)
        return sendInput(code, 1);
    if (!model_.reportsReleases())
        return peer_.valid(); // older docks report presses only
    return sendInput(code, 0);
}

bool EmulatedDock::pressKey(int index) {
    return sendPressOrRelease(keyCode(index), true);
}
bool EmulatedDock::releaseKey(int index) {
    return sendPressOrRelease(keyCode(index), false);
}
bool EmulatedDock::pressKnob(int knob) {
    return sendPressOrRelease(knobPressCode(knob), true);
}
bool EmulatedDock::releaseKnob(int knob) {
    return sendPressOrRelease(knobPressCode(knob), false);
}

bool EmulatedDock::turnKnob(int knob, int detents) {
    const int code = knobTurnCode(knob, detents);
    if (code == 0)
        return false;
    // A turn carries state 0; a host must not take it for a release.
    for (int i = 0; i < std::abs(detents); ++i) {
        if (!sendInput(code, 0))
            return false;
    }
    return true;
}

// --- Decoding ---

void EmulatedDock::receiveMessage(const QByteArray& message) {
    ++reportsReceived_;
    bytesReceived_ += message.size();
    if (message.size() != reportSize_ + 1) {
        error(QStringLiteral("report of %1 bytes, expected %2 (report id 0 and %3 bytes)")
                  .arg(message.size())
                  .arg(reportSize_ + 1)
                  .arg(reportSize_));
        return;
    }
    if (message[0] != 0) {
        error(QStringLiteral("report id %1, expected 0").arg(byteAt(message, 0)));
        return;
    }
    const QByteArray report = message.mid(1);
    if (dataRemaining_ > 0) {
        handleData(report);
        return;
    }
    if (report.startsWith(QByteArrayView("CRT\0\0", 5))) {
        justCompletedKey_ = 0;
        handleCommand(report);
        return;
    }
    ++dataReports_;
    if (justCompletedKey_ != 0)
        error(QStringLiteral("more data than announced for key %1").arg(justCompletedKey_));
    else
        error(QStringLiteral("image data without BAT"));
}

void EmulatedDock::handleData(const QByteArray& report) {
    ++dataReports_;
    const int n = std::min(dataRemaining_, reportSize_);
    if (n < reportSize_ && !zerosFrom(report, n))
        error(QStringLiteral("more data than announced for key %1").arg(dataKey_));
    dataBytes_.append(report.constData(), n);
    dataRemaining_ -= n;
    if (dataRemaining_ > 0)
        return;
    if (dataKey_ >= 1 && dataKey_ <= kKeys)
        pending_[dataKey_ - 1] = dataBytes_;
    justCompletedKey_ = dataKey_;
    dataBytes_.clear();
}

void EmulatedDock::handleCommand(const QByteArray& report) {
    const QByteArray name3 = report.mid(5, 3);
    const auto fail = [this, &report](const QString& what) {
        error(what + QStringLiteral(": ") + printable(report.left(16)));
    };

    if (report.mid(5, 7) == "CONNECT") {
        if (!zerosFrom(report, 12))
            return fail(QStringLiteral("CONNECT with non-zero padding"));
        closeBatchForCommand("CONNECT");
        lastKeepAlive_ = steadySeconds();
        record(Command::connect);
    } else if (name3 == "DIS") {
        if (!zerosFrom(report, 8))
            return fail(QStringLiteral("DIS with non-zero padding"));
        closeBatchForCommand("DIS");
        batch_ = Batch::initialize;
        if (!awake_) {
            awake_ = true;
            Q_EMIT awakeChanged(true);
        }
        record(Command::dis);
    } else if (name3 == "LIG") {
        if (byteAt(report, 8) || byteAt(report, 9) || !zerosFrom(report, 11))
            return fail(QStringLiteral("LIG with unexpected bytes"));
        const int level = byteAt(report, 10);
        if (level > 100)
            return fail(QStringLiteral("LIG level %1 outside 0-100").arg(level));
        if (batch_ == Batch::images)
            closeBatchForCommand("LIG");
        if (brightness_ != level) {
            brightness_ = level;
            Q_EMIT brightnessChanged(level);
        }
        record(Command::lig, 0, level);
    } else if (name3 == "CLE") {
        if (byteAt(report, 8) || byteAt(report, 9))
            return fail(QStringLiteral("CLE with unexpected bytes"));
        if (byteAt(report, 10) == 'D' && byteAt(report, 11) == 'C') {
            if (!zerosFrom(report, 12))
                return fail(QStringLiteral("CLE shutdown with non-zero padding"));
            closeBatchForCommand("CLE shutdown");
            for (int i = 0; i < kKeys; ++i)
                pending_[i] = QByteArray();
            commit();
            record(Command::cleShutdown);
            return;
        }
        if (byteAt(report, 10) != 0 || !zerosFrom(report, 12))
            return fail(QStringLiteral("CLE with unexpected bytes"));
        const int key = byteAt(report, 11);
        if (key == 0xFF) {
            openBatch();
            for (int i = 0; i < kKeys; ++i)
                pending_[i] = QByteArray();
            record(Command::cleAll);
        } else if (key >= 1 && key <= kKeys) {
            openBatch();
            pending_[key - 1] = QByteArray();
            record(Command::cleKey, key);
        } else {
            fail(QStringLiteral("CLE for key %1 outside 1-6").arg(key));
        }
    } else if (name3 == "STP") {
        if (!zerosFrom(report, 8))
            return fail(QStringLiteral("STP with non-zero padding"));
        if (batch_ == Batch::none)
            return fail(QStringLiteral("STP without an open batch"));
        commit();
        batch_ = Batch::none;
        record(Command::stp);
    } else if (name3 == "BAT") {
        if (byteAt(report, 8) || byteAt(report, 9) || !zerosFrom(report, 13))
            return fail(QStringLiteral("BAT with unexpected bytes"));
        const int size = (byteAt(report, 10) << 8) | byteAt(report, 11);
        const int key = byteAt(report, 12);
        // The data that follows is taken (and dropped) even for a bad key, so one bad header
        // is one error.
        dataKey_ = key;
        dataRemaining_ = size;
        dataBytes_.clear();
        if (key < 1 || key > kKeys) {
            dataKey_ = 0;
            return fail(QStringLiteral("BAT for key %1 outside 1-6").arg(key));
        }
        if (size == 0)
            return fail(QStringLiteral("BAT with size 0 for key %1").arg(key));
        openBatch();
        record(Command::bat, key, size);
    } else if (name3 == "HAN") {
        if (!zerosFrom(report, 8))
            return fail(QStringLiteral("HAN with non-zero padding"));
        closeBatchForCommand("HAN");
        if (awake_) {
            awake_ = false;
            Q_EMIT awakeChanged(false);
        }
        record(Command::han);
    } else {
        fail(QStringLiteral("unknown command"));
    }
}

void EmulatedDock::closeBatchForCommand(const char* name) {
    if (!batchOpen())
        return;
    error(QStringLiteral("batch left open before ") + QLatin1String(name));
    batch_ = Batch::none;
    pending_.clear();
}

void EmulatedDock::openBatch() {
    if (batch_ == Batch::none)
        batch_ = Batch::images;
}

void EmulatedDock::commit() {
    const int edge = model_.imageEdge();
    for (const auto& [index, bytes] : pending_) {
        const size_t i = size_t(index);
        faceData_[i] = bytes;
        faces_[i] = QImage();
        if (!bytes.isEmpty()) {
            QImage image;
            if (!image.loadFromData(bytes, "JPEG")) {
                error(QStringLiteral("key %1: image data is not a JPEG").arg(index + 1));
            } else {
                if (image.width() != edge || image.height() != edge)
                    error(QStringLiteral("key %1: image is %2x%3, expected %4x%4")
                              .arg(index + 1)
                              .arg(image.width())
                              .arg(image.height())
                              .arg(edge));
                if (model_.baseRotation() != 0)
                    image = image.transformed(QTransform().rotate(-model_.baseRotation()));
                faces_[i] = image.convertToFormat(QImage::Format_RGB32);
                ++commits_[i];
            }
        }
        Q_EMIT faceChanged(index);
    }
    pending_.clear();
}

void EmulatedDock::powerOff() {
    for (int i = 0; i < kKeys; ++i) {
        if (faceData_[size_t(i)].isEmpty() && faces_[size_t(i)].isNull())
            continue;
        faceData_[size_t(i)].clear();
        faces_[size_t(i)] = QImage();
        Q_EMIT faceChanged(i);
    }
    if (awake_) {
        awake_ = false;
        Q_EMIT awakeChanged(false);
    }
    if (brightness_ != 100) {
        brightness_ = 100;
        Q_EMIT brightnessChanged(100);
    }
}

void EmulatedDock::record(Command command, int key, int value) {
    const LogEntry entry{command, key, value, steadySeconds()};
    if (log_.size() >= kMaxLog)
        log_.remove(0, kMaxLog / 2);
    log_.append(entry);
    ++counts_[size_t(command)];
    Q_EMIT commandReceived(entry);
}

void EmulatedDock::error(const QString& message) {
    errors_.append(message);
    logLine(QStringLiteral("Dock emulator: protocol error: ") + message);
    Q_EMIT protocolError(message);
}

QImage EmulatedDock::face(int index) const {
    return index >= 0 && index < kKeys ? faces_[size_t(index)] : QImage();
}

QByteArray EmulatedDock::faceData(int index) const {
    return index >= 0 && index < kKeys ? faceData_[size_t(index)] : QByteArray();
}

void EmulatedDock::clearRecords() {
    log_.clear();
    counts_.fill(0);
    commits_.fill(0);
    dataReports_ = 0;
    errors_.clear();
    reportsReceived_ = 0;
    bytesReceived_ = 0;
}

} // namespace velloq
