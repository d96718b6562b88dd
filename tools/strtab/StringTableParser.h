#pragma once

// Reads a UTF-8 string table: one "id<TAB>text" per line; "\t", "\n", "\r" and "\\" in the
// text stand for a tab, a line feed, a carriage return and a backslash; empty lines and lines starting with "#" are
// skipped. Plain C++, so that the build tool and the fuzz target share it.
#include <cerrno>
#include <cstdlib>
#include <istream>
#include <map>
#include <string>

namespace zandrel {

inline bool unescapeTableText(const std::string &in, std::string &out, std::string &error)
{
    out.clear();
    for (std::size_t i = 0; i < in.size(); ++i) {
        if (in[i] != '\\') {
            out += in[i];
            continue;
        }
        if (i + 1 == in.size()) {
            error = "a backslash ends the text";
            return false;
        }
        switch (in[++i]) {
        case 't': out += '\t'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case '\\': out += '\\'; break;
        default: error = std::string("unknown escape \\") + in[i]; return false;
        }
    }
    return true;
}

inline std::string escapeTableText(const std::string &text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\\': out += "\\\\"; break;
        default: out += c;
        }
    }
    return out;
}

// False with the error and its line number when a line cannot be read.
inline bool parseStringTable(std::istream &input, std::map<long, std::string> &table, std::string &error,
                             int &lineNumber)
{
    std::string line;
    lineNumber = 0;
    while (std::getline(input, line)) {
        ++lineNumber;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (lineNumber == 1 && line.rfind("\xEF\xBB\xBF", 0) == 0)
            line.erase(0, 3);
        if (line.empty() || line[0] == '#')
            continue;
        const auto tab = line.find('\t');
        char *end = nullptr;
        errno = 0;
        const long id = tab == std::string::npos ? 0 : std::strtol(line.c_str(), &end, 10);
        if (tab == std::string::npos || tab == 0 || end != line.c_str() + tab || errno != 0
            || id < -2147483647L - 1 || id > 2147483647L) {
            error = "expected a string id, a tab and the text";
            return false;
        }
        if (table.count(id)) {
            error = "string id " + std::to_string(id) + " appears twice";
            return false;
        }
        std::string text;
        if (!unescapeTableText(line.substr(tab + 1), text, error))
            return false;
        table.emplace(id, std::move(text));
    }
    return true;
}

} // namespace zandrel
