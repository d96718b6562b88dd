#include "ConvertFile.h"

#include "ConverterHost.h"
#include "ConverterMessages.h"
#include "app/Format.h"
#include "base/Interaction.h"
#include "base/PathPieces.h"
#include "platform/FileNames.h"
#include "platform/FileOperations.h"
#include "settings/RegistryStore.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>

#include <cstdio>
#include <cstring>
#include <fcntl.h>

namespace zandrel {

namespace {

const QString shareKeyPath = QStringLiteral("SOFTWARE\\Veltrix\\Share");

// The file name of an 8-bit path with its extension replaced by ".dxm".
QByteArray dexmorFileName(const QByteArray &path)
{
    const QByteArray name = path.mid(path.lastIndexOf('/') + 1);
    const qsizetype dot = name.lastIndexOf('.');
    return (dot < 0 ? name : name.left(dot)) + ".dxm";
}

// Moves the converter's file to the converted file's name without replacing anything there.
bool renameWithoutReplacing(const QString &from, const QString &to)
{
    return ::renameat2(AT_FDCWD, platform::nativeFileName(from).constData(), AT_FDCWD,
                       platform::nativeFileName(to).constData(), RENAME_NOREPLACE) == 0;
}

} // namespace

TConverterFileInfo SourceRecord(qint16 version, const QByteArray &geoDataShortPath)
{
    TConverterFileInfo record{};
    record.recordSize = ZANDREL_CONVERTER_RECORD_SIZE;
    record.formatCode = ZANDREL_CONVERTER_SOURCE_FORMAT;
    record.version = version;
    record.roleCode = ZANDREL_CONVERTER_SOURCE_ROLE;
    // A path that leaves no room for its terminating zero is not passed cut short, which would
    // name another folder: the converter gets none and reports the grid files it misses.
    if (geoDataShortPath.size() < qsizetype(sizeof record.path))
        std::memcpy(record.path, geoDataShortPath.constData(), std::size_t(geoDataShortPath.size()));
    return record;
}

TConverterFileInfo TargetRecord(unsigned kind)
{
    TConverterFileInfo record{};
    record.recordSize = ZANDREL_CONVERTER_RECORD_SIZE;
    record.formatCode = ZANDREL_CONVERTER_TARGET_FORMAT;
    record.version = kind == ConverterKind::Sarnetto ? ZANDREL_CONVERTER_SARNETTO_TARGET_VERSION
                                                     : ZANDREL_CONVERTER_OTHER_TARGET_VERSION;
    record.roleCode = ZANDREL_CONVERTER_TARGET_ROLE;
    return record;
}

bool ReadConverterSettings(const ConverterContext &context, const QString &converterKeyPath,
                           QString &languageFile, QString &geoDataFolder)
{
    using settings::RegistryHive;
    const std::optional<settings::RegistryKey> key =
        context.registry.openKey(RegistryHive::LocalMachine, converterKeyPath);
    if (!key)
        return false;
    languageFile = readRegistryString(*key, converterKeyPath, QStringLiteral("Language File"));
    if (const std::optional<settings::RegistryKey> share =
            context.registry.openKey(RegistryHive::LocalMachine, shareKeyPath))
        geoDataFolder = readRegistryString(*share, shareKeyPath, QStringLiteral("CurrentGeoDataDirectory"));
    return true;
}

bool ConvertJobFile(const ConverterContext &context, const QString &jobFile, const QString &outputFolder,
                    QString &convertedFile, QString &geoDataFolder, bool silent, bool *cancelled)
{
    qint16 version = 0;
    unsigned kind = ConverterKind::Ostrelle;
    bool inspectionStopped = false;
    if (!FindJobConverter(context, jobFile, silent, version, kind, &inspectionStopped)) {
        if (inspectionStopped && cancelled)
            *cancelled = true;
        return false;
    }

    const QByteArray sourcePath = platform::ShortAnsiPath(jobFile);
    const QByteArray outputPath = platform::ShortAnsiPath(outputFolder) + dexmorFileName(sourcePath);
    convertedFile = outputFolder + path::namePart(jobFile) + QStringLiteral(".dxm");
    const QString converterOutput = platform::fileNameFromNative(outputPath);
    if (platform::fileKind(converterOutput) != platform::FileKind::Missing ||
        platform::fileKind(convertedFile) != platform::FileKind::Missing)
        return false;

    const QString library = FindVersionLibrary(context, kind, version);
    QString languageFile;
    if (!ReadConverterSettings(context, ConverterKeyPath(kind), languageFile, geoDataFolder))
        return false;

    const TConverterFileInfo source = SourceRecord(version, platform::ShortAnsiPath(geoDataFolder));
    const TConverterFileInfo target = TargetRecord(kind);
    ConverterCall call;
    const auto translate = [&] {
        call = context.host.translate(library, languageFile.toLocal8Bit(), sourcePath, source, outputPath,
                                      target);
    };
    // The converter writes the Dexmor file as it goes: its size is how far it has come.
    const auto written = [&converterOutput] {
        return WorkProgress{0, 0, std::max<qint64>(QFileInfo(converterOutput).size(), 0)};
    };
    if (!context.interaction.runLongWork(
            {WorkStep::Converting, translate, &ConverterHost::stopRunningCall, written, context.started})) {
        if (cancelled)
            *cancelled = true;
        return false;
    }
    switch (call.status) {
    case ConverterCall::Status::NotLoadable:
        if (!silent)
            context.interaction.showMessage(
                MessageKind::Error, formatText(GetLocalizedString(StringId::ConverterNotFound), {library}));
        return false;
    case ConverterCall::Status::ExportMissing:
    case ConverterCall::Status::Stopped:
        return false;
    case ConverterCall::Status::Raised:
        showConverterError(context.interaction, call.message);
        return false;
    case ConverterCall::Status::HostFailed:
        context.interaction.showMessage(MessageKind::Error, call.message);
        return false;
    case ConverterCall::Status::Called:
        break;
    }
    if (call.result == 0)
        return false;
    // The short and the long name are one here; the move matters only where they differ.
    if (converterOutput != convertedFile)
        renameWithoutReplacing(converterOutput, convertedFile);
    return platform::fileKind(convertedFile) == platform::FileKind::Regular;
}

bool ConvertJobFile(const QString &jobFile, const QString &outputFolder, QString &convertedFile,
                    QString &geoDataFolder, bool silent, Interaction &interaction, bool *cancelled,
                    std::chrono::steady_clock::time_point started)
{
    const settings::RegFileStore registry = settings::RegFileStore::fromEnvironment();
    // The output folder is the generation's own: the helper removes it should the program end
    // while a converter runs.
    const ConverterHost host = ConverterHost::fromEnvironment(outputFolder);
    const ConverterContext context{registry, host, interaction, platform::userDecimalSeparator(), started};
    return ConvertJobFile(context, jobFile, outputFolder, convertedFile, geoDataFolder, silent, cancelled);
}

} // namespace zandrel
