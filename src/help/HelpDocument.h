#pragma once

#include <QList>
#include <QRect>
#include <QString>

#include <optional>

namespace zandrel {

// How a paragraph of the help notes is indented (all measures in points).
enum class ParagraphLayout {
    Plain,          // first and following lines at 0
    Bullet,         // a bullet item, following lines 10 in
    Step,           // "1.<tab>text", following lines and the tab stop at 15
    SubStep,        // "a.<tab>text" from 20, following lines at 30
    SubStepBullet,  // a sub-step with a bullet in place of the letter
    Note,           // from 15, following lines at 30
};

struct HelpParagraph {
    ParagraphLayout layout = ParagraphLayout::Plain;
    bool bold = false;
    QString text; // a step's or sub-step's number or letter comes first, followed by a tab
};

struct ParagraphIndents {
    double firstLine = 0; // where the first line starts
    double following = 0; // where the following lines start
    double tabStop = 0;   // counted from where the first line starts; 0 for none
};
ParagraphIndents indentsFor(ParagraphLayout layout);

// The help notes, paragraph by paragraph, from the string table.
QList<HelpParagraph> helpDocument();

// The stored placement of the help window: "top,left,height,width".
struct HelpPlacement {
    int top = 0;
    int left = 0;
    int height = 0;
    int width = 0;
};
std::optional<HelpPlacement> parseHelpPlacement(const QString &text);
QString formatHelpPlacement(const HelpPlacement &placement);

} // namespace zandrel
