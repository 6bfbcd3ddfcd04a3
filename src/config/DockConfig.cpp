#include "config/DockConfig.h"

#include "config/AtomicFile.h"
#include "config/ConfigJson.h"
#include "support/AppPaths.h"
#include "support/Log.h"

#include <QFileInfo>

#include <array>
#include <functional>

namespace velloq {

using ConfigJson::Node;

namespace {

const QString kDefaultAnimation = QStringLiteral("Sports Car");

template <typename T, typename Decode>
std::optional<QList<T>> decodeList(const Node& value, Decode decode) {
    if (value.type != Node::Type::array)
        return std::nullopt;
    QList<T> list;
    list.reserve(qsizetype(value.children.size()));
    for (const Node& element : value.children) {
        std::optional<T> decoded = decode(element);
        if (!decoded) // one bad element fails the whole list
            return std::nullopt;
        list.append(std::move(*decoded));
    }
    return list;
}

std::optional<std::optional<QString>> decodeOptionalString(const Node& value) {
    if (value.isNull())
        return std::optional<QString>();
    if (auto text = ConfigJson::decodeString(value))
        return std::optional<QString>(*text);
    return std::nullopt;
}

template <typename T, typename Decode> Node encodeList(const QList<T>& list, Decode encode) {
    Node array = Node::array();
    for (const T& element : list)
        array.append(encode(element));
    return array;
}

template <typename T> void padTo(QList<T>& list, int size, const T& filler) {
    while (list.size() < size)
        list.append(filler);
}

Node encodedIcons(const QList<std::optional<QString>>& icons) {
    return encodeList(icons, [](const std::optional<QString>& path) {
        return path ? Node::of(*path) : Node::null();
    });
}

Node encodedKeys(const QList<ButtonAction>& keys) {
    return encodeList(keys, [](const ButtonAction& a) { return ConfigJson::encode(a); });
}

// A list of actions; `repaired` is set when a sequence or a toggle in it was read tolerantly.
std::optional<QList<ButtonAction>> decodeKeys(const Node& value, bool& repaired) {
    return decodeList<ButtonAction>(
        value, [&](const Node& e) { return ConfigJson::decodeAction(e, nullptr, &repaired); });
}

bool anyIcon(const QList<std::optional<QString>>& icons) {
    return std::any_of(icons.begin(), icons.end(),
                       [](const std::optional<QString>& icon) { return icon.has_value(); });
}

std::optional<QList<std::optional<QString>>> decodeIcons(const Node& value) {
    return decodeList<std::optional<QString>>(value, decodeOptionalString);
}

constexpr int64_t kMaxButtonNumber = 1000;

// The toggles that are on: {"button": key index + 1, "page": id}. An entry that cannot be read
// and a repeated one are left out; `repaired` tells.
std::optional<QList<ButtonRef>> decodeToggleStates(const Node& value, bool& repaired) {
    if (value.type != Node::Type::array)
        return std::nullopt;
    QList<ButtonRef> states;
    for (const Node& element : value.children) {
        const Node* pageNode = element.member(u"page");
        const Node* buttonNode = element.member(u"button");
        const auto pageText = pageNode ? ConfigJson::decodeString(*pageNode) : std::nullopt;
        const auto page = pageText ? ConfigJson::parseUuid(*pageText) : std::nullopt;
        const auto button =
            buttonNode ? ConfigJson::decodeInteger(*buttonNode, 1, kMaxButtonNumber) : std::nullopt;
        const ButtonRef ref{page.value_or(QUuid()), int(button.value_or(0)) - 1};
        if (!page || !button || states.contains(ref)) {
            repaired = true;
            continue;
        }
        states.append(ref);
    }
    return states;
}

Node encodeToggleStates(const QList<ButtonRef>& states) {
    return encodeList(states, [](const ButtonRef& ref) {
        Node n = Node::object();
        n.insert(QStringLiteral("page"), Node::of(ConfigJson::uuidString(ref.page)));
        n.insert(QStringLiteral("button"), Node::of(int64_t(ref.key) + 1));
        return n;
    });
}

const QString kUnnamedPage = QStringLiteral("Page");

// One page. Without a usable id (missing, malformed, nil or taken) it cannot be opened and is
// left out; a bad name, key list or image list falls back on its own. `repaired` is set when
// anything had to give way.
std::optional<Page> decodePage(const Node& value, const QList<Page>& earlier, bool& repaired) {
    if (value.type != Node::Type::object) {
        repaired = true;
        return std::nullopt;
    }
    const Node* idNode = value.member(u"id");
    const auto idText = idNode ? ConfigJson::decodeString(*idNode) : std::nullopt;
    const auto id = idText ? ConfigJson::parseUuid(*idText) : std::nullopt;
    if (!id || id->isNull() ||
        std::any_of(earlier.begin(), earlier.end(), [&](const Page& p) { return p.id == *id; })) {
        repaired = true;
        return std::nullopt;
    }
    Page page{*id, kUnnamedPage, {}, {}};
    const auto member = [&](const char16_t* name, auto decode, auto& field) {
        const Node* node = value.member(QStringView(name));
        if (!node || node->isNull())
            return;
        if (auto decoded = decode(*node))
            field = std::move(*decoded);
        else
            repaired = true;
    };
    member(
        u"name", [](const Node& n) { return ConfigJson::decodeString(n); }, page.name);
    member(
        u"keys", [&](const Node& n) { return decodeKeys(n, repaired); }, page.keys);
    member(u"customIcons", decodeIcons, page.customIcons);
    page.onIcons.clear();
    member(u"onIcons", decodeIcons, page.onIcons);
    // A bad entry is left out and the others kept; a list of another type is dropped.
    member(
        u"apps",
        [&repaired](const Node& n) -> std::optional<QStringList> {
            if (n.type != Node::Type::array)
                return std::nullopt;
            QStringList apps;
            for (const Node& element : n.children) {
                const auto path = ConfigJson::decodeString(element);
                if (path && path->startsWith(u'/') && !apps.contains(*path))
                    apps << *path;
                else
                    repaired = true;
            }
            return apps;
        },
        page.apps);
    padTo(page.keys, DockConfig::kMinKeys, ButtonAction::nothing());
    padTo(page.customIcons, DockConfig::kMinKeys, std::optional<QString>());
    padTo(page.onIcons, DockConfig::kMinKeys, std::optional<QString>());
    return page;
}

Node encodePage(const Page& page) {
    Node n = Node::object();
    n.insert(QStringLiteral("id"), Node::of(ConfigJson::uuidString(page.id)));
    n.insert(QStringLiteral("name"), Node::of(page.name));
    n.insert(QStringLiteral("keys"), encodedKeys(page.keys));
    n.insert(QStringLiteral("customIcons"), encodedIcons(page.customIcons));
    if (!page.apps.isEmpty())
        n.insert(QStringLiteral("apps"),
                 encodeList(page.apps, [](const QString& path) { return Node::of(path); }));
    if (anyIcon(page.onIcons))
        n.insert(QStringLiteral("onIcons"), encodedIcons(page.onIcons));
    return n;
}

} // namespace

DockConfig::DockConfig()
    : keys(kMinKeys, ButtonAction::nothing())
    , knobs{KnobRole::microphone, KnobRole::volume, KnobRole::brightness}
    , snippets{Snippet::make(QStringLiteral("Example"), QStringLiteral("Hello from Velloq!"))}
    , customIcons(kMinKeys)
    , screensaverAnimation(kDefaultAnimation)
    , onIcons(kMinKeys) {
}

QString DockConfig::fileURL() {
    return AppPaths::dataDir() + QStringLiteral("/config.json");
}

std::optional<QString> DockConfig::screensaverURL() const {
    if (screensaverAnimation.startsWith(QLatin1Char('/'))) {
        if (QFileInfo(screensaverAnimation).isFile())
            return screensaverAnimation;
        return std::nullopt;
    }
    // A built-in name never contains a folder; don't let one reach outside the resources.
    if (screensaverAnimation.isEmpty() || screensaverAnimation.contains(QLatin1Char('/')))
        return std::nullopt;
    const QString resource = AppPaths::resourceDir() + QStringLiteral("/Screensavers/") +
                             screensaverAnimation + QStringLiteral(".mp4");
    if (QFileInfo(resource).isFile())
        return resource;
    return std::nullopt;
}

std::optional<QByteArray> DockConfig::encoded(QString* error) const {
    Node root = Node::object();
    root.insert(QStringLiteral("keys"), encodedKeys(keys));
    root.insert(QStringLiteral("knobs"),
                encodeList(knobs, [](KnobRole r) { return ConfigJson::encode(r); }));
    root.insert(QStringLiteral("snippets"),
                encodeList(snippets, [](const Snippet& s) { return ConfigJson::encode(s); }));
    root.insert(QStringLiteral("dockBrightness"), Node::of(dockBrightness));
    root.insert(QStringLiteral("knobStep"), Node::of(knobStep));
    root.insert(QStringLiteral("extraRotation"), Node::of(extraRotation));
    root.insert(QStringLiteral("showHUD"), Node::of(showHUD));
    root.insert(QStringLiteral("nativeIndicators"), Node::of(nativeIndicators));
    root.insert(QStringLiteral("customIcons"), encodedIcons(customIcons));
    root.insert(QStringLiteral("screensaverEnabled"), Node::of(screensaverEnabled));
    root.insert(QStringLiteral("screensaverDelay"), Node::of(screensaverDelay));
    root.insert(QStringLiteral("screensaverAnimation"), Node::of(screensaverAnimation));
    root.insert(QStringLiteral("screensaverPlayback"), ConfigJson::encode(screensaverPlayback));
    root.insert(QStringLiteral("screensaverSpeed"), Node::of(screensaverSpeed));
    if (!pages.isEmpty())
        root.insert(QStringLiteral("pages"), encodeList(pages, encodePage));
    if (!followApps)
        root.insert(QStringLiteral("followApps"), Node::of(false));
    if (anyIcon(onIcons))
        root.insert(QStringLiteral("onIcons"), encodedIcons(onIcons));
    if (!toggleStates.isEmpty())
        root.insert(QStringLiteral("toggleStates"), encodeToggleStates(toggleStates));
    return ConfigJson::write(root, error);
}

std::optional<DockConfig> DockConfig::decode(const QByteArray& json) {
    if (auto result = decodeReporting(json))
        return std::move(result->config);
    return std::nullopt;
}

std::optional<DockConfig::Decoded> DockConfig::decodeReporting(const QByteArray& json) {
    // ConfigJson::parse() skips the byte-order mark editors may put in front.
    const std::optional<Node> document = ConfigJson::parse(json);
    if (!document || document->type != Node::Type::object)
        return std::nullopt;
    return decodeReporting(*document);
}

DockConfig::Decoded DockConfig::decodeReporting(const Node& object) {
    Decoded result;
    DockConfig& config = result.config;

    // Each member on its own: a member that is missing or null keeps its default silently; one
    // that is present but undecodable keeps its default and is reported as dropped.
    struct Member {
        const char* name;
        std::function<bool(const Node&, DockConfig&)> take;
    };
    const auto assign = [](auto decoded, auto& field) {
        if (!decoded)
            return false;
        field = std::move(*decoded);
        return true;
    };
    const std::array<Member, 18> members{{
        {"keys",
         [&](const Node& v, DockConfig& c) {
             bool repaired = false;
             return assign(decodeKeys(v, repaired), c.keys) && !repaired;
         }},
        {"knobs",
         [&](const Node& v, DockConfig& c) {
             return assign(decodeList<KnobRole>(
                               v, [](const Node& e) { return ConfigJson::decodeKnobRole(e); }),
                           c.knobs);
         }},
        {"snippets",
         [&](const Node& v, DockConfig& c) {
             return assign(
                 decodeList<Snippet>(v, [](const Node& e) { return ConfigJson::decodeSnippet(e); }),
                 c.snippets);
         }},
        {"dockBrightness",
         [&](const Node& v, DockConfig& c) {
             return assign(ConfigJson::decodeDouble(v), c.dockBrightness);
         }},
        {"knobStep",
         [&](const Node& v, DockConfig& c) {
             return assign(ConfigJson::decodeDouble(v), c.knobStep);
         }},
        {"extraRotation",
         [&](const Node& v, DockConfig& c) {
             return assign(ConfigJson::decodeInteger(v, INT64_MIN, INT64_MAX), c.extraRotation);
         }},
        {"showHUD", [&](const Node& v,
                        DockConfig& c) { return assign(ConfigJson::decodeBool(v), c.showHUD); }},
        {"nativeIndicators",
         [&](const Node& v, DockConfig& c) {
             return assign(ConfigJson::decodeBool(v), c.nativeIndicators);
         }},
        {"customIcons",
         [&](const Node& v, DockConfig& c) {
             return assign(decodeList<std::optional<QString>>(v, decodeOptionalString),
                           c.customIcons);
         }},
        {"screensaverEnabled",
         [&](const Node& v, DockConfig& c) {
             return assign(ConfigJson::decodeBool(v), c.screensaverEnabled);
         }},
        {"screensaverDelay",
         [&](const Node& v, DockConfig& c) {
             return assign(ConfigJson::decodeDouble(v), c.screensaverDelay);
         }},
        {"screensaverAnimation",
         [&](const Node& v, DockConfig& c) {
             return assign(ConfigJson::decodeString(v), c.screensaverAnimation);
         }},
        {"screensaverPlayback",
         [&](const Node& v, DockConfig& c) {
             return assign(ConfigJson::decodePlaybackMode(v), c.screensaverPlayback);
         }},
        {"screensaverSpeed",
         [&](const Node& v, DockConfig& c) {
             return assign(ConfigJson::decodeDouble(v), c.screensaverSpeed);
         }},
        {"pages",
         [&](const Node& v, DockConfig& c) {
             if (v.type != Node::Type::array)
                 return false;
             // A broken page is repaired or left out; the others stay.
             bool repaired = false;
             for (const Node& element : v.children) {
                 if (auto page = decodePage(element, c.pages, repaired))
                     c.pages.append(std::move(*page));
             }
             return !repaired;
         }},
        {"followApps",
         [&](const Node& v, DockConfig& c) {
             return assign(ConfigJson::decodeBool(v), c.followApps);
         }},
        {"onIcons",
         [&](const Node& v, DockConfig& c) { return assign(decodeIcons(v), c.onIcons); }},
        {"toggleStates",
         [&](const Node& v, DockConfig& c) {
             bool repaired = false;
             return assign(decodeToggleStates(v, repaired), c.toggleStates) && !repaired;
         }},
    }};

    for (const Member& member : members) {
        const Node* value = object.member(QLatin1String(member.name));
        if (!value || value->isNull())
            continue;
        if (!member.take(*value, config))
            result.droppedMembers.append(QLatin1String(member.name));
    }
    for (const Node& child : object.children) {
        const bool known = std::any_of(members.begin(), members.end(), [&](const Member& m) {
            return child.key == QLatin1String(m.name);
        });
        if (!known && !result.droppedMembers.contains(child.key))
            result.droppedMembers.append(child.key);
    }

    padTo(config.customIcons, kMinKeys, std::optional<QString>());
    padTo(config.onIcons, kMinKeys, std::optional<QString>());
    padTo(config.keys, kMinKeys, ButtonAction::nothing());
    padTo(config.knobs, kMinKnobs, KnobRole(KnobRole::nothing));
    return result;
}

namespace {
// Non-const `Config` iterates non-const, so that a list shared with a copy detaches first.
template <typename Config> auto* pageWithId(Config& config, const QUuid& id) {
    if (id.isNull())
        return decltype(&*config.pages.begin())(nullptr);
    const auto found = std::find_if(config.pages.begin(), config.pages.end(),
                                    [&](const Page& p) { return p.id == id; });
    return found != config.pages.end() ? &*found : nullptr;
}
} // namespace

const Page* DockConfig::pageListing(const QString& appPath) const {
    const auto found = std::find_if(pages.begin(), pages.end(),
                                    [&](const Page& p) { return p.apps.contains(appPath); });
    return found != pages.end() ? &*found : nullptr;
}

bool DockConfig::anyPageListsApps() const {
    return std::any_of(pages.begin(), pages.end(), [](const Page& p) { return !p.apps.isEmpty(); });
}

const Page* DockConfig::page(const QUuid& id) const {
    return pageWithId(*this, id);
}

Page* DockConfig::page(const QUuid& id) {
    return pageWithId(*this, id);
}

std::optional<QUuid> DockConfig::findPage(const QString& text) const {
    if (text.compare(QStringLiteral("home"), Qt::CaseInsensitive) == 0)
        return QUuid();
    if (const std::optional<QUuid> id = ConfigJson::parseUuid(text.toUpper())) {
        if (id->isNull() || page(*id))
            return *id;
    }
    for (const Page& candidate : pages) {
        if (candidate.name.compare(text, Qt::CaseInsensitive) == 0)
            return candidate.id;
    }
    return std::nullopt;
}

const QList<ButtonAction>& DockConfig::keysOf(const QUuid& pageID) const {
    const Page* p = page(pageID);
    return p ? p->keys : keys;
}

QList<ButtonAction>& DockConfig::keysOf(const QUuid& pageID) {
    Page* p = page(pageID);
    return p ? p->keys : keys;
}

const QList<std::optional<QString>>& DockConfig::customIconsOf(const QUuid& pageID) const {
    const Page* p = page(pageID);
    return p ? p->customIcons : customIcons;
}

QList<std::optional<QString>>& DockConfig::customIconsOf(const QUuid& pageID) {
    Page* p = page(pageID);
    return p ? p->customIcons : customIcons;
}

const QList<std::optional<QString>>& DockConfig::onIconsOf(const QUuid& pageID) const {
    const Page* p = page(pageID);
    return p ? p->onIcons : onIcons;
}

QList<std::optional<QString>>& DockConfig::onIconsOf(const QUuid& pageID) {
    Page* p = page(pageID);
    return p ? p->onIcons : onIcons;
}

bool DockConfig::setToggleOn(const ButtonRef& button, bool on) {
    if (isToggleOn(button) == on)
        return false;
    if (on)
        toggleStates.append(button);
    else
        toggleStates.removeAll(button);
    return true;
}

void DockConfig::dropStaleToggleStates() {
    toggleStates.removeIf([this](const ButtonRef& ref) {
        if (!ref.page.isNull() && !page(ref.page))
            return true;
        const QList<ButtonAction>& pageKeys = keysOf(ref.page);
        return ref.key < 0 || ref.key >= pageKeys.size() ||
               pageKeys.at(ref.key).kind() != ButtonAction::Kind::toggle;
    });
}

KeyLook DockConfig::lookOf(const QUuid& pageID, int key) const {
    KeyLook look;
    look.action = keysOf(pageID).value(key);
    look.on = look.action.kind() == ButtonAction::Kind::toggle && isToggleOn({pageID, key});
    look.image = (look.on ? onIconsOf(pageID) : customIconsOf(pageID)).value(key);
    return look;
}

bool DockConfig::save() const {
    return save(fileURL());
}

bool DockConfig::save(const QString& path) const {
    QString error;
    const QString folder = QFileInfo(path).absolutePath();
    std::optional<QByteArray> bytes;
    const bool ok = AtomicFile::makePath(folder, &error) && (bytes = encoded(&error)) &&
                    AtomicFile::write(path, *bytes, &error);
    if (!ok)
        logLine(QStringLiteral("Could not save config: ") + error);
    return ok;
}

} // namespace velloq
