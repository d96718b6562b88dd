// The language-table builder: any table is read without harm, and a table written from what
// was read reads back the same.
#include "FuzzSupport.h"
#include "StringTableParser.h"

#include <sstream>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::istringstream input(std::string(reinterpret_cast<const char *>(data), size));
    std::map<long, std::string> table;
    std::string error;
    int line = 0;
    if (!zandrel::parseStringTable(input, table, error, line)) {
        FUZZ_EXPECT(!error.empty() && line > 0);
        return 0;
    }
    std::ostringstream written;
    for (const auto &[id, text] : table)
        written << id << '\t' << zandrel::escapeTableText(text) << '\n';
    std::istringstream again(written.str());
    std::map<long, std::string> reread;
    FUZZ_EXPECT(zandrel::parseStringTable(again, reread, error, line));
    FUZZ_EXPECT(reread == table);
    return 0;
}
