#include "tools/script_runner.h"

#include <chrono>
#include <cstring>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <thread>

#include "tools/export_table.h"
#include "tools/fake_engine.h"
#include "tools/guarded.h"

namespace cvx::script {
namespace {

using StringVar = GuardedString;

class Runner {
public:
    Runner(const LoadedLibrary& library, std::ostream& out, std::ostream& err)
        : library_(library), out_(out), err_(err) {}

    bool step(const Statement& st) {
        switch (st.kind) {
            case Statement::DeclString: {
                auto var = std::make_unique<StringVar>(st.size);
                var->set(st.text);
                strings_[st.name] = std::move(var);
                return true;
            }
            case Statement::DeclNumber:
            case Statement::DeclStorage: {
                auto block = std::make_unique<Guarded>(st.kind == Statement::DeclNumber ? 4 : st.size);
                if (st.kind == Statement::DeclNumber) std::memcpy(block->data(), &st.value, 4);
                storage_[st.name] = std::move(block);
                return true;
            }
            case Statement::Print:
                out_ << st.name << " = " << describe(st.name) << "\n";
                return true;
            case Statement::Check: {
                const std::string got = describe(st.name);
                const std::string want = st.expect.kind == Value::Text ? quote(st.expect.text)
                                                                       : format_number(st.expect.raw);
                if (got != want) return fail(st, "check failed: " + st.name + " is " + got + ", expected " + want);
                return true;
            }
            case Statement::Call: return call(st, true);
            case Statement::Repeat: return repeat(st);
        }
        return true;
    }

private:
    std::string describe(const std::string& name) {
        if (auto it = strings_.find(name); it != strings_.end()) return quote(it->second->text());
        Guarded& block = *storage_.at(name);
        if (block.size() == 4) {
            std::int32_t v;
            std::memcpy(&v, block.data(), 4);
            return format_number(v);
        }
        std::string hex;
        for (std::size_t i = 0; i < block.size(); ++i) {
            static const char digits[] = "0123456789abcdef";
            hex += digits[block.data()[i] >> 4];
            hex += digits[block.data()[i] & 15];
        }
        return "[" + hex + "]";
    }

    bool fail(const Statement& st, const std::string& message) {
        err_ << "line " << st.line << ": " << message << "\n";
        return false;
    }

    // Once a frame, as a game's script polls, until the expected result.
    bool repeat(const Statement& st) {
        constexpr auto frame = std::chrono::microseconds(16'667);
        const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        const char kind = find_export(st.name)->result;
        for (int calls = 1;; ++calls) {
            if (!call(st, false)) return false;
            if (matches(last_, st.expect)) {
                out_ << st.source << "  ->  " << show(last_, kind) << " after " << calls << " call"
                     << (calls == 1 ? "" : "s") << ", one a frame\n";
                return true;
            }
            if (std::chrono::steady_clock::now() > give_up) {
                return fail(st, "still " + show(last_, kind) + " after 30 s");
            }
            std::this_thread::sleep_for(frame);
        }
    }

    // Calls the export; `shown` prints the call, its result and the strings
    // it changed. The result is kept in last_.
    bool call(const Statement& st, bool shown) {
        const ExportInfo* info = find_export(st.name);
        const AnyExport fn = library_.symbol(st.name.c_str());
        if (!fn) return fail(st, "the library has no export '" + st.name + "'");

        Word words[5] = {};
        std::map<std::string, std::string> before;
        for (std::size_t i = 0; i < st.args.size(); ++i) {
            const Arg& a = st.args[i];
            switch (a.kind) {
                case Arg::Literal: words[i] = raw_result(a.raw); break;
                case Arg::Null: words[i] = 0; break;
                case Arg::Engine: words[i] = reinterpret_cast<Word>(&fake_engine().table); break;
                case Arg::StringVar: {
                    StringVar& v = *strings_.at(a.name);
                    words[i] = reinterpret_cast<Word>(v.rec());
                    before[a.name] = v.bytes();
                    break;
                }
                case Arg::NumberVar: {
                    std::int32_t v;
                    std::memcpy(&v, storage_.at(a.name)->data(), 4);
                    words[i] = raw_result(v);
                    break;
                }
                case Arg::AddressOf: words[i] = reinterpret_cast<Word>(storage_.at(a.name)->data()); break;
            }
        }

        const int lookups_before = fake_engine().name_lookups;
        const Word result = call_export(fn, words, static_cast<int>(st.args.size()));
        const Value got = result_value(info->result, result);
        last_ = got;
        if (shown) out_ << st.source << "  ->  " << show(got, info->result) << "\n";
        if (fake_engine().name_lookups != lookups_before) {
            out_ << "    engine: " << fake_engine().name_lookups - lookups_before << " names looked up\n";
        }

        for (const auto& [name, old] : before) {
            StringVar& v = *strings_.at(name);
            if (!v.intact()) return fail(st, st.name + " wrote outside the string '" + name + "'");
            if (shown && old != v.bytes()) {
                out_ << "    " << name << " = " << quote(v.text()) << "\n";
            }
        }
        for (const auto& [name, block] : storage_) {
            if (!block->intact()) return fail(st, st.name + " wrote outside the storage '" + name + "'");
        }
        if (st.kind == Statement::Call && st.has_expect && !matches(got, st.expect)) {
            return fail(st, "expected " + show(st.expect, info->result) + ", got " + show(got, info->result));
        }
        return true;
    }

    // Address results are followed to their text, as the script would.
    static Value result_value(char kind, Word result) {
        Value v;
        if (kind == 'n' || kind == 'r') {
            v.raw = raw(result);
            return v;
        }
        const char* text = reinterpret_cast<const char*>(result);
        if (kind == 'p' && result != 0) text = reinterpret_cast<const ScriptString*>(result)->chars;
        if (text == nullptr) {
            v.kind = Value::Null;
            return v;
        }
        v.kind = Value::Text;
        v.text = text;
        return v;
    }

    static std::string show(const Value& v, char kind) {
        switch (v.kind) {
            case Value::Null: return "null";
            case Value::Text: return quote(v.text);
            case Value::Number:
                return kind == 'r' ? "raw " + std::to_string(v.raw) : format_number(v.raw);
        }
        return "";
    }

    static bool matches(const Value& got, const Value& want) {
        if (got.kind != want.kind) return false;
        return got.kind == Value::Text ? got.text == want.text : got.raw == want.raw;
    }

    const LoadedLibrary& library_;
    std::ostream& out_;
    std::ostream& err_;
    std::map<std::string, std::unique_ptr<StringVar>> strings_;
    std::map<std::string, std::unique_ptr<Guarded>> storage_;
    Value last_;  // the last call's result
};

}  // namespace

int run(const std::vector<Statement>& statements, const LoadedLibrary& library, std::ostream& out,
        std::ostream& err) {
    Runner runner(library, out, err);
    for (const Statement& st : statements) {
        if (!runner.step(st)) return 1;
    }
    return 0;
}

}  // namespace cvx::script
