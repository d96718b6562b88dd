#pragma once

#include <QList>
#include <QMargins>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

#include <optional>

// A window's position as the settings store keeps it, and where it goes on today's desktop.
namespace zandrel::layout {

// A stored window position "top,left": nullopt when it is not two whole numbers.
std::optional<QPoint> parseWindowPosition(const QString &text);
QString formatWindowPosition(int top, int left);
// Negative values become 0, and so do values beyond the desktop's far edges.
QPoint placeOnDesktop(int top, int left, const QRect &desktop);

// A window manager draws a frame (title bar and borders) around a window's client area. The
// settings keep the frame's outer rectangle, which is what the user sees and moves; Qt sizes a
// window by its client area.
QSize clientSizeFor(const QSize &outerSize, const QMargins &frame);

// How much of the frame's top edge must lie on a screen for the user to grab it there.
inline constexpr int MinimumGrabWidth = 100;
// The title bar's height taken until the window manager has drawn the frame.
inline constexpr int AssumedTitleBarHeight = 20;

// Where a window whose frame's outer top left and size were stored opens on today's screens
// (their available areas). The stored rules (placeOnDesktop) come first. Then, on the screen it
// overlaps most or lies nearest to, a window larger than that screen fills it, and any other keeps
// its place as long as its title bar lies on the screen with at least MinimumGrabWidth pixels of
// it; it is never smaller than `minimum`.
QRect restoredFrame(const QPoint &topLeft, const QSize &size, const QRect &desktop,
                    const QList<QRect> &screens, const QSize &minimum, int titleBarHeight);

} // namespace zandrel::layout
