#include "EmbeddedStyleSheet.h"
#include "TreeWalk.h"
#include "XmlSupport.h"

#include <QRegularExpression>

#include <libxml/valid.h>
#include <libxslt/xsltInternals.h>

namespace zandrel::processor {

namespace {

bool isXsltElement(const xmlNode *node)
{
    return node && node->type == XML_ELEMENT_NODE && node->ns && xmlStrEqual(node->ns->href, XSLT_NAMESPACE);
}

bool isStyleSheetElement(const xmlNode *node)
{
    return isXsltElement(node) &&
           (xmlStrEqual(node->name, xml("stylesheet")) || xmlStrEqual(node->name, xml("transform")));
}

// The fragment of the first xml-stylesheet instruction that names a place in the document itself.
QByteArray fragmentOfStyleSheetInstruction(const xmlDoc *document)
{
    for (const xmlNode *child = document->children; child && child->type != XML_ELEMENT_NODE;
         child = child->next) {
        if (child->type != XML_PI_NODE || !xmlStrEqual(child->name, xml("xml-stylesheet")))
            continue;
        // Its pseudo-attributes: an instruction of another type than the processor's reader
        // takes (text/xml, text/xsl) names no style sheet.
        static const QRegularExpression pseudoAttribute(
            QStringLiteral("(\\w+)\\s*=\\s*(?:\"([^\"]*)\"|'([^']*)')"));
        QString type;
        QString href;
        const QString content = fromXml(child->content);
        for (const QRegularExpressionMatch &match : pseudoAttribute.globalMatch(content)) {
            const QString value = match.captured(2) + match.captured(3);
            if (match.captured(1) == u"type"_qs && type.isNull())
                type = value;
            else if (match.captured(1) == u"href"_qs && href.isNull())
                href = value;
        }
        if (href.isNull() || (type.compare(u"text/xml"_qs, Qt::CaseInsensitive) != 0 &&
                              type.compare(u"text/xsl"_qs, Qt::CaseInsensitive) != 0))
            continue;
        return href.startsWith(u'#') ? href.mid(1).toUtf8() : QByteArray();
    }
    return {};
}

// The element whose ID is the fragment: declared as an ID by the document type, or, where no
// document type says so, the style sheet element whose id attribute has that value.
const xmlNode *elementWithId(const xmlDoc *document, const QByteArray &id)
{
    if (const xmlAttr *attribute = xmlGetID(const_cast<xmlDoc *>(document), xml(id.constData())))
        return attribute->parent;
    return findElement(xmlDocGetRootElement(document), [&id](const xmlNode *node) {
        if (!isStyleSheetElement(node))
            return false;
        const XmlText value(xmlGetNoNsProp(node, xml("id")));
        return value && id == reinterpret_cast<const char *>(value.get());
    });
}

} // namespace

const xmlNode *embeddedStyleSheetElement(const xmlDoc *document)
{
    const xmlNode *root = document ? xmlDocGetRootElement(document) : nullptr;
    if (!root || isXsltElement(root) || xmlHasNsProp(root, xml("version"), XSLT_NAMESPACE))
        return nullptr;
    const QByteArray id = fragmentOfStyleSheetInstruction(document);
    if (id.isEmpty())
        return nullptr;
    const xmlNode *element = elementWithId(document, id);
    return isStyleSheetElement(element) ? element : nullptr;
}

xmlDoc *copyEmbeddedStyleSheet(const xmlDoc *document, const xmlNode *styleSheet)
{
    xmlDoc *copy = xmlNewDoc(xml("1.0"));
    if (!copy)
        return nullptr;
    if (document->dict) {
        copy->dict = document->dict;
        xmlDictReference(copy->dict);
    }
    xmlNode *root = xmlDocCopyNode(const_cast<xmlNode *>(styleSheet), copy, 1);
    if (!root) {
        xmlFreeDoc(copy);
        return nullptr;
    }
    xmlDocSetRootElement(copy, root);
    copyLineNumbers(styleSheet, root);
    copy->URL = xmlNodeGetBase(document, styleSheet->parent);
    // The namespaces declared around the style sheet are in scope inside it, for the prefixes
    // its expressions and attributes name. One declared again further in wins.
    for (const xmlNode *outer = styleSheet->parent; outer && outer->type == XML_ELEMENT_NODE;
         outer = outer->parent) {
        for (const xmlNs *ns = outer->nsDef; ns; ns = ns->next) {
            if (!xmlSearchNs(copy, root, ns->prefix))
                xmlNewNs(root, ns->href, ns->prefix);
        }
    }
    return copy;
}

} // namespace zandrel::processor
