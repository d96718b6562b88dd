#include "FramePlacement.h"

#include "WindowPosition.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>

namespace zandrel {

FramePlacement::FramePlacement(QWidget *window) : QObject(window), m_window(window)
{
    window->installEventFilter(this);
}

QMargins FramePlacement::frameMargins() const
{
    const QRect client = m_window->geometry();
    const QRect frame = m_window->frameGeometry();
    return {client.left() - frame.left(), client.top() - frame.top(), frame.right() - client.right(),
            frame.bottom() - client.bottom()};
}

QSize FramePlacement::outerSizeFor(const QSize &client) const
{
    return client.grownBy(frameMargins());
}

QRect FramePlacement::restored(const QPoint &topLeft, const QSize &size, const QSize &minimumClient) const
{
    QList<QRect> screens;
    for (const QScreen *screen : QGuiApplication::screens())
        screens.append(screen->availableGeometry());
    const QScreen *primary = QGuiApplication::primaryScreen();
    const int titleBar = frameMargins().top() > 0 ? frameMargins().top() : layout::AssumedTitleBarHeight;
    return layout::restoredFrame(topLeft, size, primary ? primary->virtualGeometry() : QRect(), screens,
                                 outerSizeFor(minimumClient), titleBar);
}

void FramePlacement::place(const QRect &outer, bool withSize)
{
    m_withSize = withSize;
    const QMargins frame = frameMargins();
    if (withSize)
        m_window->resize(layout::clientSizeFor(outer.size(), frame));
    // Once the frame is known, Qt moves it where it is told.
    m_window->move(outer.topLeft());
    if (!frame.isNull()) {
        m_pending.reset();
        return;
    }
    // Before then, the window manager is asked to put the frame's corner there (and not the
    // client's), and the size follows once the frame is drawn.
    if (QWindow *handle = m_window->windowHandle())
        handle->setFramePosition(outer.topLeft());
    m_pending = outer;
}

bool FramePlacement::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_window || !m_pending)
        return QObject::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::Hide:
        m_pending.reset();
        break;
    case QEvent::Move:
    case QEvent::Resize: {
        const QMargins frame = frameMargins();
        if (frame.isNull())
            break;
        // Settled once: from here on the user moves and sizes the window.
        const QRect outer = *m_pending;
        m_pending.reset();
        if (m_withSize && m_window->frameGeometry().size() != outer.size())
            m_window->resize(layout::clientSizeFor(outer.size(), frame));
        if (m_window->frameGeometry().topLeft() != outer.topLeft())
            m_window->move(outer.topLeft());
        break;
    }
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace zandrel
