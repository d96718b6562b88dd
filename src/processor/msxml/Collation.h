#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

struct UCollator;

namespace zandrel::processor {

// Language-aware text order as the original platform's sorting and string comparison have it,
// on ICU's collation. The language is a tag such as "en-US" or "de"; empty means the user's
// locale (LC_ALL, LC_COLLATE, LANG).
class TextCollator {
public:
    enum class CaseOrder { UpperFirst, LowerFirst, Ignore };

    // wordSort: hyphens and apostrophes do not count ("co-op" sorts beside "coop"), as in the
    // original platform's xsl:sort.
    TextCollator(const QString &language, CaseOrder caseOrder, bool wordSort);
    ~TextCollator();
    TextCollator(const TextCollator &) = delete;
    TextCollator &operator=(const TextCollator &) = delete;

    // False when ICU knows no collation for the language at all.
    bool isValid() const { return m_collator != nullptr; }

    // -1, 0 or 1.
    int compare(const QString &a, const QString &b) const;
    // Bytes that compare (memcmp) as the texts do; ties of the word sort are broken by the text
    // with its hyphens, so that equal keys mean equal order.
    QByteArray sortKey(const QString &text) const;

    // The user's locale as a language tag, from the environment.
    static QString userLanguage();

private:
    QByteArray rawKey(const QString &text) const;

    UCollator *m_collator = nullptr;
    bool m_wordSort;
};

} // namespace zandrel::processor
