#include "HelpDocument.h"

#include "app/StringTable.h"
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
        heading(10028),
        plain(text({10029, 10030})),
        empty,
        heading(10031),
        plain(text({10032, 10033, 10034})),
        empty,
        plain(GetLocalizedString(10035)),
        {L::Bullet, false, GetLocalizedString(10036)},
        {L::Bullet, false, GetLocalizedString(10037)},
        empty,
        heading(10038),
        step("1.", {10039}),
        {L::SubStepBullet, false, GetLocalizedString(10041)},
        {L::SubStepBullet, false, GetLocalizedString(10042)},
        step("2.", {10043}),
        subStep("a.", 10044),
        subStep("b.", 10045),
        subStep("c.", 10046),
        step("3.", {10047, 10048}),
        subStep("a.", 10049),
        subStep("b.", 10050),
        subStep("c.", 10051),
        {L::Note, false, GetLocalizedString(10052)},
        step("4.", {10053}),
        step("5.", {10054}),
        step("6.", {10055}),
        empty,
        plain(GetLocalizedString(10056)),
        empty,
        plain(GetLocalizedString(10057)),
        empty,
        heading(10058),
        plain(GetLocalizedString(10059)),
        {L::Bullet, false, GetLocalizedString(10060)},
        {L::Bullet, false, GetLocalizedString(10061)},
        empty,
        plain(GetLocalizedString(10062)),
        empty,
        heading(10063),
        plain(GetLocalizedString(10064)),
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
