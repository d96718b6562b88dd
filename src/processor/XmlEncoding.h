#pragma once

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>

struct UConverter;

namespace zandrel::processor {

// The character encoding of an XML file, found as a parser finds it: a byte order mark names it;
// without one the first bytes tell UTF-16 and UTF-32 apart from the 8-bit encodings, whose name
// the encoding declaration gives, UTF-8 when there is none.
struct XmlFileEncoding {
    QByteArray name;         // as a converter knows it, such as "UTF-16LE" or "windows-1252"
    qsizetype bomLength = 0; // the byte order mark's bytes at the start of the file
};
// nullopt when the bytes name no encoding that can be told (an EBCDIC file, say).
std::optional<XmlFileEncoding> detectXmlEncoding(const QByteArray &bytes);

// Text to and from the bytes of one encoding.
class TextCodec {
public:
    // nullopt when the encoding is unknown.
    static std::optional<TextCodec> forName(const QByteArray &name);

    // nullopt when the bytes hold a sequence that is not valid in the encoding.
    std::optional<QString> decode(const QByteArray &bytes) const;
    // A character that the encoding cannot hold is written as an XML character reference
    // (&#NNN;), so that a parser still reads it. nullopt when the conversion fails.
    std::optional<QByteArray> encodeForXml(const QString &text) const;

private:
    struct Closer {
        void operator()(UConverter *converter) const;
    };
    using Converter = std::unique_ptr<UConverter, Closer>;
    explicit TextCodec(Converter converter) : m_converter(std::move(converter)) {}
    Converter m_converter;
};

} // namespace zandrel::processor
