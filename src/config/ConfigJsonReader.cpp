// The reader behind ConfigJson::parse(). Qt's JSON parser holds every number it cannot keep
// as a 64-bit signed integer as a double, so a key combination's "flags" above 2^63 would
// lose bits; this one keeps integers exactly and otherwise reads JSON as Qt does: strict
// syntax, valid UTF-8, lone surrogates allowed in \u escapes, the last of duplicate members.

#include "config/ConfigJson.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace velloq::ConfigJson {

namespace {

constexpr int kMaxDepth = 512;

class Reader {
public:
    explicit Reader(QByteArrayView text)
        : begin_(text.data())
        , p_(text.data())
        , end_(text.data() + text.size()) {}

    std::optional<Node> document(QString* error) {
        Node root;
        skipSpace();
        bool ok = value(root, 0);
        skipSpace();
        if (ok && p_ != end_)
            ok = fail("garbage after the value");
        if (!ok) {
            if (error)
                *error = error_;
            return std::nullopt;
        }
        return root;
    }

private:
    bool fail(const char* what) {
        error_ = QStringLiteral("%1 at offset %2").arg(QLatin1String(what)).arg(p_ - begin_);
        return false;
    }

    bool at(char c) const { return p_ != end_ && *p_ == c; }
    static bool isDigit(char c) { return c >= '0' && c <= '9'; }

    void skipSpace() {
        while (p_ != end_ && (*p_ == ' ' || *p_ == '\t' || *p_ == '\n' || *p_ == '\r'))
            ++p_;
    }

    bool literal(QByteArrayView word) {
        if (end_ - p_ < word.size() || QByteArrayView(p_, word.size()) != word)
            return fail("invalid value");
        p_ += word.size();
        return true;
    }

    // Fills `out` but leaves its key alone: object members are named before they are read.
    bool value(Node& out, int depth) {
        if (p_ == end_)
            return fail("unexpected end");
        switch (*p_) {
        case '{':
        case '[':
            if (depth >= kMaxDepth)
                return fail("too deeply nested");
            return *p_ == '{' ? object(out, depth + 1) : array(out, depth + 1);
        case '"':
            out.type = Node::Type::string;
            return string(out.string);
        case 't':
        case 'f':
            out.type = Node::Type::boolean;
            out.boolean = *p_ == 't';
            return literal(out.boolean ? "true" : "false");
        case 'n':
            out.type = Node::Type::null;
            return literal("null");
        default:
            return number(out);
        }
    }

    // The elements of an object or array after its opening bracket, up to `close`.
    template <typename ReadElement>
    bool elements(char close, const char* expectedSeparator, ReadElement readElement) {
        ++p_;
        skipSpace();
        if (at(close)) {
            ++p_;
            return true;
        }
        for (;;) {
            skipSpace();
            if (!readElement())
                return false;
            skipSpace();
            if (at(',')) {
                ++p_;
                continue;
            }
            if (at(close)) {
                ++p_;
                return true;
            }
            return fail(expectedSeparator);
        }
    }

    bool object(Node& out, int depth) {
        out.type = Node::Type::object;
        return elements('}', "expected ',' or '}'", [&] {
            if (!at('"'))
                return fail("expected a member name");
            Node member;
            if (!string(member.key))
                return false;
            skipSpace();
            if (!at(':'))
                return fail("expected ':'");
            ++p_;
            skipSpace();
            if (!value(member, depth))
                return false;
            out.children.push_back(std::move(member));
            return true;
        });
    }

    bool array(Node& out, int depth) {
        out.type = Node::Type::array;
        return elements(']', "expected ',' or ']'", [&] {
            Node element;
            if (!value(element, depth))
                return false;
            out.children.push_back(std::move(element));
            return true;
        });
    }

    int hexDigit(char c) const {
        if (isDigit(c))
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    }

    // One UTF-8 sequence, strictly: no overlong forms, no surrogates, nothing past U+10FFFF.
    bool utf8(QString& out) {
        const auto lead = static_cast<unsigned char>(*p_);
        int length = 0;
        char32_t code = 0;
        char32_t least = 0;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2, code = lead & 0x1F, least = 0x80;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3, code = lead & 0x0F, least = 0x800;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4, code = lead & 0x07, least = 0x10000;
        } else {
            return fail("invalid UTF-8");
        }
        if (end_ - p_ < length)
            return fail("invalid UTF-8");
        for (int i = 1; i < length; ++i) {
            const auto next = static_cast<unsigned char>(p_[i]);
            if ((next & 0xC0) != 0x80)
                return fail("invalid UTF-8");
            code = (code << 6) | (next & 0x3F);
        }
        if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return fail("invalid UTF-8");
        p_ += length;
        if (code >= 0x10000) {
            out.append(QChar(QChar::highSurrogate(code)));
            out.append(QChar(QChar::lowSurrogate(code)));
        } else {
            out.append(QChar(char16_t(code)));
        }
        return true;
    }

    bool string(QString& out) {
        ++p_;
        for (;;) {
            // Plain ASCII in one go; strings can be megabytes.
            const char* run = p_;
            while (p_ != end_ && static_cast<unsigned char>(*p_) >= 0x20 &&
                   static_cast<unsigned char>(*p_) < 0x80 && *p_ != '"' && *p_ != '\\')
                ++p_;
            if (p_ != run)
                out.append(QLatin1StringView(run, p_ - run));
            if (p_ == end_)
                return fail("unterminated string");
            const auto c = static_cast<unsigned char>(*p_);
            if (c == '"') {
                ++p_;
                return true;
            }
            if (c < 0x20)
                return fail("control character in a string");
            if (c >= 0x80) {
                if (!utf8(out))
                    return false;
                continue;
            }
            // A backslash.
            if (++p_ == end_)
                return fail("unterminated string");
            const char e = *p_++;
            const auto shortEscape =
                std::find_if(kShortEscapes.begin(), kShortEscapes.end(),
                             [e](const std::pair<char, char>& entry) { return entry.second == e; });
            if (shortEscape != kShortEscapes.end()) {
                out.append(QLatin1Char(shortEscape->first));
                continue;
            }
            if (e != 'u') {
                --p_;
                return fail("invalid escape");
            }
            if (end_ - p_ < 4)
                return fail("invalid escape");
            int unit = 0;
            for (int i = 0; i < 4; ++i) {
                const int digit = hexDigit(p_[i]);
                if (digit < 0)
                    return fail("invalid escape");
                unit = unit * 16 + digit;
            }
            p_ += 4;
            out.append(QChar(char16_t(unit)));
        }
    }

    bool digits() {
        if (p_ == end_ || !isDigit(*p_))
            return fail("invalid number");
        while (p_ != end_ && isDigit(*p_))
            ++p_;
        return true;
    }

    bool number(Node& out) {
        const char* start = p_;
        if (at('-'))
            ++p_;
        if (p_ == end_ || !isDigit(*p_))
            return fail("invalid value");
        if (at('0'))
            ++p_;
        else
            digits();
        bool integral = true;
        bool negativeExponent = false;
        if (at('.')) {
            ++p_;
            integral = false;
            if (!digits())
                return false;
        }
        if (at('e') || at('E')) {
            ++p_;
            integral = false;
            negativeExponent = at('-');
            if (at('+') || at('-'))
                ++p_;
            if (!digits())
                return false;
        }
        if (integral) {
            if (*start == '-') {
                int64_t value = 0;
                if (std::from_chars(start, p_, value).ec == std::errc()) {
                    out.type = Node::Type::integer;
                    out.integer = value;
                    return true;
                }
            } else {
                uint64_t value = 0;
                if (std::from_chars(start, p_, value).ec == std::errc()) {
                    if (value <= uint64_t(std::numeric_limits<int64_t>::max())) {
                        out.type = Node::Type::integer;
                        out.integer = int64_t(value);
                    } else {
                        out.type = Node::Type::unsignedInteger;
                        out.unsignedInteger = value;
                    }
                    return true;
                }
            }
        }
        double value = 0;
        const auto result = std::from_chars(start, p_, value);
        if (result.ec == std::errc::result_out_of_range) {
            // Too small is zero; too large is infinite, which no field accepts.
            const double magnitude =
                negativeExponent ? 0.0 : std::numeric_limits<double>::infinity();
            value = *start == '-' ? -magnitude : magnitude;
        } else if (result.ec != std::errc()) {
            return fail("invalid number");
        }
        out.type = Node::Type::floating;
        out.floating = value;
        return true;
    }

    const char* begin_;
    const char* p_;
    const char* end_;
    QString error_;
};

} // namespace

std::optional<Node> parse(QByteArrayView text, QString* error) {
    return Reader(text).document(error);
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
