#include "FileNames.h"

namespace zandrel::platform {

namespace {

constexpr char16_t keptByteBase = 0xDC00;

// The length of the UTF-8 character at the position, or 0 when the bytes there are none.
// Surrogates and overlong forms are no characters.
qsizetype characterLength(QByteArrayView bytes, qsizetype at)
{
    const auto byte = [&](qsizetype i) { return static_cast<unsigned char>(bytes[at + i]); };
    const unsigned char lead = byte(0);
    const qsizetype length = lead < 0x80                    ? 1
                             : lead >= 0xC2 && lead <= 0xDF ? 2
                             : lead >= 0xE0 && lead <= 0xEF ? 3
                             : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                            : 0;
    if (length == 0 || at + length > bytes.size())
        return 0;
    for (qsizetype i = 1; i < length; ++i)
        if ((byte(i) & 0xC0) != 0x80)
            return 0;
    if ((lead == 0xE0 && byte(1) < 0xA0) || (lead == 0xED && byte(1) >= 0xA0) ||
        (lead == 0xF0 && byte(1) < 0x90) || (lead == 0xF4 && byte(1) >= 0x90))
        return 0;
    return length;
}

} // namespace

QString fileNameFromNative(QByteArrayView native)
{
    QString name;
    name.reserve(native.size());
    qsizetype start = 0; // of the run of characters not yet decoded
    for (qsizetype at = 0; at < native.size();) {
        const qsizetype length = characterLength(native, at);
        if (length > 0) {
            at += length;
            continue;
        }
        name += QString::fromUtf8(native.sliced(start, at - start));
        name += QChar(char16_t(keptByteBase + static_cast<unsigned char>(native[at])));
        start = ++at;
    }
    name += QString::fromUtf8(native.sliced(start));
    return name;
}

QByteArray nativeFileName(QStringView name)
{
    QByteArray native;
    native.reserve(name.size());
    qsizetype start = 0; // of the run of characters not yet encoded
    for (qsizetype at = 0; at < name.size(); ++at) {
        const char16_t c = name[at].unicode();
        const bool pairHigh =
            QChar::isHighSurrogate(c) && at + 1 < name.size() && name[at + 1].isLowSurrogate();
        if (pairHigh) {
            ++at;
            continue;
        }
        if (c >= keptByteBase + 0x80 && c <= keptByteBase + 0xFF) {
            native += name.sliced(start, at - start).toUtf8();
            native += char(c - keptByteBase);
            start = at + 1;
        }
    }
    native += name.sliced(start).toUtf8();
    return native;
}

} // namespace zandrel::platform
