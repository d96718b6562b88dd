#pragma once

#include "ConverterDiscovery.h"

#include <QString>

#include <chrono>

namespace zandrel {

class Interaction;

// Converts a Job file into a Dexmor file in the output folder (ending in "/") with the converter
// libraries registered on the machine. convertedFile is set to the Dexmor file's path as soon as
// a converter kind is found. True only when the converted file exists there. The GeoData folder
// is replaced by the registry's where it names one. Silent (batch mode) drops the messages
// JobVersionNotConvertible and ConverterNotFound; an error inside a converter is shown all the same.
// The conversion runs as long work that the user may stop; *cancelled (where given) then becomes
// true and the result is false.
// The output folder must not hold a file of the converted file's name yet (the caller gives a
// fresh private folder): a file left there from before would pass for the converter's output.
bool ConvertJobFile(const ConverterContext &context, const QString &jobFile, const QString &outputFolder,
                    QString &convertedFile, QString &geoDataFolder, bool silent, bool *cancelled = nullptr);

// The same over the machine-wide registry store of the environment, the converter host beside the
// program and the user's decimal separator.
bool ConvertJobFile(const QString &jobFile, const QString &outputFolder, QString &convertedFile,
                    QString &geoDataFolder, bool silent, Interaction &interaction, bool *cancelled = nullptr,
                    std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now());

// Reads the kind's Language File and the GeoData folder; false when the converter key is missing.
bool ReadConverterSettings(const ConverterContext &context, const QString &converterKeyPath,
                           QString &languageFile, QString &geoDataFolder);

// The source and target records of a conversion.
TConverterFileInfo SourceRecord(qint16 version, const QByteArray &geoDataShortPath);
TConverterFileInfo TargetRecord(unsigned kind);

} // namespace zandrel
