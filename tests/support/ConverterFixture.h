#pragma once
// Test helpers around the real stand-in converters of the build: machine-wide registry files that
// register them, copies of them under other names, Job files made by zandrel-jobwrite, and the
// call log that the converters keep when ZJOB_CALL_LOG names a file.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace convertertest {

inline QString binaryDir()
{
    return QStringLiteral(ZANDREL_BINARY_DIR);
}
inline QString builtConverters()
{
    return binaryDir() + QStringLiteral("/converters");
}
inline QString hostProgram()
{
    return binaryDir() + QStringLiteral("/zandrel-converter-host");
}
inline QString sourceFile(const QString &relative)
{
    return QStringLiteral(ZANDREL_SOURCE_DIR "/") + relative;
}

inline QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline bool writeFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

// Copies a built converter (or the test-only one under converters/test) into a folder under a
// name of its own, with the library that it finds beside itself.
inline bool installConverter(const QString &builtName, const QString &folder, const QString &name)
{
    QDir().mkpath(folder);
    const QString library = QFileInfo::exists(builtConverters() + u'/' + builtName)
                                ? builtConverters() + u'/' + builtName
                                : builtConverters() + QStringLiteral("/test/") + builtName;
    const QString dependency = QStringLiteral("libzjobformat.so");
    if (!QFileInfo::exists(folder + u'/' + dependency) &&
        !QFile::copy(builtConverters() + u'/' + dependency, folder + u'/' + dependency))
        return false;
    QFile::remove(folder + u'/' + name);
    return QFile::copy(library, folder + u'/' + name);
}

struct ToolRun {
    int exitCode = -1;
    QByteArray errors;
};

// Runs zandrel-jobwrite: the options, then the Dexmor file and the Job file.
inline ToolRun writeJob(const QString &dexmorFile, const QString &jobFile, const QStringList &options)
{
    QProcess tool;
    tool.start(binaryDir() + QStringLiteral("/zandrel-jobwrite"), QStringList(options)
                                                                      << dexmorFile << jobFile);
    ToolRun run;
    if (!tool.waitForFinished(60000) || tool.exitStatus() != QProcess::NormalExit)
        return run;
    run.exitCode = tool.exitCode();
    run.errors = tool.readAllStandardError();
    return run;
}

// A machine-wide registry file in the registry-export format.
class MachineRegistry {
public:
    MachineRegistry &key(const QString &path)
    {
        m_text += QStringLiteral("\n[HKEY_LOCAL_MACHINE\\") + path + QStringLiteral("]\n");
        return *this;
    }
    MachineRegistry &value(const QString &name, const QString &text)
    {
        m_text += quoted(name) + u'=' + quoted(text) + u'\n';
        return *this;
    }
    MachineRegistry &dword(const QString &name, quint32 number)
    {
        m_text += quoted(name) + QStringLiteral("=dword:") +
                  QStringLiteral("%1").arg(number, 8, 16, QChar(u'0')) + u'\n';
        return *this;
    }
    // A product's converter key with its folder and Versions entries ("11.00=vanhux1100.so").
    MachineRegistry &converter(const QString &product, const QString &directory, const QStringList &versions,
                               const QString &languageFile = {})
    {
        const QString keyPath = QStringLiteral("SOFTWARE\\Veltrix\\Haldex\\Device Drivers\\") + product +
                                QStringLiteral("\\Converter");
        key(keyPath);
        if (!directory.isNull()) // a null folder: no Directory value at all
            value(QStringLiteral("Directory"), directory);
        if (!languageFile.isEmpty())
            value(QStringLiteral("Language File"), languageFile);
        key(keyPath + QStringLiteral("\\Versions"));
        for (const QString &version : versions)
            value(version.section(u'=', 0, 0), version.section(u'=', 1));
        return *this;
    }
    MachineRegistry &geoData(const QString &folder)
    {
        return key(QStringLiteral("SOFTWARE\\Veltrix\\Share"))
            .value(QStringLiteral("CurrentGeoDataDirectory"), folder);
    }
    // The three built converters, as the build's own registry file has them.
    MachineRegistry &builtConverters(const QString &folder)
    {
        converter(QStringLiteral("Ostrelle"), folder, {QStringLiteral("11.00=vanhux1100.so")});
        converter(QStringLiteral("Sarnetto"), folder, {QStringLiteral("12.50=qelbor1250.so")});
        converter(QStringLiteral("Bramwick"), folder, {QStringLiteral("13.00=mirk1300.so")});
        return *this;
    }

    QByteArray bytes() const { return "Windows Registry Editor Version 5.00\n" + m_text.toUtf8(); }
    bool write(const QString &file) const { return writeFile(file, bytes()); }

private:
    static QString quoted(QString text)
    {
        text.replace(u'\\', QStringLiteral("\\\\")).replace(u'"', QStringLiteral("\\\""));
        return u'"' + text + u'"';
    }
    QString m_text;
};

// The calls the converters logged, as "<call> <library file name>" lines.
inline QStringList loggedCalls(const QString &logFile)
{
    QStringList calls;
    for (const QByteArray &line : readAll(logFile).split('\n')) {
        const QList<QByteArray> words = line.split(' ');
        if (words.size() >= 2)
            calls.append(QString::fromUtf8(words[0] + ' ' + words[1]));
    }
    return calls;
}

} // namespace convertertest
