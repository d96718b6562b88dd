#include "WindowPosition.h"

#include <algorithm>

namespace zandrel::layout {

namespace {

// A hand-edited settings file may pad the numbers with blanks or stray control characters.
std::optional<int> parseWholeNumber(const QString &text)
{
    const auto isPadding = [](QChar c) { return c.isSpace() || c.category() == QChar::Other_Control; };
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isPadding(text.at(begin)))
        ++begin;
    while (end > begin && isPadding(text.at(end - 1)))
        --end;
    bool ok = false;
    const int value = text.mid(begin, end - begin).toInt(&ok);
    return ok ? std::optional(value) : std::nullopt;
}

} // namespace

std::optional<QPoint> parseWindowPosition(const QString &text)
{
    const qsizetype comma = text.indexOf(u',');
    if (comma < 0)
        return std::nullopt;
    const std::optional<int> top = parseWholeNumber(text.left(comma));
    const std::optional<int> left = parseWholeNumber(text.mid(comma + 1));
    if (!top || !left)
        return std::nullopt;
    return QPoint(*left, *top);
}

QString formatWindowPosition(int top, int left)
{
    return QString::number(top) + u',' + QString::number(left);
}

QPoint placeOnDesktop(int top, int left, const QRect &desktop)
{
    top = std::max(top, 0);
    left = std::max(left, 0);
    if (top > desktop.top() + desktop.height())
        top = 0;
    if (left > desktop.left() + desktop.width())
        left = 0;
    return {left, top};
}

bool canBeGrabbed(const QRect &window, const QList<QRect> &screens)
{
    return std::any_of(screens.cbegin(), screens.cend(), [&window](const QRect &screen) {
        if (window.top() < screen.top() || window.top() > screen.bottom())
            return false;
        const int overlap =
            std::min(window.right(), screen.right()) - std::max(window.left(), screen.left()) + 1;
        return overlap >= MinimumGrabWidth;
    });
}

} // namespace zandrel::layout
