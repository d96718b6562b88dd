#include "MsxmlSort.h"
#include "LibraryLayout.h"
#include "XmlSupport.h"

#include "Collation.h"
#include "XPathContextState.h"

#include <libxml/tree.h>
#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>
#include <libxslt/templates.h>
#include <libxslt/transform.h>
#include <libxslt/xsltInternals.h>
#include <libxslt/xsltutils.h>

#include <QString>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <numeric>
#include <optional>
#include <vector>

namespace zandrel::processor {

namespace {

// An attribute of xsl:sort: its compiled value, or its template evaluated now.
std::optional<QString> sortAttribute(xsltTransformContextPtr context, xmlNodePtr sort, const char *name,
                                     const xmlChar *compiled)
{
    if (compiled)
        return QString::fromUtf8(reinterpret_cast<const char *>(compiled));
    if (!xmlHasProp(sort, xml(name)))
        return std::nullopt;
    XmlText value(xsltEvalAttrValueTemplate(context, sort, xml(name), nullptr));
    if (!value)
        return std::nullopt;
    return QString::fromUtf8(reinterpret_cast<const char *>(value.get())).trimmed();
}

struct Key {
    bool present = false;
    double number = 0;
    QByteArray text;
};

struct Level {
    bool numeric = false;
    bool descending = false;
    std::vector<Key> keys;
};

// Evaluates one xsl:sort's select for every node of the list, as the processor does.
bool computeLevel(xsltTransformContextPtr context, xmlNodePtr sort, Level &level)
{
    auto *comp = static_cast<xsltStylePreComp *>(sort->psvi);
    if (!comp || !comp->comp)
        return false;
    xmlNodeSetPtr list = context->nodeList;
    const int length = list->nodeNr;

    const std::optional<QString> dataType = sortAttribute(context, sort, "data-type", comp->stype);
    const std::optional<QString> order = sortAttribute(context, sort, "order", comp->order);
    const std::optional<QString> language = sortAttribute(context, sort, "lang", comp->lang);
    const std::optional<QString> caseOrder = sortAttribute(context, sort, "case-order", comp->case_order);
    if (dataType && *dataType != QLatin1String("text") && *dataType != QLatin1String("number"))
        xsltTransformError(context, nullptr, sort, "xsl:sort: no support for data-type = %s\n",
                           dataType->toUtf8().constData());
    if (order && *order != QLatin1String("ascending") && *order != QLatin1String("descending"))
        xsltTransformError(context, nullptr, sort, "xsl:sort: invalid value %s for order\n",
                           order->toUtf8().constData());
    level.descending = order && *order == QLatin1String("descending");
    const bool lowerFirst = caseOrder && *caseOrder == QLatin1String("lower-first");
    const TextCollator collator(
        language.value_or(QString()),
        lowerFirst ? TextCollator::CaseOrder::LowerFirst : TextCollator::CaseOrder::UpperFirst, true);

    xmlNodePtr oldNode = context->node;
    xmlNodePtr oldInst = context->inst;
    xmlXPathContextPtr xpath = context->xpathCtxt;
    std::vector<XPathObject> results(static_cast<std::size_t>(length));
    {
        const SavedXPathContext saved(xpath);
        for (int i = 0; i < length; ++i) {
            context->inst = sort;
            xpath->contextSize = length;
            xpath->proximityPosition = i + 1;
            context->node = list->nodeTab[i];
            xpath->node = context->node;
            xpath->namespaces = comp->nsList;
            xpath->nsNr = comp->nsNr;
            results[std::size_t(i)].reset(xmlXPathCompiledEval(comp->comp, xpath));
            if (!results[std::size_t(i)]) {
                context->state = XSLT_STATE_STOPPED;
                break;
            }
        }
    }
    context->node = oldNode;
    context->inst = oldInst;
    if (context->state == XSLT_STATE_STOPPED)
        return false;

    // Without a data-type the key's own type decides.
    level.numeric =
        dataType ? *dataType == QLatin1String("number") : length > 0 && results.front()->type == XPATH_NUMBER;
    level.keys.resize(std::size_t(length));
    for (int i = 0; i < length; ++i) {
        xmlXPathObjectPtr result = results[std::size_t(i)].get();
        Key &key = level.keys[std::size_t(i)];
        key.present = true;
        if (level.numeric) {
            key.number = xmlXPathCastToNumber(result);
        } else {
            XmlText text(xmlXPathCastToString(result));
            key.text = collator.sortKey(QString::fromUtf8(reinterpret_cast<const char *>(text.get())));
        }
    }
    return true;
}

int compareKeys(const Level &level, std::size_t a, std::size_t b)
{
    const Key &x = level.keys[a];
    const Key &y = level.keys[b];
    int order;
    if (level.numeric) {
        // NaN before every number, as XSLT has it.
        const bool xNaN = std::isnan(x.number), yNaN = std::isnan(y.number);
        order = xNaN || yNaN ? (xNaN && yNaN ? 0 : (xNaN ? -1 : 1))
                             : (x.number < y.number ? -1 : (x.number > y.number ? 1 : 0));
    } else {
        const int common = std::memcmp(x.text.constData(), y.text.constData(),
                                       std::size_t(std::min(x.text.size(), y.text.size())));
        order = common != 0 ? common
                            : (x.text.size() < y.text.size() ? -1 : (x.text.size() > y.text.size() ? 1 : 0));
        order = order < 0 ? -1 : (order > 0 ? 1 : 0);
    }
    return level.descending ? -order : order;
}

void msxmlSortFunction(xsltTransformContextPtr context, xmlNodePtr *sorts, int sortCount)
{
    if (!context || !sorts || sortCount <= 0 || sortCount >= XSLT_MAX_SORT || !sorts[0])
        return;
    xmlNodeSetPtr list = context->nodeList;
    if (!list || list->nodeNr <= 1)
        return;
    std::vector<Level> levels(static_cast<std::size_t>(sortCount));
    for (int j = 0; j < sortCount; ++j)
        if (!sorts[j] || !computeLevel(context, sorts[j], levels[std::size_t(j)]))
            return;
    std::vector<std::size_t> order(std::size_t(list->nodeNr));
    std::iota(order.begin(), order.end(), 0);
    // Stable: nodes with equal keys keep document order.
    std::stable_sort(order.begin(), order.end(), [&levels](std::size_t a, std::size_t b) {
        for (const Level &level : levels)
            if (const int result = compareKeys(level, a, b))
                return result < 0;
        return false;
    });
    std::vector<xmlNodePtr> nodes(list->nodeTab, list->nodeTab + list->nodeNr);
    for (std::size_t i = 0; i < order.size(); ++i)
        list->nodeTab[i] = nodes[order[i]];
}

} // namespace

void useMsxmlSort(xsltTransformContext *context)
{
    xsltSetCtxtSortFunc(context, msxmlSortFunction);
}

} // namespace zandrel::processor
