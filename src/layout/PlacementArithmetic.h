#pragma once

#include <QFlags>
#include <QList>
#include <QRect>
#include <QSize>

// How the dialogs place controls in their container, as their form layouts describe it: a control
// is either aligned to a side of the container (and fills that side) or anchored to some of its
// edges (and keeps its distance to them when the container changes size).
namespace zandrel::layout {

enum class ControlAlign { None, Top, Bottom, Left, Right, Client };

enum class Anchor { Left = 0x1, Top = 0x2, Right = 0x4, Bottom = 0x8 };
Q_DECLARE_FLAGS(Anchors, Anchor)

// The anchors every control starts with: it stays where it is.
inline constexpr Anchors DefaultAnchors = {Anchor::Left, Anchor::Top};

struct AlignedControl {
    ControlAlign align = ControlAlign::None;
    QRect geometry;
    bool visible = true;
};

// The geometry of each control after aligning them in the client rectangle. Top and bottom controls
// keep their height and take the full width, left and right ones keep their width and take the
// height that is left, a client control takes the rest. The sides are filled in the order top,
// bottom, left, right, client, each in list order. Hidden and unaligned controls keep their geometry.
QList<QRect> alignControls(const QList<AlignedControl> &controls, const QRect &client);

// The geometry of an unaligned control after its container changed from oldSize to newSize.
// Anchored to both opposite edges it stretches, to one edge it keeps its distance to that edge,
// to neither it keeps its relative place (half the change, truncated).
QRect anchoredGeometry(const QRect &geometry, Anchors anchors, const QSize &oldSize, const QSize &newSize);

} // namespace zandrel::layout

Q_DECLARE_OPERATORS_FOR_FLAGS(zandrel::layout::Anchors)
