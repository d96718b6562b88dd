#pragma once

// Helpers shared by the tests of the sizing panels and the self-sizing form.

#include "layout/ControlPlacement.h"
#include "layout/SizingPanels.h"

#include <QPushButton>
#include <QStringList>

#include <functional>
#include <memory>

namespace zandrel::test {

inline const QString longCaption = QStringLiteral("&Station setup and backsight");

// A panel that notes each adjustment and whether the shared flag was set meanwhile.
class RecordingPanel : public TSizingPanel {
public:
    RecordingPanel(const QString &name, QStringList *log, QWidget *parent)
        : TSizingPanel(parent), m_name(name), m_log(log)
    {
    }

    void AdjustLayout() override
    {
        ++adjustments;
        sawAdjusting = IsAdjusting();
        if (m_log)
            m_log->append(window()->isVisible() ? m_name : m_name + QStringLiteral(" before showing"));
        if (onAdjust)
            onAdjust();
        TSizingPanel::AdjustLayout();
        if (afterAdjust)
            afterAdjust();
    }

    int adjustments = 0;
    bool sawAdjusting = false;
    std::function<void()> onAdjust;
    std::function<void()> afterAdjust;

private:
    QString m_name;
    QStringList *m_log;
};

// What a push button, check box or radio button on the panel needs beside its caption.
inline int captionNeed(const TCustomSizingPanel &panel, QWidget *control)
{
    const layout::ControlMetrics metrics = panel.MetricsOf(control);
    return metrics.captionWidth + metrics.captionMargin;
}

// A button on the panel that lacks `shortfall` pixels for its caption, anchored so that it gets
// wider with the panel.
inline QPushButton *shortButton(TCustomSizingPanel *panel, int shortfall, const QString &caption = longCaption)
{
    auto *button = new QPushButton(caption, panel);
    button->setGeometry(4, 4, captionNeed(*panel, button) - shortfall, 25);
    layout::setAnchors(button, layout::Anchor::Left | layout::Anchor::Top | layout::Anchor::Right);
    return button;
}

// The top-level window that a panel or other widget sits in, as a test owns it.
inline std::unique_ptr<QWidget> makeForm(int width = 400, int height = 200)
{
    auto form = std::make_unique<QWidget>();
    form->resize(width, height);
    return form;
}

} // namespace zandrel::test
