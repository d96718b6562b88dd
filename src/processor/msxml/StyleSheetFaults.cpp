// The processor's message texts that decide whether a style sheet runs. They are libxslt's own
// (xsltStylePreCompute, xsltParseStylesheetTop, xsltApplySequenceConstructor); a test pins them.
#include "StyleSheetFaults.h"
#include "LibxsltMessages.h"
#include "StyleSheetDocuments.h"
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
        // Iterative pre-order walk over the elements.
        const xmlNode *node = xmlDocGetRootElement(document);
        while (node) {
            if (isXsltElement(node) && xmlGetLineNo(node) == line &&
                localName == reinterpret_cast<const char *>(node->name))
                return node;
            if (node->type == XML_ELEMENT_NODE && node->children) {
                node = node->children;
                continue;
            }
            while (node && !node->next)
                node = node->parent && node->parent->type == XML_ELEMENT_NODE ? node->parent : nullptr;
            if (node)
                node = node->next;
        }
    }
    return nullptr;
}

// Whether XSLT 1.0 allows what the detail line reports about the element of the header.
bool isForgiven(const LibxsltMessage &header, const QString &detailLine,
                const std::vector<const xmlDoc *> &documents)
{
    const LibxsltMessage detail = readLibxsltMessage(detailLine);
    if (detail.kind == LibxsltMessage::Kind::OnlyXslt11Supported)
        return true;
    if (detail.kind != LibxsltMessage::Kind::UnknownInstruction || detail.element != header.element)
        return false;
    const xmlNode *element = findXsltElement(documents, header.file, header.line, header.element);
    return element && inForwardsCompatibleMode(element);
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
        if (header.kind != LibxsltMessage::Kind::CompilationError)
            continue;
        const QString detail = i + 1 < compileMessages.size() ? compileMessages.at(i + 1) : QString();
        if (!isForgiven(header, detail, documents))
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
