// The processor's message texts that decide whether a style sheet runs. They are libxslt's own
// (xsltStylePreCompute, xsltParseStylesheetTop, xsltApplySequenceConstructor); a test pins them.
#include "StyleSheetFaults.h"
#include "LibxsltMessages.h"
#include "StyleSheetDocuments.h"
#include "TreeWalk.h"
#include "XmlSupport.h"

#include <libxml/xpathInternals.h>
#include <libxslt/xsltInternals.h>

#include <algorithm>
#include <iterator>
#include <vector>

namespace zandrel::processor {

namespace {

bool isXsltElement(const xmlNode *node)
{
    return node->type == XML_ELEMENT_NODE && node->ns && xmlStrEqual(node->ns->href, XSLT_NAMESPACE);
}

// The version in force at an element: that of the nearest literal result element with
// xsl:version, or of the style sheet element.
bool inForwardsCompatibleMode(const xmlNode *element)
{
    for (const xmlNode *node = element; node && node->type == XML_ELEMENT_NODE; node = node->parent) {
        XmlText version;
        if (!isXsltElement(node))
            version.reset(xmlGetNsProp(node, xml("version"), XSLT_NAMESPACE));
        else if (xmlStrEqual(node->name, xml("stylesheet")) || xmlStrEqual(node->name, xml("transform")))
            version.reset(xmlGetNoNsProp(node, xml("version")));
        if (version)
            return xmlXPathStringEvalNumber(version.get()) != 1.0;
    }
    return false;
}

// The XSLT element with this name on this line of the style sheet file.
const xmlNode *findXsltElement(const std::vector<const xmlDoc *> &documents, const QString &file, int line,
                               const QString &name)
{
    const QByteArray fileName = file.toUtf8();
    const QByteArray localName = name.toUtf8();
    for (const xmlDoc *document : documents) {
        if (!document || !document->URL || fileName != reinterpret_cast<const char *>(document->URL))
            continue;
        const xmlNode *element = findElement(xmlDocGetRootElement(document), [&](const xmlNode *node) {
            return isXsltElement(node) && xmlGetLineNo(node) == line &&
                   localName == reinterpret_cast<const char *>(node->name);
        });
        if (element)
            return element;
    }
    return nullptr;
}

// The attributes of xsl:decimal-format with their defaults.
struct DecimalFormatAttribute {
    const char *name;
    const char *defaultValue;
};
constexpr DecimalFormatAttribute decimalFormatAttributes[] = {
    {"decimal-separator", "."},
    {"grouping-separator", ","},
    {"infinity", "Infinity"},
    {"minus-sign", "-"},
    {"NaN", "NaN"},
    {"percent", "%"},
    {"per-mille", "\u2030"},
    {"zero-digit", "0"},
    {"digit", "#"},
    {"pattern-separator", ";"},
};

// The expanded name of an xsl:decimal-format, as "{namespace}local"; empty for the default one
// and for a name whose prefix is not declared.
QString decimalFormatName(const xmlNode *format)
{
    const XmlText name(xmlGetNoNsProp(format, xml("name")));
    if (!name)
        return {};
    const QString qualified = fromXml(name.get());
    const qsizetype colon = qualified.indexOf(u':');
    if (colon < 0)
        return u"{}"_qs + qualified;
    const xmlNs *ns = xmlSearchNs(format->doc, const_cast<xmlNode *>(format),
                                  xml(qualified.left(colon).toUtf8().constData()));
    return ns ? u'{' + fromXml(ns->href) + u'}' + qualified.mid(colon + 1) : QString();
}

QStringList decimalFormatValues(const xmlNode *format)
{
    QStringList values;
    for (const DecimalFormatAttribute &attribute : decimalFormatAttributes) {
        const XmlText value(xmlGetNoNsProp(format, xml(attribute.name)));
        values.append(value ? fromXml(value.get()) : QString::fromUtf8(attribute.defaultValue));
    }
    return values;
}

// Whether every xsl:decimal-format with the expanded name of this one, in whichever document
// of the style sheet, gives every attribute the same value: XSLT 1.0 allows only that.
bool declaredAlike(const xmlNode *format, const std::vector<const xmlDoc *> &documents)
{
    const QString name = decimalFormatName(format);
    if (name.isEmpty())
        return false;
    const QStringList values = decimalFormatValues(format);
    for (const xmlDoc *document : documents) {
        const xmlNode *root = document ? xmlDocGetRootElement(document) : nullptr;
        for (const xmlNode *child = root ? root->children : nullptr; child; child = child->next) {
            if (isXsltElement(child) && xmlStrEqual(child->name, xml("decimal-format")) &&
                decimalFormatName(child) == name && decimalFormatValues(child) != values)
                return false;
        }
    }
    return true;
}

// Whether what the detail line reports about the element of the header makes the style sheet
// faulty: the processor did not count it, so only XSLT 1.0 can make it one.
bool isRefused(const LibxsltMessage &header, const QString &detailLine,
               const std::vector<const xmlDoc *> &documents)
{
    const LibxsltMessage detail = readLibxsltMessage(detailLine);
    switch (detail.kind) {
    case LibxsltMessage::Kind::UnknownInstruction: {
        if (detail.element != header.element)
            return true;
        const xmlNode *element = findXsltElement(documents, header.file, header.line, header.element);
        return !element || !inForwardsCompatibleMode(element);
    }
    case LibxsltMessage::Kind::DecimalFormatExists: {
        const xmlNode *format = findXsltElement(documents, header.file, header.line, header.element);
        return !format || !declaredAlike(format, documents);
    }
    case LibxsltMessage::Kind::Xslt10Error:
        return true;
    default:
        return false;
    }
}

constexpr const char *topLevelElements[] = {
    "import",         "include",       "strip-space", "preserve-space", "output",   "key",
    "decimal-format", "attribute-set", "variable",    "param",          "template", "namespace-alias",
};

} // namespace

bool isFaultyStyleSheet(const xsltStylesheet *style, const QStringList &compileMessages)
{
    if (!style)
        return true;
    if (style->errors > 0)
        return true;
    std::vector<const xmlDoc *> documents;
    collectStyleSheetDocuments(style, documents);
    for (qsizetype i = 0; i < compileMessages.size(); ++i) {
        const LibxsltMessage header = readLibxsltMessage(compileMessages.at(i));
        // Some reports come without the element they are about.
        if (header.kind == LibxsltMessage::Kind::Xslt10Error)
            return true;
        if (header.kind != LibxsltMessage::Kind::CompilationError)
            continue;
        const QString detail = i + 1 < compileMessages.size() ? compileMessages.at(i + 1) : QString();
        if (isRefused(header, detail, documents))
            return true;
    }
    return false;
}

void dropUnknownTopLevelElements(xmlDoc *styleSheet)
{
    xmlNode *root = styleSheet ? xmlDocGetRootElement(styleSheet) : nullptr;
    if (!root || !isXsltElement(root) || !inForwardsCompatibleMode(root))
        return;
    xmlNode *next = nullptr;
    for (xmlNode *child = root->children; child; child = next) {
        next = child->next;
        if (!isXsltElement(child))
            continue;
        const bool known =
            std::any_of(std::begin(topLevelElements), std::end(topLevelElements),
                        [child](const char *name) { return xmlStrEqual(child->name, xml(name)); });
        if (!known) {
            xmlUnlinkNode(child);
            xmlFreeNode(child);
        }
    }
}

std::optional<QString> unknownInstructionReached(const QStringList &runMessages)
{
    for (const QString &line : runMessages) {
        const LibxsltMessage message = readLibxsltMessage(line);
        if (message.kind == LibxsltMessage::Kind::InstructionNotCompiled)
            return QStringLiteral("The style sheet reached the instruction xsl:%1, which XSLT 1.0 does not "
                                  "define, and gives no xsl:fallback for it.")
                .arg(message.element);
    }
    return std::nullopt;
}

} // namespace zandrel::processor
