#pragma once

#include <QString>

#include <functional>

class QDBusMessage;
class QObject;

namespace velloq {

// How a call to a desktop service on the session bus ended.
enum class BusCallOutcome {
    answered, // a reply came
    absent,   // no owner and not activatable, or no session bus
    refused,  // the service answered with an error
    noAnswer, // the service is there but did not answer in time
};

// Calls a desktop service without blocking: asks the bus whether the call's service has an
// owner or can be started (NameHasOwner, ListActivatableNames), then makes the call with a
// limit long enough for the service to start. `done` runs on `context`'s thread, never if
// `context` is gone, with the outcome and, unless answered, a reason. Fallbacks belong after
// absent or refused only: a slow success must not be followed by the fallback as well.
void callSessionService(const QDBusMessage& call, QObject* context,
                        std::function<void(BusCallOutcome, const QString& reason)> done,
                        int timeoutMs = 10000);

// The usual use of it: nothing more after an answer; `fallback` (when given) after absent or
// refused; "Could not run <what>: <reason>" for a refusal, for no answer in time, and for an
// absent service without a fallback.
void callSessionServiceOrFallBack(const QDBusMessage& call, const QString& what, QObject* context,
                                  std::function<void()> fallback);

} // namespace velloq
