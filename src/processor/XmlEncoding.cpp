#include "XmlEncoding.h"

#include <QRegularExpression>

#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>

namespace zandrel::processor {

namespace {

struct Signature {
    QByteArrayView bytes;
    const char *encoding;
};

// Longer marks first: the UTF-32 little-endian mark begins with the UTF-16 one.
constexpr Signature byteOrderMarks[] = {
    {QByteArrayView("\x00\x00\xFE\xFF", 4), "UTF-32BE"}, {QByteArrayView("\xFF\xFE\x00\x00", 4), "UTF-32LE"},
    {QByteArrayView("\xEF\xBB\xBF", 3), "UTF-8"},        {QByteArrayView("\xFE\xFF", 2), "UTF-16BE"},
    {QByteArrayView("\xFF\xFE", 2), "UTF-16LE"},
};

// "<?" (or "<" for UTF-32) without a mark, in the wide encodings.
constexpr Signature wideStarts[] = {
    {QByteArrayView("\x00\x00\x00\x3C", 4), "UTF-32BE"},
    {QByteArrayView("\x3C\x00\x00\x00", 4), "UTF-32LE"},
    {QByteArrayView("\x00\x3C\x00\x3F", 4), "UTF-16BE"},
    {QByteArrayView("\x3C\x00\x3F\x00", 4), "UTF-16LE"},
};

// "<?xm" in EBCDIC: its declaration cannot be read as ASCII.
constexpr QByteArrayView ebcdicStart("\x4C\x6F\xA7\x94", 4);

QByteArray declaredEncoding(const QByteArray &bytes)
{
    if (!bytes.startsWith("<?xml"))
        return {};
    const qsizetype end = bytes.indexOf("?>");
    if (end < 0)
        return {};
    static const QRegularExpression encoding(
        QStringLiteral("^<\\?xml[ \\t\\r\\n][^?]*?[ \\t\\r\\n]encoding[ \\t\\r\\n]*=[ \\t\\r\\n]*"
                       "([\"'])([A-Za-z][A-Za-z0-9._-]*)\\1"));
    const QRegularExpressionMatch match = encoding.match(QString::fromLatin1(bytes.left(end)));
    return match.hasMatch() ? match.captured(2).toLatin1() : QByteArray();
}

} // namespace

std::optional<XmlFileEncoding> detectXmlEncoding(const QByteArray &bytes)
{
    for (const Signature &mark : byteOrderMarks)
        if (bytes.startsWith(mark.bytes))
            return XmlFileEncoding{mark.encoding, mark.bytes.size()};
    for (const Signature &start : wideStarts)
        if (bytes.startsWith(start.bytes))
            return XmlFileEncoding{start.encoding, 0};
    if (bytes.startsWith(ebcdicStart))
        return std::nullopt;
    const QByteArray declared = declaredEncoding(bytes);
    return XmlFileEncoding{declared.isEmpty() ? QByteArray("UTF-8") : declared, 0};
}

void TextCodec::Closer::operator()(UConverter *converter) const
{
    ucnv_close(converter);
}

std::optional<TextCodec> TextCodec::forName(const QByteArray &name)
{
    UErrorCode status = U_ZERO_ERROR;
    Converter converter(ucnv_open(name.constData(), &status));
    if (U_FAILURE(status) || !converter)
        return std::nullopt;
    // Bytes that are not valid stop the decoding rather than turn into replacement characters,
    // which could never be written back as they were.
    ucnv_setToUCallBack(converter.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
    ucnv_setFromUCallBack(converter.get(), UCNV_FROM_U_CALLBACK_ESCAPE, UCNV_ESCAPE_XML_DEC, nullptr, nullptr,
                          &status);
    if (U_FAILURE(status))
        return std::nullopt;
    return TextCodec(std::move(converter));
}

std::optional<QString> TextCodec::decode(const QByteArray &bytes) const
{
    // Every byte gives at most two UTF-16 units.
    QString text(bytes.size() * 2, Qt::Uninitialized);
    UErrorCode status = U_ZERO_ERROR;
    const int32_t length =
        ucnv_toUChars(m_converter.get(), reinterpret_cast<UChar *>(text.data()), int32_t(text.size()),
                      bytes.constData(), int32_t(bytes.size()), &status);
    if (U_FAILURE(status))
        return std::nullopt;
    text.truncate(length);
    return text;
}

std::optional<QByteArray> TextCodec::encodeForXml(const QString &text) const
{
    const auto *units = reinterpret_cast<const UChar *>(text.utf16());
    UErrorCode status = U_ZERO_ERROR;
    const int32_t length =
        ucnv_fromUChars(m_converter.get(), nullptr, 0, units, int32_t(text.size()), &status);
    if (status != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(status))
        return std::nullopt;
    QByteArray bytes(length, Qt::Uninitialized);
    status = U_ZERO_ERROR;
    ucnv_fromUChars(m_converter.get(), bytes.data(), length, units, int32_t(text.size()), &status);
    if (U_FAILURE(status))
        return std::nullopt;
    return bytes;
}

} // namespace zandrel::processor
