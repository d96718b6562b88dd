#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
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

// A file of this process in the temporary folder, for targets that read their input from a file.
inline QString scratchPath(const char *name)
{
    return QDir::temp().filePath(
        QStringLiteral("zandrel-fuzz-%1-%2").arg(QCoreApplication::applicationPid()).arg(QLatin1String(name)));
}

inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}
