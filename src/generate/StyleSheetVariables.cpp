#include "StyleSheetVariables.h"

#include "platform/XmlDocument.h"

namespace zandrel {

namespace {

const QString variableTag = QStringLiteral("xsl:variable");

} // namespace

QString UnquoteSelect(const QString &select)
{
    if (select == QLatin1String("''"))
        return {};
    if (!select.startsWith(u'\''))
        return select;
    QString value;
    for (qsizetype i = 1; i < select.size(); ++i) {
        if (select.at(i) != u'\'') {
            value += select.at(i);
        } else if (i + 1 < select.size() && select.at(i + 1) == u'\'') {
            value += u'\'';
            ++i;
        } else {
            break;
        }
    }
    return value;
}

QString GetOutputExtension(const platform::XmlDocument &styleSheet)
{
    for (const platform::XmlElement &variable : styleSheet.getElementsByTagName(variableTag)) {
        if (variable.getAttribute(QStringLiteral("name")) == QLatin1String("fileExt"))
            return UnquoteSelect(variable.getAttribute(QStringLiteral("select")).value_or(QString()));
    }
    return QStringLiteral("txt");
}

bool ApplyUserVariables(platform::XmlDocument &, const QString &, Interaction &)
{
    // User variables are not asked yet: every style sheet runs with the values it holds.
    return true;
}

} // namespace zandrel
