#include "CaptionLabels.h"

#include <QEvent>

namespace zandrel {

TLabel::TLabel(QWidget *parent) : QLabel(parent)
{
    fitToText();
}

TLabel::TLabel(const QString &text, QWidget *parent) : QLabel(text, parent)
{
    fitToText();
}

void TLabel::setAutoSize(bool autoSize)
{
    m_autoSize = autoSize;
    fitToText();
}

void TLabel::setText(const QString &text)
{
    QLabel::setText(text);
    fitToText();
}

void TLabel::setBuddy(QWidget *buddy)
{
    QLabel::setBuddy(buddy);
    fitToText();
}

void TLabel::setWordWrap(bool on)
{
    QLabel::setWordWrap(on);
    fitToText();
}

void TLabel::fitToText()
{
    if (!m_autoSize)
        return;
    if (wordWrap())
        resize(width(), heightForWidth(width()));
    else
        resize(sizeHint());
}

void TLabel::changeEvent(QEvent *event)
{
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        fitToText();
}

// The base class sized it to its text before this class's sizeHint was in force.
TStaticText::TStaticText(QWidget *parent) : TLabel(parent)
{
    fitToText();
}

TStaticText::TStaticText(const QString &text, QWidget *parent) : TLabel(text, parent)
{
    fitToText();
}

QSize TStaticText::sizeHint() const
{
    return TLabel::sizeHint() + QSize(FieldGap, 0);
}

} // namespace zandrel
