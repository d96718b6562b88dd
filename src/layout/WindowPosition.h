#pragma once

#include <QList>
#include <QPoint>
#include <QRect>
#include <QString>

#include <optional>

// A window's position as the settings store keeps it, and where it goes on today's desktop.
namespace zandrel::layout {

// A stored window position "top,left": nullopt when it is not two whole numbers.
std::optional<QPoint> parseWindowPosition(const QString &text);
QString formatWindowPosition(int top, int left);
// Negative values become 0, and so do values beyond the desktop's far edges.
QPoint placeOnDesktop(int top, int left, const QRect &desktop);

// How much of a window's top edge must lie on a screen for the user to grab it there.
inline constexpr int MinimumGrabWidth = 100;
// Whether the window can be grabbed by its top edge on one of the screens, so that a placement
// stored on a larger desktop, or next to its edge, does not bring a window back out of reach.
bool canBeGrabbed(const QRect &window, const QList<QRect> &screens);

} // namespace zandrel::layout
