#pragma once

// What the tests of the settings store share: reading and writing raw .reg files, describing
// values for comparison, and environment variables set for one test.

#include "settings/RegistryStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtTest>

#include <optional>
#include <utility>
#include <vector>

using Values = std::vector<zandrel::settings::RegistryValue>;
Q_DECLARE_METATYPE(zandrel::settings::RegistryValue)
Q_DECLARE_METATYPE(Values)
Q_DECLARE_METATYPE(zandrel::settings::RegistryHive)

namespace registrytesting {

using namespace zandrel::settings;

inline const QString zandrelKey = QStringLiteral("Software\\Veltrix\\Zandrel");

inline QByteArray readBytes(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return "<cannot read>";
    return file.readAll();
}

inline void writeBytes(const QString &fileName, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(fileName).absolutePath());
    QFile file(fileName);
    QVERIFY2(file.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(file.errorString()));
    QCOMPARE(file.write(bytes), bytes.size());
}

inline QByteArray utf16le(const QString &text)
{
    QByteArray bytes("\xFF\xFE", 2);
    for (const QChar c : text) {
        bytes.append(char(c.unicode() & 0xff));
        bytes.append(char(c.unicode() >> 8));
    }
    return bytes;
}

// "name|S|text", "name|E|text" or "name|D|number": easy to compare and to read in a failure.
inline QStringList describe(const Values &values)
{
    QStringList lines;
    for (const RegistryValue &value : values) {
        const QString type = value.type == RegistryValueType::String         ? QStringLiteral("S")
                             : value.type == RegistryValueType::ExpandString ? QStringLiteral("E")
                                                                             : QStringLiteral("D");
        lines << value.name + u'|' + type + u'|' +
                     (value.isString() ? value.text : QString::number(value.dword));
    }
    return lines;
}

inline RegistryValue expandString(const QString &name, const QString &text)
{
    RegistryValue value = RegistryValue::string(name, text);
    value.type = RegistryValueType::ExpandString;
    return value;
}

inline QStringList filesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
}

// Sets environment variables for one test and puts the old values back afterwards.
class EnvironmentOverride {
public:
    void set(const char *name, const QByteArray &value)
    {
        remember(name);
        qputenv(name, value);
    }
    void unset(const char *name)
    {
        remember(name);
        qunsetenv(name);
    }
    ~EnvironmentOverride()
    {
        for (const auto &[name, value] : m_saved) {
            if (value)
                qputenv(name, *value);
            else
                qunsetenv(name);
        }
    }

private:
    void remember(const char *name)
    {
        if (qEnvironmentVariableIsSet(name))
            m_saved.emplace_back(name, qgetenv(name));
        else
            m_saved.emplace_back(name, std::nullopt);
    }
    std::vector<std::pair<const char *, std::optional<QByteArray>>> m_saved;
};

inline const QByteArray header = "Windows Registry Editor Version 5.00\n\n";
inline const QByteArray zandrelSection = "[HKEY_CURRENT_USER\\Software\\Veltrix\\Zandrel]\n";

} // namespace registrytesting
