// The reader behind ConfigJson::parse(): nlohmann's parser, whose events build Nodes directly.
// Qt's JSON parser holds every number it cannot keep as a 64-bit signed integer as a double,
// so a key combination's "flags" above 2^63 would lose bits; nlohmann gives integers exactly.

#include "config/ConfigJson.h"

#include <nlohmann/json.hpp>

#include <limits>
#include <utility>

namespace velloq::ConfigJson {

namespace {

constexpr size_t kMaxDepth = 512;

using Json = nlohmann::json;

// The handler nlohmann::json::sax_parse() calls; each `false` stops the parse.
class NodeBuilder {
public:
    bool null() { return add(Node::null()); }
    bool boolean(bool value) { return add(Node::of(value)); }
    bool number_integer(Json::number_integer_t value) { return add(Node::of(int64_t(value))); }
    bool number_unsigned(Json::number_unsigned_t value) {
        // Node keeps every integer that fits as signed; only the rest as unsigned.
        if (value <= uint64_t(std::numeric_limits<int64_t>::max()))
            return add(Node::of(int64_t(value)));
        return add(Node::of(uint64_t(value)));
    }
    bool number_float(Json::number_float_t value, const Json::string_t&) {
        return add(Node::of(double(value)));
    }
    bool string(Json::string_t& value) {
        return add(Node::of(QString::fromUtf8(value.data(), qsizetype(value.size()))));
    }
    bool binary(Json::binary_t&) { return false; } // only in binary formats
    bool key(Json::string_t& value) {
        key_ = QString::fromUtf8(value.data(), qsizetype(value.size()));
        return true;
    }
    bool start_object(size_t) { return open(Node::object()); }
    bool start_array(size_t) { return open(Node::array()); }
    bool end_object() { return close(); }
    bool end_array() { return close(); }

    bool parse_error(size_t position, const std::string&, const nlohmann::detail::exception& e) {
        // nlohmann's own message repeats the whole last token, which may be a megabyte.
        const char* what = e.id == 406 ? "number out of range" : "syntax error";
        error_ = QStringLiteral("%1 at byte %2").arg(QLatin1StringView(what)).arg(position);
        return false;
    }

    Node& root() { return root_; }
    const QString& error() const { return error_; }

private:
    bool add(Node value) {
        addNode(std::move(value));
        return true;
    }

    Node& addNode(Node value) {
        if (open_.empty()) {
            root_ = std::move(value);
            return root_;
        }
        Node& parent = *open_.back();
        if (parent.type == Node::Type::object)
            value.key = std::exchange(key_, QString());
        parent.children.push_back(std::move(value));
        return parent.children.back();
    }

    // Only the innermost open container grows, so the pointers to the outer ones stay valid.
    bool open(Node container) {
        if (open_.size() >= kMaxDepth) {
            error_ = QStringLiteral("nested more than %1 levels deep").arg(kMaxDepth);
            return false;
        }
        open_.push_back(&addNode(std::move(container)));
        return true;
    }

    bool close() {
        open_.pop_back();
        return true;
    }

    Node root_;
    std::vector<Node*> open_;
    QString key_;
    QString error_;
};

} // namespace

std::optional<Node> parse(QByteArrayView text, QString* error) {
    NodeBuilder builder;
    // Strict: one value and nothing after it, no comments. A leading byte-order mark is
    // skipped, which editors may put in front.
    if (!Json::sax_parse(text.begin(), text.end(), &builder, Json::input_format_t::json, true,
                         false)) {
        if (error)
            *error = builder.error();
        return std::nullopt;
    }
    return std::move(builder.root());
}

const Node* Node::member(QAnyStringView name) const {
    if (type != Type::object)
        return nullptr;
    // The last of duplicate members counts, as with Qt's parser.
    for (auto it = children.rbegin(); it != children.rend(); ++it) {
        if (QAnyStringView::equal(it->key, name))
            return &*it;
    }
    return nullptr;
}

} // namespace velloq::ConfigJson
