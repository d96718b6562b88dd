#pragma once

#include <clocale>
#include <locale.h>
#include <new>

namespace zandrel::processor {

// While it lives, the C library formats and reads numbers on this thread with "." whatever the
// user's locale. libxml2 and libxslt write numbers with printf, so without it a German locale
// turns 1.5 into "1,5" in the middle of an export. Only the numeric category changes, and only
// on this thread; the rest of the program keeps the user's locale.
class ClassicNumbers {
public:
    ClassicNumbers()
    {
        // "C" always exists, so only a lack of memory makes these fail.
        locale_t base = duplocale(uselocale(locale_t(nullptr)));
        if (!base)
            throw std::bad_alloc();
        m_locale = newlocale(LC_NUMERIC_MASK, "C", base);
        if (!m_locale) {
            freelocale(base); // newlocale leaves its base alone when it fails
            throw std::bad_alloc();
        }
        m_previous = uselocale(m_locale);
    }
    ~ClassicNumbers()
    {
        uselocale(m_previous);
        freelocale(m_locale);
    }
    ClassicNumbers(const ClassicNumbers &) = delete;
    ClassicNumbers &operator=(const ClassicNumbers &) = delete;

private:
    locale_t m_locale = nullptr;
    locale_t m_previous = nullptr;
};

} // namespace zandrel::processor
