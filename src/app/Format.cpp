#include "Format.h"

#include <cmath>
#include <vector>

namespace zandrel {

namespace {

class ArgumentCursor {
public:
    explicit ArgumentCursor(std::initializer_list<FormatArgument> arguments) : m_arguments(arguments) {}

    template <typename T> const T *take()
    {
        if (m_next >= m_arguments.size())
            return nullptr;
        const T *value = std::get_if<T>(&m_arguments[m_next]);
        if (value)
            ++m_next;
        return value;
    }

private:
    std::vector<FormatArgument> m_arguments;
    std::size_t m_next = 0;
};

QString formatReal(double value, int width, int precision, QChar decimalSeparator)
{
    if (std::isinf(value))
        return QString(value < 0 ? QStringLiteral("-∞") : QStringLiteral("∞")).rightJustified(std::min(width, 1024), u' ');
    QString text = QString::number(value, 'f', std::clamp(precision, 0, 100));
    if (decimalSeparator != u'.')
        text.replace(u'.', decimalSeparator);
    return text.rightJustified(std::min(width, 1024), u' ');
}

} // namespace

QString formatText(const QString &format, std::initializer_list<FormatArgument> arguments, QChar decimalSeparator)
{
    ArgumentCursor cursor(arguments);
    QString result;
    result.reserve(format.size() + 64);
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format.at(i);
        if (c != u'%' || i + 1 >= format.size()) {
            result += c;
            continue;
        }
        const QStringView rest = QStringView(format).mid(i + 1);
        if (rest.startsWith(u'%')) {
            result += u'%';
            i += 1;
        } else if (rest.startsWith(u's')) {
            if (const QString *text = cursor.take<QString>()) {
                result += *text;
                i += 1;
            } else {
                result += c;
            }
        } else if (rest.startsWith(u'd')) {
            if (const int *number = cursor.take<int>()) {
                result += QString::number(*number);
                i += 1;
            } else {
                result += c;
            }
        } else if (rest.startsWith(u"*.*f")) {
            const int *width = cursor.take<int>();
            const int *precision = width ? cursor.take<int>() : nullptr;
            const double *value = precision ? cursor.take<double>() : nullptr;
            if (value) {
                result += formatReal(*value, *width, *precision, decimalSeparator);
                i += 4;
            } else {
                result += c;
            }
        } else {
            result += c;
        }
    }
    return result;
}

} // namespace zandrel
