#pragma once

// JSON forms of the configuration values. Read through nlohmann's parser and written by our
// own small writer: the file's layout is fixed (pretty-printed, members sorted by key at
// every level, "/" escaped as "\/", floats in their shortest round-trip form), and integers
// must be read exactly, up to the full unsigned 64-bit range, which Qt's parser holds as
// doubles.

#include "config/ActionModel.h"

#include <QAnyStringView>
#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace velloq::ConfigJson {

// A JSON value, read or to be written. Objects keep their members in `children`, each named
// by its `key`; the writer sorts them. The reader gives integral numbers without fraction or
// exponent as `integer` (when they fit) or `unsignedInteger`, any other number as `floating`.
struct Node {
    enum class Type { null, boolean, integer, unsignedInteger, floating, string, array, object };

    Type type = Type::null;
    bool boolean = false;
    int64_t integer = 0;
    uint64_t unsignedInteger = 0;
    double floating = 0;
    QString string;
    QString key;
    std::vector<Node> children;

    static Node null() { return Node{}; }
    static Node of(bool value);
    static Node of(int64_t value);
    static Node of(uint64_t value);
    static Node of(double value);
    static Node of(const QString& value);
    static Node array();
    static Node object();

    // Appends an element (array) or a member (object).
    Node& append(Node value);
    Node& insert(const QString& memberKey, Node value);
    // The member named `name` of an object (the last one, if named twice); null otherwise.
    const Node* member(QAnyStringView name) const;
    bool isNull() const { return type == Type::null; }
};

// Reads one JSON text (RFC 8259, UTF-8, after an optional byte-order mark), nested at most
// 512 levels deep. Nothing, with `error` set, when it is not valid.
std::optional<Node> parse(QByteArrayView text, QString* error = nullptr);

// The pretty-printed text, ending in a newline. Nothing (with `error` set) for a float that
// is not finite, which JSON cannot hold.
std::optional<QByteArray> write(const Node& node, QString* error = nullptr);

// The canonical upper-case 36-character form, 8-4-4-4-12.
QString uuidString(const QUuid& id);
// Accepts only the 8-4-4-4-12 form (either case), no braces.
std::optional<QUuid> parseUuid(const QString& text);

Node encode(const ButtonAction& action);
Node encode(const KeyCombo& combo);
Node encode(const Snippet& snippet);
Node encode(ButtonFunction function);
Node encode(KnobRole role);
Node encode(PlaybackMode mode);

// Decoders give nothing for a value of the wrong shape; `error`, when given, gets the
// failure's description (for an action with no or several case names:
// "Invalid number of keys found, expected one.").
// An action is a button's: a wait fails. Inside it reading is tolerant: a step of a sequence
// that cannot be read (or is a sequence or a toggle) is dropped, a sequence left without steps
// is `nothing`, and a side of a toggle that cannot be read (or is a toggle or a wait) is
// `nothing`; `repaired`, when given, is set when any of that happened.
std::optional<ButtonAction> decodeAction(const Node& value, QString* error = nullptr,
                                         bool* repaired = nullptr);
std::optional<KeyCombo> decodeKeyCombo(const Node& value, QString* error = nullptr);
std::optional<Snippet> decodeSnippet(const Node& value, QString* error = nullptr);
std::optional<ButtonFunction> decodeFunction(const Node& value, QString* error = nullptr);
std::optional<KnobRole> decodeKnobRole(const Node& value, QString* error = nullptr);
std::optional<PlaybackMode> decodePlaybackMode(const Node& value, QString* error = nullptr);

// Scalars as the file's readers take them: numbers must be integral and in range for the
// integer types and finite for floats; no conversions between JSON types.
std::optional<int64_t> decodeInteger(const Node& value, int64_t min, int64_t max);
std::optional<uint64_t> decodeUnsigned(const Node& value);
std::optional<double> decodeDouble(const Node& value);
std::optional<bool> decodeBool(const Node& value);
std::optional<QString> decodeString(const Node& value);

} // namespace velloq::ConfigJson
