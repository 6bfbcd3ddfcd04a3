#pragma once

#include "device/DeviceModel.h"
#include "support/UniqueFd.h"

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <array>
#include <chrono>
#include <map>
#include <optional>

class QSocketNotifier;
class QTimer;

namespace velloq {

// The dock's side of the wire protocol, played strictly, behind a listening SOCK_SEQPACKET
// socket in $XDG_RUNTIME_DIR/velloq/docks/ that EmulatorDiscovery finds.
//
// Each connection starts with an EmulatorHello (see device/EmulatorDiscovery.h). Then every
// message from Velloq must be 0x00 + one output report of reportSize() bytes, and every
// message to Velloq is one input report of kInputReportSize bytes: "ACK" at 0, the event code
// at 9, the state at 10. One peer at a time; further connections are closed at once.
//
// Anything that breaks the protocol is counted and logged as a protocol error and otherwise
// ignored; it never changes the faces.
class EmulatedDock : public QObject {
    Q_OBJECT
public:
    enum class Command { dis, lig, cleKey, cleAll, cleShutdown, stp, bat, connect, han };
    static constexpr int kCommandCount = 9;
    static constexpr int kInputReportSize = 512;
    static constexpr int kKeys = 6;

    struct LogEntry {
        Command command = Command::dis;
        int key = 0;     // key number (1-6) for cleKey and bat
        int value = 0;   // level for lig, image size for bat
        double time = 0; // steady clock seconds
        QString text() const;
        bool operator==(const LogEntry& other) const {
            return command == other.command && key == other.key && value == other.value;
        }
    };

    // 512-byte reports for the older models, 1024 for v3.
    static int defaultReportSize(const DockModel& model) { return model.v3 ? 1024 : 512; }
    // Folder for the sockets: EmulatorDiscovery::defaultFolder().
    static QString defaultFolder();

    explicit EmulatedDock(const DockModel& model, QObject* parent = nullptr);
    EmulatedDock(const DockModel& model, int reportSize, QString folder, QObject* parent = nullptr);
    ~EmulatedDock() override;
    EmulatedDock(const EmulatedDock&) = delete;
    EmulatedDock& operator=(const EmulatedDock&) = delete;

    const DockModel& model() const { return model_; }
    int reportSize() const { return reportSize_; }
    // Unplugs, powers off, takes the new model (and its report size) and plugs in again if it
    // was plugged in.
    void setModel(const DockModel& model);

    // --- Transport ---
    // Creates a fresh socket and listens; Velloq finds it as a newly attached dock.
    bool plugIn(QString* error = nullptr);
    // Closes the connection and removes the socket; the dock powers off (faces blank).
    void unplug();
    bool isPluggedIn() const { return listener_.valid(); }
    bool hasPeer() const { return peer_.valid(); }
    // Output reports the host has sent that the dock has not read yet (a slow link holds them).
    bool hasUnreadReports() const;
    QString socketPath() const { return socketPath_; }
    // Slow link: take at most this many output reports per second; 0 means no limit.
    void setReportRateLimit(int reportsPerSecond);
    int reportRateLimit() const { return rateLimit_; }
    // Stalled: the dock reads nothing, so the link fills up and the host's writes wait, until
    // it is resumed and reads on in order (at the rate limit, if one is set).
    void setStalled(bool stalled);
    bool isStalled() const { return stalled_; }

    // --- Input, sent as the model sends it. False when no peer is connected. ---
    // v3 models send a report on press and on release; older ones only on press.
    bool pressKey(int index); // 0-8
    bool releaseKey(int index);
    bool tapKey(int index) { return pressKey(index) && releaseKey(index); }
    bool pressKnob(int knob); // 0-2
    bool releaseKnob(int knob);
    bool tapKnob(int knob) { return pressKnob(knob) && releaseKnob(knob); }
    // One report per detent; negative turns left.
    bool turnKnob(int knob, int detents);

    // --- The dock side of one message as read from the socket (0x00 + output report) ---
    void receiveMessage(const QByteArray& message);

    // --- State ---
    // The committed face turned back by the model's base rotation, so a correct face is
    // upright; null when the key is blank.
    QImage face(int index) const;
    // The committed JPEG bytes exactly as received; empty when blank.
    QByteArray faceData(int index) const;
    int brightness() const { return brightness_; }
    // Awake from DIS until HAN.
    bool isAwake() const { return awake_; }
    std::optional<double> lastKeepAlive() const { return lastKeepAlive_; }
    // A batch (DIS, BAT or CLE for a key) not yet closed by STP, or image data still due.
    bool batchOpen() const { return batch_ != Batch::none || dataRemaining_ > 0; }

    QList<LogEntry> commandLog() const { return log_; }
    int count(Command command) const { return counts_[size_t(command)]; }
    int dataReports() const { return dataReports_; }
    QStringList protocolErrors() const { return errors_; }
    int imageCommits(int index) const { return commits_.at(size_t(index)); }
    qint64 reportsReceived() const { return reportsReceived_; }
    qint64 bytesReceived() const { return bytesReceived_; }
    int connections() const { return connections_; }
    // Forgets the log, the counts, the statistics and the errors; the faces stay.
    void clearRecords();

Q_SIGNALS:
    void faceChanged(int index);
    void brightnessChanged(int level);
    void awakeChanged(bool awake);
    void commandReceived(const velloq::EmulatedDock::LogEntry& entry);
    void protocolError(const QString& message);
    void peerChanged(bool connected);
    void pluggedChanged(bool pluggedIn);

private:
    enum class Batch { none, initialize, images };

    void acceptPeer();
    void onPeerReadable();
    void drainPaced();
    // Reads one message: true if one was handled; false when none is waiting or the peer left.
    bool readOne();
    void closePeer(bool byHost);
    bool sendInput(int code, int state);
    bool sendPressOrRelease(int code, bool press);

    void handleCommand(const QByteArray& report);
    void handleData(const QByteArray& report);
    void record(Command command, int key = 0, int value = 0);
    void error(const QString& message);
    void closeBatchForCommand(const char* name);
    void openBatch();
    void commit();
    void powerOff();

    DockModel model_;
    int reportSize_;
    QString folder_;
    QString socketPath_;
    UniqueFd listener_;
    UniqueFd peer_;
    QSocketNotifier* listenNotifier_ = nullptr;
    QSocketNotifier* peerNotifier_ = nullptr;

    QByteArray readBuffer_;
    int rateLimit_ = 0;
    bool stalled_ = false;
    QTimer* paceTimer_ = nullptr;
    double tokens_ = 0;
    std::chrono::steady_clock::time_point lastPace_;

    // Decoder state.
    Batch batch_ = Batch::none;
    std::map<int, QByteArray> pending_; // key index -> image bytes; empty bytes blank the key
    int dataKey_ = 0;                   // key number of the image being received; 0 if invalid
    int dataRemaining_ = 0;
    QByteArray dataBytes_;
    int justCompletedKey_ = 0; // the BAT whose data ended with the previous report

    // Dock state.
    std::array<QByteArray, kKeys> faceData_;
    std::array<QImage, kKeys> faces_;
    int brightness_ = 100;
    bool awake_ = false;
    std::optional<double> lastKeepAlive_;

    // Records.
    QList<LogEntry> log_;
    std::array<int, kCommandCount> counts_{};
    std::array<int, kKeys> commits_{};
    int dataReports_ = 0;
    QStringList errors_;
    qint64 reportsReceived_ = 0;
    qint64 bytesReceived_ = 0;
    int connections_ = 0;
};

} // namespace velloq
