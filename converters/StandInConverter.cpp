// The stand-in converter library: converts this project's binary Job files into Dexmor files
// through the two exports that the program calls. Built once per product (ZJOB_PRODUCT).

#include "ConverterAbi.h"
#include "DexmorOutput.h"
#include "JobFile.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>

#ifndef ZJOB_PRODUCT
#error "ZJOB_PRODUCT names the product this library converts for"
#endif

#define CONVERTER_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr zjob::Product ownProduct = static_cast<zjob::Product>(ZJOB_PRODUCT);

thread_local std::string lastError;

const char *productName(zjob::Product product)
{
    switch (product) {
    case zjob::Product::Ostrelle:
        return "Ostrelle";
    case zjob::Product::Sarnetto:
        return "Sarnetto";
    case zjob::Product::Bramwick:
        return "Bramwick";
    }
    return "unknown";
}

[[maybe_unused]] std::int16_t expectedTargetVersion()
{
    return ownProduct == zjob::Product::Sarnetto ? ZANDREL_CONVERTER_SARNETTO_TARGET_VERSION
                                                 : ZANDREL_CONVERTER_OTHER_TARGET_VERSION;
}

struct FileCloser {
    void operator()(std::FILE *file) const { std::fclose(file); }
};
using FilePointer = std::unique_ptr<std::FILE, FileCloser>;

// The file name this library was loaded from, for the call log.
std::string libraryFileName()
{
    Dl_info info{};
    if (dladdr(reinterpret_cast<void *>(&libraryFileName), &info) == 0 || !info.dli_fname)
        return "?";
    const char *slash = std::strrchr(info.dli_fname, '/');
    return slash ? slash + 1 : info.dli_fname;
}

// Tests watch which library is asked what through a log named by ZJOB_CALL_LOG.
void logCall(const char *call, const char *path)
{
    const char *logFile = std::getenv("ZJOB_CALL_LOG");
    if (!logFile || !*logFile)
        return;
    if (const FilePointer log{std::fopen(logFile, "a")})
        std::fprintf(log.get(), "%s %s %s\n", call, libraryFileName().c_str(), path ? path : "(null)");
}

[[noreturn]] void crash()
{
    volatile int *volatile address = nullptr;
    *address = 1;
    std::abort();
}

std::string recordPath(const TConverterFileInfo &info)
{
    return std::string(info.path, strnlen(info.path, sizeof info.path));
}

bool zeroFilled(const TConverterFileInfo &info)
{
    for (const char c : info.characterField) {
        if (c != 0)
            return false;
    }
    for (const std::uint8_t b : info.field) {
        if (b != 0)
            return false;
    }
    return true;
}

// Keeps the trace comment well-formed whatever the paths hold ("--" may not appear in a comment).
std::string traceQuoted(const std::string &text)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out = "\"";
    for (const unsigned char c : text) {
        if (c == '%' || c == '-' || c == '"' || c < 0x20) {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 0xF];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + '"';
}

[[maybe_unused]] std::string traceRecord(const char *name, const TConverterFileInfo &info)
{
    const std::string prefix = std::string(" ") + name + '.';
    return prefix + "size=" + std::to_string(info.recordSize) + prefix +
           "format=" + std::to_string(info.formatCode) + prefix + "version=" + std::to_string(info.version) +
           prefix + "role=" + std::to_string(info.roleCode) + prefix +
           "zeroFields=" + (zeroFilled(info) ? "yes" : "no") + prefix +
           "path=" + traceQuoted(recordPath(info));
}

[[maybe_unused]] bool isFile(const std::string &path)
{
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

int16_t raiseError(const std::string &message)
{
    lastError = message;
    return 0;
}

// Thrown out of an export on purpose, for a Job file that asks for it; the exports let it pass.
class EscapingError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Opens the FIFO for reading, which tells the test that opens it for writing that the call is
// under way, and then never returns.
[[maybe_unused]] [[noreturn]] void hang(const std::string &fifo)
{
    ::open(fifo.c_str(), O_RDONLY | O_CLOEXEC);
    for (;;)
        ::pause();
}

// A forked process like a careless daemon's: away from the terminal's output, but with every
// other descriptor of the converter's process. It ends once the FIFO is opened for writing.
[[maybe_unused]] bool leaveBackgroundProcess(const std::string &fifo)
{
    const pid_t child = ::fork();
    if (child < 0)
        return false;
    if (child == 0) {
        const int null = ::open("/dev/null", O_RDWR);
        for (int standard = 0; standard <= 2 && null >= 0; ++standard)
            ::dup2(null, standard);
        const int opened = ::open(fifo.c_str(), O_RDONLY);
        ::_exit(opened >= 0 ? 0 : 1);
    }
    return true;
}

// Removes the output unless the conversion finished it.
class OutputFile {
public:
    explicit OutputFile(const char *path) : m_path(path), m_file(std::fopen(path, "wb")) {}
    ~OutputFile()
    {
        if (!m_done) {
            m_file.reset();
            std::remove(m_path.c_str());
        }
    }
    OutputFile(const OutputFile &) = delete;
    OutputFile &operator=(const OutputFile &) = delete;

    std::FILE *get() const { return m_file.get(); }
    // Closes the file; false when anything written was lost.
    bool finish()
    {
        std::FILE *file = m_file.release();
        const bool written = std::ferror(file) == 0;
        const bool closed = std::fclose(file) == 0;
        m_done = written && closed;
        return m_done;
    }

private:
    std::string m_path;
    FilePointer m_file;
    bool m_done = false;
};

#ifndef ZJOB_WITHOUT_TRANSLATE
int16_t translate(const char *languageFile, const char *sourceFile, TConverterFileInfo *source,
                  const char *outputFile, TConverterFileInfo *target, converter_Callback1_fn callback1,
                  converter_Callback2_fn callback2, converter_Callback3_fn callback3, void *reserved)
{
    if (!languageFile || !sourceFile || !source || !outputFile || !target || !callback1 || !callback2 ||
        !callback3)
        return raiseError("A converter argument is missing");
    if (source->recordSize != ZANDREL_CONVERTER_RECORD_SIZE ||
        source->formatCode != ZANDREL_CONVERTER_SOURCE_FORMAT ||
        source->roleCode != ZANDREL_CONVERTER_SOURCE_ROLE ||
        target->recordSize != ZANDREL_CONVERTER_RECORD_SIZE ||
        target->formatCode != ZANDREL_CONVERTER_TARGET_FORMAT ||
        target->roleCode != ZANDREL_CONVERTER_TARGET_ROLE || target->version != expectedTargetVersion())
        return raiseError("Unsupported conversion request (target format " +
                          std::to_string(target->formatCode) + ", version " +
                          std::to_string(target->version) + ")");

    const FilePointer job{std::fopen(sourceFile, "rb")};
    if (!job)
        return raiseError(std::string("The job file ") + sourceFile +
                          " cannot be opened: " + std::strerror(errno));
    zjob::Reader reader(job.get());
    zjob::Header header;
    if (!reader.readHeader(header))
        return raiseError(std::string(sourceFile) + " is not a job file");
    if (header.product != ownProduct)
        return raiseError(std::string(sourceFile) + " is not a " + productName(ownProduct) + " job file");
    if (source->version != header.version)
        return raiseError("The job file has version " + std::to_string(header.version) +
                          ", not the requested " + std::to_string(source->version));

    const zjob::Directives directives = reader.readDirectives();
    switch (directives.translate) {
    case zjob::TranslateBehaviour::Convert:
        break;
    case zjob::TranslateBehaviour::Fail:
        return 0;
    case zjob::TranslateBehaviour::Claim:
        return 1;
    case zjob::TranslateBehaviour::Raise:
        return raiseError(directives.translateText);
    case zjob::TranslateBehaviour::Crash:
        crash();
    case zjob::TranslateBehaviour::Exit:
        ::_exit(3);
    case zjob::TranslateBehaviour::Throw:
        throw EscapingError(directives.translateText);
    case zjob::TranslateBehaviour::Hang:
        hang(directives.translateText);
    case zjob::TranslateBehaviour::Background:
        if (!leaveBackgroundProcess(directives.translateText))
            return raiseError(std::string("No background process: ") + std::strerror(errno));
        break;
    }

    zjob::OutputExtras extras;
    const std::string geoDataFolder = recordPath(*source);
    for (const std::string &gridFile : directives.gridFiles) {
        const bool found = !geoDataFolder.empty() && isFile(geoDataFolder + '/' + gridFile);
        if (!found)
            extras.linesBeforeRootEnd.push_back("  <Reductions error=\"grid file not found\" grid=\"" +
                                                zjob::escapeAttribute(gridFile) + "\"/>");
    }
    if (directives.trace)
        extras.traceComment = "trace library=" + traceQuoted(libraryFileName()) +
                              traceRecord("source", *source) + traceRecord("target", *target) +
                              " language=" + traceQuoted(languageFile) +
                              " reserved=" + (reserved ? "set" : "null") + ' ';
    extras.keepGoing = [callback1] { return callback1() == 0; };

    OutputFile output(outputFile);
    if (!output.get())
        return raiseError(std::string("The Dexmor file ") + outputFile +
                          " cannot be written: " + std::strerror(errno));
    callback2();
    const zjob::OutputResult result = zjob::writeDexmor(reader, output.get(), extras);
    callback3();
    if (result == zjob::OutputResult::Stopped)
        return 0;
    if (!output.finish())
        return raiseError(std::string("The Dexmor file ") + outputFile + " could not be written completely");
    return 1;
}
#endif

} // namespace

CONVERTER_EXPORT int16_t converter_InspectFile(const char *jobFile, TConverterFileInfo *info, char *buffer,
                                               uint16_t capacity)
{
    lastError.clear();
    try {
        logCall("inspect", jobFile);
        if (!jobFile || !info)
            return 0;
        const FilePointer job{std::fopen(jobFile, "rb")};
        if (!job)
            return 0;
        zjob::Reader reader(job.get());
        zjob::Header header;
        if (!reader.readHeader(header))
            return 0;
        zjob::Directives directives;
        try {
            directives = reader.readDirectives();
        } catch (const zjob::FormatError &) {
            // Damage further on is the conversion's to report; the header says what the file is.
        }
        if (buffer && capacity > 0)
            std::snprintf(buffer, std::size_t(capacity) + 1, "%s job file", productName(header.product));
        switch (directives.inspect) {
        case zjob::InspectBehaviour::Accept:
            if (header.product != ownProduct)
                return 0;
            info->version = header.version;
            return 1;
        case zjob::InspectBehaviour::AcceptAny:
            info->version = header.version;
            return 1;
        case zjob::InspectBehaviour::Refuse:
            return 0;
        case zjob::InspectBehaviour::Answer:
            info->version = directives.inspectVersion;
            return directives.inspectResult;
        case zjob::InspectBehaviour::Raise:
            return raiseError(directives.inspectText);
        case zjob::InspectBehaviour::Crash:
            crash();
        case zjob::InspectBehaviour::Throw:
            throw EscapingError(directives.inspectText);
        case zjob::InspectBehaviour::Hang:
            hang(directives.inspectText);
        }
        return 0;
    } catch (const EscapingError &) {
        throw;
    } catch (const std::exception &error) {
        return raiseError(error.what());
    }
}

#ifndef ZJOB_WITHOUT_TRANSLATE
CONVERTER_EXPORT int16_t converter_TranslatePlus(const char *languageFile, const char *sourceFile,
                                                 TConverterFileInfo *source, const char *outputFile,
                                                 TConverterFileInfo *target, converter_Callback1_fn callback1,
                                                 converter_Callback2_fn callback2,
                                                 converter_Callback3_fn callback3, void *reserved)
{
    lastError.clear();
    try {
        logCall("translate", sourceFile);
        return translate(languageFile, sourceFile, source, outputFile, target, callback1, callback2,
                         callback3, reserved);
    } catch (const EscapingError &) {
        throw;
    } catch (const zjob::FormatError &error) {
        return raiseError(std::string("The job file ") + sourceFile + " is damaged: " + error.what());
    } catch (const std::exception &error) {
        return raiseError(error.what());
    }
}
#endif

CONVERTER_EXPORT const char *converter_LastError(void)
{
    return lastError.c_str();
}
