// The stored window positions and placements: any text is read without harm, and what is read
// is written back into a text that reads the same.
#include "FuzzSupport.h"
#include "generate/ConvertFormModel.h"
#include "help/HelpDocument.h"
#include "layout/WindowPosition.h"

using namespace zandrel;
using namespace zandrel::layout;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    if (const std::optional<QPoint> position = parseWindowPosition(text)) {
        FUZZ_EXPECT(parseWindowPosition(formatWindowPosition(position->y(), position->x())) == position);
        const QPoint placed = placeOnDesktop(position->y(), position->x(), QRect(-1920, 0, 3840, 1080));
        FUZZ_EXPECT(placed.x() >= 0 && placed.y() >= 0 && placed.x() <= 1920 && placed.y() <= 1080);
    }
    if (const std::optional<HelpPlacement> placement = parseHelpPlacement(text)) {
        const std::optional<HelpPlacement> again = parseHelpPlacement(formatHelpPlacement(*placement));
        FUZZ_EXPECT(again && again->top == placement->top && again->left == placement->left &&
                    again->height == placement->height && again->width == placement->width);
    }
    return 0;
}
