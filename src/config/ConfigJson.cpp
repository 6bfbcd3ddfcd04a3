#include "config/ConfigJson.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <utility>

namespace velloq::ConfigJson {

Node Node::of(bool value) {
    Node n;
    n.type = Type::boolean;
    n.boolean = value;
    return n;
}

Node Node::of(int64_t value) {
    Node n;
    n.type = Type::integer;
    n.integer = value;
    return n;
}

Node Node::of(uint64_t value) {
    Node n;
    n.type = Type::unsignedInteger;
    n.unsignedInteger = value;
    return n;
}

Node Node::of(double value) {
    Node n;
    n.type = Type::floating;
    n.floating = value;
    return n;
}

Node Node::of(const QString& value) {
    Node n;
    n.type = Type::string;
    n.string = value;
    return n;
}

Node Node::array() {
    Node n;
    n.type = Type::array;
    return n;
}

Node Node::object() {
    Node n;
    n.type = Type::object;
    return n;
}

Node& Node::append(Node value) {
    children.push_back(std::move(value));
    return *this;
}

Node& Node::insert(const QString& memberKey, Node value) {
    value.key = memberKey;
    children.push_back(std::move(value));
    return *this;
}

namespace {

// The two-character escapes of JSON strings: the character, and the letter after the
// backslash that stands for it.
constexpr std::array<std::pair<char, char>, 8> kShortEscapes{{{'"', '"'},
                                                              {'\\', '\\'},
                                                              {'/', '/'},
                                                              {'\b', 'b'},
                                                              {'\f', 'f'},
                                                              {'\n', 'n'},
                                                              {'\r', 'r'},
                                                              {'\t', 't'}}};

// For each ASCII character, the letter of its short escape, or 0.
constexpr std::array<char, 128> kEscapeLetters = [] {
    std::array<char, 128> letters{};
    for (const auto& [character, letter] : kShortEscapes)
        letters[size_t(character)] = letter;
    return letters;
}();

// One pass, through a small buffer: strings can be megabytes (a pasted snippet).
void writeString(QByteArray& out, QStringView text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::array<char, 4096> buffer{};
    size_t used = 0;
    const auto put = [&](char c) { buffer[used++] = c; };
    const auto escapeUnit = [&](char16_t c) {
        for (const char e : {'\\', 'u', kHex[(c >> 12) & 0xF], kHex[(c >> 8) & 0xF],
                             kHex[(c >> 4) & 0xF], kHex[c & 0xF]})
            put(e);
    };
    put('"');
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        if (used + 8 > buffer.size()) {
            out.append(buffer.data(), qsizetype(used));
            used = 0;
        }
        const char16_t c = text[i].unicode();
        if (c < 0x80) {
            if (const char letter = kEscapeLetters[c]) {
                put('\\');
                put(letter);
            } else if (c < 0x20) {
                escapeUnit(c);
            } else {
                put(char(c));
            }
        } else if (c < 0x800) {
            put(char(0xC0 | (c >> 6)));
            put(char(0x80 | (c & 0x3F)));
        } else if (QChar::isHighSurrogate(c) && i + 1 < size &&
                   QChar::isLowSurrogate(text[i + 1].unicode())) {
            const char32_t u = QChar::surrogateToUcs4(c, text[++i].unicode());
            put(char(0xF0 | (u >> 18)));
            put(char(0x80 | ((u >> 12) & 0x3F)));
            put(char(0x80 | ((u >> 6) & 0x3F)));
            put(char(0x80 | (u & 0x3F)));
        } else if (QChar::isSurrogate(c)) {
            // A lone surrogate is no character; JSON readers refuse it even escaped, and
            // the whole file with it. U+FFFD in its place, as UTF-8 encoders do.
            for (const char b : {'\xEF', '\xBF', '\xBD'})
                put(b);
        } else {
            put(char(0xE0 | (c >> 12)));
            put(char(0x80 | ((c >> 6) & 0x3F)));
            put(char(0x80 | (c & 0x3F)));
        }
    }
    put('"');
    out.append(buffer.data(), qsizetype(used));
}

template <typename T> void writeNumber(QByteArray& out, T value) {
    std::array<char, 32> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    out.append(buffer.data(), result.ptr - buffer.data());
}

void indent(QByteArray& out, int depth) {
    for (int i = 0; i < depth; ++i)
        out.append("  ", 2);
}

bool writeNode(QByteArray& out, const Node& node, int depth, QString* error) {
    switch (node.type) {
    case Node::Type::null:
        out.append("null");
        return true;
    case Node::Type::boolean:
        out.append(node.boolean ? "true" : "false");
        return true;
    case Node::Type::integer:
        writeNumber(out, node.integer);
        return true;
    case Node::Type::unsignedInteger:
        writeNumber(out, node.unsignedInteger);
        return true;
    case Node::Type::floating:
        if (!std::isfinite(node.floating)) {
            if (error)
                *error = QStringLiteral("Unable to encode %1 directly in JSON.")
                             .arg(std::isnan(node.floating) ? QStringLiteral("Double.nan")
                                                            : QStringLiteral("Double.infinity"));
            return false;
        }
        // -0 would read back as the integer 0 and so be written differently the next time.
        writeNumber(out, node.floating == 0 ? 0.0 : node.floating);
        return true;
    case Node::Type::string:
        writeString(out, node.string);
        return true;
    case Node::Type::array:
    case Node::Type::object:
        break;
    }

    const bool isObject = node.type == Node::Type::object;
    const char open = isObject ? '{' : '[';
    const char close = isObject ? '}' : ']';
    if (node.children.empty()) {
        out.append(open).append(close);
        return true;
    }
    std::vector<const Node*> order;
    order.reserve(node.children.size());
    for (const Node& child : node.children)
        order.push_back(&child);
    if (isObject) {
        std::stable_sort(order.begin(), order.end(),
                         [](const Node* a, const Node* b) { return a->key < b->key; });
    }
    out.append(open).append('\n');
    for (size_t i = 0; i < order.size(); ++i) {
        indent(out, depth + 1);
        if (isObject) {
            writeString(out, order[i]->key);
            out.append(" : ");
        }
        if (!writeNode(out, *order[i], depth + 1, error))
            return false;
        if (i + 1 < order.size())
            out.append(',');
        out.append('\n');
    }
    indent(out, depth);
    out.append(close);
    return true;
}

void fail(QString* error, const QString& description) {
    if (error)
        *error = description;
}

QString expected(const char* what) {
    return QStringLiteral("Expected to decode %1 but found something else.")
        .arg(QLatin1String(what));
}

QString missing(const char* key) {
    return QStringLiteral("No value associated with key \"%1\".").arg(QLatin1String(key));
}

// The member `key` of `object` as a string, or a failure naming what went wrong.
std::optional<QString> stringMember(const Node& object, const char* key, QString* error) {
    const Node* member = object.member(QLatin1String(key));
    if (!member) {
        fail(error, missing(key));
        return std::nullopt;
    }
    auto text = decodeString(*member);
    if (!text)
        fail(error, expected("String"));
    return text;
}

template <typename T>
std::optional<T> rawValueOf(const Node& value, const char* typeName, QString* error) {
    if (value.type != Node::Type::string) {
        fail(error, expected("String"));
        return std::nullopt;
    }
    auto decoded = T::fromRawValue(value.string);
    if (!decoded) {
        fail(error, QStringLiteral("Cannot initialize %1 from invalid String value %2")
                        .arg(QLatin1String(typeName), value.string));
    }
    return decoded;
}

constexpr std::array<const char*, 11> kCaseNames{"nothing",  "app",      "function", "snippet",
                                                 "keys",     "shortcut", "url",      "page",
                                                 "sequence", "toggle",   "wait"};

// The member `key` of `object` as a UUID in the 8-4-4-4-12 form.
std::optional<QUuid> uuidMember(const Node& object, const char* key, QString* error) {
    const auto text = stringMember(object, key, error);
    if (!text)
        return std::nullopt;
    auto id = parseUuid(*text);
    if (!id)
        fail(error, QStringLiteral("Attempted to decode UUID from invalid UUID string."));
    return id;
}

} // namespace

std::optional<QByteArray> write(const Node& node, QString* error) {
    QByteArray out;
    if (!writeNode(out, node, 0, error))
        return std::nullopt;
    out.append('\n');
    return out;
}

QString uuidString(const QUuid& id) {
    return id.toString(QUuid::WithoutBraces).toUpper();
}

std::optional<QUuid> parseUuid(const QString& text) {
    if (text.size() != 36)
        return std::nullopt;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const bool hyphenPlace = i == 8 || i == 13 || i == 18 || i == 23;
        if (hyphenPlace ? c != QLatin1Char('-') : !isxdigit(c.unicode() < 128 ? c.unicode() : 0))
            return std::nullopt;
    }
    const QUuid id = QUuid::fromString(text);
    if (id.isNull() && text != QStringLiteral("00000000-0000-0000-0000-000000000000"))
        return std::nullopt;
    return id;
}

Node encode(ButtonFunction function) {
    return Node::of(function.rawValue());
}
Node encode(KnobRole role) {
    return Node::of(role.rawValue());
}
Node encode(PlaybackMode mode) {
    return Node::of(mode.rawValue());
}

Node encode(const KeyCombo& combo) {
    Node n = Node::object();
    n.insert(QStringLiteral("keyCode"), Node::of(static_cast<int64_t>(combo.keyCode)));
    n.insert(QStringLiteral("flags"), Node::of(combo.flags));
    n.insert(QStringLiteral("display"), Node::of(combo.display));
    return n;
}

Node encode(const Snippet& snippet) {
    Node n = Node::object();
    n.insert(QStringLiteral("id"), Node::of(uuidString(snippet.id)));
    n.insert(QStringLiteral("name"), Node::of(snippet.name));
    n.insert(QStringLiteral("text"), Node::of(snippet.text));
    return n;
}

Node encode(const ButtonAction& action) {
    Node payload = Node::object();
    switch (action.kind()) {
    case ButtonAction::Kind::nothing:
        break;
    case ButtonAction::Kind::app:
        payload.insert(QStringLiteral("path"), Node::of(*action.appPath()));
        break;
    case ButtonAction::Kind::function:
        payload.insert(QStringLiteral("_0"), encode(*action.buttonFunction()));
        break;
    case ButtonAction::Kind::snippet:
        payload.insert(QStringLiteral("id"), Node::of(uuidString(*action.snippetID())));
        break;
    case ButtonAction::Kind::keys:
        payload.insert(QStringLiteral("_0"), encode(*action.keyCombo()));
        break;
    case ButtonAction::Kind::shortcut:
        payload.insert(QStringLiteral("name"), Node::of(*action.shortcutName()));
        break;
    case ButtonAction::Kind::url:
        payload.insert(QStringLiteral("_0"), Node::of(*action.urlText()));
        break;
    case ButtonAction::Kind::page:
        payload.insert(QStringLiteral("id"), Node::of(uuidString(*action.pageID())));
        break;
    case ButtonAction::Kind::sequence: {
        Node steps = Node::array();
        for (const ButtonAction& step : action.innerActions())
            steps.append(encode(step));
        payload.insert(QStringLiteral("steps"), std::move(steps));
        break;
    }
    case ButtonAction::Kind::toggle:
        payload.insert(QStringLiteral("off"), encode(*action.toggleSide(false)));
        payload.insert(QStringLiteral("on"), encode(*action.toggleSide(true)));
        break;
    case ButtonAction::Kind::wait:
        payload.insert(QStringLiteral("ms"), Node::of(int64_t(*action.waitMs())));
        break;
    }
    Node n = Node::object();
    n.insert(QLatin1String(kCaseNames[action.kind()]), std::move(payload));
    return n;
}

std::optional<ButtonFunction> decodeFunction(const Node& value, QString* error) {
    return rawValueOf<ButtonFunction>(value, "ButtonFunction", error);
}

std::optional<KnobRole> decodeKnobRole(const Node& value, QString* error) {
    return rawValueOf<KnobRole>(value, "KnobRole", error);
}

std::optional<PlaybackMode> decodePlaybackMode(const Node& value, QString* error) {
    return rawValueOf<PlaybackMode>(value, "PlaybackMode", error);
}

std::optional<KeyCombo> decodeKeyCombo(const Node& value, QString* error) {
    if (value.type != Node::Type::object) {
        fail(error, expected("Dictionary"));
        return std::nullopt;
    }
    const Node* keyCode = value.member(u"keyCode");
    const Node* flags = value.member(u"flags");
    const Node* display = value.member(u"display");
    if (!keyCode || !flags || !display) {
        fail(error, missing(!keyCode ? "keyCode" : !flags ? "flags" : "display"));
        return std::nullopt;
    }
    const auto code = decodeInteger(*keyCode, 0, UINT16_MAX);
    if (!code) {
        fail(error, QStringLiteral("Parsed JSON number does not fit in UInt16."));
        return std::nullopt;
    }
    const auto mask = decodeUnsigned(*flags);
    if (!mask) {
        fail(error, QStringLiteral("Parsed JSON number does not fit in UInt64."));
        return std::nullopt;
    }
    const auto text = decodeString(*display);
    if (!text) {
        fail(error, expected("String"));
        return std::nullopt;
    }
    return KeyCombo{static_cast<uint16_t>(*code), *mask, *text};
}

std::optional<Snippet> decodeSnippet(const Node& object, QString* error) {
    if (object.type != Node::Type::object) {
        fail(error, expected("Dictionary"));
        return std::nullopt;
    }
    const auto id = uuidMember(object, "id", error);
    if (!id)
        return std::nullopt;
    const auto name = stringMember(object, "name", error);
    if (!name)
        return std::nullopt;
    const auto text = stringMember(object, "text", error);
    if (!text)
        return std::nullopt;
    return Snippet{*id, *name, *text};
}

namespace {

// Where an action is read: a button, a step of a sequence or a side of a toggle; each admits
// its own kinds.
enum class Place { button, step, side };

std::optional<ButtonAction> decodeActionAt(const Node& object, Place place, QString* error,
                                           bool* repaired);

// A sequence's steps: a step that cannot be read or cannot be a step is dropped, and those
// after kMaxSteps; `repaired` tells. No steps left gives `nothing`.
ButtonAction decodeSequence(const Node& payload, bool* repaired) {
    const Node* steps = payload.member(u"steps");
    QList<ButtonAction> kept;
    bool dropped = !steps || steps->type != Node::Type::array;
    if (!dropped) {
        for (const Node& element : steps->children) {
            std::optional<ButtonAction> step =
                decodeActionAt(element, Place::step, nullptr, repaired);
            if (step && kept.size() < ButtonAction::kMaxSteps)
                kept.append(std::move(*step));
            else
                dropped = true;
        }
    }
    if (dropped && repaired)
        *repaired = true;
    return ButtonAction::sequence(kept);
}

// A side that cannot be read, or cannot be a side, is `nothing`; `repaired` tells.
ButtonAction decodeToggle(const Node& payload, bool* repaired) {
    const auto side = [&](const char16_t* name) {
        const Node* member = payload.member(QStringView(name));
        std::optional<ButtonAction> action =
            member ? decodeActionAt(*member, Place::side, nullptr, repaired) : std::nullopt;
        if (!action && repaired)
            *repaired = true;
        return action.value_or(ButtonAction::nothing());
    };
    return ButtonAction::toggle(side(u"off"), side(u"on"));
}

} // namespace

std::optional<ButtonAction> decodeAction(const Node& object, QString* error, bool* repaired) {
    return decodeActionAt(object, Place::button, error, repaired);
}

namespace {

std::optional<ButtonAction> decodeActionAt(const Node& object, Place place, QString* error,
                                           bool* repaired) {
    if (object.type != Node::Type::object) {
        fail(error, expected("Dictionary"));
        return std::nullopt;
    }
    int found = -1;
    int count = 0;
    const Node* payload = nullptr;
    for (size_t i = 0; i < kCaseNames.size(); ++i) {
        if (const Node* member = object.member(QLatin1String(kCaseNames[i]))) {
            found = static_cast<int>(i);
            payload = member;
            ++count;
        }
    }
    if (count != 1) {
        fail(error, QStringLiteral("Invalid number of keys found, expected one."));
        return std::nullopt;
    }
    if (payload->type != Node::Type::object) {
        fail(error, expected("Dictionary"));
        return std::nullopt;
    }
    const auto unlabelled = [&]() -> const Node* {
        const Node* member = payload->member(u"_0");
        if (!member)
            fail(error, missing("_0"));
        return member;
    };
    const ButtonAction::Kind kind = static_cast<ButtonAction::Kind::Value>(found);
    const QList<ButtonAction::Kind>& admitted =
        place == Place::step   ? ButtonAction::Kind::stepCases()
        : place == Place::side ? ButtonAction::Kind::sideCases()
                               : ButtonAction::Kind::allCases();
    if (!admitted.contains(kind)) {
        fail(error,
             QStringLiteral("\"%1\" cannot be used here.").arg(QLatin1String(kCaseNames[found])));
        return std::nullopt;
    }

    switch (kind) {
    case ButtonAction::Kind::nothing:
        return ButtonAction::nothing();
    case ButtonAction::Kind::app:
        if (auto path = stringMember(*payload, "path", error))
            return ButtonAction::app(*path);
        return std::nullopt;
    case ButtonAction::Kind::function:
        if (const Node* member = unlabelled()) {
            if (auto function = decodeFunction(*member, error))
                return ButtonAction::function(*function);
        }
        return std::nullopt;
    case ButtonAction::Kind::snippet:
        if (auto id = uuidMember(*payload, "id", error))
            return ButtonAction::snippet(*id);
        return std::nullopt;
    case ButtonAction::Kind::page:
        if (auto id = uuidMember(*payload, "id", error))
            return ButtonAction::page(*id);
        return std::nullopt;
    case ButtonAction::Kind::keys:
        if (const Node* member = unlabelled()) {
            if (auto combo = decodeKeyCombo(*member, error))
                return ButtonAction::keys(*combo);
        }
        return std::nullopt;
    case ButtonAction::Kind::shortcut:
        if (auto name = stringMember(*payload, "name", error))
            return ButtonAction::shortcut(*name);
        return std::nullopt;
    case ButtonAction::Kind::url:
        if (const Node* member = unlabelled()) {
            if (auto text = decodeString(*member))
                return ButtonAction::url(*text);
            fail(error, expected("String"));
        }
        return std::nullopt;
    case ButtonAction::Kind::sequence:
        return decodeSequence(*payload, repaired);
    case ButtonAction::Kind::toggle:
        return decodeToggle(*payload, repaired);
    case ButtonAction::Kind::wait: {
        const Node* ms = payload->member(u"ms");
        if (!ms) {
            fail(error, missing("ms"));
            return std::nullopt;
        }
        if (const auto value = decodeInteger(*ms, 0, ButtonAction::kMaxWaitMs))
            return ButtonAction::wait(int(*value));
        fail(error, QStringLiteral("A wait is 0 to %1 ms.").arg(ButtonAction::kMaxWaitMs));
        return std::nullopt;
    }
    }
    return std::nullopt;
}

} // namespace

std::optional<int64_t> decodeInteger(const Node& value, int64_t min, int64_t max) {
    int64_t integer = 0;
    switch (value.type) {
    case Node::Type::integer:
        integer = value.integer;
        break;
    case Node::Type::floating: {
        // 1e2 or 90.0: integral, so taken, as long as it fits.
        const double d = value.floating;
        if (!(std::floor(d) == d && d >= -9223372036854775808.0 && d < 9223372036854775808.0))
            return std::nullopt;
        integer = static_cast<int64_t>(d);
        break;
    }
    default: // unsignedInteger is beyond every signed range
        return std::nullopt;
    }
    if (integer < min || integer > max)
        return std::nullopt;
    return integer;
}

std::optional<uint64_t> decodeUnsigned(const Node& value) {
    if (value.type == Node::Type::unsignedInteger)
        return value.unsignedInteger;
    if (value.type == Node::Type::floating) {
        const double d = value.floating;
        if (std::floor(d) == d && d >= 0 && d < 18446744073709551616.0)
            return static_cast<uint64_t>(d);
        return std::nullopt;
    }
    if (auto integer = decodeInteger(value, 0, INT64_MAX))
        return static_cast<uint64_t>(*integer);
    return std::nullopt;
}

std::optional<double> decodeDouble(const Node& value) {
    switch (value.type) {
    case Node::Type::floating:
        if (!std::isfinite(value.floating))
            return std::nullopt;
        return value.floating;
    case Node::Type::integer:
        return static_cast<double>(value.integer);
    case Node::Type::unsignedInteger:
        return static_cast<double>(value.unsignedInteger);
    default:
        return std::nullopt;
    }
}

std::optional<bool> decodeBool(const Node& value) {
    if (value.type != Node::Type::boolean)
        return std::nullopt;
    return value.boolean;
}

std::optional<QString> decodeString(const Node& value) {
    if (value.type != Node::Type::string)
        return std::nullopt;
    return value.string;
}

} // namespace velloq::ConfigJson
