#pragma once

#include "PlacementArithmetic.h"

#include <QPointer>
#include <QWidget>

// Alignment and anchors for controls placed by position, as the dialogs' form layouts place them.
// Qt's own layouts compute every size themselves; the sizing panels instead need containers that
// keep the sizes they are given and only follow them: a panel aligned left or right keeps its
// width while the form grows, a button anchored left and right stretches with its panel.
//
// Each container whose children use this gets a small helper object that watches the container
// and those children and re-places them whenever a size changes.
namespace zandrel::layout {

// Aligns the control to a side of its parent, or (None) leaves it where its anchors keep it.
void setAlign(QWidget *control, ControlAlign align);
ControlAlign align(const QWidget *control);

// The edges of its parent that an unaligned control keeps its distance to; DefaultAnchors at first.
void setAnchors(QWidget *control, Anchors anchors);
Anchors anchors(const QWidget *control);

// Places the children of the container and of every container inside it now. Size changes of
// widgets that are not shown yet reach them only when they are shown; code that changes sizes of
// hidden widgets calls this to see the result at once.
void applyPlacement(QWidget *container);

// Holds back the placing of a container's children while it lives and catches up when it goes.
class AlignmentSuspension {
public:
    explicit AlignmentSuspension(QWidget *container);
    ~AlignmentSuspension();
    AlignmentSuspension(const AlignmentSuspension &) = delete;
    AlignmentSuspension &operator=(const AlignmentSuspension &) = delete;

private:
    QPointer<QWidget> m_container;
};

} // namespace zandrel::layout
