#pragma once

#include "ConverterAbi.h"

#include <QByteArray>
#include <QString>

namespace zandrel {

// What became of one call into a converter library.
struct ConverterCall {
    enum class Status {
        Called,        // the export ran; result and records hold what it gave back
        NotLoadable,   // no library at the path, or it cannot be loaded
        ExportMissing, // the library lacks the export
        Raised,        // the converter raised an error or faulted: message is the error's text
        HostFailed,    // the converter host could not be run: message says why
    };
    Status status = Status::NotLoadable;
    qint16 result = 0;
    TConverterFileInfo record{};       // inspection: the record; conversion: the source record
    TConverterFileInfo targetRecord{}; // conversion: the target record
    QString message;
};

// Runs converter calls in the converter host, a helper process started afresh for each call:
// the library is loaded there, called once and freed, and a converter that faults takes down
// only the helper. The helper finds a library's own dependencies in the library's folder.
class ConverterHost {
public:
    explicit ConverterHost(QString program) : m_program(std::move(program)) {}
    // $ZANDREL_CONVERTER_HOST when set, otherwise zandrel-converter-host beside the running program.
    static ConverterHost fromEnvironment();

    const QString &program() const { return m_program; }

    ConverterCall inspect(const QString &library, const QByteArray &jobFile,
                          const TConverterFileInfo &info) const;
    ConverterCall translate(const QString &library, const QByteArray &languageFile,
                            const QByteArray &sourceFile, const TConverterFileInfo &source,
                            const QByteArray &outputFile, const TConverterFileInfo &target) const;

private:
    ConverterCall call(const QString &library, const std::string &request, bool translation) const;

    QString m_program;
};

} // namespace zandrel
