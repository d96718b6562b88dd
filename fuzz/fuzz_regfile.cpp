// The settings file reader: any bytes are read without harm and written back unchanged, and a
// value set in a file read from them reads back as it was set.
#include "FuzzSupport.h"
#include "settings/RegFile.h"

using zandrel::settings::RegFile;
using zandrel::settings::RegistryValue;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const RegFile file = RegFile::parse(bytes);
    // An empty file, or one that holds only a byte order mark, is a new one and gets its header;
    // every other file keeps every byte.
    const bool empty = bytes.isEmpty() || bytes == "\xFF\xFE" || bytes == "\xEF\xBB\xBF";
    FUZZ_EXPECT(empty || file.toBytes() == bytes);

    const QString key = QStringLiteral("HKEY_CURRENT_USER\\Software\\Veltrix\\Zandrel");
    const QString text = QString::fromUtf8(bytes.left(200));
    const std::vector<RegistryValue> values = {RegistryValue::string(QStringLiteral("Fuzzed"), text),
                                               RegistryValue::number(QStringLiteral("Count"), quint32(size))};
    if (!RegFile::valueLineProblem(values[0]).isEmpty())
        return 0;
    RegFile changed = RegFile::parse(bytes);
    changed.setValues(key, values);
    const RegFile reread = RegFile::parse(changed.toBytes());
    const auto read = reread.keyValues(key);
    FUZZ_EXPECT(read.has_value());
    int found = 0;
    for (const RegistryValue &value : *read) {
        if (value.name.compare(QLatin1String("Fuzzed"), Qt::CaseInsensitive) == 0) {
            FUZZ_EXPECT(value.text == text);
            ++found;
        } else if (value.name.compare(QLatin1String("Count"), Qt::CaseInsensitive) == 0) {
            FUZZ_EXPECT(value.dword == quint32(size));
            ++found;
        }
    }
    FUZZ_EXPECT(found == 2);
    return 0;
}
