#pragma once

#include "LayoutArithmetic.h"
#include "MbcsUtils.h"

#include <QDialog>
#include <QFrame>

class QFont;

namespace zandrel {

// A borderless container that, whenever its size changes, measures the captions of the controls
// placed directly on it and lets AdjustLayout make room for them. Captions come from the string
// table and may be much longer than the English ones the dialog was laid out for.
//
// All sizing panels of the program share one adjusting flag: while one panel adjusts after a size
// change, size changes of other panels (for example through the form getting wider) do not start
// an adjustment inside it; those panels adjust once it is over.
class TCustomSizingPanel : public QFrame {
    Q_OBJECT

public:
    explicit TCustomSizingPanel(QWidget *parent = nullptr);

    // Width of the caption as shown, without its access-key marks, in the given font on this panel.
    int GetCaptionWidth(const QString &caption, const QFont &font) const;

    // The width the control needs on this panel, by its kind: labels (QLabel, TLabel), static texts
    // (TStaticText), push buttons, check boxes, radio buttons, radio groups (a group box holding
    // radio buttons); any other control needs its current width.
    int GetRequiredWidth(QWidget *control) const;

    // What the width rule knows about the control; the caption margins are the described ones or,
    // where the widget style needs more room beside the text, the style's.
    layout::ControlMetrics MetricsOf(QWidget *control) const;

    // Whether the control gets wider with the panel: aligned to the top, bottom or all of it,
    // anchored to its left and right, or stretched by a Qt layout of the panel.
    bool FollowsPanelWidth(const QWidget *control) const;

    // Does nothing here; the panels below make room for their controls.
    virtual void AdjustLayout() {}

    // True while a panel adjusts after a size change.
    static bool IsAdjusting();

protected:
    void resizeEvent(QResizeEvent *event) override;

    // The controls placed directly on the panel, in child order, shown or hidden.
    QList<QWidget *> PlacedControls() const;

private:
    friend class AdjustingScope;
    bool m_sizeChangedWhileAdjusting = false;
};

// A sizing panel that widens itself by the largest shortfall of its controls, and with CanSizeForm
// widens its form first by the same amount. It never narrows itself, never changes a height and
// never resizes its controls; anchored controls follow it. Controls meant to show longer captions
// are anchored left and right (or size themselves); see layout::shortfall for the others.
class TSizingPanel : public TCustomSizingPanel {
    Q_OBJECT
    Q_PROPERTY(bool CanSizeForm READ CanSizeForm WRITE setCanSizeForm)

public:
    explicit TSizingPanel(QWidget *parent = nullptr);

    bool CanSizeForm() const { return m_canSizeForm; }
    void setCanSizeForm(bool canSizeForm) { m_canSizeForm = canSizeForm; }

    void AdjustLayout() override;

    // Sets the panel's width. Growing a panel that may size its form widens the form first, so that
    // aligned neighbours keep their widths; such a panel that is not placed on a form (it is a
    // window of its own) changes nothing.
    void SetPanelWidth(int newWidth);

    // The window the panel is placed on; none when the panel is a window itself.
    QWidget *OwnerForm() const;

private:
    bool m_canSizeForm = false;
};

// A dialog that, just before each showing, sets its font's character set for the system's code page
// and, if it holds sizing panels, lets every one of them adjust, inner panels before outer ones,
// with the alignment of its children held back meanwhile.
//
// Qt picks the glyphs for each script by itself, so the character set is kept as FontCharset for
// whoever needs it and changes nothing in the drawing.
class TAutoSizeForm : public QDialog {
    Q_OBJECT
    Q_PROPERTY(int FontCharset READ FontCharset)

public:
    explicit TAutoSizeForm(QWidget *parent = nullptr);

    int FontCharset() const { return m_fontCharset; }
    // The sizing panels placed on this form, at any depth.
    int SizingPanelCount() const;
    void AdjustAllPanels();

    void setVisible(bool visible) override;

private:
    int m_fontCharset = layout::DefaultCharset;
};

} // namespace zandrel
