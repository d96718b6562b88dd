#include "StyleSheetVariables.h"

#include "StyleSheetLines.h"
#include "app/Format.h"
#include "app/StringTable.h"
#include "base/GenerationError.h"
#include "base/Interaction.h"
#include "platform/FileNames.h"
#include "processor/XmlDocument.h"

#include <QRegularExpression>

#include <cmath>
#include <cstdlib>

#include <sys/stat.h>

namespace zandrel {

namespace {

const QString variableTag = QStringLiteral("xsl:variable");
const QString nameAttribute = QStringLiteral("name");
const QString selectAttribute = QStringLiteral("select");

// Reads a string literal at the position; nullopt when none stands there.
std::optional<QString> readLiteral(const QString &text, qsizetype &at)
{
    if (at >= text.size() || (text.at(at) != u'\'' && text.at(at) != u'"'))
        return std::nullopt;
    const QChar quote = text.at(at);
    const qsizetype close = text.indexOf(quote, at + 1);
    if (close < 0)
        return std::nullopt;
    QString literal = text.mid(at + 1, close - at - 1);
    at = close + 1;
    return literal;
}

void skipBlanks(const QString &text, qsizetype &at)
{
    while (at < text.size() && text.at(at).isSpace())
        ++at;
}

// concat('a', "'", 'b') as the texts it joins; nullopt for anything else.
std::optional<QString> readConcat(const QString &select)
{
    static const QString head = QStringLiteral("concat(");
    if (!select.startsWith(head))
        return std::nullopt;
    QString value;
    qsizetype at = head.size();
    for (;;) {
        skipBlanks(select, at);
        const std::optional<QString> literal = readLiteral(select, at);
        if (!literal)
            return std::nullopt;
        value += *literal;
        skipBlanks(select, at);
        if (at < select.size() && select.at(at) == u',') {
            ++at;
            continue;
        }
        if (at + 1 == select.size() && select.at(at) == u')')
            return value;
        return std::nullopt;
    }
}

QString requireAttribute(const processor::XmlElement &element, const QString &attribute,
                         const QString &styleSheetPath)
{
    const std::optional<QString> value = element.getAttribute(attribute);
    if (!value)
        throw GenerationError(
            formatText(GetLocalizedString(StringId::VariableAttributeMissing), {styleSheetPath, attribute}));
    return *value;
}

bool isDefinitionName(const QString &name)
{
    return name.startsWith(QLatin1String("userField"), Qt::CaseInsensitive);
}

QString beforeSeparator(const QString &text)
{
    return text.left(text.indexOf(u'|'));
}

QString afterSeparator(const QString &text)
{
    return text.mid(text.indexOf(u'|') + 1);
}

bool isWholeNumber(const QString &text)
{
    bool ok = false;
    text.toLongLong(&ok);
    return ok && !text.isEmpty() && text.at(text.size() - 1).isDigit();
}

UserValueRequest requestFor(const DefinitionFields &fields, const ValueDefinition &definition, ValueType type,
                            const QString &initialText)
{
    UserValueRequest request;
    request.prompt = fields.prompt;
    request.initialText = initialText;
    request.type = type;
    request.minimumText = definition.minimumText;
    request.maximumText = definition.maximumText;
    if (type == ValueType::StringMenu) {
        request.menuEntries = definition.menuEntries;
        request.selectedEntry = matchingMenuEntry(definition.menuEntries, initialText);
    }
    return request;
}

Answer askFor(const UserValueRequest &request, Interaction &interaction)
{
    if (request.type != ValueType::FileName)
        return interaction.askUserValue(request);
    const QString extension = request.minimumText;
    OpenFileRequest open;
    open.title = request.prompt;
    open.defaultSuffix = extension;
    open.fileName = QStringLiteral("*.") + extension;
    open.filter = request.prompt + QStringLiteral("|*.") + extension;
    open.currentValue = request.initialText;
    return interaction.chooseOpenFile(open);
}

// A number as XPath 1.0 reads it: no plus sign, no exponent, only "." as decimal separator.
bool isXPathNumber(const QString &text)
{
    static const QRegularExpression number(
        QStringLiteral("^[ \\t\\r\\n]*-?[ \\t\\r\\n]*(\\d+(\\.\\d*)?|\\.\\d+)[ \\t\\r\\n]*$"));
    return number.match(text).hasMatch();
}

std::optional<qlonglong> parseWholeNumber(const QString &answer)
{
    static const QRegularExpression whole(QStringLiteral("^[+-]?\\d+$"));
    const QString text = trimmedText(answer);
    bool ok = whole.match(text).hasMatch();
    const qlonglong value = ok ? text.toLongLong(&ok) : 0;
    return ok ? std::optional(value) : std::nullopt;
}

QString selectValueFor(ValueType type, const QString &answer, const QLocale &locale)
{
    switch (type) {
    case ValueType::String:
    case ValueType::StringMenu:
    case ValueType::FileName:
        return QuoteSelect(answer);
    case ValueType::Double: {
        const std::optional<double> number = parseLocalNumber(answer, locale);
        if (!number)
            throw GenerationError(GetLocalizedString(StringId::NumericValueRequired));
        return FloatToStrDot(*number);
    }
    case ValueType::Integer: {
        // Written plainly: XPath 1.0 has no unary plus, so "+5" as typed would not compile.
        const std::optional<qlonglong> number = parseWholeNumber(answer);
        if (!number)
            throw GenerationError(GetLocalizedString(StringId::IntegerValueRequired));
        return QString::number(*number);
    }
    }
    return answer;
}

// A number confirmed as offered keeps the style sheet's own way of writing it (1.0000 stays
// 1.0000), so that confirming a value never rewrites the file; unless XPath cannot read that form.
bool keepsWrittenNumber(ValueType type, const QString &select, const QString &answer,
                        const QString &initialText)
{
    const QString value = UnquoteSelect(select);
    if (!isXPathNumber(value))
        return false;
    if (type == ValueType::Double)
        return answer == initialText;
    if (type == ValueType::Integer) {
        const std::optional<qlonglong> number = parseWholeNumber(answer);
        const std::optional<double> stored = parseDotNumber(value.trimmed());
        return number && stored && double(*number) == *stored;
    }
    return false;
}

// Like a file with the read-only attribute: no write permission for anyone. A style sheet that
// is no regular file (a FIFO it was read from) cannot take the answers either.
bool isReadOnly(const QString &path)
{
    struct stat status {};
    return ::stat(platform::nativeFileName(path).constData(), &status) != 0 || !S_ISREG(status.st_mode) ||
           !(status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH));
}

} // namespace

QString UnquoteSelect(const QString &select)
{
    if (select == QLatin1String("''"))
        return {};
    if (select.startsWith(u'\'')) {
        QString value;
        for (qsizetype i = 1; i < select.size(); ++i) {
            if (select.at(i) != u'\'') {
                value += select.at(i);
            } else if (i + 1 < select.size() && select.at(i + 1) == u'\'') {
                value += u'\'';
                ++i;
            } else {
                break;
            }
        }
        return value;
    }
    if (select.startsWith(u'"')) {
        qsizetype at = 0;
        if (const std::optional<QString> literal = readLiteral(select, at))
            return *literal;
        return select.mid(1);
    }
    if (const std::optional<QString> joined = readConcat(select))
        return *joined;
    return select;
}

QString QuoteSelect(const QString &text)
{
    if (!text.contains(u'\''))
        return u'\'' + text + u'\'';
    if (!text.contains(u'"'))
        return u'"' + text + u'"';
    QStringList parts;
    const QStringList pieces = text.split(u'\'');
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        if (i > 0)
            parts << QStringLiteral("\"'\"");
        parts << u'\'' + pieces.at(i) + u'\'';
    }
    return QStringLiteral("concat(") + parts.join(QStringLiteral(", ")) + u')';
}

QString GetOutputExtension(const processor::XmlDocument &styleSheet)
{
    for (const processor::XmlElement &variable : styleSheet.getElementsByTagName(variableTag)) {
        if (variable.getAttribute(nameAttribute) == QLatin1String("fileExt"))
            return UnquoteSelect(variable.getAttribute(selectAttribute).value_or(QString()));
    }
    return QStringLiteral("txt");
}

DefinitionFields SplitDefinition(const QString &definition)
{
    if (!definition.contains(u'|'))
        return {{}, {}, definition};
    const QString target = trimmedText(beforeSeparator(definition));
    const QString rest = afterSeparator(definition);
    if (!rest.contains(u'|'))
        return {target, {}, rest};
    return {target, trimmedText(beforeSeparator(rest)), afterSeparator(rest)};
}

ValueDefinition ParseValueDefinition(const QString &typePart)
{
    ValueDefinition definition;
    if (trimmedText(typePart).toUpper() == QLatin1String("STRING")) {
        definition.type = ValueType::String;
        return definition;
    }
    // FILENAME alone is a file name without a given extension.
    if (trimmedText(typePart).toUpper() == QLatin1String("FILENAME")) {
        definition.type = ValueType::FileName;
        return definition;
    }
    QString part = typePart;
    if (!part.contains(u'|')) {
        const QString upper = part.toUpper();
        if (upper.contains(QLatin1String("DOUBLE")) || upper.contains(QLatin1String("INTEGER")))
            part += u'|';
    }
    if (!part.contains(u'|'))
        return definition;

    const QString word = trimmedText(beforeSeparator(part)).toUpper();
    QString rest = afterSeparator(part);
    if (word == QLatin1String("DOUBLE") || word == QLatin1String("INTEGER")) {
        definition.type = word == QLatin1String("DOUBLE") ? ValueType::Double : ValueType::Integer;
        if (rest.contains(u'|')) {
            definition.minimumText = trimmedText(beforeSeparator(rest));
            definition.maximumText = afterSeparator(rest);
        }
    } else if (word == QLatin1String("STRINGMENU")) {
        definition.type = ValueType::StringMenu;
        if (!rest.contains(u'|'))
            return definition;
        const QString countText = trimmedText(beforeSeparator(rest));
        rest = afterSeparator(rest);
        if (!isWholeNumber(countText)) {
            definition.valid = false;
            return definition;
        }
        do {
            if (rest.contains(u'|')) {
                definition.menuEntries << trimmedText(beforeSeparator(rest));
                rest = afterSeparator(rest);
            } else {
                definition.menuEntries << rest;
                rest.clear();
            }
        } while (!rest.isEmpty());
        definition.valid = countText.toLongLong() == definition.menuEntries.size();
    } else if (word == QLatin1String("FILENAME")) {
        definition.type = ValueType::FileName;
        definition.minimumText = rest.startsWith(u'.') ? rest.mid(1) : rest;
    }
    return definition;
}

double StrToFloatDot(const QString &text)
{
    if (const std::optional<double> value = parseDotNumber(trimmedText(text)); value && std::isfinite(*value))
        return *value;
    throw GenerationError(formatText(GetLocalizedString(StringId::VariableNotANumber), {QString(), text}));
}

QString FloatToStrDot(double value)
{
    // Fifteen digits, unless rounding to them passes the largest number there is (the text would
    // read back as infinity): then as many as it takes to read back the same number.
    QString general = QString::number(value, 'g', 15);
    if (std::isfinite(value) && !std::isfinite(std::strtod(general.toLatin1().constData(), nullptr)))
        general = QString::number(value, 'g', QLocale::FloatingPointShortest);
    const qsizetype exponentAt = general.indexOf(u'e');
    if (exponentAt < 0)
        return general;
    // The same fifteen digits at most, with the point moved instead of an exponent.
    const bool negative = general.startsWith(u'-');
    QString digits = general.mid(negative ? 1 : 0, exponentAt - (negative ? 1 : 0));
    digits.remove(u'.');
    const int point = 1 + general.mid(exponentAt + 1).toInt();
    QString fixed;
    if (point <= 0)
        fixed = QStringLiteral("0.") + QString(-point, u'0') + digits;
    else if (point >= digits.size())
        fixed = digits + QString(point - digits.size(), u'0');
    else
        fixed = digits.left(point) + u'.' + digits.mid(point);
    return negative ? u'-' + fixed : fixed;
}

QString FormatInitialValue(const QString &select, ValueType type, const QLocale &locale)
{
    const QString value = UnquoteSelect(select);
    if (type != ValueType::Double)
        return value;
    const double number = StrToFloatDot(value);
    const qsizetype dot = value.indexOf(u'.');
    int decimals = 0;
    if (dot >= 0) {
        // Only the digits of the fraction count, not an exponent behind them.
        qsizetype end = dot + 1;
        while (end < value.size() && value.at(end).isDigit())
            ++end;
        decimals = int(std::min<qsizetype>(end - dot - 1, 18));
    }
    // Twelve significant digits at most, the rest shown as zeros.
    const double magnitude = number == 0 ? 0 : std::floor(std::log10(std::fabs(number)));
    const double scale = std::pow(10.0, 11 - magnitude);
    const double rounded = magnitude > 11 || magnitude < -300 ? number : std::round(number * scale) / scale;
    QString text = QString::number(rounded, 'f', decimals);
    const QString separator = locale.decimalPoint();
    if (!separator.isEmpty() && separator != QLatin1String("."))
        text.replace(u'.', separator);
    return text;
}

UserVariablesResult ApplyUserVariables(processor::XmlDocument &styleSheet, const QString &styleSheetPath,
                                       Interaction &interaction, const QLocale &locale)
{
    QString readError;
    std::optional<StyleSheetLines> lines = readStyleSheetLines(styleSheetPath, &readError);
    if (!lines)
        throw GenerationError(formatText(GetLocalizedString(StringId::StyleSheetLoadError), {}) +
                              QStringLiteral(" (") + styleSheetPath + QStringLiteral("): ") + readError);
    return ApplyUserVariables(styleSheet, styleSheetPath, std::move(*lines), interaction, locale);
}

UserVariablesResult ApplyUserVariables(processor::XmlDocument &styleSheet, const QString &styleSheetPath,
                                       StyleSheetLines lines, Interaction &interaction, const QLocale &locale)
{
    const bool haveLines = !lines.isEmpty();
    bool modified = false;

    std::vector<processor::XmlElement> variables = styleSheet.getElementsByTagName(variableTag);
    ValueType currentType = ValueType::Double;
    for (const processor::XmlElement &definitionElement : variables) {
        if (!isDefinitionName(requireAttribute(definitionElement, nameAttribute, styleSheetPath)))
            continue;
        const DefinitionFields fields = SplitDefinition(
            UnquoteSelect(requireAttribute(definitionElement, selectAttribute, styleSheetPath)));
        const ValueDefinition definition = ParseValueDefinition(fields.typePart);
        if (!definition.valid) {
            interaction.showMessage(
                MessageKind::Error,
                formatText(GetLocalizedString(StringId::DefinitionError), {fields.prompt}));
            continue;
        }
        // A definition without a known type word asks for plain text.
        currentType = definition.type.value_or(ValueType::String);

        for (processor::XmlElement &target : variables) {
            if (requireAttribute(target, nameAttribute, styleSheetPath) != fields.target)
                continue;
            const QString select = requireAttribute(target, selectAttribute, styleSheetPath);
            QString initialText;
            try {
                initialText = FormatInitialValue(select, currentType, locale);
            } catch (const GenerationError &) {
                throw GenerationError(
                    formatText(GetLocalizedString(StringId::VariableNotANumber), {fields.target, select}));
            }
            const Answer answer =
                askFor(requestFor(fields, definition, currentType, initialText), interaction);
            switch (answer.status) {
            case Answer::Status::Cancelled:
                return UserVariablesResult::Cancelled;
            case Answer::Status::Failed:
                return UserVariablesResult::Failed;
            case Answer::Status::Given:
                break;
            }
            const QString value = keepsWrittenNumber(currentType, select, answer.text, initialText)
                                      ? select
                                      : selectValueFor(currentType, answer.text, locale);
            // A NUL would cut the value short, other control characters would not compile.
            if (!isXmlText(value))
                throw GenerationError(GetLocalizedString(StringId::ValueNotXmlText));
            target.setAttribute(selectAttribute, value);
            if (haveLines && currentType != ValueType::FileName &&
                UpdateVariableLine(lines, fields.target, value))
                modified = true;
        }
    }

    if (haveLines && modified && !isReadOnly(styleSheetPath)) {
        QString writeError;
        // The answers still apply to this generation; only offering them next time is lost.
        switch (writeStyleSheetLines(styleSheetPath, lines, &writeError)) {
        case platform::RewriteResult::Written:
            break;
        case platform::RewriteResult::FileChanged:
            // Another program's edit, or a file put in its place, is not written over.
            interaction.showMessage(
                MessageKind::Warning,
                formatText(GetLocalizedString(StringId::AnswersNotSavedFileChanged), {styleSheetPath}));
            break;
        case platform::RewriteResult::Failed:
            interaction.showMessage(
                MessageKind::Warning,
                formatText(GetLocalizedString(StringId::AnswersNotSaved), {styleSheetPath, writeError}));
            break;
        }
    }
    return UserVariablesResult::Applied;
}

} // namespace zandrel
