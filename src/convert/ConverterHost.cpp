#include "ConverterHost.h"

#include "ConverterHostProtocol.h"
#include "ConverterMessages.h"
#include "app/Format.h"

#include <QFile>
#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace zandrel {

namespace {

using namespace converterhost;

const char hostProgramName[] = "zandrel-converter-host";

// A descriptor closed when it goes.
class Descriptor {
public:
    explicit Descriptor(int fd = -1) : m_fd(fd) {}
    ~Descriptor() { reset(); }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    int get() const { return m_fd; }
    void reset(int fd = -1)
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }

private:
    int m_fd;
};

class SpawnActions {
public:
    SpawnActions() { m_ok = ::posix_spawn_file_actions_init(&m_actions) == 0; }
    ~SpawnActions()
    {
        if (m_ok)
            ::posix_spawn_file_actions_destroy(&m_actions);
    }
    SpawnActions(const SpawnActions &) = delete;
    SpawnActions &operator=(const SpawnActions &) = delete;
    posix_spawn_file_actions_t *get() { return &m_actions; }
    bool ok() const { return m_ok; }

private:
    posix_spawn_file_actions_t m_actions;
    bool m_ok = false;
};

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// The program's environment with the library's folder first on the library search path, as the
// original platform searches a converter's own folder for the libraries it needs.
std::vector<std::string> hostEnvironment(const QString &libraryFolder)
{
    std::vector<std::string> environment;
    std::string searchPath = QFile::encodeName(libraryFolder).toStdString();
    for (char **entry = environ; entry && *entry; ++entry) {
        const std::string variable = *entry;
        if (variable.rfind("LD_LIBRARY_PATH=", 0) == 0) {
            const std::string old = variable.substr(std::strlen("LD_LIBRARY_PATH="));
            if (!old.empty())
                searchPath += ':' + old;
        } else {
            environment.push_back(variable);
        }
    }
    environment.push_back("LD_LIBRARY_PATH=" + searchPath);
    return environment;
}

bool sendAll(int fd, const std::string &bytes)
{
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t result = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (result < 0 && errno == EINTR)
            continue;
        if (result <= 0)
            return false;
        sent += static_cast<std::size_t>(result);
    }
    return true;
}

std::string receiveAll(int fd)
{
    std::string bytes;
    char buffer[4096];
    for (;;) {
        const ssize_t result = ::read(fd, buffer, sizeof buffer);
        if (result > 0)
            bytes.append(buffer, static_cast<std::size_t>(result));
        else if (result == 0 || errno != EINTR)
            return bytes;
    }
}

ConverterCall hostFailed(const QString &program, const QString &reason)
{
    ConverterCall call;
    call.status = ConverterCall::Status::HostFailed;
    call.message = formatText(GetLocalizedString(StringId::ConverterHostFailed), {program, reason});
    return call;
}

ConverterCall raised(const QString &message)
{
    ConverterCall call;
    call.status = ConverterCall::Status::Raised;
    call.message = message;
    return call;
}

// Reads the host's answer; false when it is incomplete or malformed.
bool readAnswer(const std::string &bytes, bool translation, ConverterCall &call)
{
    Decoder answer(bytes);
    const auto status = static_cast<Status>(answer.u8());
    if (!answer.ok())
        return false;
    switch (status) {
    case Status::Called: {
        call.result = answer.i16();
        call.record = answer.record();
        if (translation)
            call.targetRecord = answer.record();
        const std::string lastError = answer.field();
        if (!answer.ok() || !answer.atEnd())
            return false;
        if (!lastError.empty()) {
            call.status = ConverterCall::Status::Raised;
            call.message = QString::fromLocal8Bit(lastError.data(), qsizetype(lastError.size()));
        } else {
            call.status = ConverterCall::Status::Called;
        }
        return true;
    }
    case Status::NotLoadable: {
        const std::string reason = answer.field();
        call.status = ConverterCall::Status::NotLoadable;
        call.message = QString::fromLocal8Bit(reason.data(), qsizetype(reason.size()));
        return answer.ok() && answer.atEnd();
    }
    case Status::ExportMissing:
        call.status = ConverterCall::Status::ExportMissing;
        return answer.atEnd();
    case Status::BadRequest:
        call.status = ConverterCall::Status::HostFailed;
        return answer.atEnd();
    }
    return false;
}

} // namespace

ConverterHost ConverterHost::fromEnvironment()
{
    const QString configured = qEnvironmentVariable("ZANDREL_CONVERTER_HOST");
    if (!configured.isEmpty())
        return ConverterHost(configured);
    const QString programFolder = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath();
    const QString beside = programFolder + u'/' + QLatin1String(hostProgramName);
    // Beside the program in a build folder; in the helpers' folder where the program is installed.
    const QString installed =
        QDir::cleanPath(programFolder + QStringLiteral("/" ZANDREL_HELPER_FOLDER "/") + QLatin1String(hostProgramName));
    return ConverterHost(QFileInfo::exists(beside) || !QFileInfo::exists(installed) ? beside : installed);
}

ConverterCall ConverterHost::inspect(const QString &library, const QByteArray &jobFile,
                                     const TConverterFileInfo &info) const
{
    Encoder request;
    request.u32(requestMagic);
    request.u8(static_cast<std::uint8_t>(Operation::Inspect));
    request.field(QFile::encodeName(QFileInfo(library).absoluteFilePath()).toStdString());
    request.field(jobFile.toStdString());
    request.record(info);
    return call(library, request.bytes(), false);
}

ConverterCall ConverterHost::translate(const QString &library, const QByteArray &languageFile,
                                       const QByteArray &sourceFile, const TConverterFileInfo &source,
                                       const QByteArray &outputFile, const TConverterFileInfo &target) const
{
    Encoder request;
    request.u32(requestMagic);
    request.u8(static_cast<std::uint8_t>(Operation::Translate));
    request.field(QFile::encodeName(QFileInfo(library).absoluteFilePath()).toStdString());
    request.field(languageFile.toStdString());
    request.field(sourceFile.toStdString());
    request.record(source);
    request.field(outputFile.toStdString());
    request.record(target);
    return call(library, request.bytes(), true);
}

ConverterCall ConverterHost::call(const QString &library, const std::string &request, bool translation) const
{
    // Nothing to load: no helper is needed to find that out.
    if (library.isEmpty() || !QFileInfo::exists(library)) {
        ConverterCall call;
        call.status = ConverterCall::Status::NotLoadable;
        return call;
    }

    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0)
        return hostFailed(m_program, systemError(errno));
    Descriptor ours(pair[0]);
    // Kept away from the channel's own number, so that the move onto it clears close-on-exec.
    Descriptor theirs(::fcntl(pair[1], F_DUPFD_CLOEXEC, channelDescriptor + 1));
    ::close(pair[1]);
    if (theirs.get() < 0)
        return hostFailed(m_program, systemError(errno));

    SpawnActions actions;
    if (!actions.ok() ||
        ::posix_spawn_file_actions_addopen(actions.get(), 0, "/dev/null", O_RDONLY, 0) != 0 ||
        ::posix_spawn_file_actions_adddup2(actions.get(), 2, 1) != 0 ||
        ::posix_spawn_file_actions_adddup2(actions.get(), theirs.get(), channelDescriptor) != 0)
        return hostFailed(m_program, systemError(ENOMEM));

    const QByteArray program = QFile::encodeName(m_program);
    std::vector<std::string> environment = hostEnvironment(QFileInfo(library).absolutePath());
    std::vector<char *> environmentPointers;
    for (std::string &variable : environment)
        environmentPointers.push_back(variable.data());
    environmentPointers.push_back(nullptr);
    char *arguments[] = {const_cast<char *>(program.constData()), nullptr};

    pid_t child = -1;
    const int spawnError = ::posix_spawn(&child, program.constData(), actions.get(), nullptr, arguments,
                                         environmentPointers.data());
    theirs.reset();
    if (spawnError != 0)
        return hostFailed(m_program, systemError(spawnError));

    // A host that dies before reading shows in its exit status below.
    if (sendAll(ours.get(), request))
        ::shutdown(ours.get(), SHUT_WR);
    const std::string answer = receiveAll(ours.get());
    ours.reset();

    int status = 0;
    pid_t waited = -1;
    do {
        waited = ::waitpid(child, &status, 0);
    } while (waited < 0 && errno == EINTR);

    const QString libraryName = QFileInfo(library).absoluteFilePath();
    if (waited == child && WIFSIGNALED(status)) {
        const int signal = WTERMSIG(status);
        return raised(formatText(GetLocalizedString(StringId::ConverterFaulted),
                                 {libraryName, QString::fromLocal8Bit(::strsignal(signal))}));
    }
    ConverterCall call;
    if (readAnswer(answer, translation, call)) {
        if (call.status == ConverterCall::Status::HostFailed)
            return hostFailed(m_program, QStringLiteral("the request was not understood"));
        return call;
    }
    if (waited == child && WIFEXITED(status))
        return raised(
            formatText(GetLocalizedString(StringId::ConverterExited), {libraryName, WEXITSTATUS(status)}));
    return raised(formatText(GetLocalizedString(StringId::ConverterExited), {libraryName, -1}));
}

} // namespace zandrel
