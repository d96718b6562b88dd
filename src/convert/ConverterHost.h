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
        Raised,        // the converter raised an error, threw or faulted: message is the error's text
        HostFailed,    // the converter host could not be run: message says why
        Stopped,       // ended by stopRunningCall()
    };
    Status status = Status::NotLoadable;
    qint16 result = 0;
    TConverterFileInfo record{};       // inspection: the record; conversion: the source record
    TConverterFileInfo targetRecord{}; // conversion: the target record
    QString message;
};

// Runs converter calls in the converter host, a helper process started afresh for each call:
// the library is loaded there, called once and freed, and a converter that faults takes down
// only the helper. The helper finds a library's own dependencies in the library's folder. It
// ends with the program however the program ends, and a call waits for the helper to end, not
// for whatever the converter may have left running.
class ConverterHost {
public:
    // privateFolder: a folder that the helper removes, with its files, when the program ends
    // during a call (the folder that a conversion writes into); empty for none.
    explicit ConverterHost(QString program, QString privateFolder = {})
        : m_program(std::move(program)), m_privateFolder(std::move(privateFolder))
    {}
    // $ZANDREL_CONVERTER_HOST when set, otherwise zandrel-converter-host beside the running program.
    static ConverterHost fromEnvironment(const QString &privateFolder = {});

    const QString &program() const { return m_program; }

    // Ends the call under way, if there is one, by killing its helper: the call gives Stopped.
    // For a Cancel button: callable from any thread and from a signal handler.
    static void stopRunningCall() noexcept;

    ConverterCall inspect(const QString &library, const QByteArray &jobFile,
                          const TConverterFileInfo &info) const;
    ConverterCall translate(const QString &library, const QByteArray &languageFile,
                            const QByteArray &sourceFile, const TConverterFileInfo &source,
                            const QByteArray &outputFile, const TConverterFileInfo &target) const;

private:
    ConverterCall call(const QString &library, const std::string &request, bool translation) const;

    QString m_program;
    QString m_privateFolder;
};

} // namespace zandrel
