#pragma once
// Finds the converter libraries of the field products through the machine-wide registry and asks
// them about a Job file: which kind accepts it (with its version), and which library converts a
// Job file of that kind and version.

#include "ConverterAbi.h"

#include <QString>

#include <chrono>
#include <optional>
#include <stdexcept>

namespace zandrel {

class ConverterHost;
class Interaction;

namespace settings {
class RegistryStore;
class RegistryKey;
} // namespace settings

// A converter kind selects one product's converters.
namespace ConverterKind {
inline constexpr unsigned Ostrelle = 0;
inline constexpr unsigned Sarnetto = 1;
inline constexpr unsigned Bramwick = 2;
} // namespace ConverterKind

// The lowest Ostrelle Job file version that the program converts.
inline constexpr qint16 OstrelleMinimumVersion = 1100;

// Everything the converter code reaches outside itself, so that tests can give their own.
struct ConverterContext {
    const settings::RegistryStore &registry; // HKEY_LOCAL_MACHINE is read, never written
    const ConverterHost &host;
    Interaction &interaction;
    QChar decimalSeparator = u'.'; // the user's, for reading Versions names
    // The start of the generation: the progress of an inspection or a conversion counts from it.
    std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();
};

// A registry value that exists with a type other than a string. Not caught by the converter code:
// the generation reports it like any failure it does not expect.
class RegistryTypeError : public std::runtime_error {
public:
    explicit RegistryTypeError(const QString &keyPath, const QString &valueName);
};

// The value as a string, an empty text when missing; throws RegistryTypeError for another type.
QString readRegistryString(const settings::RegistryKey &key, const QString &keyPath,
                           const QString &valueName);

// The converter key under HKEY_LOCAL_MACHINE; empty for an unknown kind.
QString ConverterKeyPath(unsigned kind);
// The file name prefix of the kind's libraries ("vanhux", "qelbor", "mirk"); empty for an unknown kind.
QString ConverterBaseName(unsigned kind);

// The path of the newest library of the kind, or an empty text; the file need not exist.
QString FindConverterLibrary(const ConverterContext &context, unsigned kind);
// Replaces path with folder + base + number + ".so" for the highest number found in the folder.
void ScanConverterFolder(const QString &baseName, const QString &folder, QString &path);

struct Inspection {
    bool accepted = false;
    bool stopped = false;               // ConverterHost::stopRunningCall() ended it
    std::optional<QString> raisedError; // the converter raised an error, threw or faulted
    std::optional<QString> hostError;   // the converter host could not be run
};
// Asks the library whether it accepts the Job file; stores a reported version above 0. It runs as
// long work that the user may stop.
Inspection InspectJobFile(const ConverterContext &context, const QString &jobFile, const QString &library,
                          qint16 &version);

// Finds the kind that accepts the Job file, asking Bramwick, Sarnetto and Ostrelle in that order.
// Refuses Ostrelle files below version 1100 with JobVersionNotConvertible unless silent. An error raised
// inside a converter is not caught here: it leaves as a GenerationError with the error's text,
// for the general handler. *stopped (where given) becomes true when the user stopped an inspection.
bool FindJobConverter(const ConverterContext &context, const QString &jobFile, bool silent, qint16 &version,
                      unsigned &kind, bool *stopped = nullptr);

// The library registered in the kind's Versions for exactly the version's text, or an empty text.
QString FindVersionLibrary(const ConverterContext &context, unsigned kind, qint16 version);

// The version as the Versions value names write it: 1100 gives "11.00", 50 gives ".50", 0 gives ".0".
QString VersionText(qint16 version);

// A real number written with the given decimal separator (sign, digits, exponent); nothing else.
std::optional<double> parseLocaleNumber(const QString &text, QChar decimalSeparator);
// A signed decimal integer that fits 32 bits; nothing else.
std::optional<int> parseDecimalInteger(const QString &text);

} // namespace zandrel
