#pragma once

#include "RegistryStore.h"

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <optional>
#include <vector>

namespace zandrel::settings {

// Key paths and value names compare like on Windows: ASCII letters without regard to case.
bool equalsIgnoringAsciiCase(QStringView a, QStringView b);

// One .reg file in the registry-export format, held as its original lines so that a change
// rewrites only the lines it must and every other byte of the file stays as it was.
class RegFile {
public:
    enum class Encoding { Utf8, Utf16LE };

    // A new file holding only the header line.
    RegFile();
    // Never fails: lines that cannot be understood are kept as they are and ignored.
    static RegFile parse(const QByteArray &bytes);
    QByteArray toBytes() const;

    Encoding encoding() const { return m_encoding; }

    // The values of the key with the given full path (hive included), in file order, with
    // all the key's sections taken as one; nullopt when the file has no such key.
    std::optional<std::vector<RegistryValue>> keyValues(const QString &fullKeyPath) const;

    // Sets the values in the key (adding the key's section at the end when missing). An existing
    // value keeps its place and its name's spelling; a new one goes to the end of the key's last
    // section. Values must have passed valueLineProblem().
    void setValues(const QString &fullKeyPath, const std::vector<RegistryValue> &values);

    // Why the value cannot be stored in a .reg file, or an empty string when it can.
    static QString valueLineProblem(const RegistryValue &value);
    // The text for a value as regedit would write it, without a final line ending; a long hex
    // value continues over several lines joined by lineEnding.
    static QString valueLine(const RegistryValue &value, const QString &lineEnding = QStringLiteral("\n"));

private:
    // One logical line: a hex value may continue over several physical lines.
    struct Entry {
        enum class Kind { Blank, Comment, Section, Value, Other };
        Kind kind = Kind::Other;
        QByteArray raw;                     // the exact bytes in the file's encoding, line endings included
        QString sectionPath;                // Section: the full key path between the brackets
        QString valueName;                  // Value: the name, known even when the data is unreadable
        std::optional<RegistryValue> value; // Value: nullopt when the data cannot be read
    };

    static Entry parseEntry(const QString &text);
    QString decode(const QByteArray &bytes, bool *ok) const;
    QByteArray encode(const QString &text) const;
    QString lineEnding() const;
    QByteArray lineEndingOf(const QByteArray &raw) const;
    // Indexes of the entries starting a section of the key (keys nest: a parent key exists
    // when only its subkey has a section, see hasKey()).
    std::vector<std::size_t> sectionsOf(const QString &fullKeyPath) const;
    std::size_t sectionEnd(std::size_t sectionIndex) const;
    bool hasKey(const QString &fullKeyPath) const;
    void insertEntry(std::size_t position, Entry entry, const QString &text);

    Encoding m_encoding = Encoding::Utf8;
    QByteArray m_bom;
    std::vector<Entry> m_entries;
};

} // namespace zandrel::settings
