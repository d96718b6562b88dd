#pragma once

#include "StyleSheetReads.h"

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

struct _xmlDoc;
struct _xmlNode;
struct _xsltStylesheet;

namespace zandrel::processor {

// The original platform's DOM reduces the white space it drops to flags that act as newlines
// where the text value of a node is read or the node is copied with xsl:copy-of, while no query
// finds them. Here a virtual newline is a reference to an internal entity whose text is a
// newline: XPath node tests never select entity references, while an element's string value
// (string(), value-of, comparisons, keys, sort keys) reads the newline, and xsl:copy-of copies
// the reference into the result, where finishVirtualNewlines turns it into text.
//
// A reference is a whole node, and an indented job has one dropped run per element. So the
// positions of a source document are only noted while it loads (two pointers each), and the
// references are made before a transformation starts whose style sheet may read the text value
// of an element that holds one (see StyleSheetReads.h): exports that read leaves and
// attributes never pay for them, and within one transformation every reader reads the same.
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

    bool hasPending() const { return m_gapCount > 0; }

    // The local names of the elements whose text value has a noted position in it (those that
    // hold one, and their ancestors), and of those with such an element among their children.
    NewlineHolderNames holderNames() const;

    // Makes the reference of every noted position.
    void materialize();

    // Forgets the noted positions (their document is gone).
    void clear();

private:
    struct Gap {
        _xmlNode *parent;
        _xmlNode *previous;
    };
    struct GapBlock {
        std::unique_ptr<Gap[]> gaps;
        std::size_t size;
        std::size_t used;
    };
    Mode m_mode;
    _xmlDoc *m_doc = nullptr;
    // Blocks that grow to 1 MiB: noting a large job needs no second copy of the list, and
    // freeing them leaves few pieces in the C library's heap, whose size is measured often
    // while a transformation runs (a list of small blocks made each measurement slow).
    std::vector<GapBlock> m_blocks;
    std::size_t m_gapCount = 0;
    const _xmlNode *m_lastParent = nullptr;
    std::vector<const unsigned char *> m_holderNames;
    std::vector<const unsigned char *> m_holderParentNames;
};

// True for a node that stands for white space dropped while the document loaded.
bool isVirtualNewline(const _xmlNode *node);

// Turns the virtual newlines that xsl:copy-of brought into a result into newline text.
void finishVirtualNewlines(_xmlDoc *result);

// Takes the virtual newlines out of a document (a style sheet about to be compiled).
void removeVirtualNewlines(_xmlDoc *document);

// Makes the source's noted virtual newlines when the compiled style sheet may read them; call
// it before the transformation starts.
void prepareVirtualNewlines(VirtualNewlines *source, const _xsltStylesheet *style);

} // namespace zandrel::processor
