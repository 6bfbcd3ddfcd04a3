#include "share/SetupFile.h"

#include "config/ConfigJson.h"
#include "share/Sentences.h"
#include "share/ZipArchive.h"
#include "support/DesktopEntry.h"

namespace velloq::SetupFile {

namespace {

using ConfigJson::Node;

const QString kDesktopId = QStringLiteral("desktopId");

using Sentences::fail;
using Sentences::quoted;

Node* mutableMember(Node& object, QStringView name) {
    for (auto it = object.children.rbegin(); it != object.children.rend(); ++it) {
        if (it->key == name)
            return &*it;
    }
    return nullptr;
}

// Calls `f` with the payload of every app action in the tree ({"app":{"path":…}}), wherever
// the configuration keeps actions.
template <typename F> void forEachAppPayload(Node& node, const F& f) {
    if (node.type == Node::Type::object) {
        if (Node* payload = mutableMember(node, u"app");
            payload && payload->type == Node::Type::object) {
            const Node* path = payload->member(u"path");
            if (path && path->type == Node::Type::string)
                f(*payload);
        }
    }
    for (Node& child : node.children)
        forEachAppPayload(child, f);
}

void addDesktopIds(Node& tree, const DesktopIdOf& desktopIdOf) {
    forEachAppPayload(tree, [&](Node& payload) {
        const QString id = desktopIdOf ? desktopIdOf(payload.member(u"path")->string) : QString();
        if (!id.isEmpty())
            payload.insert(kDesktopId, Node::of(id));
    });
}

void resolveApps(Node& tree, const AppPathFor& appPathFor) {
    forEachAppPayload(tree, [&](Node& payload) {
        const Node* idNode = payload.member(kDesktopId);
        const QString id =
            idNode && idNode->type == Node::Type::string ? idNode->string : QString();
        std::erase_if(payload.children, [](const Node& n) { return n.key == kDesktopId; });
        if (appPathFor) {
            Node* path = mutableMember(payload, u"path");
            path->string = appPathFor(path->string, id);
        }
    });
}

// A page's apps are bare paths: the desktop-file ID they are matched by where the path is not
// there is the one the path gives, below its "applications" folder.
void resolvePageApps(Node* pages, const AppPathFor& appPathFor) {
    if (!pages || pages->type != Node::Type::array || !appPathFor)
        return;
    for (Node& page : pages->children) {
        Node* apps = page.type == Node::Type::object ? mutableMember(page, u"apps") : nullptr;
        if (!apps || apps->type != Node::Type::array)
            continue;
        QStringList seen;
        std::erase_if(apps->children, [&](Node& app) {
            if (app.type != Node::Type::string)
                return false;
            const QString& path = app.string;
            const QStringView below = u"/applications/";
            const qsizetype folder = path.lastIndexOf(below);
            const QStringList dirs =
                folder < 0 ? QStringList() : QStringList{path.left(folder + below.size() - 1)};
            app.string = appPathFor(path, DesktopEntries::idOf(path, dirs));
            // Two paths that became one app would be a repeat, which the reader refuses.
            if (seen.contains(app.string))
                return true;
            seen << app.string;
            return false;
        });
    }
}

// The configuration's own encoding, as a tree.
std::optional<Node> encodedTree(const DockConfig& config, QString* error) {
    const std::optional<QByteArray> bytes = config.encoded(error);
    if (!bytes)
        return std::nullopt;
    return ConfigJson::parse(*bytes, error);
}

bool isImageName(const QString& name) {
    return name.startsWith(kImageFolder) && name.size() > kImageFolder.size() &&
           ZipArchive::isSafeName(name);
}

template <typename F> void forEachIcon(const Contents& contents, const F& f) {
    const auto icons = [&f](const QList<std::optional<QString>>& list) {
        for (const std::optional<QString>& icon : list) {
            if (icon)
                f(*icon);
        }
    };
    if (contents.kind == Contents::Kind::page) {
        icons(contents.page.customIcons);
        icons(contents.page.onIcons);
        return;
    }
    icons(contents.setup.customIcons);
    icons(contents.setup.onIcons);
    for (const Page& page : contents.setup.pages) {
        icons(page.customIcons);
        icons(page.onIcons);
    }
}

} // namespace

std::optional<QByteArray> encode(const Contents& contents, const DesktopIdOf& desktopIdOf,
                                 QString* error) {
    Node root = Node::object();
    root.insert(QStringLiteral("format"), Node::of(kFormat));
    if (contents.kind == Contents::Kind::setup) {
        std::optional<Node> setup = encodedTree(contents.setup, error);
        if (!setup)
            return std::nullopt;
        addDesktopIds(*setup, desktopIdOf);
        root.insert(QStringLiteral("kind"), Node::of(QStringLiteral("setup")));
        root.insert(QStringLiteral("setup"), std::move(*setup));
    } else {
        // The page as the configuration stores its pages, members and all.
        DockConfig carrier;
        carrier.pages = {contents.page};
        carrier.snippets = contents.snippets;
        std::optional<Node> tree = encodedTree(carrier, error);
        if (!tree)
            return std::nullopt;
        Node page = mutableMember(*tree, u"pages")->children.front();
        addDesktopIds(page, desktopIdOf);
        root.insert(QStringLiteral("kind"), Node::of(QStringLiteral("page")));
        root.insert(QStringLiteral("page"), std::move(page));
        root.insert(QStringLiteral("snippets"), std::move(*mutableMember(*tree, u"snippets")));
    }
    return ConfigJson::write(root, error);
}

std::optional<Contents> decode(QByteArrayView json, const QString& displayName,
                               const AppPathFor& appPathFor, QString* error) {
    const QString file = quoted(displayName);
    QString parseError;
    const std::optional<Node> root = ConfigJson::parse(json, &parseError);
    if (!root || root->type != Node::Type::object) {
        return fail(error, QStringLiteral("The settings in %1 do not decode: %2.")
                               .arg(file, root ? QStringLiteral("not a JSON object") : parseError));
    }
    const Node* formatNode = root->member(u"format");
    const std::optional<int64_t> format =
        formatNode ? ConfigJson::decodeInteger(*formatNode, 1, INT64_MAX) : std::nullopt;
    if (!format)
        return fail(error, QStringLiteral("%1 is not a Velloq file.").arg(file));
    if (*format > kFormat) {
        return fail(error, QStringLiteral("%1 was made by a newer version of Velloq (format %2; "
                                          "this version reads format %3).")
                               .arg(file)
                               .arg(*format)
                               .arg(kFormat));
    }
    const Node* kindNode = root->member(u"kind");
    const QString kind =
        kindNode ? ConfigJson::decodeString(*kindNode).value_or(QString()) : QString();
    const auto undecodable = [&](const QString& what) {
        return fail(error,
                    QStringLiteral("The settings in %1 do not decode (%2).").arg(file, what));
    };

    Contents out;
    if (kind == u"setup") {
        const Node* setup = root->member(u"setup");
        if (!setup || setup->type != Node::Type::object)
            return undecodable(QStringLiteral("setup"));
        Node tree = *setup;
        resolveApps(tree, appPathFor);
        resolvePageApps(mutableMember(tree, u"pages"), appPathFor);
        DockConfig::Decoded decoded = DockConfig::decodeReporting(tree);
        if (!decoded.droppedMembers.isEmpty())
            return undecodable(decoded.droppedMembers.join(QStringLiteral(", ")));
        out.kind = Contents::Kind::setup;
        out.setup = std::move(decoded.config);
    } else if (kind == u"page") {
        const Node* page = root->member(u"page");
        const Node* snippets = root->member(u"snippets");
        if (!page || page->type != Node::Type::object)
            return undecodable(QStringLiteral("page"));
        if (snippets && snippets->type != Node::Type::array)
            return undecodable(QStringLiteral("snippets"));
        // Decoded as the only page of a configuration, by the configuration's own reader.
        Node pages = Node::array();
        pages.append(*page);
        resolveApps(pages, appPathFor);
        resolvePageApps(&pages, appPathFor);
        Node carrier = Node::object();
        carrier.insert(QStringLiteral("pages"), std::move(pages));
        carrier.insert(QStringLiteral("snippets"), snippets ? *snippets : Node::array());
        DockConfig::Decoded decoded = DockConfig::decodeReporting(carrier);
        if (!decoded.droppedMembers.isEmpty() || decoded.config.pages.size() != 1) {
            return undecodable(decoded.droppedMembers.isEmpty()
                                   ? QStringLiteral("page")
                                   : decoded.droppedMembers.join(QStringLiteral(", ")));
        }
        out.kind = Contents::Kind::page;
        out.page = decoded.config.pages.front();
        out.snippets = decoded.config.snippets;
    } else {
        return fail(error, QStringLiteral("%1 is not a Velloq file.").arg(file));
    }

    QString outside;
    forEachIcon(out, [&](const QString& icon) {
        if (outside.isEmpty() && !isImageName(icon))
            outside = icon;
    });
    const QString& animation = out.setup.screensaverAnimation;
    if (out.kind == Contents::Kind::setup && outside.isEmpty() && animation.contains(u'/') &&
        !isImageName(animation))
        outside = animation;
    if (!outside.isEmpty()) {
        return fail(
            error,
            QStringLiteral("%1 names an image that is not in it (%2).").arg(file, quoted(outside)));
    }
    return out;
}

QStringList imageNames(const Contents& contents) {
    QStringList names;
    const auto add = [&names](const QString& name) {
        if (!names.contains(name))
            names << name;
    };
    forEachIcon(contents, add);
    if (contents.kind == Contents::Kind::setup &&
        contents.setup.screensaverAnimation.startsWith(kImageFolder))
        add(contents.setup.screensaverAnimation);
    return names;
}

} // namespace velloq::SetupFile
