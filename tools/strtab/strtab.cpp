// Turns a UTF-8 string table into C source.
// Input: one "id<TAB>text" per line; "\t", "\n" and "\\" in the text stand for a tab, a line
// break and a backslash; empty lines and lines starting with "#" are skipped.
// Output: a C file defining <symbol>[] (sorted by id) and <symbol-without-_table>_count.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>

#include "StringTableParser.h"

namespace {

std::string cLiteral(const std::string &text)
{
    std::string out = "\"";
    char buffer[8];
    for (unsigned char c : text) {
        if (c >= 0x20 && c < 0x7f && c != '"' && c != '\\' && c != '?') {
            out += static_cast<char>(c);
        } else {
            std::snprintf(buffer, sizeof buffer, "\\%03o", c);
            out += buffer;
        }
    }
    return out + "\"";
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 4) {
        std::cerr << "usage: zandrel-strtab <table.tsv> <output.c> <symbol>\n";
        return 2;
    }
    const std::string inputPath = argv[1];
    const std::string symbol = argv[3];
    std::ifstream input(inputPath, std::ios::binary);
    if (!input) {
        std::cerr << inputPath << ": cannot be read\n";
        return 1;
    }

    std::map<long, std::string> table;
    std::string error;
    int lineNumber = 0;
    if (!zandrel::parseStringTable(input, table, error, lineNumber)) {
        std::cerr << inputPath << ":" << lineNumber << ": " << error << "\n";
        return 1;
    }

    std::ostringstream out;
    out << "/* Generated from " << inputPath << " by zandrel-strtab; do not edit. */\n"
        << "#include <stddef.h>\n"
        << "typedef struct { int id; const char *text; } Entry;\n"
        << "__attribute__((visibility(\"default\"))) const Entry " << symbol << "[] = {\n";
    for (const auto &[id, text] : table)
        out << "    {" << id << ", " << cLiteral(text) << "},\n";
    if (table.empty())
        out << "    {0, 0},\n";
    const std::string countSymbol = symbol.size() > 6 && symbol.ends_with("_table")
                                        ? symbol.substr(0, symbol.size() - 6) + "_count"
                                        : symbol + "_count";
    out << "};\n__attribute__((visibility(\"default\"))) const size_t " << countSymbol << " = " << table.size()
        << ";\n";

    const std::string outputPath = argv[2];
    const std::string temporaryPath = outputPath + ".part";
    {
        std::ofstream output(temporaryPath, std::ios::binary | std::ios::trunc);
        output << out.str();
        if (!output.flush()) {
            std::cerr << temporaryPath << ": cannot be written\n";
            return 1;
        }
    }
    if (std::rename(temporaryPath.c_str(), outputPath.c_str()) != 0) {
        std::cerr << outputPath << ": cannot be written\n";
        return 1;
    }
    return 0;
}
