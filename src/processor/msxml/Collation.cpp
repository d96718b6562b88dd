#include "Collation.h"

#include <QLocale>

#include <unicode/ucol.h>
#include <unicode/uloc.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace zandrel::processor {

namespace {

bool isIgnoredInWordSort(QChar c)
{
    // Hyphen-minus, apostrophe, and the typographic hyphens and apostrophe.
    return c == u'-' || c == u'\'' || c == QChar(0x2010) || c == QChar(0x2011) || c == QChar(0x00AD) ||
           c == QChar(0x2019);
}

QString withoutWordSortMarks(const QString &text)
{
    QString result;
    result.reserve(text.size());
    for (QChar c : text)
        if (!isIgnoredInWordSort(c))
            result.append(c);
    return result;
}

} // namespace

TextCollator::TextCollator(const QString &language, CaseOrder caseOrder, bool wordSort) : m_wordSort(wordSort)
{
    const QString tag = language.trimmed().isEmpty() ? userLanguage() : language.trimmed();
    char localeId[ULOC_FULLNAME_CAPACITY] = {};
    UErrorCode status = U_ZERO_ERROR;
    int32_t parsed = 0;
    uloc_forLanguageTag(tag.toLatin1().constData(), localeId, sizeof localeId, &parsed, &status);
    if (U_FAILURE(status) || parsed == 0)
        return;
    status = U_ZERO_ERROR;
    m_collator = ucol_open(localeId, &status);
    if (U_FAILURE(status)) {
        if (m_collator)
            ucol_close(m_collator);
        m_collator = nullptr;
        return;
    }
    status = U_ZERO_ERROR;
    switch (caseOrder) {
    case CaseOrder::UpperFirst:
        ucol_setAttribute(m_collator, UCOL_STRENGTH, UCOL_TERTIARY, &status);
        ucol_setAttribute(m_collator, UCOL_CASE_FIRST, UCOL_UPPER_FIRST, &status);
        break;
    case CaseOrder::LowerFirst:
        ucol_setAttribute(m_collator, UCOL_STRENGTH, UCOL_TERTIARY, &status);
        ucol_setAttribute(m_collator, UCOL_CASE_FIRST, UCOL_LOWER_FIRST, &status);
        break;
    case CaseOrder::Ignore:
        // Case, width and kana differences are all tertiary.
        ucol_setAttribute(m_collator, UCOL_STRENGTH, UCOL_SECONDARY, &status);
        break;
    }
}

TextCollator::~TextCollator()
{
    if (m_collator)
        ucol_close(m_collator);
}

QString TextCollator::userLanguage()
{
    for (const char *name : {"LC_ALL", "LC_COLLATE", "LANG"}) {
        const char *value = std::getenv(name);
        if (value && *value) {
            const QString locale = QString::fromLatin1(value).section(u'.', 0, 0).section(u'@', 0, 0);
            if (locale == QLatin1String("C") || locale == QLatin1String("POSIX"))
                return QStringLiteral("en-US");
            return QLocale(locale).bcp47Name();
        }
    }
    return QStringLiteral("en-US");
}

int TextCollator::compare(const QString &a, const QString &b) const
{
    if (!m_collator)
        return a < b ? -1 : (a == b ? 0 : 1);
    const QByteArray keyA = sortKey(a);
    const QByteArray keyB = sortKey(b);
    const int order =
        std::memcmp(keyA.constData(), keyB.constData(), std::size_t(std::min(keyA.size(), keyB.size())));
    if (order != 0)
        return order < 0 ? -1 : 1;
    return keyA.size() < keyB.size() ? -1 : (keyA.size() == keyB.size() ? 0 : 1);
}

QByteArray TextCollator::rawKey(const QString &text) const
{
    const auto *chars = reinterpret_cast<const UChar *>(text.utf16());
    QByteArray key(64, Qt::Uninitialized);
    int32_t length = ucol_getSortKey(m_collator, chars, int32_t(text.size()),
                                     reinterpret_cast<uint8_t *>(key.data()), int32_t(key.size()));
    if (length > key.size()) {
        key.resize(length);
        length = ucol_getSortKey(m_collator, chars, int32_t(text.size()),
                                 reinterpret_cast<uint8_t *>(key.data()), int32_t(key.size()));
    }
    // The key ends with a zero byte, which also separates the two parts of a word-sort key.
    key.resize(length > 0 ? length : 0);
    return key;
}

QByteArray TextCollator::sortKey(const QString &text) const
{
    if (!m_collator)
        return text.toUtf8() + '\0';
    if (!m_wordSort)
        return rawKey(text);
    const QString words = withoutWordSortMarks(text);
    if (words.size() == text.size())
        return rawKey(text) + rawKey(text);
    return rawKey(words) + rawKey(text);
}

} // namespace zandrel::processor
