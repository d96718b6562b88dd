#pragma once

#include <QString>

#include <stdexcept>

namespace zandrel {

// A failure that ends a generation without being handled where it happened (a faulty style
// sheet variable, a file that cannot be read); the general handler shows its message.
class GenerationError : public std::runtime_error {
public:
    explicit GenerationError(const QString &message)
        : std::runtime_error(message.toStdString()), m_message(message)
    {}
    const QString &message() const { return m_message; }

private:
    QString m_message;
};

} // namespace zandrel
