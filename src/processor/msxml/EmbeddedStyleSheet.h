#pragma once

struct _xmlDoc;
struct _xmlNode;

namespace zandrel::processor {

// A style sheet may sit inside another document (XSLT 1.0, section 2.7): an xml-stylesheet
// processing instruction before the document element names it by its ID, as href="#ID".

// The embedded xsl:stylesheet or xsl:transform element that the document's xml-stylesheet
// instruction names; nullptr when the document element is a style sheet itself (an XSLT element
// or a literal result element with xsl:version), or when there is no such instruction or element.
const _xmlNode *embeddedStyleSheetElement(const _xmlDoc *document);

// A document of its own that holds a copy of the embedded style sheet, with the namespaces in
// scope where it stood, the base URI of its place and the line numbers of the original; nullptr
// when memory runs out.
_xmlDoc *copyEmbeddedStyleSheet(const _xmlDoc *document, const _xmlNode *styleSheet);

} // namespace zandrel::processor
