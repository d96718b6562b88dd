// The user-variable definitions: any definition is read without harm, and any answer written
// as a select text reads back as the same text.
#include "FuzzSupport.h"
#include "base/GenerationError.h"
#include "generate/StyleSheetVariables.h"

#include <QLocale>

using namespace zandrel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const auto [first, second] = twoTexts(data, size);

    const DefinitionFields fields = SplitDefinition(first);
    const ValueDefinition definition = ParseValueDefinition(fields.typePart);
    // Limits and every menu entry but the last come trimmed; the fields never hold a separator
    // except the upper limit, which keeps the rest of the definition.
    if (definition.type == ValueType::Double || definition.type == ValueType::Integer)
        FUZZ_EXPECT(definition.minimumText == trimmedText(definition.minimumText) &&
                    !definition.minimumText.contains(u'|'));
    for (qsizetype i = 0; i + 1 < definition.menuEntries.size(); ++i)
        FUZZ_EXPECT(definition.menuEntries.at(i) == trimmedText(definition.menuEntries.at(i)) &&
                    !definition.menuEntries.at(i).contains(u'|'));
    FUZZ_EXPECT(!fields.target.contains(u'|') && !fields.prompt.contains(u'|'));
    UnquoteSelect(first);

    FUZZ_EXPECT(UnquoteSelect(QuoteSelect(second)) == second);

    for (const ValueType type : {ValueType::Double, ValueType::Integer, ValueType::String}) {
        for (const QLocale &locale : {QLocale::c(), QLocale(QLocale::German)}) {
            try {
                FormatInitialValue(second, type, locale);
            } catch (const GenerationError &) {
                FUZZ_EXPECT(type == ValueType::Double);
            }
        }
    }
    try {
        const double number = StrToFloatDot(second);
        // A number written back reads as the same number.
        FUZZ_EXPECT(StrToFloatDot(FloatToStrDot(number)) == StrToFloatDot(QString::number(number, 'g', 15)));
    } catch (const GenerationError &) {
    }
    return 0;
}
