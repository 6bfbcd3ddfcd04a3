#pragma once

#include "scripting/Velloq1.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QUuid>
#include <QVariantMap>

#include <memory>
#include <optional>

namespace velloq {

class DockController;
class TemporaryFaces;
struct DockEvent;

// app.velloq.Velloq1 (app.velloq.Velloq1.xml): what scripts may ask of the running Velloq.
// Checks every argument, answers a bad one with a named error and asks the controller for the
// rest; the adaptor generated from the XML forwards to the slots and properties, which carry
// the interface's names. It is the object served at /app/velloq/Velloq, made before the bus
// name is taken and bound to the controller once that exists. Main thread.
class ScriptingService : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_PROPERTY(bool Connected READ connected)
    Q_PROPERTY(QString DockName READ dockName)
    Q_PROPERTY(velloq::PageList Pages READ pages)
    Q_PROPERTY(QString CurrentPage READ currentPage)
    Q_PROPERTY(uint Brightness READ brightness)

public:
    explicit ScriptingService(QDBusConnection bus = QDBusConnection::sessionBus(),
                              QObject* parent = nullptr);
    ~ScriptingService() override;
    ScriptingService(const ScriptingService&) = delete;
    ScriptingService& operator=(const ScriptingService&) = delete;

    // Serves `controller` from now on; it must outlive this object.
    void bind(DockController& controller);

    bool connected() const;
    QString dockName() const;
    PageList pages() const;
    QString currentPage() const;
    uint brightness() const;

public Q_SLOTS:
    void ShowPage(const QString& page);
    void PressButton(uint button);
    void SetToggle(uint button, bool on);
    void TurnKnob(uint knob, int steps);
    void PressKnob(uint knob);
    void SetButtonFace(uint button, const QString& image, const QString& title);
    void ResetButtonFace(uint button);
    void SetBrightness(uint percent);
    void StartScreensaver();
    void StopScreensaver();
    QStringList ExportSetup(const QString& file);
    QStringList ExportPage(const QString& page, const QString& file);
    QString Import(const QString& file, bool replace);

Q_SIGNALS:
    void ButtonPressed(uint button, const QString& page);
    void KnobTurned(uint knob, int steps);
    void KnobPressed(uint knob);
    void PageChanged(const QString& id, const QString& name);

private:
    // Answers the call with app.velloq.Velloq1.Error.<name>; false, for `return fail(...)`.
    bool fail(const char* name, const QString& message);
    bool bound();
    bool checkButton(uint button, uint last);
    bool checkKnob(uint knob);
    bool checkFile(const QString& file);
    // Writes the whole setup (no `page`) or one page, answering the call when it is written.
    void exportTo(const std::optional<QUuid>& page, const QString& file);
    void forwardInput(const DockEvent& event);
    // Sends PropertiesChanged with the properties whose values differ from those last sent.
    void announceChanges();
    QVariantMap snapshot() const;

    QDBusConnection bus_;
    QPointer<DockController> controller_;
    std::unique_ptr<TemporaryFaces> faces_;
    QVariantMap announced_;
};

} // namespace velloq
