#pragma once

#include "XmlDocument.h"
#include "processor/msxml/LibraryLayout.h"

#include <QString>
#include <QStringList>

#include <libxml/tree.h>
#include <libxml/xmlerror.h>
#include <libxslt/xsltutils.h>

#include <cstdarg>
#include <cstdio>
#include <new>
#include <optional>

namespace zandrel::processor {

// Collects what libxml2 and libxslt report while it lives, instead of letting them print it.
class ProcessorMessages {
public:
    ProcessorMessages()
    {
        xmlSetStructuredErrorFunc(this, &ProcessorMessages::onStructured);
        xmlSetGenericErrorFunc(this, &ProcessorMessages::onGeneric);
        xsltSetGenericErrorFunc(this, &ProcessorMessages::onGeneric);
    }
    ~ProcessorMessages()
    {
        xmlSetStructuredErrorFunc(nullptr, nullptr);
        xmlSetGenericErrorFunc(nullptr, nullptr);
        xsltSetGenericErrorFunc(nullptr, nullptr);
    }
    ProcessorMessages(const ProcessorMessages &) = delete;
    ProcessorMessages &operator=(const ProcessorMessages &) = delete;

    // While set, an XPath error that does not carry its expression is told the expression of
    // the instruction that the processor is running.
    void followInstruction(xmlNodePtr *instruction) { m_instruction = instruction; }

    QStringList lines()
    {
        flushPending();
        return m_lines;
    }
    const std::optional<XmlParseError> &firstError() const { return m_firstError; }
    // The first reference to an entity that no declaration defines. The parser leaves such a
    // reference out and goes on, which would quietly drop text from a document.
    const std::optional<XmlParseError> &undeclaredEntity() const { return m_undeclaredEntity; }
    // Whether the libraries ran out of memory, or a message about it could not even be kept.
    bool outOfMemory() const { return m_outOfMemory; }

private:
    // Called from inside the C libraries, through which no exception may pass.
    static void onStructured(void *self, library_layout::XmlErrorArgument error)
    {
        auto *messages = static_cast<ProcessorMessages *>(self);
        if (error && error->code == XML_ERR_NO_MEMORY)
            messages->m_outOfMemory = true;
        try {
            messages->addError(error);
        } catch (const std::bad_alloc &) {
            messages->m_outOfMemory = true;
        }
    }

    static void onGeneric(void *self, const char *format, ...)
    {
        va_list arguments;
        va_start(arguments, format);
        char buffer[4096];
        const int length = std::vsnprintf(buffer, sizeof buffer, format, arguments);
        va_end(arguments);
        if (length <= 0)
            return;
        auto *messages = static_cast<ProcessorMessages *>(self);
        try {
            messages->addText(QString::fromUtf8(buffer));
        } catch (const std::bad_alloc &) {
            messages->m_outOfMemory = true;
        }
    }

    void addError(const xmlError *error)
    {
        if (!error)
            return;
        flushPending();
        QString message = QString::fromUtf8(error->message ? error->message : "").trimmed();
        // An XPath error names the expression and where in it the processor stopped.
        if (error->domain == XML_FROM_XPATH && error->str1) {
            message = QStringLiteral("XPath error: %1 in the expression \"%2\" at character %3")
                          .arg(message, QString::fromUtf8(error->str1))
                          .arg(error->int1 + 1);
        } else if (error->domain == XML_FROM_XPATH) {
            const QString expression = instructionExpression();
            if (!expression.isEmpty())
                message = QStringLiteral("XPath error: %1 in the expression \"%2\"").arg(message, expression);
        }
        if (error->line > 0)
            message += QStringLiteral(" (line %1, column %2)").arg(error->line).arg(error->int2);
        if (error->level >= XML_ERR_ERROR && !m_firstError)
            m_firstError = XmlParseError{error->code, message};
        if ((error->code == XML_ERR_UNDECLARED_ENTITY || error->code == XML_WAR_UNDECLARED_ENTITY) &&
            error->level >= XML_ERR_ERROR && !m_undeclaredEntity)
            m_undeclaredEntity = XmlParseError{error->code, message};
        const QString file = error->file ? QString::fromUtf8(error->file) : QString();
        m_lines.append(file.isEmpty() ? message : file + QStringLiteral(": ") + message);
    }

    void addText(const QString &text)
    {
        m_pending += text;
        qsizetype end;
        while ((end = m_pending.indexOf(u'\n')) >= 0) {
            const QString line = m_pending.left(end).trimmed();
            if (!line.isEmpty())
                m_lines.append(line);
            m_pending.remove(0, end + 1);
        }
    }

    void flushPending()
    {
        if (!m_pending.trimmed().isEmpty())
            m_lines.append(m_pending.trimmed());
        m_pending.clear();
    }

    QString instructionExpression() const
    {
        const xmlNode *instruction = m_instruction ? *m_instruction : nullptr;
        if (!instruction || instruction->type != XML_ELEMENT_NODE)
            return {};
        for (const char *name : {"select", "test", "match", "use", "count", "from", "value"}) {
            if (xmlChar *value = xmlGetProp(instruction, reinterpret_cast<const xmlChar *>(name))) {
                const QString text = QString::fromUtf8(reinterpret_cast<const char *>(value));
                xmlFree(value);
                return text;
            }
        }
        return {};
    }

    xmlNodePtr *m_instruction = nullptr;
    QStringList m_lines;
    QString m_pending;
    std::optional<XmlParseError> m_firstError;
    std::optional<XmlParseError> m_undeclaredEntity;
    bool m_outOfMemory = false;
};

} // namespace zandrel::processor
