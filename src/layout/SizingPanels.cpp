#include "SizingPanels.h"

#include "CaptionLabels.h"
#include "ControlPlacement.h"
#include "MbcsUtils.h"

#include <QCheckBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLayout>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>

#include <algorithm>

namespace zandrel {

namespace {

// The adjusting flag that all sizing panels share: the panel whose adjustment after a size change
// is running, none otherwise.
TCustomSizingPanel *adjustingPanel = nullptr;

// The room that the widget style puts beside a button's text: what it adds to a long text, so that
// the style's least width for short texts does not count.
int styleButtonMargin(QPushButton *control)
{
    QStyleOptionButton option;
    option.initFrom(control);
    option.text = QStringLiteral("x");
    if (control->autoDefault() || control->isDefault())
        option.features |= QStyleOptionButton::AutoDefaultButton;
    constexpr int probeWidth = 1000;
    const QSize contents(probeWidth, control->fontMetrics().height());
    return control->style()->sizeFromContents(QStyle::CT_PushButton, &option, contents, control).width() -
           probeWidth;
}

QList<QRadioButton *> radioItemsOf(QGroupBox *group)
{
    return group->findChildren<QRadioButton *>(QString(), Qt::FindDirectChildrenOnly);
}

bool managedByLayout(const QLayout *layout, const QWidget *widget)
{
    if (!layout)
        return false;
    if (layout->indexOf(widget) >= 0)
        return true;
    for (int i = 0; i < layout->count(); ++i) {
        if (managedByLayout(layout->itemAt(i)->layout(), widget))
            return true;
    }
    return false;
}

// Sets a widget's width so that it stays: a widget in one of Qt's layouts gets it as its minimum
// (and, where it had a fixed width, as its fixed width), since the layout decides its geometry.
void setLastingWidth(QWidget *widget, int width)
{
    QWidget *parent = widget->parentWidget();
    if (parent && managedByLayout(parent->layout(), widget)) {
        if (widget->minimumWidth() == widget->maximumWidth()) {
            widget->setFixedWidth(width);
        } else {
            widget->setMinimumWidth(width);
            widget->setMaximumWidth(std::max(widget->maximumWidth(), width));
        }
    }
    widget->resize(width, widget->height());
}

// Widens a window, also one that the user cannot resize.
void widenWindow(QWidget *window, int growth)
{
    const int width = window->width() + growth;
    if (window->minimumWidth() == window->maximumWidth()) {
        window->setFixedWidth(width);
    } else {
        window->setMaximumWidth(std::max(window->maximumWidth(), width));
        window->resize(width, window->height());
    }
}

QList<QPointer<TCustomSizingPanel>> panelsOfWindow(QWidget *window)
{
    QList<QPointer<TCustomSizingPanel>> panels;
    if (auto *panel = qobject_cast<TCustomSizingPanel *>(window))
        panels.append(panel);
    for (TCustomSizingPanel *panel : window->findChildren<TCustomSizingPanel *>()) {
        if (panel->window() == window)
            panels.append(panel);
    }
    return panels;
}

} // namespace

// Sets the shared flag for one adjustment and clears it when that ends, also by an exception.
class AdjustingScope {
public:
    explicit AdjustingScope(TCustomSizingPanel *panel) { adjustingPanel = panel; }
    ~AdjustingScope() { adjustingPanel = nullptr; }
    AdjustingScope(const AdjustingScope &) = delete;
    AdjustingScope &operator=(const AdjustingScope &) = delete;

    // The panel adjusts after its size changed. A panel whose size another panel's adjustment
    // changed adjusts once that adjustment is over, not inside it: otherwise a button row widened
    // with its form would keep the places it had in the narrower form.
    static void adjustAfterSizeChange(TCustomSizingPanel *panel)
    {
        if (adjustingPanel) {
            if (adjustingPanel != panel)
                panel->m_sizeChangedWhileAdjusting = true;
            return;
        }
        QPointer<QWidget> window = panel->window();
        {
            AdjustingScope scope(panel);
            panel->AdjustLayout();
        }
        // Every adjustment only widens towards what the captions need, so this settles quickly;
        // the bound only keeps controls that change their own size from looping for ever.
        for (int pass = 0; pass < 16 && window; ++pass) {
            bool adjusted = false;
            for (const QPointer<TCustomSizingPanel> &waiting : panelsOfWindow(window)) {
                if (!waiting || !waiting->m_sizeChangedWhileAdjusting)
                    continue;
                waiting->m_sizeChangedWhileAdjusting = false;
                adjusted = true;
                AdjustingScope scope(waiting);
                waiting->AdjustLayout();
            }
            if (!adjusted)
                break;
        }
    }
};

TCustomSizingPanel::TCustomSizingPanel(QWidget *parent) : QFrame(parent)
{
    setFrameShape(QFrame::NoFrame);
}

int TCustomSizingPanel::GetCaptionWidth(const QString &caption, const QFont &font) const
{
    return QFontMetrics(font, this).size(Qt::TextSingleLine, layout::captionMeasureText(caption)).width();
}

bool TCustomSizingPanel::FollowsPanelWidth(const QWidget *control) const
{
    switch (layout::align(control)) {
    case layout::ControlAlign::Top:
    case layout::ControlAlign::Bottom:
    case layout::ControlAlign::Client:
        return true;
    case layout::ControlAlign::Left:
    case layout::ControlAlign::Right:
        return false;
    case layout::ControlAlign::None:
        break;
    }
    const layout::Anchors anchors = layout::anchors(control);
    if (anchors.testFlag(layout::Anchor::Left) && anchors.testFlag(layout::Anchor::Right))
        return true;
    return managedByLayout(layout(), control) &&
           (control->sizePolicy().horizontalPolicy() & QSizePolicy::GrowFlag) != 0;
}

layout::ControlMetrics TCustomSizingPanel::MetricsOf(QWidget *control) const
{
    using layout::ControlKind;
    layout::ControlMetrics metrics;
    metrics.left = control->x();
    metrics.width = control->width();
    metrics.followsPanel = FollowsPanelWidth(control);
    // What a check box or radio button needs beside its caption: the described room or, where
    // the widget style needs more (a wider mark, rounding of the text's extent), the style's.
    const auto markMargin = [&](QAbstractButton *button, int described) {
        return std::max(described, button->sizeHint().width() - metrics.captionWidth);
    };
    if (auto *staticText = qobject_cast<TStaticText *>(control)) {
        metrics.kind = ControlKind::StaticText;
        metrics.autoSize = staticText->AutoSize();
        metrics.captionWidth = GetCaptionWidth(staticText->text(), staticText->font());
    } else if (auto *label = qobject_cast<QLabel *>(control)) {
        const auto *sizingLabel = qobject_cast<TLabel *>(label);
        metrics.kind = ControlKind::Label;
        metrics.wordWrap = label->wordWrap();
        metrics.autoSize = sizingLabel && sizingLabel->AutoSize();
        metrics.captionWidth = GetCaptionWidth(label->text(), label->font());
    } else if (auto *button = qobject_cast<QPushButton *>(control)) {
        metrics.kind = ControlKind::PushButton;
        metrics.captionWidth = GetCaptionWidth(button->text(), button->font());
        metrics.captionMargin = std::max(layout::PushButtonCaptionMargin, styleButtonMargin(button));
    } else if (auto *checkBox = qobject_cast<QCheckBox *>(control)) {
        metrics.kind = ControlKind::CheckBox;
        metrics.captionWidth = GetCaptionWidth(checkBox->text(), checkBox->font());
        metrics.captionMargin = markMargin(checkBox, layout::CheckBoxCaptionMargin);
    } else if (auto *radioButton = qobject_cast<QRadioButton *>(control)) {
        metrics.kind = ControlKind::RadioButton;
        metrics.captionWidth = GetCaptionWidth(radioButton->text(), radioButton->font());
        metrics.captionMargin = markMargin(radioButton, layout::RadioButtonCaptionMargin);
    } else if (auto *group = qobject_cast<QGroupBox *>(control); group && !radioItemsOf(group).isEmpty()) {
        metrics.kind = ControlKind::RadioGroup;
        metrics.captionWidth = GetCaptionWidth(group->title(), group->font());
        metrics.captionMargin = layout::RadioGroupCaptionMargin;
        for (QRadioButton *item : radioItemsOf(group))
            metrics.itemWidths.append(GetCaptionWidth(item->text(), item->font()));
        metrics.itemMargin = layout::RadioGroupItemMargin;
    }
    return metrics;
}

int TCustomSizingPanel::GetRequiredWidth(QWidget *control) const
{
    return layout::requiredWidth(MetricsOf(control), width());
}

bool TCustomSizingPanel::IsAdjusting()
{
    return adjustingPanel != nullptr;
}

void TCustomSizingPanel::resizeEvent(QResizeEvent *event)
{
    QFrame::resizeEvent(event);
    AdjustingScope::adjustAfterSizeChange(this);
}

QList<QWidget *> TCustomSizingPanel::PlacedControls() const
{
    QList<QWidget *> controls;
    for (QObject *child : children()) {
        auto *control = qobject_cast<QWidget *>(child);
        if (control && !control->isWindow())
            controls.append(control);
    }
    return controls;
}

TSizingPanel::TSizingPanel(QWidget *parent) : TCustomSizingPanel(parent)
{}

void TSizingPanel::AdjustLayout()
{
    QList<layout::ControlMetrics> controls;
    for (QWidget *control : PlacedControls())
        controls.append(MetricsOf(control));
    const int needed = width() + layout::panelGrowth(controls, width());
    if (needed > width())
        SetPanelWidth(needed);
}

QWidget *TSizingPanel::OwnerForm() const
{
    QWidget *form = window();
    return form == this ? nullptr : form;
}

void TSizingPanel::SetPanelWidth(int newWidth)
{
    QWidget *form = OwnerForm();
    const layout::PanelWidthChange change =
        layout::panelWidthChange(width(), newWidth, m_canSizeForm, form != nullptr);
    if (!change.changes)
        return;
    if (change.formGrowth > 0) {
        widenWindow(form, change.formGrowth);
        layout::applyPlacement(form);
    }
    setLastingWidth(this, change.panelWidth);
    layout::applyPlacement(parentWidget() ? parentWidget() : this);
}

TAutoSizeForm::TAutoSizeForm(QWidget *parent) : QDialog(parent)
{}

int TAutoSizeForm::SizingPanelCount() const
{
    int count = 0;
    for (const TCustomSizingPanel *panel : findChildren<TCustomSizingPanel *>()) {
        if (panel->window() == this)
            ++count;
    }
    return count;
}

namespace {

// Inner panels adjust before the panels that hold them.
void adjustPanelsWithin(QWidget *control)
{
    for (QObject *child : control->children()) {
        auto *inner = qobject_cast<QWidget *>(child);
        if (inner && !inner->isWindow())
            adjustPanelsWithin(inner);
    }
    if (auto *panel = qobject_cast<TCustomSizingPanel *>(control))
        panel->AdjustLayout();
}

} // namespace

void TAutoSizeForm::AdjustAllPanels()
{
    const layout::AlignmentSuspension suspension(this);
    for (QObject *child : children()) {
        auto *control = qobject_cast<QWidget *>(child);
        if (control && !control->isWindow())
            adjustPanelsWithin(control);
    }
}

void TAutoSizeForm::setVisible(bool visible)
{
    if (visible && !isVisible()) {
        m_fontCharset = layout::SystemCharset();
        if (SizingPanelCount() > 0)
            AdjustAllPanels();
    }
    QDialog::setVisible(visible);
}

} // namespace zandrel
