// The path pieces: they always put the path together again, and the file name never holds a
// separator.
#include "FuzzSupport.h"
#include "app/Format.h"
#include "base/PathPieces.h"
#include "generate/FileFilter.h"

using namespace zandrel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const auto [path, format] = twoTexts(data, size);
    FUZZ_EXPECT(path::folderPart(path) + path::namePart(path) + path::extension(path) == path);
    FUZZ_EXPECT(!path::fileName(path).contains(u'/'));
    FUZZ_EXPECT(path::extension(path).isEmpty() || path::extension(path).startsWith(u'.'));
    FUZZ_EXPECT(!path::extension(path).mid(1).contains(u'.'));
    FUZZ_EXPECT(path::withoutExtension(path) + path::extension(path) == path);
    FUZZ_EXPECT(IsDexmorEntry(path) == (path::namePart(path).toUpper() == QLatin1String("DEXMOR")));

    // Message formats from a language library: whatever they hold, formatting stays bounded.
    const QString formatted = formatText(format, {path, 7, 3, 2.5, 1 << 30, 5, 1e300});
    FUZZ_EXPECT(formatted.size() <= format.size() + path.size() + 4 * 1024 + 64);
    for (const QString &filter : qtNameFilters(format))
        FUZZ_EXPECT(filter.endsWith(u')'));
    return 0;
}
