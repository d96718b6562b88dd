#include "MbcsUtils.h"

#include <QStringList>

namespace zandrel::layout {

quint8 charsetForCodePage(int codePage)
{
    switch (codePage) {
    case 932:
        return ShiftJisCharset;
    case 936:
        return Gb2312Charset;
    case 949:
        return HangeulCharset;
    case 950:
        return ChineseBig5Charset;
    default:
        return DefaultCharset;
    }
}

namespace {

// The code page that a legacy encoding name stands for; 0 for encodings that say nothing about it
// (UTF-8, the ISO 8859 family, ...).
int codePageOfEncoding(QString encoding)
{
    encoding = encoding.toUpper().remove(u'-').remove(u'_');
    if (encoding.isEmpty())
        return 0;
    for (const QString &prefix : {QStringLiteral("CP"), QStringLiteral("WINDOWS")}) {
        bool isNumber = false;
        const int number = encoding.mid(prefix.size()).toInt(&isNumber);
        if (encoding.startsWith(prefix) && isNumber)
            return number;
    }
    static const QStringList japanese = {QStringLiteral("SJIS"), QStringLiteral("SHIFTJIS"),
                                         QStringLiteral("EUCJP"), QStringLiteral("WINDOWS31J")};
    static const QStringList simplifiedChinese = {QStringLiteral("GB2312"), QStringLiteral("GBK"),
                                                  QStringLiteral("GB18030"), QStringLiteral("EUCCN")};
    static const QStringList korean = {QStringLiteral("EUCKR"), QStringLiteral("UHC")};
    static const QStringList traditionalChinese = {QStringLiteral("BIG5"), QStringLiteral("BIG5HKSCS"),
                                                   QStringLiteral("EUCTW")};
    if (japanese.contains(encoding))
        return 932;
    if (simplifiedChinese.contains(encoding))
        return 936;
    if (korean.contains(encoding))
        return 949;
    if (traditionalChinese.contains(encoding))
        return 950;
    return 0;
}

// The ANSI code page that the system uses for a language.
int codePageOfLanguage(const QString &language, const QString &territory, const QString &modifier)
{
    struct LanguageCodePage {
        const char *languages;
        int codePage;
    };
    static const LanguageCodePage table[] = {
        {"th", 874},
        {"ja", 932},
        {"ko", 949},
        {"cs hu pl ro sk sl hr sq bs", 1250},
        {"ru uk be bg mk sr kk ky tt mn", 1251},
        {"el", 1253},
        {"tr az", 1254},
        {"he iw", 1255},
        {"ar fa ur", 1256},
        {"et lv lt", 1257},
        {"vi", 1258},
    };
    if (language == QLatin1String("zh")) {
        static const QStringList traditional = {QStringLiteral("TW"), QStringLiteral("HK"),
                                                QStringLiteral("MO")};
        return traditional.contains(territory.toUpper()) ? 950 : 936;
    }
    if (language == QLatin1String("sr") && modifier == QLatin1String("latin"))
        return 1250;
    for (const LanguageCodePage &entry : table) {
        if (QString::fromLatin1(entry.languages).split(u' ').contains(language))
            return entry.codePage;
    }
    return 1252;
}

} // namespace

int ansiCodePageForLocale(const QString &localeName)
{
    // language[_territory][.encoding][@modifier]
    QString rest = localeName;
    QString modifier;
    if (const qsizetype at = rest.indexOf(u'@'); at >= 0) {
        modifier = rest.mid(at + 1).toLower();
        rest.truncate(at);
    }
    QString encoding;
    if (const qsizetype dot = rest.indexOf(u'.'); dot >= 0) {
        encoding = rest.mid(dot + 1);
        rest.truncate(dot);
    }
    QString territory;
    if (const qsizetype underscore = rest.indexOf(u'_'); underscore >= 0) {
        territory = rest.mid(underscore + 1);
        rest.truncate(underscore);
    }
    if (const int codePage = codePageOfEncoding(encoding); codePage != 0)
        return codePage;
    return codePageOfLanguage(rest.toLower(), territory, modifier);
}

QString systemLocaleName()
{
    for (const char *variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const QString value = qEnvironmentVariable(variable);
        if (!value.isEmpty())
            return value;
    }
    return QStringLiteral("C");
}

quint8 SystemCharset()
{
    return charsetForCodePage(ansiCodePageForLocale(systemLocaleName()));
}

} // namespace zandrel::layout
