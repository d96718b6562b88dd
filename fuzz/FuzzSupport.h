#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

// A property that a fuzz target checks: when it does not hold, the input is a finding.
#define FUZZ_EXPECT(condition)                                                                          \
    do {                                                                                                \
        if (!(condition)) {                                                                             \
            std::fprintf(stderr, "%s:%d: property does not hold: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                               \
        }                                                                                               \
    } while (false)

// Splits an input into two texts at the first zero byte, so that a target can take two strings.
inline std::pair<QString, QString> twoTexts(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const qsizetype zero = bytes.indexOf('\0');
    if (zero < 0)
        return {QString::fromUtf8(bytes), QString()};
    return {QString::fromUtf8(bytes.left(zero)), QString::fromUtf8(bytes.mid(zero + 1))};
}
