#include "controller/EditHistory.h"

namespace velloq {

namespace {

// Appends `name[i]` for each differing index of two lists, or `name` when their sizes differ.
template <typename T>
void compareLists(QStringList& out, const QString& name, const QList<T>& a, const QList<T>& b) {
    if (a.size() != b.size()) {
        out << name;
        return;
    }
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (!(a[i] == b[i]))
            out << name + u'[' + QString::number(i) + u']';
    }
}

} // namespace

QStringList EditHistory::changedFields(const DockConfig& a, const DockConfig& b) {
    QStringList out;
    compareLists(out, QStringLiteral("keys"), a.keys, b.keys);
    compareLists(out, QStringLiteral("customIcons"), a.customIcons, b.customIcons);
    compareLists(out, QStringLiteral("knobs"), a.knobs, b.knobs);
    compareLists(out, QStringLiteral("snippets"), a.snippets, b.snippets);
    compareLists(out, QStringLiteral("pages"), a.pages, b.pages);
    const auto scalar = [&out](const char* name, bool same) {
        if (!same)
            out << QString::fromLatin1(name);
    };
    scalar("dockBrightness", a.dockBrightness == b.dockBrightness);
    scalar("knobStep", a.knobStep == b.knobStep);
    scalar("extraRotation", a.extraRotation == b.extraRotation);
    scalar("showHUD", a.showHUD == b.showHUD);
    scalar("nativeIndicators", a.nativeIndicators == b.nativeIndicators);
    scalar("screensaverEnabled", a.screensaverEnabled == b.screensaverEnabled);
    scalar("screensaverDelay", a.screensaverDelay == b.screensaverDelay);
    scalar("screensaverAnimation", a.screensaverAnimation == b.screensaverAnimation);
    scalar("screensaverPlayback", a.screensaverPlayback == b.screensaverPlayback);
    scalar("screensaverSpeed", a.screensaverSpeed == b.screensaverSpeed);
    return out;
}

void EditHistory::record(const DockConfig& before, const DockConfig& after, double now,
                         Merge merge) {
    redo_.clear();

    const QStringList fields = changedFields(before, after);
    const bool grows = merge == Merge::allowed && !undo_.empty() && !lastFields_.isEmpty() &&
                       fields == lastFields_ && now - lastTime_ <= kMergeSeconds;
    if (grows) {
        // The step keeps its first `before`; one that came back to it is no step at all.
        if (undo_.back() == after) {
            undo_.pop_back();
            lastFields_.clear();
        }
    } else {
        undo_.push_back(before);
        if (undo_.size() > size_t(kMaxSteps))
            undo_.pop_front();
        lastFields_ = merge == Merge::allowed ? fields : QStringList();
    }
    lastTime_ = now;
}

std::optional<DockConfig> EditHistory::undo(const DockConfig& current) {
    return travel(undo_, redo_, current);
}

std::optional<DockConfig> EditHistory::redo(const DockConfig& current) {
    return travel(redo_, undo_, current);
}

std::optional<DockConfig> EditHistory::travel(std::deque<DockConfig>& from,
                                              std::deque<DockConfig>& to,
                                              const DockConfig& current) {
    if (from.empty())
        return std::nullopt;
    DockConfig target = std::move(from.back());
    from.pop_back();
    to.push_back(current);
    lastFields_.clear(); // the next change starts a step of its own
    return target;
}

} // namespace velloq
