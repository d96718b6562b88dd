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

QSize clientSizeFor(const QSize &outerSize, const QMargins &frame)
{
    return {std::max(outerSize.width() - frame.left() - frame.right(), 1),
            std::max(outerSize.height() - frame.top() - frame.bottom(), 1)};
}

namespace {

// The screen a window belongs on: the one it overlaps most, else the one nearest its top left.
QRect screenFor(const QRect &window, const QList<QRect> &screens)
{
    QRect best;
    qint64 bestArea = 0;
    for (const QRect &screen : screens) {
        const QRect common = screen.intersected(window);
        const qint64 area = qint64(common.width()) * common.height();
        if (area > bestArea) {
            best = screen;
            bestArea = area;
        }
    }
    if (bestArea > 0)
        return best;
    const auto distance = [&window](const QRect &screen) {
        const int dx = std::max({screen.left() - window.left(), 0, window.left() - screen.right()});
        const int dy = std::max({screen.top() - window.top(), 0, window.top() - screen.bottom()});
        return qint64(dx) + dy;
    };
    const auto nearest =
        std::min_element(screens.cbegin(), screens.cend(),
                         [&](const QRect &a, const QRect &b) { return distance(a) < distance(b); });
    return nearest == screens.cend() ? QRect() : *nearest;
}

} // namespace

QRect restoredFrame(const QPoint &topLeft, const QSize &size, const QRect &desktop,
                    const QList<QRect> &screens, const QSize &minimum, int titleBarHeight)
{
    const QPoint placed = placeOnDesktop(topLeft.y(), topLeft.x(), desktop);
    // Bounded, so that no sum below can overflow whatever the stored numbers.
    constexpr int largest = 1 << 20;
    const QSize atLeast = size.expandedTo(minimum).expandedTo({1, 1}).boundedTo({largest, largest});
    const QRect screen = screenFor(QRect(placed, atLeast), screens);
    if (screen.isEmpty())
        return {placed, atLeast};
    // A window larger than its screen came from a larger one, or from a broken value: it fills
    // the screen that way.
    const int width = std::min(atLeast.width(), screen.width());
    const int height = std::min(atLeast.height(), screen.height());
    int left = width < atLeast.width() ? screen.left() : placed.x();
    int top = height < atLeast.height() ? screen.top() : placed.y();
    // Otherwise it stays where the user put it as long as its title bar can be grabbed.
    const int grab = std::min(MinimumGrabWidth, width);
    left = std::clamp(left, screen.left() - (width - grab), screen.right() + 1 - grab);
    top = std::clamp(top, screen.top(), std::max(screen.top(), screen.bottom() + 1 - titleBarHeight));
    return {left, top, width, height};
}

} // namespace zandrel::layout
