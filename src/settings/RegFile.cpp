#include "RegFile.h"

#include <QList>
#include <QStringDecoder>

#include <algorithm>

namespace zandrel::settings {

namespace {

const QString headerLine = QStringLiteral("Windows Registry Editor Version 5.00");
constexpr int maxHexLineLength = 80; // regedit wraps long hex values at 80 columns

char16_t foldAsciiCase(char16_t c)
{
    return (c >= u'A' && c <= u'Z') ? char16_t(c - u'A' + u'a') : c;
}

bool startsWithIgnoringAsciiCase(QStringView text, QStringView prefix)
{
    return text.size() >= prefix.size() && equalsIgnoringAsciiCase(text.left(prefix.size()), prefix);
}

// Reads a quoted string starting at text[pos] == '"', as regedit writes it: \\ is a backslash and
// \" a quote. Other backslashes are kept as they are, as in hand-written files. Moves pos past the
// closing quote; nullopt when the quote is not closed.
std::optional<QString> readQuoted(QStringView text, qsizetype &pos)
{
    if (pos >= text.size() || text[pos] != u'"')
        return std::nullopt;
    QString result;
    for (qsizetype i = pos + 1; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'"') {
            pos = i + 1;
            return result;
        }
        if (c == u'\\' && i + 1 < text.size() && (text[i + 1] == u'\\' || text[i + 1] == u'"'))
            ++i;
        result.append(text[i]);
    }
    return std::nullopt;
}

QString quoted(const QString &text)
{
    QString result = text;
    result.replace(u'\\', QStringLiteral("\\\\")).replace(u'"', QStringLiteral("\\\""));
    return u'"' + result + u'"';
}

// "xx,xx,..." as regedit writes hex data; a trailing comma (left by a continuation) is allowed.
std::optional<QByteArray> readHexBytes(QStringView list)
{
    QByteArray bytes;
    if (list.trimmed().isEmpty())
        return bytes;
    const QList<QStringView> pieces = list.split(u',');
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        const QStringView piece = pieces[i].trimmed();
        if (piece.isEmpty() && i == pieces.size() - 1 && i > 0)
            break;
        bool ok = false;
        const uint byte = piece.toUInt(&ok, 16);
        if (!ok || piece.size() > 2 || piece.startsWith(u'+') || piece.startsWith(u'-'))
            return std::nullopt;
        bytes.append(char(byte));
    }
    return bytes;
}

// UTF-16LE text up to its terminating null; nullopt for an odd number of bytes.
std::optional<QString> textFromUtf16Bytes(const QByteArray &bytes)
{
    if (bytes.size() % 2 != 0)
        return std::nullopt;
    QString text;
    for (qsizetype i = 0; i + 1 < bytes.size(); i += 2) {
        const char16_t unit = char16_t(uchar(bytes[i]) | (uchar(bytes[i + 1]) << 8));
        if (unit == 0)
            break;
        text.append(QChar(unit));
    }
    return text;
}

QByteArray utf16Bytes(const QString &text)
{
    QByteArray bytes;
    bytes.reserve(text.size() * 2);
    for (const QChar c : text) {
        bytes.append(char(c.unicode() & 0xff));
        bytes.append(char(c.unicode() >> 8));
    }
    return bytes;
}

std::optional<RegistryValue> readValueData(const QString &name, QStringView data)
{
    RegistryValue value;
    value.name = name;
    if (data.startsWith(u'"')) {
        qsizetype pos = 0;
        const auto text = readQuoted(data, pos);
        if (!text || !data.mid(pos).trimmed().isEmpty())
            return std::nullopt;
        value.text = *text;
        return value;
    }
    if (startsWithIgnoringAsciiCase(data, u"dword:")) {
        const QStringView digits = data.mid(6).trimmed();
        bool ok = false;
        value.dword = digits.toUInt(&ok, 16);
        if (!ok || digits.isEmpty() || digits.size() > 8 || digits.startsWith(u'+') ||
            digits.startsWith(u'-'))
            return std::nullopt;
        value.type = RegistryValueType::Dword;
        return value;
    }
    const bool expandString = startsWithIgnoringAsciiCase(data, u"hex(2):");
    const bool plainString = startsWithIgnoringAsciiCase(data, u"hex(1):");
    const bool littleEndianDword = startsWithIgnoringAsciiCase(data, u"hex(4):");
    if (!expandString && !plainString && !littleEndianDword)
        return std::nullopt; // binary, multi-string, qword...: not types this program uses
    const auto bytes = readHexBytes(data.mid(7));
    if (!bytes)
        return std::nullopt;
    if (littleEndianDword) {
        if (bytes->size() != 4)
            return std::nullopt;
        value.type = RegistryValueType::Dword;
        for (int i = 3; i >= 0; --i)
            value.dword = (value.dword << 8) | uchar(bytes->at(i));
        return value;
    }
    const auto text = textFromUtf16Bytes(*bytes);
    if (!text)
        return std::nullopt;
    value.type = expandString ? RegistryValueType::ExpandString : RegistryValueType::String;
    value.text = *text;
    return value;
}

struct NameAndData {
    QString name;
    QStringView data; // trimmed, after the '='
};

// Splits `"name"=data` or `@=data`; nullopt when the line is not a value line.
std::optional<NameAndData> splitValueLine(QStringView text)
{
    const QStringView line = text.trimmed();
    qsizetype pos = 0;
    std::optional<QString> name;
    if (line.startsWith(u'@')) {
        name = QString();
        pos = 1;
    } else {
        name = readQuoted(line, pos);
    }
    if (!name)
        return std::nullopt;
    const QStringView rest = line.mid(pos).trimmed();
    if (!rest.startsWith(u'='))
        return std::nullopt;
    return NameAndData{*name, rest.mid(1).trimmed()};
}

// A line that continues a hex value: only hex digits, commas, blanks and the final backslash.
bool isHexContinuation(QStringView text)
{
    const QStringView trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return false;
    for (const QChar c : trimmed) {
        if (!(c.isDigit() || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F') || c == u',' || c == u' ' ||
              c == u'\t' || c == u'\\'))
            return false;
    }
    return true;
}

} // namespace

bool equalsIgnoringAsciiCase(QStringView a, QStringView b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (foldAsciiCase(a[i].unicode()) != foldAsciiCase(b[i].unicode()))
            return false;
    }
    return true;
}

RegFile::RegFile()
{
    Entry header;
    header.raw = encode(headerLine + u'\n');
    m_entries.push_back(header);
}

RegFile RegFile::parse(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return RegFile();
    RegFile file;
    file.m_entries.clear();
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        file.m_bom = bytes.left(3);
    } else if (bytes.startsWith("\xFF\xFE")) {
        file.m_bom = bytes.left(2);
        file.m_encoding = Encoding::Utf16LE;
    }

    // Split into physical lines, each keeping its line ending.
    const QByteArray newline = file.encode(QStringLiteral("\n"));
    std::vector<QByteArray> lines;
    qsizetype start = file.m_bom.size();
    while (start < bytes.size()) {
        qsizetype end = bytes.indexOf(newline, start);
        // In UTF-16 a newline only counts at a code unit boundary.
        while (end >= 0 && (end - start) % newline.size() != 0)
            end = bytes.indexOf(newline, end + 1);
        end = end < 0 ? bytes.size() : end + newline.size();
        lines.push_back(bytes.mid(start, end - start));
        start = end;
    }

    if (lines.empty()) // only a byte order mark: start with a header in the file's encoding
        file.m_entries.push_back(Entry{Entry::Kind::Other, file.encode(headerLine + u'\n'), {}, {}, {}});

    for (std::size_t i = 0; i < lines.size(); ++i) {
        bool ok = false;
        QString text = file.decode(lines[i], &ok);
        QByteArray raw = lines[i];
        if (!ok) {
            file.m_entries.push_back(Entry{Entry::Kind::Other, raw, {}, {}, {}}); // kept, never read
            continue;
        }
        // A hex value continued with a trailing backslash: join its lines into one entry.
        const auto firstLine = splitValueLine(text);
        if (firstLine && startsWithIgnoringAsciiCase(firstLine->data, u"hex")) {
            while (text.trimmed().endsWith(u'\\') && i + 1 < lines.size()) {
                bool nextOk = false;
                const QString next = file.decode(lines[i + 1], &nextOk);
                if (!nextOk || !isHexContinuation(next))
                    break;
                text = text.trimmed().chopped(1) + next.trimmed();
                raw += lines[++i];
            }
        }
        Entry entry = parseEntry(text);
        entry.raw = raw;
        file.m_entries.push_back(std::move(entry));
    }
    return file;
}

RegFile::Entry RegFile::parseEntry(const QString &text)
{
    Entry entry;
    const QStringView line = QStringView(text).trimmed();
    if (line.isEmpty()) {
        entry.kind = Entry::Kind::Blank;
    } else if (line.startsWith(u';')) {
        entry.kind = Entry::Kind::Comment;
    } else if (line.startsWith(u'[') && line.endsWith(u']')) {
        entry.kind = Entry::Kind::Section;
        QStringView path = line.mid(1, line.size() - 2).trimmed();
        while (path.endsWith(u'\\'))
            path.chop(1);
        entry.sectionPath = path.toString();
    } else if (const auto nameAndData = splitValueLine(line)) {
        entry.kind = Entry::Kind::Value;
        entry.valueName = nameAndData->name;
        entry.value = readValueData(nameAndData->name, nameAndData->data);
    }
    return entry;
}

QString RegFile::decode(const QByteArray &bytes, bool *ok) const
{
    QString text;
    if (m_encoding == Encoding::Utf16LE) {
        *ok = bytes.size() % 2 == 0;
        for (qsizetype i = 0; i + 1 < bytes.size(); i += 2)
            text.append(QChar(char16_t(uchar(bytes[i]) | (uchar(bytes[i + 1]) << 8))));
    } else {
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
        text = decoder.decode(bytes);
        *ok = !decoder.hasError();
    }
    if (text.endsWith(u'\n'))
        text.chop(1);
    if (text.endsWith(u'\r'))
        text.chop(1);
    return text;
}

QByteArray RegFile::encode(const QString &text) const
{
    return m_encoding == Encoding::Utf16LE ? utf16Bytes(text) : text.toUtf8();
}

QByteArray RegFile::lineEndingOf(const QByteArray &raw) const
{
    for (const QString &ending : {QStringLiteral("\r\n"), QStringLiteral("\n")}) {
        const QByteArray encoded = encode(ending);
        if (raw.endsWith(encoded))
            return encoded;
    }
    return {};
}

// New lines follow the file's own line endings (regedit writes CRLF).
QString RegFile::lineEnding() const
{
    for (const Entry &entry : m_entries) {
        const QByteArray ending = lineEndingOf(entry.raw);
        if (!ending.isEmpty())
            return ending == encode(QStringLiteral("\r\n")) ? QStringLiteral("\r\n") : QStringLiteral("\n");
    }
    return QStringLiteral("\n");
}

QByteArray RegFile::toBytes() const
{
    QByteArray bytes = m_bom;
    for (const Entry &entry : m_entries)
        bytes += entry.raw;
    return bytes;
}

std::vector<std::size_t> RegFile::sectionsOf(const QString &fullKeyPath) const
{
    std::vector<std::size_t> sections;
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        if (m_entries[i].kind == Entry::Kind::Section &&
            equalsIgnoringAsciiCase(m_entries[i].sectionPath, fullKeyPath))
            sections.push_back(i);
    }
    return sections;
}

std::size_t RegFile::sectionEnd(std::size_t sectionIndex) const
{
    std::size_t end = sectionIndex + 1;
    while (end < m_entries.size() && m_entries[end].kind != Entry::Kind::Section)
        ++end;
    return end;
}

bool RegFile::hasKey(const QString &fullKeyPath) const
{
    const QString subkeyPrefix = fullKeyPath + u'\\';
    for (const Entry &entry : m_entries) {
        if (entry.kind == Entry::Kind::Section &&
            (equalsIgnoringAsciiCase(entry.sectionPath, fullKeyPath) ||
             startsWithIgnoringAsciiCase(entry.sectionPath, subkeyPrefix)))
            return true;
    }
    return false;
}

std::optional<std::vector<RegistryValue>> RegFile::keyValues(const QString &fullKeyPath) const
{
    if (!hasKey(fullKeyPath))
        return std::nullopt;
    std::vector<RegistryValue> values;
    for (const std::size_t section : sectionsOf(fullKeyPath)) {
        for (std::size_t i = section + 1, end = sectionEnd(section); i < end; ++i) {
            const Entry &entry = m_entries[i];
            if (entry.kind != Entry::Kind::Value || !entry.value)
                continue;
            // A value given twice: the later one wins (as on import), at the first one's place.
            const auto existing = std::find_if(values.begin(), values.end(), [&](const RegistryValue &v) {
                return equalsIgnoringAsciiCase(v.name, entry.value->name);
            });
            if (existing == values.end()) {
                values.push_back(*entry.value);
            } else {
                const QString firstName = existing->name;
                *existing = *entry.value;
                existing->name = firstName;
            }
        }
    }
    return values;
}

void RegFile::insertEntry(std::size_t position, Entry entry, const QString &text)
{
    const QString ending = lineEnding();
    if (position > 0) {
        QByteArray &previous = m_entries[position - 1].raw;
        // A UTF-16 file with a stray byte before this point: complete that code unit, or
        // everything written after it would be read one byte off.
        if (m_encoding == Encoding::Utf16LE) {
            qsizetype before = m_bom.size();
            for (std::size_t i = 0; i < position; ++i)
                before += m_entries[i].raw.size();
            if (before % 2 != 0)
                previous += '\0';
        }
        if (lineEndingOf(previous).isEmpty())
            previous += encode(ending); // the file's last line had no line ending
    }
    entry.raw = encode(text + ending);
    m_entries.insert(m_entries.begin() + std::ptrdiff_t(position), std::move(entry));
}

void RegFile::setValues(const QString &fullKeyPath, const std::vector<RegistryValue> &values)
{
    const QString ending = lineEnding();
    if (sectionsOf(fullKeyPath).empty()) {
        if (!m_entries.empty() && m_entries.back().kind != Entry::Kind::Blank)
            insertEntry(m_entries.size(), Entry{Entry::Kind::Blank, {}, {}, {}, {}}, QString());
        insertEntry(m_entries.size(), Entry{Entry::Kind::Section, {}, fullKeyPath, {}, {}},
                    u'[' + fullKeyPath + u']');
    }
    for (const RegistryValue &value : values) {
        std::vector<std::size_t> occurrences;
        const std::vector<std::size_t> sections = sectionsOf(fullKeyPath);
        for (const std::size_t section : sections) {
            for (std::size_t i = section + 1, end = sectionEnd(section); i < end; ++i) {
                if (m_entries[i].kind == Entry::Kind::Value &&
                    equalsIgnoringAsciiCase(m_entries[i].valueName, value.name))
                    occurrences.push_back(i);
            }
        }
        if (occurrences.empty()) {
            // After the last value (or unreadable line) of the key's last section, so that
            // blank lines and comments before the next section stay where they are.
            const std::size_t last = sections.back();
            std::size_t position = last + 1;
            for (std::size_t i = last + 1, end = sectionEnd(last); i < end; ++i) {
                if (m_entries[i].kind == Entry::Kind::Value || m_entries[i].kind == Entry::Kind::Other)
                    position = i + 1;
            }
            insertEntry(position, Entry{Entry::Kind::Value, {}, {}, value.name, value},
                        valueLine(value, ending));
            continue;
        }
        // Replace the first line in place, keeping the name's spelling and the line ending, and
        // drop any later duplicates, which would otherwise hide the new value.
        Entry &entry = m_entries[occurrences.front()];
        RegistryValue written = value;
        written.name = entry.valueName;
        entry.raw = encode(valueLine(written, ending)) + lineEndingOf(entry.raw);
        entry.value = written;
        for (auto it = occurrences.rbegin(); it + 1 != occurrences.rend(); ++it)
            m_entries.erase(m_entries.begin() + std::ptrdiff_t(*it));
    }
}

QString RegFile::valueLineProblem(const RegistryValue &value)
{
    if (value.name.contains(u'\n') || value.name.contains(u'\r'))
        return QStringLiteral("the value name \"%1\" contains a line break").arg(value.name.simplified());
    if (value.name.contains(QChar(0)))
        return QStringLiteral("the value name \"%1\" contains a null character").arg(value.name);
    if (!value.name.isValidUtf16())
        return QStringLiteral("the value name \"%1\" is not valid Unicode text").arg(value.name);
    if (value.isString() && value.text.contains(QChar(0)))
        return QStringLiteral("the text of value \"%1\" contains a null character").arg(value.name);
    return {};
}

QString RegFile::valueLine(const RegistryValue &value, const QString &lineEnding)
{
    QString line = (value.name.isEmpty() ? QStringLiteral("@") : quoted(value.name)) + u'=';
    if (value.type == RegistryValueType::Dword)
        return line + QStringLiteral("dword:%1").arg(value.dword, 8, 16, QChar(u'0'));
    // Texts that a quoted line cannot hold go as UTF-16LE bytes; REG_EXPAND_SZ always does.
    const bool quotable = value.type == RegistryValueType::String && !value.text.contains(u'\n') &&
                          !value.text.contains(u'\r') && value.text.isValidUtf16();
    if (quotable)
        return line + quoted(value.text);

    line +=
        value.type == RegistryValueType::ExpandString ? QStringLiteral("hex(2):") : QStringLiteral("hex(1):");
    const QByteArray bytes = utf16Bytes(value.text) + QByteArray(2, '\0');
    qsizetype lineStart = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        line += QString::number(uchar(bytes[i]), 16).rightJustified(2, u'0');
        if (i + 1 == bytes.size())
            break;
        line += u',';
        if (line.size() - lineStart + 4 > maxHexLineLength) { // room for "xx,\" on this line
            line += u'\\' + lineEnding;
            lineStart = line.size();
            line += QStringLiteral("  ");
        }
    }
    return line;
}

} // namespace zandrel::settings
