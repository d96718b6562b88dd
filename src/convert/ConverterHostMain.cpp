// zandrel-converter-host: loads one converter library, makes one call into it, answers, and ends.
// The program starts it for every inspection and conversion (ConverterHost.cpp). Its standard
// output goes to the program's standard error, so a talkative converter cannot garble the answer.
// It ends when the program does, however the program ends, and the program's private folder, which
// nobody else is left to remove, is removed then.

#include "ConverterAbi.h"
#include "ConverterHostProtocol.h"
#include "FolderDependencies.h"
#include "platform/SignalSafeRemoval.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <exception>
#include <optional>
#include <string>

namespace {

using namespace zandrel::converterhost;

// One loaded library, freed when it goes.
class LoadedLibrary {
public:
    explicit LoadedLibrary(const std::string &path)
    {
        // A path without a separator would make dlopen search; the program always sends a full path.
        if (path.find('/') == std::string::npos) {
            m_error = "not a path to a library file";
            return;
        }
        m_handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!m_handle) {
            const char *error = ::dlerror();
            m_error = error ? error : "cannot be loaded";
        }
    }
    ~LoadedLibrary()
    {
        if (m_handle)
            ::dlclose(m_handle);
    }
    LoadedLibrary(const LoadedLibrary &) = delete;
    LoadedLibrary &operator=(const LoadedLibrary &) = delete;

    bool isLoaded() const { return m_handle != nullptr; }
    const std::string &error() const { return m_error; }

    template <typename Function> Function symbol(const char *name) const
    {
        return reinterpret_cast<Function>(::dlsym(m_handle, name));
    }

private:
    void *m_handle = nullptr;
    std::string m_error;
};

// Set before the handler is installed, read only by it.
pid_t programProcess = 0;
const char *privateFolder = nullptr;

extern "C" void onProgramEnded(int signalNumber)
{
    // Only when the program is really gone: otherwise it removes its folder itself.
    if (privateFolder && ::getppid() != programProcess)
        zandrel::platform::removeFolderAndFiles(privateFolder);
    ::signal(signalNumber, SIG_DFL);
    ::raise(signalNumber);
}

int openProcess(pid_t process)
{
    return int(::syscall(SYS_pidfd_open, process, 0));
}

// Waits until the file descriptor of a process reads as ended, at most timeout milliseconds (-1:
// for ever); true when it ended.
bool waitForEnd(int process, int timeout)
{
    pollfd wait{process, POLLIN, 0};
    for (;;) {
        const int ready = ::poll(&wait, 1, timeout);
        if (ready >= 0 || errno != EINTR)
            return ready > 0;
    }
}

// A process of its own, started before the converter is loaded so that nothing of the
// converter's runs in it: when the program ends, it ends the helper (should the kernel's signal
// not have) and removes the program's private folder. It ends with the helper otherwise.
void startCaretaker(pid_t program, const char *folder)
{
    const int programEnd = openProcess(program);
    if (programEnd < 0)
        return;
    const pid_t helper = ::getpid();
    const pid_t caretaker = ::fork();
    if (caretaker != 0) {
        ::close(programEnd);
        return;
    }
    // Holds none of the helper's files: the program's channel and standard error must end with
    // the helper.
    const int nothing = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    for (int fd = 0; fd <= 2; ++fd)
        ::dup2(nothing, fd);
    ::close(channelDescriptor);
    for (const int signalNumber : {SIGINT, SIGHUP, SIGQUIT, SIGPIPE})
        ::signal(signalNumber, SIG_IGN);
    const int helperEnd = openProcess(helper);
    if (helperEnd < 0 || ::getppid() != helper)
        ::_exit(0);
    pollfd waits[2] = {{programEnd, POLLIN, 0}, {helperEnd, POLLIN, 0}};
    while (::poll(waits, 2, -1) < 0 && errno == EINTR) {
    }
    // A helper that the program's end killed may be seen to end a moment before the program.
    if ((waits[0].revents != 0 || waitForEnd(programEnd, 2000))) {
        ::syscall(SYS_pidfd_send_signal, helperEnd, SIGKILL, nullptr, 0);
        zandrel::platform::removeFolderAndFiles(folder);
    }
    ::_exit(0);
}

// The helper ends with the program however the program ends: the kernel sends SIGKILL, which
// neither a converter that handles or ignores SIGTERM nor a stopped helper can hold up. A program
// that ended before the request for that is found by its process id; its folder is removed then.
void endWithProgram(pid_t program, const std::string &folder)
{
    programProcess = program;
    // Kept for the whole life of the process: the handler may still run while it exits.
    privateFolder = folder.empty() ? nullptr : ::strdup(folder.c_str());
    struct sigaction action {};
    action.sa_handler = onProgramEnded;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGTERM, &action, nullptr);
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != program)
        ::raise(SIGTERM);
    if (privateFolder)
        startCaretaker(program, privateFolder);
}

int32_t keepGoing()
{
    return 0;
}

void doNothing()
{}

std::string readRequest()
{
    std::string bytes;
    char buffer[4096];
    for (;;) {
        const ssize_t read = ::read(channelDescriptor, buffer, sizeof buffer);
        if (read > 0) {
            bytes.append(buffer, static_cast<std::size_t>(read));
            if (bytes.size() > 16 * std::size_t(maxFieldSize))
                return {};
        } else if (read == 0) {
            return bytes;
        } else if (errno != EINTR) {
            return {};
        }
    }
}

bool writeAnswer(const std::string &bytes)
{
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t result = ::write(channelDescriptor, bytes.data() + written, bytes.size() - written);
        if (result < 0 && errno == EINTR)
            continue;
        if (result <= 0)
            return false;
        written += static_cast<std::size_t>(result);
    }
    return true;
}

std::string lastErrorOf(const LoadedLibrary &library)
{
    const auto lastError = library.symbol<converter_LastError_fn>(ZANDREL_CONVERTER_LAST_ERROR_EXPORT);
    const char *text = lastError ? lastError() : nullptr;
    return text ? std::string(text) : std::string();
}

Encoder answer(Status status)
{
    Encoder encoder;
    encoder.u8(static_cast<std::uint8_t>(status));
    return encoder;
}

Encoder notLoaded(const std::string &reason)
{
    Encoder encoder = answer(Status::NotLoadable);
    encoder.field(reason);
    return encoder;
}

// A C++ exception that leaves the converter is an error that it raised, with the exception's text.
template <typename Call> std::optional<Encoder> exceptionFrom(Call &&call)
{
    try {
        call();
        return std::nullopt;
    } catch (const std::exception &error) {
        Encoder encoder = answer(Status::Threw);
        encoder.field(error.what());
        return encoder;
    } catch (...) {
        Encoder encoder = answer(Status::Threw);
        encoder.field(std::string());
        return encoder;
    }
}

Encoder inspect(Decoder &request, const std::string &libraryPath)
{
    const std::string jobFile = request.field();
    TConverterFileInfo info = request.record();
    if (!request.ok() || !request.atEnd())
        return answer(Status::BadRequest);

    FolderDependencies dependencies;
    if (!dependencies.load(libraryPath))
        return notLoaded(dependencies.error());
    const LoadedLibrary library(libraryPath);
    if (!library.isLoaded())
        return notLoaded(library.error());
    const auto inspectFile = library.symbol<converter_InspectFile_fn>(ZANDREL_CONVERTER_INSPECT_EXPORT);
    if (!inspectFile)
        return answer(Status::ExportMissing);
    char buffer[ZANDREL_CONVERTER_INSPECT_BUFFER_SIZE];
    std::int16_t result = 0;
    if (std::optional<Encoder> thrown = exceptionFrom([&] {
            result = inspectFile(jobFile.c_str(), &info, buffer, ZANDREL_CONVERTER_INSPECT_BUFFER_SIZE - 1);
        }))
        return *thrown;
    Encoder encoder = answer(Status::Called);
    encoder.i16(result);
    encoder.record(info);
    encoder.field(lastErrorOf(library));
    return encoder;
}

Encoder translate(Decoder &request, const std::string &libraryPath)
{
    const std::string languageFile = request.field();
    const std::string sourceFile = request.field();
    TConverterFileInfo source = request.record();
    const std::string outputFile = request.field();
    TConverterFileInfo target = request.record();
    if (!request.ok() || !request.atEnd())
        return answer(Status::BadRequest);

    FolderDependencies dependencies;
    if (!dependencies.load(libraryPath))
        return notLoaded(dependencies.error());
    const LoadedLibrary library(libraryPath);
    if (!library.isLoaded())
        return notLoaded(library.error());
    const auto translatePlus = library.symbol<converter_TranslatePlus_fn>(ZANDREL_CONVERTER_TRANSLATE_EXPORT);
    if (!translatePlus)
        return answer(Status::ExportMissing);
    std::int16_t result = 0;
    if (std::optional<Encoder> thrown = exceptionFrom([&] {
            result = translatePlus(languageFile.c_str(), sourceFile.c_str(), &source, outputFile.c_str(),
                                   &target, keepGoing, doNothing, doNothing, nullptr);
        }))
        return *thrown;
    Encoder encoder = answer(Status::Called);
    encoder.i16(result);
    encoder.record(source);
    encoder.record(target);
    encoder.field(lastErrorOf(library));
    return encoder;
}

} // namespace

int main()
{
    const std::string bytes = readRequest();
    Decoder request(bytes);
    const std::uint32_t magic = request.u32();
    const auto operation = static_cast<Operation>(request.u8());
    const auto program = static_cast<pid_t>(request.u32());
    const std::string folder = request.field();
    const std::string libraryPath = request.field();
    Encoder reply = answer(Status::BadRequest);
    if (request.ok() && magic == requestMagic) {
        // Processes that the converter starts must not hold the program's channel.
        ::fcntl(channelDescriptor, F_SETFD, FD_CLOEXEC);
        endWithProgram(program, folder);
        if (operation == Operation::Inspect)
            reply = inspect(request, libraryPath);
        else if (operation == Operation::Translate)
            reply = translate(request, libraryPath);
    }
    return writeAnswer(reply.bytes()) ? 0 : 1;
}
