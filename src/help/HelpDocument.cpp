#include "HelpDocument.h"

#include "HelpStrings.h"
#include "uservalue/UserValue.h"

namespace zandrel {

namespace {

QString text(std::initializer_list<int> ids)
{
    QStringList parts;
    for (int id : ids)
        parts << GetLocalizedString(id);
    return parts.join(u' ');
}

std::optional<int> wholeNumber(const QString &text)
{
    bool ok = false;
    const int value = trimmedText(text).toInt(&ok);
    return ok ? std::optional(value) : std::nullopt;
}

} // namespace

ParagraphIndents indentsFor(ParagraphLayout layout)
{
    switch (layout) {
    case ParagraphLayout::Plain:
        return {0, 0, 0};
    case ParagraphLayout::Bullet:
        return {0, 10, 10};
    case ParagraphLayout::Step:
        return {0, 15, 15};
    case ParagraphLayout::SubStep:
    case ParagraphLayout::SubStepBullet:
        return {20, 30, 10};
    case ParagraphLayout::Note:
        return {15, 30, 15};
    }
    return {};
}

QList<HelpParagraph> helpDocument()
{
    using L = ParagraphLayout;
    const HelpParagraph empty{L::Plain, false, {}};
    auto plain = [](const QString &t) { return HelpParagraph{L::Plain, false, t}; };
    auto heading = [](int id) { return HelpParagraph{L::Plain, true, GetLocalizedString(id)}; };
    auto step = [](const char *number, std::initializer_list<int> ids) {
        return HelpParagraph{L::Step, false, QLatin1String(number) + u'\t' + text(ids)};
    };
    auto subStep = [](const char *letter, int id) {
        return HelpParagraph{L::SubStep, false, QLatin1String(letter) + u'\t' + GetLocalizedString(id)};
    };
    return {
        empty,
        heading(StringId::HelpIntroductionHeading),
        plain(text({StringId::HelpProgramPurpose, StringId::HelpHowReportsAreMade})),
        empty,
        heading(StringId::HelpStyleSheetsHeading),
        plain(text({StringId::HelpStyleSheetSamples, StringId::HelpStyleSheetDocumentation,
                    StringId::HelpStyleSheetsOnTheInternet})),
        empty,
        plain(GetLocalizedString(StringId::HelpTopicIntroduction)),
        {L::Bullet, false, GetLocalizedString(StringId::HelpTopicUseTheProgram)},
        {L::Bullet, false, GetLocalizedString(StringId::HelpTopicViewTheFile)},
        empty,
        heading(StringId::HelpUsingHeading),
        step("1.", {StringId::HelpTwoSourceFormats}),
        {L::SubStepBullet, false, GetLocalizedString(StringId::HelpDexmorFromController)},
        {L::SubStepBullet, false, GetLocalizedString(StringId::HelpDexmorFromJobFile)},
        step("2.", {StringId::HelpSelectSourceStep}),
        subStep("a.", StringId::HelpClickSourceBrowse),
        subStep("b.", StringId::HelpSetFilesOfType),
        subStep("c.", StringId::HelpHighlightAndOpen),
        step("3.", {StringId::HelpSelectOutputFormatStep, StringId::HelpFormatNotInTheList}),
        subStep("a.", StringId::HelpClickFolderBrowse),
        subStep("b.", StringId::HelpLocateStyleSheetFolder),
        subStep("c.", StringId::HelpSelectAFormat),
        {L::Note, false, GetLocalizedString(StringId::HelpDexmorFormatAlwaysListed)},
        step("4.", {StringId::HelpCompleteVariableDialogs}),
        step("5.", {StringId::HelpViewCheckBoxStep}),
        step("6.", {StringId::HelpClickOkStep}),
        empty,
        plain(GetLocalizedString(StringId::HelpFileIsCreated)),
        empty,
        plain(GetLocalizedString(StringId::HelpErrorMessages)),
        empty,
        heading(StringId::HelpViewingHeading),
        plain(GetLocalizedString(StringId::HelpFileIsDisplayed)),
        {L::Bullet, false, GetLocalizedString(StringId::HelpHtmlFileViewer)},
        {L::Bullet, false, GetLocalizedString(StringId::HelpOtherFileViewer)},
        empty,
        plain(GetLocalizedString(StringId::HelpTextFileViewerSetting)),
        empty,
        heading(StringId::HelpClosingHeading),
        plain(GetLocalizedString(StringId::HelpClickClose)),
    };
}

std::optional<HelpPlacement> parseHelpPlacement(const QString &text)
{
    QString rest = text;
    int numbers[4] = {};
    for (int i = 0; i < 3; ++i) {
        const qsizetype comma = rest.indexOf(u',');
        if (comma < 0)
            return std::nullopt;
        const std::optional<int> value = wholeNumber(rest.left(comma));
        if (!value)
            return std::nullopt;
        numbers[i] = *value;
        rest = rest.mid(comma + 1);
    }
    const std::optional<int> last = wholeNumber(rest);
    if (!last)
        return std::nullopt;
    numbers[3] = *last;
    return HelpPlacement{numbers[0], numbers[1], numbers[2], numbers[3]};
}

QString formatHelpPlacement(const HelpPlacement &placement)
{
    return QStringLiteral("%1,%2,%3,%4").arg(placement.top).arg(placement.left).arg(placement.height).arg(placement.width);
}

} // namespace zandrel
