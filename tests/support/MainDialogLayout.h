#pragma once

#include <QDialog>

#include <memory>

namespace zandrel::test {

// A dialog laid out as the program's main dialog, with the layout toolkit and nothing else: the
// captions of the string table (so that a language library drives it), the two columns of sizing
// panels, the check box and the button row, named as in the main dialog. Client area 487 x 153 at
// design size, fixed.
std::unique_ptr<QDialog> buildMainDialogLayout();

inline constexpr int DesignWidth = 487;
inline constexpr int DesignHeight = 153;

} // namespace zandrel::test
