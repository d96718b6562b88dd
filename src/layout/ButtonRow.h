#pragma once

#include "SizingPanels.h"

namespace zandrel {

// A sizing panel holding a dialog's command buttons side by side. Whenever its size changes it
// widens each shown push button placed directly on it to its caption and places them, in the order
// of their left edges, ButtonSpacing apart as one group at the left, the right or the centre of the
// row. Only left edges and widths change; the row itself does not grow, so a group wider than the
// row reaches past its edges. Other controls and hidden buttons stay as they are.
class TButtonRow : public TCustomSizingPanel {
    Q_OBJECT
    Q_PROPERTY(int ButtonSpacing READ ButtonSpacing WRITE setButtonSpacing)
    Q_PROPERTY(zandrel::layout::GroupAlignment GroupAlignment READ GroupAlignment WRITE setGroupAlignment)

public:
    explicit TButtonRow(QWidget *parent = nullptr);

    int ButtonSpacing() const { return m_buttonSpacing; }
    void setButtonSpacing(int spacing) { m_buttonSpacing = spacing; }
    layout::GroupAlignment GroupAlignment() const { return m_groupAlignment; }
    void setGroupAlignment(layout::GroupAlignment alignment) { m_groupAlignment = alignment; }

    void AdjustLayout() override;

private:
    int m_buttonSpacing = 8;
    layout::GroupAlignment m_groupAlignment = layout::GroupAlignment::Center;
};

} // namespace zandrel
