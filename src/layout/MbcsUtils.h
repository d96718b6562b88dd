#pragma once

#include <QString>
#include <QtGlobal>

// The font character set that suits the system's code page, for forms that show text in the
// system's multi-byte scripts.
namespace zandrel::layout {

// Character set numbers as form layouts store them.
inline constexpr quint8 DefaultCharset = 1;
inline constexpr quint8 ShiftJisCharset = 128;
inline constexpr quint8 HangeulCharset = 129;
inline constexpr quint8 Gb2312Charset = 134;
inline constexpr quint8 ChineseBig5Charset = 136;

// The character set for an ANSI code page: the four East Asian double-byte code pages have their
// own, every other code page the default one.
quint8 charsetForCodePage(int codePage);

// The ANSI code page that goes with a POSIX locale name such as "ja_JP.UTF-8" or "zh_TW.Big5":
// an explicit legacy encoding decides first, otherwise the language (and for Chinese the
// territory or script). 1252 when nothing else fits, as for "C" and "POSIX".
int ansiCodePageForLocale(const QString &localeName);

// The locale that decides the system's character handling: LC_ALL, else LC_CTYPE, else LANG.
QString systemLocaleName();

// charsetForCodePage of the system locale's ANSI code page.
quint8 SystemCharset();

} // namespace zandrel::layout
