#pragma once

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

} // namespace zandrel::layout
