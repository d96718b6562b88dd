#include "ConverterHost.h"
#include "platform/SystemError.h"

#include "ConverterHostProtocol.h"
#include "ConverterMessages.h"
#include "app/Format.h"
#include "platform/FileDescriptor.h"
#include "platform/ProgramFolder.h"
#include "platform/TerminationCleanup.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace zandrel {

using platform::FileDescriptor;
using platform::systemErrorText;

namespace {

using namespace converterhost;

const char hostProgramName[] = "zandrel-converter-host";

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

// The helper of the call under way, for stopRunningCall(); 0 when none runs.
std::atomic<pid_t> runningHelper{0};
std::atomic<bool> stopRequested{false};

// A started helper process: killed and reaped when it goes unless it has ended by itself, and
// killed by a signal that ends the program.
class HelperProcess {
public:
    explicit HelperProcess(pid_t pid)
        : m_pid(pid), m_pidfd(int(::syscall(SYS_pidfd_open, pid, 0))),
          m_onSignal(platform::TerminationCleanup::killProcess(pid))
    {
        runningHelper.store(pid);
        // A stop that came while the helper was being started.
        if (stopRequested.load())
            ::kill(pid, SIGKILL);
    }
    ~HelperProcess()
    {
        if (!m_reaped) {
            ::kill(m_pid, SIGKILL);
            reap();
        }
    }
    HelperProcess(const HelperProcess &) = delete;
    HelperProcess &operator=(const HelperProcess &) = delete;

    // Reads the answer from the channel until the helper has ended: not until the channel closes,
    // which a process that the converter left behind may hold open for as long as it lives.
    std::string answerUntilExit(int channel)
    {
        std::string bytes;
        bool channelOpen = true;
        while (m_pidfd.get() >= 0 || channelOpen) {
            pollfd waits[2] = {{m_pidfd.get(), POLLIN, 0}, {channel, POLLIN, 0}};
            if (!channelOpen)
                waits[1].fd = -1;
            const int ready = ::poll(waits, 2, stopCheckMilliseconds);
            if (ready < 0) {
                if (errno == EINTR)
                    continue;
                break;
            }
            if (ready == 0) {
                endIfStoppedTooLong();
                continue;
            }
            if (waits[1].revents != 0)
                channelOpen = readSome(channel, bytes);
            if (waits[0].revents != 0)
                break;
        }
        // The helper has ended (or cannot be watched, and the channel has closed): what it wrote
        // before is waiting in the channel.
        reap();
        while (readSome(channel, bytes, MSG_DONTWAIT)) {
        }
        return bytes;
    }

    int status() const { return m_status; }
    bool stopped() const { return m_stopped; }
    // The signal that stopped the helper for too long, which then was ended; 0 for none.
    int endedWhileStoppedBy() const { return m_stopSignal; }

private:
    static constexpr int stopCheckMilliseconds = 500;
    static constexpr int stoppedAtMostMilliseconds = 5000;

    // A helper stopped by a signal (SIGSTOP, a terminal's SIGTTOU) would hold the program for
    // ever: after a while it is ended, and the call fails saying so.
    void endIfStoppedTooLong()
    {
        siginfo_t info{};
        const bool isStopped = ::waitid(P_PID, id_t(m_pid), &info, WSTOPPED | WNOHANG | WNOWAIT) == 0 &&
                               info.si_pid == m_pid && info.si_code == CLD_STOPPED;
        if (!isStopped) {
            m_stoppedFor = 0;
            return;
        }
        m_stoppedFor += stopCheckMilliseconds;
        if (m_stoppedFor >= stoppedAtMostMilliseconds && m_stopSignal == 0) {
            m_stopSignal = info.si_status;
            ::kill(m_pid, SIGKILL);
        }
    }

    // False at the end of the channel, on an error, or when nothing more is there to read.
    static bool readSome(int channel, std::string &bytes, int flags = 0)
    {
        char buffer[4096];
        for (;;) {
            const ssize_t received = ::recv(channel, buffer, sizeof buffer, flags);
            if (received > 0 && bytes.size() < 16 * std::size_t(maxFieldSize)) {
                bytes.append(buffer, static_cast<std::size_t>(received));
                return true;
            }
            if (received < 0 && errno == EINTR)
                continue;
            return false;
        }
    }

    void reap()
    {
        // Taken off before reaping, so that no stop or signal handler kills another process that
        // gets the number later.
        runningHelper.store(0);
        m_onSignal.release();
        pid_t waited = -1;
        do {
            waited = ::waitpid(m_pid, &m_status, 0);
        } while (waited < 0 && errno == EINTR);
        m_reaped = true;
        m_stopped = stopRequested.exchange(false) && waited == m_pid && WIFSIGNALED(m_status) &&
                    WTERMSIG(m_status) == SIGKILL;
        if (waited != m_pid)
            m_status = -1;
    }

    pid_t m_pid;
    FileDescriptor m_pidfd;
    platform::TerminationCleanup m_onSignal;
    int m_status = -1;
    bool m_reaped = false;
    bool m_stopped = false;
    int m_stoppedFor = 0; // milliseconds, as last seen
    int m_stopSignal = 0;
};

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

// A text that the converter gave, in the local encoding, with its control characters (but line
// breaks and tabs) shown as [U+XXXX]: an escape sequence in it must not reach the user's terminal
// and change what it shows.
QString converterText(const std::string &bytes)
{
    const QString text = QString::fromLocal8Bit(bytes.data(), qsizetype(bytes.size()));
    QString shown;
    shown.reserve(text.size());
    for (const QChar c : text) {
        if (c.category() == QChar::Other_Control && c != u'\n' && c != u'\t')
            shown += QStringLiteral("[U+%1]").arg(uint(c.unicode()), 4, 16, QLatin1Char('0')).toUpper();
        else
            shown += c;
    }
    return shown;
}

// Reads the host's answer; false when it is incomplete or malformed.
bool readAnswer(const std::string &bytes, bool translation, const QString &libraryName, ConverterCall &call)
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
            call.message = converterText(lastError);
        } else {
            call.status = ConverterCall::Status::Called;
        }
        return true;
    }
    case Status::NotLoadable: {
        const std::string reason = answer.field();
        call.status = ConverterCall::Status::NotLoadable;
        call.message = converterText(reason);
        return answer.ok() && answer.atEnd();
    }
    case Status::ExportMissing:
        call.status = ConverterCall::Status::ExportMissing;
        return answer.atEnd();
    case Status::BadRequest:
        call.status = ConverterCall::Status::HostFailed;
        return answer.atEnd();
    case Status::Threw: {
        // An exception's text is the error's message, as an error raised by the converter.
        const std::string text = answer.field();
        call.status = ConverterCall::Status::Raised;
        call.message = text.empty()
                           ? formatText(GetLocalizedString(StringId::ConverterThrewUnknown), {libraryName})
                           : converterText(text);
        return answer.ok() && answer.atEnd();
    }
    }
    return false;
}

} // namespace

ConverterHost ConverterHost::fromEnvironment(const QString &privateFolder)
{
    const QString configured = qEnvironmentVariable("ZANDREL_CONVERTER_HOST");
    if (!configured.isEmpty())
        return ConverterHost(configured, privateFolder);
    return ConverterHost(platform::helperProgram(QLatin1String(hostProgramName)), privateFolder);
}

void ConverterHost::stopRunningCall() noexcept
{
    stopRequested.store(true);
    const pid_t helper = runningHelper.load();
    if (helper > 0)
        ::kill(helper, SIGKILL);
}

ConverterCall ConverterHost::inspect(const QString &library, const QByteArray &jobFile,
                                     const TConverterFileInfo &info) const
{
    Encoder request;
    request.u32(requestMagic);
    request.u8(static_cast<std::uint8_t>(Operation::Inspect));
    request.u32(static_cast<std::uint32_t>(::getpid()));
    request.field(QFile::encodeName(m_privateFolder).toStdString());
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
    request.u32(static_cast<std::uint32_t>(::getpid()));
    request.field(QFile::encodeName(m_privateFolder).toStdString());
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
        return hostFailed(m_program, systemErrorText(errno));
    FileDescriptor ours(pair[0]);
    FileDescriptor original(pair[1]);
    // Kept away from the channel's own number, so that the move onto it clears close-on-exec.
    FileDescriptor theirs(::fcntl(original.get(), F_DUPFD_CLOEXEC, channelDescriptor + 1));
    const int duplicateError = errno;
    // Closed at once: a copy of the helper's end held here would keep the channel from ending.
    original.close();
    if (!theirs.isOpen())
        return hostFailed(m_program, systemErrorText(duplicateError));

    SpawnActions actions;
    if (!actions.ok() ||
        ::posix_spawn_file_actions_addopen(actions.get(), 0, "/dev/null", O_RDONLY, 0) != 0 ||
        ::posix_spawn_file_actions_adddup2(actions.get(), 2, 1) != 0 ||
        ::posix_spawn_file_actions_adddup2(actions.get(), theirs.get(), channelDescriptor) != 0)
        return hostFailed(m_program, systemErrorText(ENOMEM));

    const QByteArray program = QFile::encodeName(m_program);
    char *arguments[] = {const_cast<char *>(program.constData()), nullptr};
    // A stop asked for from here on ends this call.
    stopRequested.store(false);
    pid_t child = -1;
    const int spawnError =
        ::posix_spawn(&child, program.constData(), actions.get(), nullptr, arguments, environ);
    theirs.close();
    if (spawnError != 0)
        return hostFailed(m_program, systemErrorText(spawnError));

    HelperProcess helper(child);
    // A host that dies before reading shows in its exit status below.
    if (sendAll(ours.get(), request))
        ::shutdown(ours.get(), SHUT_WR);
    const std::string answer = helper.answerUntilExit(ours.get());
    ours.close();
    const int status = helper.status();
    if (helper.stopped()) {
        ConverterCall call;
        call.status = ConverterCall::Status::Stopped;
        return call;
    }

    const QString libraryName = QFileInfo(library).absoluteFilePath();
    if (status != -1 && WIFSIGNALED(status)) {
        const int signal = helper.endedWhileStoppedBy() ? helper.endedWhileStoppedBy() : WTERMSIG(status);
        return raised(formatText(GetLocalizedString(StringId::ConverterFaulted),
                                 {libraryName, QString::fromLocal8Bit(::strsignal(signal))}));
    }
    ConverterCall call;
    if (readAnswer(answer, translation, libraryName, call)) {
        if (call.status == ConverterCall::Status::HostFailed)
            return hostFailed(m_program, QStringLiteral("the request was not understood"));
        return call;
    }
    if (status != -1 && WIFEXITED(status))
        return raised(
            formatText(GetLocalizedString(StringId::ConverterExited), {libraryName, WEXITSTATUS(status)}));
    return raised(formatText(GetLocalizedString(StringId::ConverterExited), {libraryName, -1}));
}

} // namespace zandrel
