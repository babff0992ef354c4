#include "database/option_file.h"

#include <fstream>
#include <sstream>
#include <string>

namespace cvx::database {
namespace {

// Longer values are no sensible timeout (and would not fit the option).
constexpr std::size_t kMostDigits = 9;

std::string_view trimmed(std::string_view s) {
    const auto first = s.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return {};
    return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

// The key as the client library compares it: dashes and underscores alike,
// case ignored.
std::string normalised(std::string_view key) {
    std::string out;
    for (char c : key) {
        if (c == '_') c = '-';
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        out.push_back(c);
    }
    return out;
}

std::string_view unquoted(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
        value = trimmed(value.substr(1, value.size() - 2));
    }
    return value;
}

// Whole seconds; 0 for anything else.
unsigned seconds(std::string_view value) {
    value = unquoted(value);
    if (value.empty() || value.size() > kMostDigits) return 0;
    unsigned n = 0;
    for (char c : value) {
        if (c < '0' || c > '9') return 0;
        n = n * 10 + static_cast<unsigned>(c - '0');
    }
    return n;
}

// A switch is on unless it says 0, false, off or no (a bare key is on).
bool switched_on(std::string_view value) {
    const std::string v = normalised(unquoted(value));
    return v != "0" && v != "false" && v != "off" && v != "no";
}

}  // namespace

OptionFileSettings option_file_settings(std::string_view text) {
    OptionFileSettings settings;
    bool in_client_group = false;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = trimmed(text.substr(pos, end - pos));
        pos = end + 1;
        if (line.empty() || line.front() == '#' || line.front() == ';') continue;
        if (line.front() == '[') {
            const auto close = line.find(']');
            const std::string group = normalised(trimmed(line.substr(1, close == std::string_view::npos ? 0 : close - 1)));
            in_client_group = group == "client" || group == "client-mariadb";
            continue;
        }
        if (!in_client_group) continue;
        const auto equals = line.find('=');
        const std::string key = normalised(trimmed(line.substr(0, equals)));
        std::string_view value = equals == std::string_view::npos ? std::string_view() : line.substr(equals + 1);
        value = trimmed(value.substr(0, value.find(" #")));
        if (key == "read-timeout") settings.read_timeout = seconds(value);
        if (key == "write-timeout") settings.write_timeout = seconds(value);
        if (key == "reconnect") settings.reconnect = switched_on(value);
    }
    return settings;
}

OptionFileSettings option_file_settings_of(const char* path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return {};
    std::ostringstream text;
    text << file.rdbuf();
    return option_file_settings(text.str());
}

}  // namespace cvx::database
