#pragma once

#include <QList>
#include <QObject>
#include <QString>

// The arithmetic of the sizing panels and the button row, kept free of widgets so that it can be
// checked on its own. Everything is in screen pixels; divisions truncate toward zero.
namespace zandrel::layout {
Q_NAMESPACE

// Where a button row puts its group of buttons. The numbers are the ones stored in form layouts.
enum class GroupAlignment { LeftJustify = 0, RightJustify = 1, Center = 2 };
Q_ENUM_NS(GroupAlignment)

// The text of a caption as it is measured: single ampersands (access-key marks) removed, a doubled
// ampersand kept as two characters. Measuring "&&" as two ampersands errs on the wide side.
QString captionMeasureText(const QString &caption);

// The kinds of control whose caption decides how wide they must be.
enum class ControlKind { Label, StaticText, PushButton, CheckBox, RadioButton, RadioGroup, Other };

// Room that a control needs beside its caption text, for the check mark, the frame and so on.
inline constexpr int PushButtonCaptionMargin = 16;
inline constexpr int CheckBoxCaptionMargin = 19;
inline constexpr int RadioButtonCaptionMargin = 18;
inline constexpr int RadioGroupCaptionMargin = 15;
inline constexpr int RadioGroupItemMargin = 33;

// What the width rule needs to know about one control on a panel.
struct ControlMetrics {
    ControlKind kind = ControlKind::Other;
    int left = 0;  // left edge within the panel
    int width = 0; // current width
    bool wordWrap = false;
    bool autoSize = false;
    int captionWidth = 0;  // measured caption; a radio group's own caption
    int captionMargin = 0; // buttons, check boxes, radio buttons and a radio group's caption
    QList<int> itemWidths; // a radio group's item texts
    int itemMargin = 0;    // room beside each item text
    // Whether the control gets wider with the panel (anchored to both its sides, for example).
    bool followsPanel = true;
};

// The width the control needs on a panel of the given width.
int requiredWidth(const ControlMetrics &control, int panelWidth);

// How much the panel must grow for this control; 0 or less when it fits. A control that follows
// the panel lacks its required width minus its width. One that keeps its width whatever the panel
// does cannot gain from a wider panel; it lacks only what its required width would reach beyond the
// panel's right edge, so that adjusting again does not widen the panel again for the same caption.
// Captions that size themselves already measure from the right edge.
int shortfall(const ControlMetrics &control, int panelWidth);

// How much a panel must grow so that every control gets its room: the largest shortfall, 0 when
// all fit.
int panelGrowth(const QList<ControlMetrics> &controls, int panelWidth);

// What setting a sizing panel's width does. A panel allowed to size its form widens the form first
// by the same amount; without a form to widen it stays as it is.
struct PanelWidthChange {
    bool changes = false;
    int formGrowth = 0;
    int panelWidth = 0;
};
PanelWidthChange panelWidthChange(int panelWidth, int newWidth, bool canSizeForm, bool ownedByForm);

// A visible push button of a button row, in child order.
struct RowButton {
    int left = 0;
    int width = 0;
    int requiredWidth = 0; // from its caption
};

// Where one button goes; index names the button in the list given to layoutButtonRow.
struct PlacedButton {
    qsizetype index = 0;
    int left = 0;
    int width = 0;
};

// The order in which a row places its buttons: by left edge, equal edges in child order.
QList<qsizetype> buttonOrder(const QList<int> &leftEdges);

// Widens each button to its caption (never narrower) and places the buttons side by side, in the
// order of their left edges, as one group aligned in the row. The row itself does not grow, so a
// group wider than the row starts at a negative position.
QList<PlacedButton> layoutButtonRow(const QList<RowButton> &buttons, int rowWidth, int spacing,
                                    GroupAlignment alignment);

} // namespace zandrel::layout
