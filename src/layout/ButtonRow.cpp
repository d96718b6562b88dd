#include "ButtonRow.h"

#include <QPushButton>

namespace zandrel {

TButtonRow::TButtonRow(QWidget *parent) : TCustomSizingPanel(parent)
{}

void TButtonRow::AdjustLayout()
{
    QList<QPushButton *> buttons;
    QList<layout::RowButton> rowButtons;
    for (QWidget *control : PlacedControls()) {
        auto *button = qobject_cast<QPushButton *>(control);
        if (!button || button->isHidden())
            continue;
        buttons.append(button);
        rowButtons.append({button->x(), button->width(), GetRequiredWidth(button)});
    }
    for (const layout::PlacedButton &placed :
         layout::layoutButtonRow(rowButtons, width(), m_buttonSpacing, m_groupAlignment)) {
        QPushButton *button = buttons[placed.index];
        button->setGeometry(placed.left, button->y(), placed.width, button->height());
    }
}

} // namespace zandrel
