#pragma once

#include <QMargins>
#include <QObject>
#include <QRect>

#include <optional>

class QWidget;

namespace zandrel {

// Places a top-level window by its frame, as the settings keep it. Qt moves a window by its frame
// but sizes it by its client area, and learns the window manager's frame only once the window is
// on the screen: a window placed before then by its client area opens a title bar higher each time.
class FramePlacement : public QObject {
    Q_OBJECT

public:
    explicit FramePlacement(QWidget *window);

    // Call from the window's showEvent: the frame's outer top left goes to `outer`'s and, with
    // `withSize`, the frame's outer size becomes `outer`'s as soon as the frame is known.
    void place(const QRect &outer, bool withSize);

    // The frame around the client area; empty until the window manager has drawn one.
    QMargins frameMargins() const;
    // The frame's outer size for a client area of `client`, as far as the frame is known.
    QSize outerSizeFor(const QSize &client) const;
    // Where a frame stored at `topLeft` with `size` opens on today's screens, no smaller than a
    // client area of `minimumClient`.
    QRect restored(const QPoint &topLeft, const QSize &size, const QSize &minimumClient) const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *m_window;
    // The frame still to be put right once the window manager has drawn it.
    std::optional<QRect> m_pending;
    bool m_withSize = false;
};

} // namespace zandrel
