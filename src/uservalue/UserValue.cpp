#include "UserValue.h"

#include "app/Format.h"
#include "app/StringTable.h"

#include <QRegularExpression>

#include <charconv>
#include <cmath>
#include <limits>

namespace zandrel {

namespace {

bool isBlankOrControl(QChar c)
{
    return c.isSpace() || c.category() == QChar::Other_Control;
}

QString decimalSeparatorOf(const QLocale &locale)
{
    const QString separator = locale.decimalPoint();
    return separator.isEmpty() ? QStringLiteral(".") : separator;
}

// Where the integer range check fails, the limits shown are the whole numbers that bound the
// valid range: a fractional lower limit rounds up, an upper one down, and a missing one is the
// end of the 32-bit range.
int integerLimitForMessage(double limit, bool lower)
{
    if (limit == NoLimit)
        return lower ? std::numeric_limits<int>::min() : std::numeric_limits<int>::max();
    const double whole = lower ? std::ceil(limit) : std::floor(limit);
    return int(std::clamp(whole, double(std::numeric_limits<int>::min()), double(std::numeric_limits<int>::max())));
}

} // namespace

QString trimmedText(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlankOrControl(text.at(begin)))
        ++begin;
    while (end > begin && isBlankOrControl(text.at(end - 1)))
        --end;
    return text.mid(begin, end - begin);
}

bool isXmlText(const QString &text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (c < 0x20 && c != u'\t' && c != u'\n' && c != u'\r')
            return false;
        if (c == 0xFFFE || c == 0xFFFF)
            return false;
        if (QChar::isHighSurrogate(c)) {
            if (i + 1 >= text.size() || !text.at(i + 1).isLowSurrogate())
                return false;
            ++i;
        } else if (QChar::isLowSurrogate(c)) {
            return false;
        }
    }
    return true;
}

std::optional<double> parseDotNumber(const QString &text)
{
    qsizetype start = 0;
    while (start < text.size() && isBlankOrControl(text.at(start)))
        ++start;
    static const QRegularExpression number(QStringLiteral("^[+-]?(\\d+\\.?\\d*|\\.\\d+)([eE][+-]?\\d+)?$"));
    const QString candidate = text.mid(start);
    if (!number.match(candidate).hasMatch())
        return std::nullopt;
    QByteArray digits = candidate.toLatin1();
    if (digits.startsWith('+'))
        digits.remove(0, 1);
    double value = 0;
    const auto [end, error] = std::from_chars(digits.constData(), digits.constData() + digits.size(), value);
    if (error != std::errc() || end != digits.constData() + digits.size())
        return std::nullopt;
    return value;
}

ValueLimits parseLimits(const QString &minimumText, const QString &maximumText)
{
    return {parseDotNumber(minimumText).value_or(NoLimit), parseDotNumber(maximumText).value_or(NoLimit)};
}

std::optional<double> parseLocalNumber(const QString &answer, const QLocale &locale)
{
    QLocale strict = locale;
    strict.setNumberOptions(QLocale::RejectGroupSeparator);
    bool ok = false;
    const double value = strict.toDouble(trimmedText(answer), &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<QString> validateUserValue(const UserValueRequest &request, const QString &answer,
                                         const QLocale &locale)
{
    if (!isXmlText(answer))
        return GetLocalizedString(StringId::ValueNotXmlText);
    const ValueLimits limits = parseLimits(request.minimumText, request.maximumText);
    auto outside = [&limits](double value) {
        return (limits.minimum != NoLimit && value < limits.minimum)
               || (limits.maximum != NoLimit && value > limits.maximum);
    };
    switch (request.type) {
    case ValueType::Double: {
        const std::optional<double> value = parseLocalNumber(answer, locale);
        if (!value)
            return GetLocalizedString(StringId::NumericValueRequired);
        if (outside(*value)) {
            const double shownMinimum =
                limits.minimum == NoLimit ? -std::numeric_limits<double>::infinity() : limits.minimum;
            const double shownMaximum =
                limits.maximum == NoLimit ? std::numeric_limits<double>::infinity() : limits.maximum;
            return formatText(GetLocalizedString(StringId::ValueOutsideRealRange), {0, 3, shownMinimum, 0, 3, shownMaximum},
                              decimalSeparatorOf(locale).front());
        }
        return std::nullopt;
    }
    case ValueType::Integer: {
        static const QRegularExpression whole(QStringLiteral("^[+-]?\\d+$"));
        const QString text = trimmedText(answer);
        bool ok = whole.match(text).hasMatch();
        const qlonglong value = ok ? text.toLongLong(&ok) : 0;
        if (!ok || value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max())
            return GetLocalizedString(StringId::IntegerValueRequired);
        if (outside(double(value)))
            return formatText(GetLocalizedString(StringId::ValueOutsideIntegerRange), {integerLimitForMessage(limits.minimum, true),
                                                          integerLimitForMessage(limits.maximum, false)});
        return std::nullopt;
    }
    case ValueType::String:
    case ValueType::StringMenu:
    case ValueType::FileName:
        break;
    }
    return std::nullopt;
}

int matchingMenuEntry(const QStringList &entries, const QString &text)
{
    const QString wanted = trimmedText(text).toUpper();
    int match = -1;
    for (int i = 0; i < entries.size(); ++i)
        if (trimmedText(entries.at(i)).toUpper() == wanted)
            match = i;
    return match;
}

} // namespace zandrel
