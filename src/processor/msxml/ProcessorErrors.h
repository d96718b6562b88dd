#pragma once

#include <QString>
#include <QStringList>

#include <stdexcept>

namespace zandrel::processor {

// The XSLT processor stopped: the style sheet did not compile or failed while running.
// Carries every message the processor gave, in order.
class XsltProcessorError : public std::runtime_error {
public:
    explicit XsltProcessorError(QStringList messages)
        : std::runtime_error(messages.join(u'\n').toStdString()), m_messages(std::move(messages))
    {}
    const QStringList &messages() const { return m_messages; }

private:
    QStringList m_messages;
};

// The transformation ran but its result could not be written to the output.
class XmlWriteError : public std::runtime_error {
public:
    explicit XmlWriteError(const QString &reason) : std::runtime_error(reason.toStdString()), m_reason(reason)
    {}
    const QString &reason() const { return m_reason; }

private:
    QString m_reason;
};

} // namespace zandrel::processor
