// Reading the section names of freetds.conf.
#include "FreetdsConf.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>

namespace tovrin::browse {

namespace {

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return {};
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

std::string lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

} // namespace

std::string freetdsConfPath() {
    if (const char* named = std::getenv("FREETDSCONF"); named != nullptr && *named != '\0')
        return named;
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        const std::string own = std::string(home) + "/.freetds.conf";
        if (std::ifstream(own).good())
            return own;
    }
    return "/etc/freetds/freetds.conf";
}

std::vector<std::string> serverNames(std::istream& conf) {
    std::vector<std::string> names;
    std::vector<std::string> seen;
    std::string line;
    while (std::getline(conf, line)) {
        const std::string text = trimmed(line);
        if (text.size() < 3 || text.front() != '[' || text.back() != ']')
            continue;
        const std::string name = trimmed(text.substr(1, text.size() - 2));
        const std::string key = lowered(name);
        if (name.empty() || key == "global" ||
            std::find(seen.begin(), seen.end(), key) != seen.end())
            continue;
        seen.push_back(key);
        names.push_back(name);
    }
    return names;
}

std::vector<std::string> serverNamesIn(const std::string& path) {
    std::ifstream conf(path);
    if (!conf)
        return {};
    return serverNames(conf);
}

} // namespace tovrin::browse
