#pragma once

#include <QLabel>

namespace zandrel {

// A caption that can size itself to its text, as the dialogs' captions do: with AutoSize (the
// default) it takes the width and height its text needs whenever the text, the font or the buddy
// changes through this class, keeping its top left corner. A word-wrapping caption keeps its width
// and fits its height. Sizing panels treat it as a label: one that wraps words never widens them.
//
// An access-key mark "&" shows as such only when the caption has a buddy (QLabel's rule).
class TLabel : public QLabel {
    Q_OBJECT
    Q_PROPERTY(bool AutoSize READ AutoSize WRITE setAutoSize)

public:
    explicit TLabel(QWidget *parent = nullptr);
    explicit TLabel(const QString &text, QWidget *parent = nullptr);

    bool AutoSize() const { return m_autoSize; }
    void setAutoSize(bool autoSize);

    // These hide QLabel's so that the caption fits what it shows; call them on this class.
    void setText(const QString &text);
    void setBuddy(QWidget *buddy);
    void setWordWrap(bool on);

    // Takes the size the text needs, if AutoSize is set.
    void fitToText();

protected:
    void changeEvent(QEvent *event) override;

private:
    bool m_autoSize = true;
};

// A caption with a window of its own. Sizing panels measure it like a label but never ask whether
// it wraps words.
//
// It names the field beside it, so it keeps a gap after its text: a sizing panel grows until a
// caption's right edge is its own, and without the gap a longer translation would run into the
// field and read as part of its value.
class TStaticText : public TLabel {
    Q_OBJECT

public:
    // The gap the main dialog was designed with after its English captions.
    static constexpr int FieldGap = 5;

    explicit TStaticText(QWidget *parent = nullptr);
    explicit TStaticText(const QString &text, QWidget *parent = nullptr);

    // Not contents margins: QFrame sets those anew from its frame whenever the style changes.
    QSize sizeHint() const override;
};

} // namespace zandrel
