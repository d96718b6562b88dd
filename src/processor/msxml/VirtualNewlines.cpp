#include "VirtualNewlines.h"
#include "LibraryLayout.h"
#include "XmlSupport.h"

#include "StyleSheetReads.h"
#include "TreeWalk.h"

#include <libxml/entities.h>
#include <libxml/tree.h>
#include <libxslt/xsltInternals.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace zandrel::processor {

namespace {

// The entity behind every virtual newline. A document that declares an entity of this name
// with other text keeps no virtual newlines.
constexpr const char entityName[] = "zandrel-virtual-newline";

// The entity of the document, declared on first use; nullptr when it cannot be.
xmlEntity *newlineEntity(xmlDoc *doc)
{
    if (!doc || !doc->dict)
        return nullptr; // the references' name must belong to the dictionary
    if (xmlEntity *existing = xmlGetDocEntity(doc, xml(entityName))) {
        const bool ours = existing->etype == XML_INTERNAL_GENERAL_ENTITY && existing->content &&
                          std::strcmp(reinterpret_cast<const char *>(existing->content), "\n") == 0 &&
                          existing->children;
        return ours ? existing : nullptr;
    }
    if (!doc->intSubset && !xmlCreateIntSubset(doc, nullptr, nullptr, nullptr))
        return nullptr;
    xmlEntity *entity =
        xmlAddDocEntity(doc, xml(entityName), XML_INTERNAL_GENERAL_ENTITY, nullptr, nullptr, xml("\n"));
    if (!entity)
        return nullptr;
    // The text that reading the entity's value gives, as the parser would have built it.
    xmlNode *text = xmlNewDocText(doc, xml("\n"));
    if (!text)
        return nullptr;
    text->parent = reinterpret_cast<xmlNode *>(entity);
    entity->children = entity->last = text;
    entity->owner = 1;
    return entity;
}

// The names are few, and from the parser's dictionary, so mostly compared as pointers.
void noteName(std::vector<const xmlChar *> &names, const xmlChar *name)
{
    if (std::ranges::none_of(names, [name](const xmlChar *known) { return xmlStrEqual(known, name); }))
        names.push_back(name);
}

void insertReference(xmlEntity *entity, xmlNode *parent, xmlNode *previous)
{
    auto *reference = static_cast<xmlNode *>(xmlMalloc(sizeof(xmlNode)));
    if (!reference)
        return;
    std::memset(reference, 0, sizeof(xmlNode));
    reference->type = XML_ENTITY_REF_NODE;
    reference->doc = parent->doc;
    // Owned by the dictionary, so freeing the reference leaves it alone.
    reference->name = xmlDictLookup(parent->doc->dict, xml(entityName), -1);
    reference->children = reference->last = reinterpret_cast<xmlNode *>(entity);
    reference->content = entity->content;
    reference->parent = parent;
    reference->prev = previous;
    reference->next = previous ? previous->next : parent->children;
    if (reference->next)
        reference->next->prev = reference;
    else
        parent->last = reference;
    if (previous)
        previous->next = reference;
    else
        parent->children = reference;
}

} // namespace

void VirtualNewlines::add(xmlNode *parent, xmlNode *previous)
{
    if (!parent)
        return;
    if (!m_doc)
        m_doc = parent->doc;
    if (m_mode == Mode::Immediate) {
        if (xmlEntity *entity = newlineEntity(m_doc))
            insertReference(entity, parent, previous);
        return;
    }
    if (m_blocks.empty() || m_blocks.back().used == m_blocks.back().size) {
        constexpr std::size_t firstBlockSize = 1024;
        constexpr std::size_t largestBlockSize = (std::size_t(1) << 20) / sizeof(Gap);
        const std::size_t size =
            m_blocks.empty() ? firstBlockSize : std::min(2 * m_blocks.back().size, largestBlockSize);
        m_blocks.push_back({std::make_unique_for_overwrite<Gap[]>(size), size, 0});
    }
    GapBlock &block = m_blocks.back();
    block.gaps[block.used++] = {parent, previous};
    ++m_gapCount;
    // The runs of an element mostly come one after the other: its ancestors are named once.
    if (parent == m_lastParent)
        return;
    m_lastParent = parent;
    noteName(m_holderNames, parent->name);
    for (const xmlNode *ancestor = parent->parent; ancestor && ancestor->type == XML_ELEMENT_NODE;
         ancestor = ancestor->parent) {
        noteName(m_holderNames, ancestor->name);
        noteName(m_holderParentNames, ancestor->name);
    }
}

NewlineHolderNames VirtualNewlines::holderNames() const
{
    auto strings = [](const std::vector<const xmlChar *> &names) {
        std::vector<std::string> result;
        for (const xmlChar *name : names)
            result.emplace_back(reinterpret_cast<const char *>(name));
        return result;
    };
    return {strings(m_holderNames), strings(m_holderParentNames)};
}

void VirtualNewlines::materialize()
{
    if (m_gapCount == 0)
        return;
    if (xmlEntity *entity = newlineEntity(m_doc)) {
        for (const GapBlock &block : m_blocks)
            for (std::size_t i = 0; i < block.used; ++i)
                insertReference(entity, block.gaps[i].parent, block.gaps[i].previous);
    }
    clear();
}

void VirtualNewlines::clear()
{
    std::vector<GapBlock>().swap(m_blocks);
    m_gapCount = 0;
    m_lastParent = nullptr;
    m_holderNames.clear();
    m_holderParentNames.clear();
}

bool isVirtualNewline(const xmlNode *node)
{
    return node && node->type == XML_ENTITY_REF_NODE && xmlStrEqual(node->name, xml(entityName));
}

void finishVirtualNewlines(xmlDoc *result)
{
    if (!result)
        return;
    walkTree(result->children, [result](xmlNode *node) {
        if (!isVirtualNewline(node))
            return node;
        xmlNode *text = xmlNewDocText(result, xml("\n"));
        if (!text)
            return node;
        xmlReplaceNode(node, text);
        xmlFreeNode(node);
        return text;
    });
}

void removeVirtualNewlines(xmlDoc *document)
{
    if (!document)
        return;
    std::vector<xmlNode *> found;
    walkTree(document->children, [&found](xmlNode *node) {
        if (isVirtualNewline(node))
            found.push_back(node);
        return node;
    });
    for (xmlNode *node : found) {
        xmlUnlinkNode(node);
        xmlFreeNode(node);
    }
}

void prepareVirtualNewlines(VirtualNewlines *source, const xsltStylesheet *style)
{
    // Made for the whole run or not at all, so that no reader sees a text value that another
    // reader saw without them.
    if (source && source->hasPending() && mayReadVirtualNewlines(style, source->holderNames()))
        source->materialize();
}

} // namespace zandrel::processor
