#pragma once

#include <deque>

struct _xmlDoc;
struct _xmlNode;
struct _xmlXPathObject;
struct _xsltTransformContext;
struct _xsltStylesheet;

namespace zandrel::platform {

// The original platform's DOM reduces the white space it drops to flags that act as newlines
// where the text value of a node is read or the node is copied with xsl:copy-of, while no query
// finds them. Here a virtual newline is a reference to an internal entity whose text is a
// newline: XPath node tests never select entity references, while an element's string value
// (string(), value-of, normalize-space(), sort keys) reads the newline, and xsl:copy-of copies
// the reference into the result, where finishVirtualNewlines turns it into text.
//
// A reference is a whole node, and an indented job has one dropped run per element. So the
// positions of a source document are only noted while it loads (two pointers each), and the
// references are made when a transformation first reads the text value of an element that
// holds other nodes, or copies one; exports that read leaves and attributes never pay for them.
class VirtualNewlines {
public:
    enum class Mode {
        Noted,     // positions are kept until materialize()
        Immediate, // each position gets its reference at once (small documents loaded on the way)
    };
    explicit VirtualNewlines(Mode mode) : m_mode(mode) {}
    VirtualNewlines(const VirtualNewlines &) = delete;
    VirtualNewlines &operator=(const VirtualNewlines &) = delete;

    // White space was dropped inside parent, right after previous (nullptr: at its start).
    // The previous node is never a text node, which the processor might remove (xsl:strip-space).
    void add(_xmlNode *parent, _xmlNode *previous);

    bool hasPending() const { return !m_gaps.empty(); }
    const _xmlDoc *document() const { return m_doc; }

    // Makes the reference of every noted position.
    void materialize();

    // Forgets the noted positions (their document is gone).
    void clear();

private:
    struct Gap {
        _xmlNode *parent;
        _xmlNode *previous;
    };
    Mode m_mode;
    _xmlDoc *m_doc = nullptr;
    // A deque grows without copying, so noting a large job needs no second copy of the list.
    std::deque<Gap> m_gaps;
};

// True for a node that stands for white space dropped while the document loaded.
bool isVirtualNewline(const _xmlNode *node);

// Turns the virtual newlines that xsl:copy-of brought into a result into newline text.
void finishVirtualNewlines(_xmlDoc *result);

// Takes the virtual newlines out of a document (a style sheet about to be compiled).
void removeVirtualNewlines(_xmlDoc *document);

// While it lives, the transformation on this thread makes the source's noted virtual newlines
// before it reads the text value of, or copies, an element that holds other nodes: through
// xsl:value-of, xsl:copy-of, the string functions of XPath, sort keys and scripts.
class VirtualNewlineScope {
public:
    VirtualNewlineScope(VirtualNewlines *source, _xsltTransformContext *context, _xsltStylesheet *style);
    ~VirtualNewlineScope();
    VirtualNewlineScope(const VirtualNewlineScope &) = delete;
    VirtualNewlineScope &operator=(const VirtualNewlineScope &) = delete;

private:
    VirtualNewlines *m_previous;
};

// Makes the source's virtual newlines if the value (a node-set) or the node is an element or
// document that holds other nodes. For readers of text values outside XPath's own functions.
void readingTextOf(const _xmlXPathObject *value);
void readingTextOf(const _xmlNode *node);

} // namespace zandrel::platform
