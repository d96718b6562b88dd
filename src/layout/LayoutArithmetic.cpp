#include "LayoutArithmetic.h"

#include <algorithm>

namespace zandrel::layout {

QString captionMeasureText(const QString &caption)
{
    // One pass from the left: a pair stays as it is, a single mark goes. This gives the same text
    // as protecting the pairs first and then removing the rest, without a placeholder character
    // that a caption could itself contain.
    QString text;
    text.reserve(caption.size());
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption.at(i) != u'&') {
            text.append(caption.at(i));
        } else if (i + 1 < caption.size() && caption.at(i + 1) == u'&') {
            text.append(QLatin1String("&&"));
            ++i;
        }
    }
    return text;
}

namespace {

// A control that sizes itself to its text needs nothing while it lies within the panel; beyond
// the edge the panel must reach its right edge.
int selfSizingWidth(const ControlMetrics &control, int panelWidth)
{
    if (control.left + control.width <= panelWidth)
        return control.width;
    return 2 * control.width - (panelWidth - control.left);
}

} // namespace

int requiredWidth(const ControlMetrics &control, int panelWidth)
{
    switch (control.kind) {
    case ControlKind::Label:
        if (control.wordWrap)
            return control.width;
        if (control.autoSize)
            return selfSizingWidth(control, panelWidth);
        return control.captionWidth;
    case ControlKind::StaticText:
        if (control.autoSize)
            return selfSizingWidth(control, panelWidth);
        return control.captionWidth;
    case ControlKind::PushButton:
    case ControlKind::CheckBox:
    case ControlKind::RadioButton:
        return std::max(control.width, control.captionWidth + control.captionMargin);
    case ControlKind::RadioGroup: {
        int width = std::max(control.width, control.captionWidth + control.captionMargin);
        for (int item : control.itemWidths)
            width = std::max(width, item + control.itemMargin);
        return width;
    }
    case ControlKind::Other:
        break;
    }
    return control.width;
}

int shortfall(const ControlMetrics &control, int panelWidth)
{
    const int required = requiredWidth(control, panelWidth);
    const bool sizesItself = control.autoSize && (control.kind == ControlKind::StaticText ||
                                                  (control.kind == ControlKind::Label && !control.wordWrap));
    if (required <= control.width || control.followsPanel || sizesItself)
        return required - control.width;
    return control.left + required - panelWidth;
}

int panelGrowth(const QList<ControlMetrics> &controls, int panelWidth)
{
    int growth = 0;
    for (const ControlMetrics &control : controls)
        growth = std::max(growth, shortfall(control, panelWidth));
    return growth;
}

PanelWidthChange panelWidthChange(int panelWidth, int newWidth, bool canSizeForm, bool ownedByForm)
{
    if (canSizeForm && newWidth > panelWidth) {
        if (!ownedByForm)
            return {false, 0, panelWidth};
        return {true, newWidth - panelWidth, newWidth};
    }
    return {newWidth != panelWidth, 0, newWidth};
}

QList<qsizetype> buttonOrder(const QList<int> &leftEdges)
{
    // Insert before the first listed button that lies strictly further right: a stable order.
    QList<qsizetype> order;
    for (qsizetype i = 0; i < leftEdges.size(); ++i) {
        const auto further = std::find_if(order.begin(), order.end(),
                                          [&](qsizetype listed) { return leftEdges[listed] > leftEdges[i]; });
        order.insert(further, i);
    }
    return order;
}

QList<PlacedButton> layoutButtonRow(const QList<RowButton> &buttons, int rowWidth, int spacing,
                                    GroupAlignment alignment)
{
    if (buttons.isEmpty())
        return {};

    QList<int> leftEdges;
    for (const RowButton &button : buttons)
        leftEdges.append(button.left);

    QList<PlacedButton> placed;
    int total = 0;
    for (qsizetype index : buttonOrder(leftEdges)) {
        const RowButton &button = buttons[index];
        const int width = std::max(button.width, button.requiredWidth);
        placed.append({index, 0, width});
        total += width;
    }
    total += int(placed.size() - 1) * spacing;

    int x = 0;
    switch (alignment) {
    case GroupAlignment::LeftJustify:
        x = spacing;
        break;
    case GroupAlignment::RightJustify:
        x = rowWidth - spacing - total;
        break;
    case GroupAlignment::Center:
        x = (rowWidth - total) / 2;
        break;
    }
    for (PlacedButton &button : placed) {
        button.left = x;
        x += button.width + spacing;
    }
    return placed;
}

} // namespace zandrel::layout
