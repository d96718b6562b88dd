#pragma once

#include <QString>

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/uri.h>
#include <libxml/xmlmemory.h>
#include <libxml/xpath.h>

#include <memory>

// Small helpers shared by the code that talks to libxml2 and libxslt: the string casts, the
// owners that free what the libraries hand over, and where a style sheet node stands.
namespace zandrel::processor {

inline const xmlChar *xml(const char *text)
{
    return reinterpret_cast<const xmlChar *>(text);
}

inline QString fromXml(const xmlChar *text)
{
    return text ? QString::fromUtf8(reinterpret_cast<const char *>(text)) : QString();
}

// "file F line N" of a node, for messages that point into a style sheet.
inline QString placeOf(const xmlNode *node)
{
    const QString file =
        node->doc && node->doc->URL ? fromXml(node->doc->URL) : QStringLiteral("style sheet");
    return QStringLiteral("file %1 line %2").arg(file).arg(xmlGetLineNo(node));
}

struct XmlFree {
    void operator()(xmlChar *text) const { xmlFree(text); }
};
using XmlText = std::unique_ptr<xmlChar, XmlFree>;

// The file path that a URL of the XML library names: unescaped, without "file:" or "file://".
inline QByteArray localPathOf(const char *url)
{
    char *unescaped = xmlURIUnescapeString(url, 0, nullptr);
    QByteArray path(unescaped ? unescaped : url);
    xmlFree(unescaped);
    if (path.startsWith("file://"))
        path.remove(0, 7);
    else if (path.startsWith("file:"))
        path.remove(0, 5);
    return path;
}

struct XPathObjectFree {
    void operator()(xmlXPathObject *object) const { xmlXPathFreeObject(object); }
};
using XPathObject = std::unique_ptr<xmlXPathObject, XPathObjectFree>;

struct DocDeleter {
    void operator()(xmlDoc *doc) const { xmlFreeDoc(doc); }
};

struct ParserContextOwner {
    void operator()(xmlParserCtxt *context) const { xmlFreeParserCtxt(context); }
};

} // namespace zandrel::processor
