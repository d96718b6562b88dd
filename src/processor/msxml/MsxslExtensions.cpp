// The functions of the original platform's XSLT namespace, "urn:schemas-microsoft-com:xslt",
// as its SDK documents them. The schema-type functions answer as for documents without schema
// information, which is what every document here is.
#include "MsxslExtensions.h"
#include "XmlSupport.h"

#include "Collation.h"

#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QRegularExpression>
#include <QString>
#include <QTime>
#include <QTimeZone>

#include <libxml/tree.h>
#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>
#include <libxslt/extensions.h>
#include <libxslt/extra.h>
#include <libxslt/functions.h>
#include <libxslt/xsltInternals.h>
#include <libxslt/xsltutils.h>

#include <cmath>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>

namespace zandrel::processor {

namespace {

// Pops the arguments (last first) as strings.
std::vector<QString> popStrings(xmlXPathParserContextPtr context, int count)
{
    std::vector<QString> values;
    values.resize(std::size_t(count));
    for (int i = count - 1; i >= 0; --i) {
        XmlText text(xmlXPathPopString(context));
        values[std::size_t(i)] = fromXml(text.get());
    }
    return values;
}

bool checkArity(xmlXPathParserContextPtr context, int count, int least, int most)
{
    if (count < least || count > most) {
        xmlXPathErr(context, XPATH_INVALID_ARITY);
        return false;
    }
    return true;
}

void pushString(xmlXPathParserContextPtr context, const QString &value)
{
    valuePush(context, xmlXPathNewString(xml(value.toUtf8().constData())));
}

void runtimeError(xmlXPathParserContextPtr context, const QString &message)
{
    xsltTransformError(xsltXPathGetTransformContext(context), nullptr, nullptr, "%s\n",
                       message.toUtf8().constData());
    context->error = XPATH_EXPR_ERROR;
}

// msxsl:node-set(): a result tree fragment as a node-set; a node-set as it is; any other value
// as a node-set of one text node.
void nodeSetFunction(xmlXPathParserContextPtr context, int count)
{
    if (!checkArity(context, count, 1, 1))
        return;
    if (xmlXPathStackIsNodeSet(context)) {
        xsltFunctionNodeSet(context, count);
        return;
    }
    xsltTransformContextPtr transform = xsltXPathGetTransformContext(context);
    xmlDocPtr fragment = xsltCreateRVT(transform);
    if (!fragment) {
        xmlXPathErr(context, XPATH_MEMORY_ERROR);
        return;
    }
    xsltRegisterLocalRVT(transform, fragment);
    XmlText value(xmlXPathPopString(context));
    xmlNodePtr text = xmlNewDocText(fragment, value.get());
    xmlAddChild(reinterpret_cast<xmlNodePtr>(fragment), text);
    valuePush(context, xmlXPathNewNodeSet(text));
}

// ms:string-compare(x, y [, language [, options]]): -1, 0 or 1. Case-sensitive with lower case
// first unless the options say "u" (upper case first) or "i" (case-insensitive).
void stringCompareFunction(xmlXPathParserContextPtr context, int count)
{
    if (!checkArity(context, count, 2, 4))
        return;
    const std::vector<QString> arguments = popStrings(context, count);
    const QString language = count > 2 ? arguments[2] : QString();
    const QString options = count > 3 ? arguments[3] : QString();
    TextCollator::CaseOrder caseOrder = TextCollator::CaseOrder::LowerFirst;
    for (QChar option : options) {
        if (option == u'u')
            caseOrder = TextCollator::CaseOrder::UpperFirst;
        else if (option == u'i')
            caseOrder = TextCollator::CaseOrder::Ignore;
        else
            return runtimeError(context,
                                QStringLiteral("ms:string-compare(): unsupported option '%1'").arg(option));
    }
    const TextCollator collator(language, caseOrder, false);
    if (!collator.isValid())
        return runtimeError(context,
                            QStringLiteral("ms:string-compare(): unsupported language '%1'").arg(language));
    valuePush(context, xmlXPathNewFloat(collator.compare(arguments[0], arguments[1])));
}

// The parts of an XSD date/time value, each present or not.
struct DateTimeParts {
    std::optional<int> year, month, day, hour, minute, second, millisecond;
    std::optional<int> offsetMinutes; // time zone; nullopt: none given
};

// Reads dateTime, date, time, gYearMonth, gYear, gMonthDay, gDay and gMonth values.
std::optional<DateTimeParts> parseXsdDateTime(const QString &input)
{
    static const QRegularExpression pattern(QStringLiteral(
        R"(^\s*(?:(\d{4})-(\d{2})-(\d{2})(?:T(\d{2}):(\d{2}):(\d{2})(?:\.(\d+))?)?|(\d{2}):(\d{2}):(\d{2})(?:\.(\d+))?)"
        R"(|(\d{4})-(\d{2})|(\d{4})|--(\d{2})-(\d{2})|---(\d{2})|--(\d{2})(?:--)?)(Z|[+-]\d{2}:\d{2})?\s*$)"));
    const QRegularExpressionMatch match = pattern.match(input);
    if (!match.hasMatch())
        return std::nullopt;
    auto number = [&match](int group) -> std::optional<int> {
        const QString text = match.captured(group);
        return text.isEmpty() ? std::nullopt : std::optional(text.toInt());
    };
    auto milliseconds = [&match](int group) -> std::optional<int> {
        const QString text = match.captured(group);
        return text.isEmpty() ? std::nullopt : std::optional((text + QStringLiteral("00")).left(3).toInt());
    };
    DateTimeParts parts;
    if (match.hasCaptured(1)) {
        parts.year = number(1), parts.month = number(2), parts.day = number(3);
        parts.hour = number(4), parts.minute = number(5), parts.second = number(6);
        parts.millisecond = milliseconds(7);
    } else if (match.hasCaptured(8)) {
        parts.hour = number(8), parts.minute = number(9), parts.second = number(10);
        parts.millisecond = milliseconds(11);
    } else if (match.hasCaptured(12)) {
        parts.year = number(12), parts.month = number(13);
    } else if (match.hasCaptured(14)) {
        parts.year = number(14);
    } else if (match.hasCaptured(15)) {
        parts.month = number(15), parts.day = number(16);
    } else if (match.hasCaptured(17)) {
        parts.day = number(17);
    } else {
        parts.month = number(18);
    }
    const QString zone = match.captured(19);
    if (zone == QLatin1String("Z"))
        parts.offsetMinutes = 0;
    else if (!zone.isEmpty())
        parts.offsetMinutes =
            (zone.at(0) == u'-' ? -1 : 1) * (zone.mid(1, 2).toInt() * 60 + zone.mid(4, 2).toInt());
    if ((parts.month && (*parts.month < 1 || *parts.month > 12)) ||
        (parts.day && (*parts.day < 1 || *parts.day > 31)) || (parts.hour && *parts.hour > 24) ||
        (parts.minute && *parts.minute > 59) || (parts.second && *parts.second > 60))
        return std::nullopt;
    if (parts.year && parts.month && parts.day && !QDate(*parts.year, *parts.month, *parts.day).isValid())
        return std::nullopt;
    return parts;
}

QString field(const std::optional<int> &value, int width)
{
    return value ? QStringLiteral("%1").arg(*value, width, 10, QLatin1Char('0')) : QString(width, u'-');
}

// ms:utc(): YYYY-MM-DDTHH:NN:SS.III in UTC, unspecified fields as "-", the milliseconds only
// where given; the empty text for anything that is no date or time.
void utcFunction(xmlXPathParserContextPtr context, int count)
{
    if (!checkArity(context, count, 1, 1))
        return;
    std::optional<DateTimeParts> parts = parseXsdDateTime(popStrings(context, 1)[0]);
    if (!parts || (parts->year && *parts->year > 9999))
        return pushString(context, QString());
    if (parts->offsetMinutes && *parts->offsetMinutes != 0 && parts->hour) {
        // Moves the value to UTC; a date goes along where it is known.
        const QDate date = parts->year && parts->month && parts->day
                               ? QDate(*parts->year, *parts->month, *parts->day)
                               : QDate(2000, 1, 1);
        const QDateTime local(date, QTime(*parts->hour % 24, *parts->minute, *parts->second),
                              QTimeZone(*parts->offsetMinutes * 60));
        const QDateTime utc = local.addSecs(*parts->hour == 24 ? 86400 : 0).toUTC();
        parts->hour = utc.time().hour();
        parts->minute = utc.time().minute();
        if (parts->year && parts->month && parts->day) {
            parts->year = utc.date().year();
            parts->month = utc.date().month();
            parts->day = utc.date().day();
        }
    }
    QString text = field(parts->year, 4) + u'-' + field(parts->month, 2) + u'-' + field(parts->day, 2) +
                   u'T' + field(parts->hour, 2) + u':' + field(parts->minute, 2) + u':' +
                   field(parts->second, 2);
    if (parts->millisecond)
        text += u'.' + field(parts->millisecond, 3);
    pushString(context, text);
}

QLocale localeFor(const QString &name)
{
    if (name.trimmed().isEmpty())
        return QLocale(TextCollator::userLanguage());
    return QLocale(QString(name).replace(u'-', u'_'));
}

// Windows date and time pictures: d dd ddd dddd M MM MMM MMMM y yy yyyy gg, h hh H HH m mm s ss
// t tt; text in single quotes ('' for a quote) is copied.
QString formatPicture(const QString &picture, const QDateTime &value, const QLocale &locale, bool date)
{
    QString out;
    const QDate day = value.date();
    const QTime time = value.time();
    for (qsizetype i = 0; i < picture.size();) {
        const QChar c = picture.at(i);
        if (c == u'\'') {
            qsizetype end = i + 1;
            while (end < picture.size()) {
                if (picture.at(end) == u'\'') {
                    if (end + 1 < picture.size() && picture.at(end + 1) == u'\'') {
                        out += u'\'';
                        end += 2;
                        continue;
                    }
                    break;
                }
                out += picture.at(end++);
            }
            i = end + 1;
            continue;
        }
        qsizetype run = 1;
        while (i + run < picture.size() && picture.at(i + run) == c)
            ++run;
        const auto two = [](int n) { return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0')); };
        if (date && c == u'd') {
            out += run == 1   ? QString::number(day.day())
                   : run == 2 ? two(day.day())
                   : run == 3 ? locale.dayName(day.dayOfWeek(), QLocale::ShortFormat)
                              : locale.dayName(day.dayOfWeek(), QLocale::LongFormat);
        } else if (date && c == u'M') {
            out += run == 1   ? QString::number(day.month())
                   : run == 2 ? two(day.month())
                   : run == 3 ? locale.monthName(day.month(), QLocale::ShortFormat)
                              : locale.monthName(day.month(), QLocale::LongFormat);
        } else if (date && c == u'y') {
            out += run <= 2 ? (run == 1 ? QString::number(day.year() % 100) : two(day.year() % 100))
                            : QStringLiteral("%1").arg(day.year(), 4, 10, QLatin1Char('0'));
        } else if (date && c == u'g') {
            out += day.year() > 0 ? QStringLiteral("A.D.") : QStringLiteral("B.C.");
        } else if (!date && (c == u'h' || c == u'H')) {
            const int hour = c == u'H' ? time.hour() : (time.hour() % 12 == 0 ? 12 : time.hour() % 12);
            out += run == 1 ? QString::number(hour) : two(hour);
        } else if (!date && c == u'm') {
            out += run == 1 ? QString::number(time.minute()) : two(time.minute());
        } else if (!date && c == u's') {
            out += run == 1 ? QString::number(time.second()) : two(time.second());
        } else if (!date && c == u't') {
            const QString designator = time.hour() < 12 ? locale.amText() : locale.pmText();
            out += run == 1 ? designator.left(1) : designator;
        } else {
            out += QString(run, c);
            i += run;
            continue;
        }
        i += run;
    }
    return out;
}

void formatDateOrTime(xmlXPathParserContextPtr context, int count, bool date)
{
    if (!checkArity(context, count, 1, 3))
        return;
    const std::vector<QString> arguments = popStrings(context, count);
    const std::optional<DateTimeParts> parts = parseXsdDateTime(arguments[0]);
    if (!parts || (date && (!parts->year || !parts->month || !parts->day)) || (!date && !parts->hour))
        return pushString(context, QString());
    const QDate day = date ? QDate(*parts->year, *parts->month, *parts->day) : QDate(2000, 1, 1);
    const QTime time = parts->hour ? QTime(*parts->hour % 24, *parts->minute, *parts->second) : QTime(0, 0);
    const QLocale locale = localeFor(count > 2 ? arguments[2] : QString());
    QString picture = count > 1 ? arguments[1] : QString();
    if (picture.isEmpty()) {
        // The locale's short form, in the same picture language.
        picture = date ? locale.dateFormat(QLocale::ShortFormat) : locale.timeFormat(QLocale::ShortFormat);
        picture.replace(QStringLiteral("AP"), QStringLiteral("tt"))
            .replace(QStringLiteral("ap"), QStringLiteral("tt"));
    }
    pushString(context, formatPicture(picture, QDateTime(day, time), locale, date));
}

void formatDateFunction(xmlXPathParserContextPtr context, int count)
{
    formatDateOrTime(context, count, true);
}

void formatTimeFunction(xmlXPathParserContextPtr context, int count)
{
    formatDateOrTime(context, count, false);
}

// The prefix of a qualified name, resolved first on the context node (where a value such as
// xsi:type="xsd:string" was written), then among the style sheet's declarations.
void namespaceUriFunction(xmlXPathParserContextPtr context, int count)
{
    if (!checkArity(context, count, 1, 1))
        return;
    const QString name = popStrings(context, 1)[0].trimmed();
    const qsizetype colon = name.indexOf(u':');
    const QByteArray prefix = colon < 0 ? QByteArray() : name.left(colon).toUtf8();
    const xmlChar *prefixText = colon < 0 ? nullptr : xml(prefix.constData());
    xmlNodePtr node = context->context->node;
    if (node && node->type == XML_ATTRIBUTE_NODE)
        node = node->parent;
    const xmlNs *ns =
        node && node->type == XML_ELEMENT_NODE ? xmlSearchNs(node->doc, node, prefixText) : nullptr;
    if (ns)
        return pushString(context, fromXml(ns->href));
    if (prefixText) {
        if (const xmlChar *uri = xmlXPathNsLookup(context->context, prefixText))
            return pushString(context, fromXml(uri));
    }
    pushString(context, QString());
}

void localNameFunction(xmlXPathParserContextPtr context, int count)
{
    if (!checkArity(context, count, 1, 1))
        return;
    const QString name = popStrings(context, 1)[0].trimmed();
    pushString(context, name.mid(name.indexOf(u':') + 1));
}

// ms:number(): XSD number syntax, exponents and INF included; NaN for anything else.
void numberFunction(xmlXPathParserContextPtr context, int count)
{
    if (!checkArity(context, count, 1, 1))
        return;
    const QString text = popStrings(context, 1)[0].trimmed();
    double value = std::numeric_limits<double>::quiet_NaN();
    static const QRegularExpression syntax(QStringLiteral(R"(^[+-]?(\d+(\.\d*)?|\.\d+)([eE][+-]?\d+)?$)"));
    if (text == QLatin1String("INF"))
        value = std::numeric_limits<double>::infinity();
    else if (text == QLatin1String("-INF"))
        value = -std::numeric_limits<double>::infinity();
    else if (syntax.match(text).hasMatch())
        value = text.toDouble();
    valuePush(context, xmlXPathNewFloat(value));
}

void falseFunction(xmlXPathParserContextPtr context, int count)
{
    if (!checkArity(context, count, 0, 1))
        return;
    if (count == 1)
        xmlXPathFreeObject(valuePop(context));
    valuePush(context, xmlXPathNewBoolean(0));
}

void typeIsFunction(xmlXPathParserContextPtr context, int count)
{
    if (!checkArity(context, count, 2, 2))
        return;
    xmlXPathFreeObject(valuePop(context));
    xmlXPathFreeObject(valuePop(context));
    valuePush(context, xmlXPathNewBoolean(0));
}

void emptyTextFunction(xmlXPathParserContextPtr context, int count)
{
    if (!checkArity(context, count, 0, 1))
        return;
    if (count == 1)
        xmlXPathFreeObject(valuePop(context));
    pushString(context, QString());
}

// system-property(): msxsl:version as the original platform gives it; the rest as the
// processor does.
void systemPropertyFunction(xmlXPathParserContextPtr context, int count)
{
    if (count == 1 && context->value && context->value->type == XPATH_STRING) {
        const QString name = fromXml(context->value->stringval).trimmed();
        const qsizetype colon = name.indexOf(u':');
        if (colon > 0) {
            const QByteArray prefix = name.left(colon).toUtf8();
            const xmlChar *uri = xmlXPathNsLookup(context->context, xml(prefix.constData()));
            if (uri && xmlStrEqual(uri, xml(msxslNamespace)) &&
                name.mid(colon + 1) == QLatin1String("version")) {
                xmlXPathFreeObject(valuePop(context));
                valuePush(context, xmlXPathNewFloat(4.0));
                return;
            }
        }
    }
    xsltSystemPropertyFunction(context, count);
}

} // namespace

void registerMsxslFunctions()
{
    static std::once_flag once;
    std::call_once(once, [] {
        const struct {
            const char *name;
            xmlXPathFunction function;
        } functions[] = {
            {"node-set", nodeSetFunction},
            {"string-compare", stringCompareFunction},
            {"utc", utcFunction},
            {"namespace-uri", namespaceUriFunction},
            {"local-name", localNameFunction},
            {"number", numberFunction},
            {"format-date", formatDateFunction},
            {"format-time", formatTimeFunction},
            {"type-is", typeIsFunction},
            {"type-local-name", emptyTextFunction},
            {"type-namespace-uri", emptyTextFunction},
            {"schema-info-available", falseFunction},
        };
        for (const auto &entry : functions)
            xsltRegisterExtModuleFunction(xml(entry.name), xml(msxslNamespace), entry.function);
    });
}

void registerMsxslContextFunctions(xsltTransformContext *context)
{
    xmlXPathContextPtr xpath = context->xpathCtxt;
    xmlXPathRegisterFunc(xpath, xml("system-property"), nullptr);
    xmlXPathRegisterFunc(xpath, xml("system-property"), systemPropertyFunction);
}

} // namespace zandrel::processor
