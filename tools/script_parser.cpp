#include <cctype>
#include <cmath>
#include <limits>
#include <map>
#include <stdexcept>

#include "tools/export_table.h"
#include "tools/script.h"

namespace cvx::script {
namespace {

constexpr std::uint32_t kMaxBuffer = 1u << 24;  // 16 MiB per variable

struct ParseError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Reads one line token by token.
class Line {
public:
    explicit Line(std::string_view text) : s_(text) {}

    void skip_space() {
        while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\t' || s_[i_] == '\r')) ++i_;
        if (i_ < s_.size() && s_[i_] == '#') i_ = s_.size();
    }
    bool at_end() {
        skip_space();
        return i_ >= s_.size();
    }
    char peek() {
        skip_space();
        return i_ < s_.size() ? s_[i_] : '\0';
    }
    bool accept(std::string_view token) {
        skip_space();
        if (s_.substr(i_, token.size()) != token) return false;
        i_ += token.size();
        return true;
    }
    void expect(std::string_view token) {
        if (!accept(token)) throw ParseError("expected '" + std::string(token) + "'");
    }
    void expect_end() {
        if (!at_end()) throw ParseError("unexpected text: " + std::string(s_.substr(i_)));
    }

    std::string identifier() {
        skip_space();
        const std::size_t start = i_;
        if (i_ < s_.size() && (std::isalpha(static_cast<unsigned char>(s_[i_])) || s_[i_] == '_')) {
            ++i_;
            while (i_ < s_.size() && (std::isalnum(static_cast<unsigned char>(s_[i_])) || s_[i_] == '_')) ++i_;
        }
        if (start == i_) throw ParseError("expected a name");
        return std::string(s_.substr(start, i_ - start));
    }

    // A decimal script number, converted to raw (nearest step of 1/1024).
    std::int32_t number() {
        skip_space();
        const std::size_t start = i_;
        if (i_ < s_.size() && (s_[i_] == '-' || s_[i_] == '+')) ++i_;
        const std::size_t digits = i_;
        while (i_ < s_.size() && (std::isdigit(static_cast<unsigned char>(s_[i_])) || s_[i_] == '.')) ++i_;
        const std::string token(s_.substr(start, i_ - start));
        if (i_ == digits || token.find('.') != token.rfind('.') || token.back() == '.') {
            throw ParseError("malformed number '" + token + "'");
        }
        const double scaled = std::round(std::stod(token) * 1024.0);
        if (!(scaled >= -2147483648.0 && scaled <= 2147483647.0)) {
            throw ParseError("number out of range: " + token);
        }
        return static_cast<std::int32_t>(scaled);
    }

    // An integer for raw(N) and sizes: -2^31 .. 2^32-1, kept as its low 32 bits.
    long long integer() {
        skip_space();
        const std::size_t start = i_;
        if (i_ < s_.size() && s_[i_] == '-') ++i_;
        const std::size_t digits = i_;
        while (i_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[i_]))) ++i_;
        if (i_ == digits || i_ - digits > 10) throw ParseError("expected an integer");
        const long long v = std::stoll(std::string(s_.substr(start, i_ - start)));
        if (v < -2147483648LL || v > 4294967295LL) throw ParseError("integer out of range");
        return v;
    }

    std::int32_t raw_word() {
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(integer()));
    }

    std::int32_t character() {
        expect("'");
        if (i_ >= s_.size()) throw ParseError("unterminated character");
        int c = static_cast<unsigned char>(s_[i_++]);
        if (c == '\\') c = escape();
        if (i_ >= s_.size() || s_[i_] != '\'') throw ParseError("unterminated character");
        ++i_;
        return c * 1024;
    }

    std::string text() {
        expect("\"");
        std::string out;
        while (true) {
            if (i_ >= s_.size()) throw ParseError("unterminated text");
            const char c = s_[i_++];
            if (c == '"') return out;
            out.push_back(c == '\\' ? static_cast<char>(escape()) : c);
        }
    }

private:
    int escape() {
        if (i_ >= s_.size()) throw ParseError("unterminated escape");
        const char c = s_[i_++];
        switch (c) {
            case 'n': return '\n';
            case 't': return '\t';
            case 'r': return '\r';
            case '0': return 0;
            case '\\': return '\\';
            case '"': return '"';
            case '\'': return '\'';
            case 'x': {
                int v = 0;
                for (int k = 0; k < 2; ++k) {
                    if (i_ >= s_.size() || !std::isxdigit(static_cast<unsigned char>(s_[i_]))) {
                        throw ParseError("malformed \\x escape");
                    }
                    const char h = s_[i_++];
                    v = v * 16 + (std::isdigit(static_cast<unsigned char>(h)) ? h - '0' : (std::tolower(h) - 'a' + 10));
                }
                return v;
            }
            default: throw ParseError(std::string("unknown escape \\") + c);
        }
    }

    std::string_view s_;
    std::size_t i_ = 0;
};

enum class VarKind { String, Number, Storage };

class Parser {
public:
    void statement(Line& in, Statement& st) {
        const std::string word = in.identifier();
        if (word == "string") {
            st.kind = Statement::DeclString;
            st.name = declare(in, VarKind::String);
            st.size = size(in);
            if (!in.at_end()) st.text = in.text();
            if (!st.text.empty() && st.text.size() + 1 > st.size) {
                throw ParseError("initial text does not fit capacity " + std::to_string(st.size));
            }
        } else if (word == "number") {
            st.kind = Statement::DeclNumber;
            st.name = declare(in, VarKind::Number);
            if (!in.at_end()) st.value = value_number(in);
        } else if (word == "storage") {
            st.kind = Statement::DeclStorage;
            st.name = declare(in, VarKind::Storage);
            st.size = size(in);
        } else if (word == "print" || word == "check") {
            st.kind = word == "print" ? Statement::Print : Statement::Check;
            st.name = in.identifier();
            const VarKind kind = lookup(st.name);
            if (st.kind == Statement::Check) {
                st.has_expect = true;
                st.expect = value(in);
                if ((kind == VarKind::String) != (st.expect.kind == Value::Text)) {
                    throw ParseError("check of '" + st.name + "' needs a " +
                                     (kind == VarKind::String ? "text" : "number"));
                }
            }
        } else if (word == "repeat") {
            call(in, st, in.identifier());
            if (st.has_expect) throw ParseError("repeat takes 'until', not '=>'");
            st.kind = Statement::Repeat;
            in.expect("until");
            st.has_expect = true;
            st.expect = value(in);
        } else {
            call(in, st, word);
        }
        in.expect_end();
    }

private:
    std::string declare(Line& in, VarKind kind) {
        std::string name = in.identifier();
        if (name == "engine" || name == "null" || name == "raw") throw ParseError("'" + name + "' is reserved");
        if (!vars_.emplace(name, kind).second) throw ParseError("'" + name + "' is already declared");
        return name;
    }

    VarKind lookup(const std::string& name) {
        auto it = vars_.find(name);
        if (it == vars_.end()) throw ParseError("unknown variable '" + name + "'");
        return it->second;
    }

    static std::uint32_t size(Line& in) {
        const long long v = in.integer();
        if (v < 0 || v > kMaxBuffer) throw ParseError("size must be 0 to " + std::to_string(kMaxBuffer));
        return static_cast<std::uint32_t>(v);
    }

    static std::int32_t value_number(Line& in) {
        if (in.peek() == '\'') return in.character();
        if (in.accept("raw")) {
            in.expect("(");
            const std::int32_t v = in.raw_word();
            in.expect(")");
            return v;
        }
        return in.number();
    }

    static Value value(Line& in) {
        Value v;
        if (in.peek() == '"') {
            v.kind = Value::Text;
            v.text = in.text();
        } else if (in.accept("null")) {
            v.kind = Value::Null;
        } else {
            v.raw = value_number(in);
        }
        return v;
    }

    void call(Line& in, Statement& st, const std::string& name) {
        st.kind = Statement::Call;
        st.name = name;
        const ExportInfo* info = find_export(name);
        if (!info) throw ParseError("unknown export '" + name + "'");
        in.expect("(");
        const std::string_view kinds = info->args;
        if (!in.accept(")")) {
            do {
                if (st.args.size() >= kinds.size()) throw too_many(name, kinds.size());
                st.args.push_back(argument(in, kinds[st.args.size()]));
            } while (in.accept(","));
            in.expect(")");
        }
        if (st.args.size() != kinds.size()) throw too_many(name, kinds.size());
        if (in.accept("=>")) {
            st.has_expect = true;
            st.expect = value(in);
            const bool text_result = info->result == 't' || info->result == 'p' || info->result == 'c';
            if (st.expect.kind == Value::Text && !text_result) {
                throw ParseError(name + " returns a number, not a text");
            }
        }
    }

    static ParseError too_many(const std::string& name, std::size_t n) {
        return ParseError(name + " takes " + std::to_string(n) + " argument" + (n == 1 ? "" : "s"));
    }

    Arg argument(Line& in, char kind) {
        Arg a;
        if (in.accept("null")) {
            if (kind == 'n') throw ParseError("null is not a number");
            a.kind = Arg::Null;
            return a;
        }
        if (kind == 'a') {
            in.expect("&");
            a.name = in.identifier();
            if (a.name == "engine") {
                a.kind = Arg::Engine;
            } else {
                if (lookup(a.name) == VarKind::String) throw ParseError("&" + a.name + " is not an address");
                a.kind = Arg::AddressOf;
            }
            return a;
        }
        if (kind == 's') {
            a.name = in.identifier();
            if (lookup(a.name) != VarKind::String) throw ParseError("'" + a.name + "' is not a string");
            a.kind = Arg::StringVar;
            return a;
        }
        const char c = in.peek();
        if (c == '\'' || c == '-' || c == '+' || std::isdigit(static_cast<unsigned char>(c))) {
            a.raw = value_number(in);
            return a;
        }
        a.name = in.identifier();
        if (a.name == "raw") {
            in.expect("(");
            a.raw = in.raw_word();
            in.expect(")");
            return a;
        }
        if (lookup(a.name) != VarKind::Number) throw ParseError("'" + a.name + "' is not a number");
        a.kind = Arg::NumberVar;
        return a;
    }

    std::map<std::string, VarKind> vars_;
};

// The line as written, without its comment and trailing blanks.
std::string without_comment(std::string_view line) {
    char quote = 0;
    std::size_t end = line.size();
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quote) {
            if (c == '\\') ++i;
            else if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '#') {
            end = i;
            break;
        }
    }
    line = line.substr(0, end);
    return std::string(line.substr(0, line.find_last_not_of(" \t\r") + 1));
}

}  // namespace

ParseResult parse(std::string_view source) {
    ParseResult result;
    Parser parser;
    int line_no = 0;
    std::size_t pos = 0;
    while (pos <= source.size()) {
        std::size_t end = source.find('\n', pos);
        if (end == std::string_view::npos) end = source.size();
        const std::string_view text = source.substr(pos, end - pos);
        Line line(text);
        pos = end + 1;
        ++line_no;
        if (line.at_end()) continue;
        Statement st;
        st.line = line_no;
        st.source = without_comment(text);
        try {
            parser.statement(line, st);
        } catch (const std::exception& e) {
            result.error = e.what();
            result.error_line = line_no;
            result.statements.clear();
            return result;
        }
        result.statements.push_back(std::move(st));
    }
    return result;
}

std::string quote(std::string_view text) {
    static const char hex[] = "0123456789abcdef";
    std::string out = "\"";
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '"' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c < 32 || c > 126) {
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += ch;
        }
    }
    return out + "\"";
}

std::string format_number(std::int32_t raw) {
    // Exact: every script number is a multiple of 2^-10, at most ten decimals.
    const long long r = raw;
    const long long int_part = r >= 0 ? r / 1024 : -((-r) / 1024);
    long long frac = (r >= 0 ? r : -r) % 1024;
    std::string out = (r < 0 ? "-" : "") + std::to_string(int_part < 0 ? -int_part : int_part);
    if (frac == 0) return out;
    std::string digits;
    for (int i = 0; i < 10 && frac != 0; ++i) {
        frac *= 10;
        digits += static_cast<char>('0' + frac / 1024);
        frac %= 1024;
    }
    return out + "." + digits;
}

}  // namespace cvx::script
