#pragma once

// The names of app.velloq.Velloq1 (app.velloq.Velloq1.xml), shared by the service and the
// command line. Header only: the command line links Qt Core and D-Bus and nothing of the app.

#include <QDBusArgument>
#include <QList>
#include <QMetaType>
#include <QString>

namespace velloq::Velloq1 {

inline QString service() {
    return QStringLiteral("app.velloq.Velloq");
}
inline QString path() {
    return QStringLiteral("/app/velloq/Velloq");
}
inline QString interface() {
    return QStringLiteral("app.velloq.Velloq1");
}

// The errors, as app.velloq.Velloq1.Error.<name>.
inline QString error(const char* name) {
    return QStringLiteral("app.velloq.Velloq1.Error.") + QLatin1String(name);
}
inline constexpr const char* kInvalidArgument = "InvalidArgument";
inline constexpr const char* kNoSuchPage = "NoSuchPage";
inline constexpr const char* kNoDock = "NoDock";
inline constexpr const char* kFailed = "Failed";
inline constexpr const char* kWouldReplace = "WouldReplace";

inline constexpr int kButtons = 9;
inline constexpr int kScreenButtons = 6;
inline constexpr int kKnobs = 3;
inline constexpr int kMaxSteps = 100;
inline constexpr int kMaxTitleLength = 100;

} // namespace velloq::Velloq1

namespace velloq {

// One entry of the Pages property, a(ss).
struct PageEntry {
    QString id;
    QString name;
    bool operator==(const PageEntry&) const = default;
};
using PageList = QList<PageEntry>;

inline QDBusArgument& operator<<(QDBusArgument& argument, const PageEntry& page) {
    argument.beginStructure();
    argument << page.id << page.name;
    argument.endStructure();
    return argument;
}

inline const QDBusArgument& operator>>(const QDBusArgument& argument, PageEntry& page) {
    argument.beginStructure();
    argument >> page.id >> page.name;
    argument.endStructure();
    return argument;
}

} // namespace velloq

Q_DECLARE_METATYPE(velloq::PageEntry)
