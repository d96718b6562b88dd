#include "ConverterDiscovery.h"

#include "ConverterHost.h"
#include "ConverterMessages.h"
#include "app/Format.h"
#include "base/GenerationError.h"
#include "base/Interaction.h"
#include "platform/FileOperations.h"
#include "settings/RegistryStore.h"

#include <QDirIterator>
#include <QFileInfo>
#include <QLocale>

#include <cmath>

namespace zandrel {

namespace {

using settings::RegistryHive;

const QString versionsSubKey = QStringLiteral("\\Versions");
const QString directoryValue = QStringLiteral("Directory");

QString withTrailingSeparator(QString folder)
{
    if (!folder.endsWith(u'/'))
        folder += u'/';
    return folder;
}

QString valueText(const settings::RegistryValue &value, const QString &keyPath)
{
    if (!value.isString())
        throw RegistryTypeError(keyPath, value.name);
    return value.text;
}

bool isAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

} // namespace

RegistryTypeError::RegistryTypeError(const QString &keyPath, const QString &valueName)
    : std::runtime_error(
          QStringLiteral("The registry value \"%1\" of HKEY_LOCAL_MACHINE\\%2 is not a string.")
              .arg(valueName, keyPath)
              .toLocal8Bit()
              .toStdString())
{}

QString readRegistryString(const settings::RegistryKey &key, const QString &keyPath, const QString &valueName)
{
    const settings::RegistryValue *value = key.find(valueName);
    return value ? valueText(*value, keyPath) : QString();
}

QString ConverterKeyPath(unsigned kind)
{
    switch (kind) {
    case ConverterKind::Ostrelle:
        return QStringLiteral("SOFTWARE\\Veltrix\\Haldex\\Device Drivers\\Ostrelle\\Converter");
    case ConverterKind::Sarnetto:
        return QStringLiteral("SOFTWARE\\Veltrix\\Haldex\\Device Drivers\\Sarnetto\\Converter");
    case ConverterKind::Bramwick:
        return QStringLiteral("SOFTWARE\\Veltrix\\Haldex\\Device Drivers\\Bramwick\\Converter");
    default:
        return {};
    }
}

QString ConverterBaseName(unsigned kind)
{
    switch (kind) {
    case ConverterKind::Ostrelle:
        return QStringLiteral("vanhux");
    case ConverterKind::Sarnetto:
        return QStringLiteral("qelbor");
    case ConverterKind::Bramwick:
        return QStringLiteral("mirk");
    default:
        return {};
    }
}

std::optional<double> parseLocaleNumber(const QString &text, QChar decimalSeparator)
{
    const QString trimmed = text.trimmed();
    qsizetype i = 0;
    auto digitsFrom = [&](qsizetype from) {
        qsizetype end = from;
        while (end < trimmed.size() && isAsciiDigit(trimmed[end]))
            ++end;
        return trimmed.mid(from, end - from);
    };
    QString sign;
    if (i < trimmed.size() && (trimmed[i] == u'+' || trimmed[i] == u'-'))
        sign = trimmed[i++];
    const QString whole = digitsFrom(i);
    i += whole.size();
    QString fraction;
    if (i < trimmed.size() && trimmed[i] == decimalSeparator) {
        fraction = digitsFrom(++i);
        i += fraction.size();
    }
    if (whole.isEmpty() && fraction.isEmpty())
        return std::nullopt;
    QString exponent;
    if (i < trimmed.size() && (trimmed[i] == u'e' || trimmed[i] == u'E')) {
        ++i;
        QString exponentSign;
        if (i < trimmed.size() && (trimmed[i] == u'+' || trimmed[i] == u'-'))
            exponentSign = trimmed[i++];
        const QString exponentDigits = digitsFrom(i);
        if (exponentDigits.isEmpty())
            return std::nullopt;
        i += exponentDigits.size();
        exponent = u'e' + exponentSign + exponentDigits;
    }
    if (i != trimmed.size())
        return std::nullopt;
    // Rewritten for the C locale, which every number reader understands.
    const QString plain = sign + (whole.isEmpty() ? QStringLiteral("0") : whole) + u'.' +
                          (fraction.isEmpty() ? QStringLiteral("0") : fraction) + exponent;
    bool ok = false;
    const double value = QLocale::c().toDouble(plain, &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<int> parseDecimalInteger(const QString &text)
{
    qsizetype i = 0;
    if (!text.isEmpty() && (text[0] == u'+' || text[0] == u'-'))
        ++i;
    if (i == text.size())
        return std::nullopt;
    for (qsizetype j = i; j < text.size(); ++j) {
        if (!isAsciiDigit(text[j]))
            return std::nullopt;
    }
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    if (!ok)
        return std::nullopt;
    return value;
}

QString VersionText(qint16 version)
{
    QString text = QString::number(version);
    if (text.size() < 3)
        return u'.' + text;
    text.insert(text.size() - 2, u'.');
    return text;
}

QString FindConverterLibrary(const ConverterContext &context, unsigned kind)
{
    QString path;
    QString folder;
    double bestVersion = -1.0;
    const QString keyPath = ConverterKeyPath(kind);
    if (const std::optional<settings::RegistryKey> key =
            keyPath.isEmpty() ? std::nullopt
                              : context.registry.openKey(RegistryHive::LocalMachine, keyPath)) {
        folder = withTrailingSeparator(readRegistryString(*key, keyPath, directoryValue));
        const QString versionsPath = keyPath + versionsSubKey;
        if (const std::optional<settings::RegistryKey> versions =
                context.registry.openKey(RegistryHive::LocalMachine, versionsPath)) {
            for (const settings::RegistryValue &value : versions->values()) {
                const std::optional<double> number = parseLocaleNumber(value.name, context.decimalSeparator);
                if (number && *number > bestVersion) {
                    bestVersion = *number;
                    path = folder + valueText(value, versionsPath);
                }
            }
        }
    }
    if (!QFileInfo(path).isFile() && !folder.isEmpty())
        ScanConverterFolder(ConverterBaseName(kind), folder, path);
    return path;
}

void ScanConverterFolder(const QString &baseName, const QString &folder, QString &path)
{
    int bestNumber = -1;
    QString suffix;
    // Every entry of the pattern base*.so, hidden ones and folders included, in the order the
    // file system gives them, so that of equal numbers the first found wins.
    QDirIterator entries(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    while (entries.hasNext()) {
        entries.next();
        const QString name = entries.fileName();
        if (name.size() < baseName.size() + 3 || !name.startsWith(baseName) ||
            !name.endsWith(QLatin1String(".so")))
            continue;
        const QString rest = name.mid(baseName.size());
        const QString candidate = rest.left(rest.indexOf(u'.'));
        const std::optional<int> number = parseDecimalInteger(candidate);
        if (number && *number > bestNumber) {
            bestNumber = *number;
            suffix = candidate;
        }
    }
    if (!suffix.isEmpty())
        path = folder + baseName + suffix + QStringLiteral(".so");
}

Inspection InspectJobFile(const ConverterContext &context, const QString &jobFile, const QString &library,
                          qint16 &version)
{
    TConverterFileInfo info{};
    info.recordSize = ZANDREL_CONVERTER_RECORD_SIZE;
    ConverterCall call;
    Inspection inspection;
    const QByteArray jobPath = platform::ShortAnsiPath(jobFile);
    if (!context.interaction.runLongWork({WorkStep::Converting,
                                          [&] { call = context.host.inspect(library, jobPath, info); },
                                          &ConverterHost::stopRunningCall,
                                          {},
                                          context.started})) {
        inspection.stopped = true;
        return inspection;
    }
    switch (call.status) {
    case ConverterCall::Status::NotLoadable:
    case ConverterCall::Status::ExportMissing:
        return inspection;
    case ConverterCall::Status::Raised:
        inspection.raisedError = call.message;
        return inspection;
    case ConverterCall::Status::HostFailed:
        inspection.hostError = call.message;
        return inspection;
    case ConverterCall::Status::Stopped:
        inspection.stopped = true;
        return inspection;
    case ConverterCall::Status::Called:
        break;
    }
    inspection.accepted = call.result != 0;
    if (call.record.version > 0) {
        inspection.accepted = true;
        version = call.record.version;
    }
    return inspection;
}

bool FindJobConverter(const ConverterContext &context, const QString &jobFile, bool silent, qint16 &version,
                      unsigned &kind, bool *stopped)
{
    version = 0;
    for (const unsigned candidate :
         {ConverterKind::Bramwick, ConverterKind::Sarnetto, ConverterKind::Ostrelle}) {
        const QString library = FindConverterLibrary(context, candidate);
        const Inspection inspection = InspectJobFile(context, jobFile, library, version);
        if (inspection.hostError) {
            context.interaction.showMessage(MessageKind::Error, *inspection.hostError);
            return false;
        }
        if (inspection.raisedError)
            throw GenerationError(*inspection.raisedError);
        if (inspection.stopped) {
            if (stopped)
                *stopped = true;
            return false;
        }
        if (!inspection.accepted)
            continue;
        kind = candidate;
        if (candidate == ConverterKind::Ostrelle && version < OstrelleMinimumVersion) {
            if (!silent)
                context.interaction.showMessage(MessageKind::Error,
                                                GetLocalizedString(StringId::JobVersionNotConvertible));
            return false;
        }
        return true;
    }
    kind = ConverterKind::Ostrelle;
    return false;
}

QString FindVersionLibrary(const ConverterContext &context, unsigned kind, qint16 version)
{
    const QString text = VersionText(version);
    const QString keyPath = ConverterKeyPath(kind);
    if (keyPath.isEmpty())
        return {};
    const std::optional<settings::RegistryKey> key =
        context.registry.openKey(RegistryHive::LocalMachine, keyPath);
    if (!key)
        return {};
    const QString folder = withTrailingSeparator(readRegistryString(*key, keyPath, directoryValue));
    const QString versionsPath = keyPath + versionsSubKey;
    const std::optional<settings::RegistryKey> versions =
        context.registry.openKey(RegistryHive::LocalMachine, versionsPath);
    if (!versions)
        return {};
    for (const settings::RegistryValue &value : versions->values()) {
        if (value.name == text)
            return folder + valueText(value, versionsPath);
    }
    return {};
}

void showConverterError(Interaction &interaction, const QString &errorText)
{
    interaction.showMessage(MessageKind::Error,
                            errorText + QStringLiteral(" encountered during job file conversion"));
}

} // namespace zandrel
