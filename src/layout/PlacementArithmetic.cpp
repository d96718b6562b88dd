#include "PlacementArithmetic.h"

#include <algorithm>

namespace zandrel::layout {

QList<QRect> alignControls(const QList<AlignedControl> &controls, const QRect &client)
{
    QList<QRect> result;
    for (const AlignedControl &control : controls)
        result.append(control.geometry);

    // The part of the client rectangle that the controls aligned so far have left free.
    int left = client.left();
    int top = client.top();
    int right = client.left() + client.width();
    int bottom = client.top() + client.height();

    const auto place = [&](ControlAlign side) {
        for (qsizetype i = 0; i < controls.size(); ++i) {
            const AlignedControl &control = controls[i];
            if (control.align != side || !control.visible)
                continue;
            const int width = control.geometry.width();
            const int height = control.geometry.height();
            const int freeWidth = std::max(0, right - left);
            const int freeHeight = std::max(0, bottom - top);
            switch (side) {
            case ControlAlign::Top:
                result[i] = QRect(left, top, freeWidth, height);
                top += height;
                break;
            case ControlAlign::Bottom:
                result[i] = QRect(left, bottom - height, freeWidth, height);
                bottom -= height;
                break;
            case ControlAlign::Left:
                result[i] = QRect(left, top, width, freeHeight);
                left += width;
                break;
            case ControlAlign::Right:
                result[i] = QRect(right - width, top, width, freeHeight);
                right -= width;
                break;
            case ControlAlign::Client:
                result[i] = QRect(left, top, freeWidth, freeHeight);
                break;
            case ControlAlign::None:
                break;
            }
        }
    };
    for (ControlAlign side : {ControlAlign::Top, ControlAlign::Bottom, ControlAlign::Left,
                              ControlAlign::Right, ControlAlign::Client})
        place(side);
    return result;
}

namespace {

// One axis of anchoring: the new start and length of a control along it.
std::pair<int, int> anchorAxis(int start, int length, bool nearEdge, bool farEdge, int change)
{
    if (nearEdge && farEdge)
        return {start, std::max(0, length + change)};
    if (farEdge)
        return {start + change, length};
    if (!nearEdge)
        return {start + change / 2, length};
    return {start, length};
}

} // namespace

QRect anchoredGeometry(const QRect &geometry, Anchors anchors, const QSize &oldSize, const QSize &newSize)
{
    const auto [x, width] = anchorAxis(geometry.x(), geometry.width(), anchors.testFlag(Anchor::Left),
                                       anchors.testFlag(Anchor::Right), newSize.width() - oldSize.width());
    const auto [y, height] =
        anchorAxis(geometry.y(), geometry.height(), anchors.testFlag(Anchor::Top),
                   anchors.testFlag(Anchor::Bottom), newSize.height() - oldSize.height());
    return QRect(x, y, width, height);
}

} // namespace zandrel::layout
