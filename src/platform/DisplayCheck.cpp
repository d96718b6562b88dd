#include "DisplayCheck.h"

#include "FileDescriptor.h"
#include "SystemError.h"

#include <QList>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstring>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <utility>

namespace zandrel::platform {

namespace {

// A window system gets this long to accept a connection and, for X, to answer its first
// request; a local one answers or refuses at once.
constexpr std::chrono::milliseconds answerTime{2000};

struct Reach {
    bool reached = false;
    QString reason;
    // The connection made, when there is one.
    FileDescriptor socket;
};

Reach unreachable(const QString &reason)
{
    return {false, reason, FileDescriptor()};
}

// Waits until the socket is ready for the events or the time is up; false on time-out.
bool waitFor(int socket, short events)
{
    pollfd waiting{socket, events, 0};
    int ready;
    do
        ready = ::poll(&waiting, 1, int(answerTime.count()));
    while (ready < 0 && errno == EINTR);
    return ready > 0;
}

// Connects a stream socket to the address; a connection still in progress when the time is up
// counts as unreachable.
Reach connectTo(int family, const sockaddr *address, socklen_t length)
{
    FileDescriptor socket(::socket(family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!socket.isOpen())
        return unreachable(systemErrorText(errno));
    if (::connect(socket.get(), address, length) == 0)
        return {true, {}, std::move(socket)};
    // A local server whose queue is full is there all the same.
    if (family == AF_UNIX && errno == EAGAIN)
        return {true, {}, FileDescriptor()};
    if (errno != EINPROGRESS)
        return unreachable(systemErrorText(errno));
    if (!waitFor(socket.get(), POLLOUT))
        return unreachable(systemErrorText(ETIMEDOUT));
    int error = 0;
    socklen_t errorLength = sizeof error;
    if (::getsockopt(socket.get(), SOL_SOCKET, SO_ERROR, &error, &errorLength) != 0)
        return unreachable(systemErrorText(errno));
    if (error != 0)
        return unreachable(systemErrorText(error));
    return {true, {}, std::move(socket)};
}

// A local socket by its path; with abstract, in Linux's abstract namespace under that name.
Reach connectToLocal(const QByteArray &path, bool abstract = false)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::size_t offset = abstract ? 1 : 0;
    if (path.isEmpty() || std::size_t(path.size()) + offset >= sizeof address.sun_path)
        return unreachable(systemErrorText(ENAMETOOLONG));
    std::memcpy(address.sun_path + offset, path.constData(), std::size_t(path.size()));
    const auto length =
        socklen_t(offsetof(sockaddr_un, sun_path) + offset + std::size_t(path.size()) + (abstract ? 0 : 1));
    return connectTo(AF_UNIX, reinterpret_cast<const sockaddr *>(&address), length);
}

Reach connectToHost(const QByteArray &host, int port)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    const int lookup = ::getaddrinfo(host.constData(), QByteArray::number(port).constData(), &hints, &found);
    if (lookup != 0)
        return unreachable(QString::fromLocal8Bit(::gai_strerror(lookup)));
    Reach reach = unreachable(systemErrorText(ECONNREFUSED));
    for (const addrinfo *address = found; address && !reach.reached; address = address->ai_next)
        reach = connectTo(address->ai_family, address->ai_addr, address->ai_addrlen);
    ::freeaddrinfo(found);
    return reach;
}

// Whether the X server at the other end of the connection answers: a wedged server, or an ssh
// forwarding whose other side is gone, takes the connection and then keeps the windows program
// waiting for ever. The request names no authorization, so the answer may well be a refusal;
// any answer will do, the windows program then connects with the user's authorization.
Reach answeredByX11(Reach connection)
{
    if (!connection.reached || !connection.socket.isOpen())
        return connection;
    const int socket = connection.socket.get();
    // Byte order, unused, protocol 11.0, no authorization name or data, unused.
    constexpr bool little = std::endian::native == std::endian::little;
    constexpr unsigned char request[12] = {
        little ? 'l' : 'B', 0, little ? 11 : 0, little ? 0 : 11, 0, 0, 0, 0, 0, 0, 0, 0};
    char answer = 0;
    if (::send(socket, request, sizeof request, MSG_NOSIGNAL) != ssize_t(sizeof request))
        return unreachable(systemErrorText(errno));
    if (!waitFor(socket, POLLIN))
        return unreachable(QStringLiteral("the X server does not answer"));
    const ssize_t got = ::recv(socket, &answer, 1, 0);
    if (got < 0)
        return unreachable(systemErrorText(errno));
    if (got == 0)
        return unreachable(QStringLiteral("the X server closed the connection"));
    return {true, {}, FileDescriptor()};
}

// An X server as libxcb finds it: "[protocol/][host]:display[.screen]", or the path of a socket.
Reach connectToX11(const QByteArray &name)
{
    if (name.isEmpty())
        return unreachable(QStringLiteral("DISPLAY is not set"));
    if (name.startsWith('/')) {
        Reach reach = connectToLocal(name);
        const qsizetype dot = name.lastIndexOf('.');
        if (!reach.reached && dot > name.lastIndexOf('/'))
            reach = connectToLocal(name.left(dot));
        return reach;
    }
    const qsizetype colon = name.lastIndexOf(':');
    QByteArray host = name.left(std::max<qsizetype>(colon, 0));
    QByteArray protocol;
    const qsizetype slash = host.indexOf('/');
    if (slash >= 0) {
        protocol = host.left(slash);
        host = host.mid(slash + 1);
    }
    QByteArray number = name.mid(colon + 1);
    number.truncate(number.indexOf('.') >= 0 ? number.indexOf('.') : number.size());
    bool isNumber = false;
    const int display = number.toInt(&isNumber);
    if (colon < 0 || !isNumber || display < 0 || display > 59535)
        return unreachable(QStringLiteral("no display name of the form [host]:number[.screen]"));
    if (host.endsWith(':')) // DECnet, which only libxcb itself can judge
        return {true, {}, FileDescriptor()};
    const int port = 6000 + display;
    if (protocol == "unix" || (protocol.isEmpty() && (host.isEmpty() || host == "unix"))) {
        const QByteArray path = "/tmp/.X11-unix/X" + QByteArray::number(display);
        Reach reach = connectToLocal(path, true);
        if (!reach.reached)
            reach = connectToLocal(path);
        // Without a host libxcb goes on to the local TCP port.
        if (!reach.reached && protocol.isEmpty() && host.isEmpty()) {
            Reach tcp = connectToHost("localhost", port);
            if (tcp.reached)
                return tcp;
        }
        return reach;
    }
    return connectToHost(host, port);
}

Reach reachX11(const QByteArray &name)
{
    return answeredByX11(connectToX11(name));
}

// A Wayland compositor as libwayland-client finds it: WAYLAND_SOCKET, an absolute
// WAYLAND_DISPLAY, or WAYLAND_DISPLAY (default "wayland-0") in XDG_RUNTIME_DIR.
Reach reachWayland(const QByteArray &name)
{
    if (!qEnvironmentVariableIsEmpty("WAYLAND_SOCKET"))
        return {true, {}, FileDescriptor()};
    if (name.startsWith('/'))
        return connectToLocal(name);
    const QByteArray runtimeFolder = qgetenv("XDG_RUNTIME_DIR");
    if (runtimeFolder.isEmpty())
        return unreachable(QStringLiteral("XDG_RUNTIME_DIR is not set"));
    return connectToLocal(runtimeFolder + '/' + name);
}

QByteArray waylandName()
{
    const QByteArray name = qgetenv("WAYLAND_DISPLAY");
    return name.isEmpty() ? QByteArrayLiteral("wayland-0") : name;
}

} // namespace

DisplayCheck checkDisplay()
{
    using Result = DisplayCheck::Result;
    DisplayCheck check;
    const QByteArray requested = qgetenv("QT_QPA_PLATFORM");
    if (!requested.isEmpty()) {
        // A list of platforms is tried in order, as Qt tries it; arguments follow a ":".
        for (const QByteArray &entry : requested.split(';')) {
            const QByteArray platform =
                entry.left(entry.indexOf(':') >= 0 ? entry.indexOf(':') : entry.size());
            if (platform.isEmpty())
                continue;
            if (platform == "offscreen" || platform == "minimal")
                break;
            Reach reach{true, {}, FileDescriptor()};
            QByteArray display = platform;
            if (platform == "xcb") {
                display = qgetenv("DISPLAY");
                reach = reachX11(display);
                if (display.isEmpty())
                    display = platform;
            } else if (platform.startsWith("wayland")) {
                display = waylandName();
                reach = reachWayland(display);
            }
            if (reach.reached) {
                check = {Result::Reachable, QString::fromLocal8Bit(display), {}, requested};
                return check;
            }
            if (check.result == Result::None) {
                check.result = Result::Unreachable;
                check.display = QString::fromLocal8Bit(display);
                check.reason = reach.reason;
            }
        }
        return check;
    }

    // Without a platform named, Qt takes the session's window system first and the other one
    // after it.
    QList<QByteArray> platforms;
    QList<QByteArray> displays;
    const bool waylandSession = qgetenv("XDG_SESSION_TYPE") == "wayland";
    const QByteArray x11 = qgetenv("DISPLAY");
    if (!x11.isEmpty()) {
        const Reach reach = reachX11(x11);
        if (reach.reached) {
            platforms.append("xcb");
            displays.append(x11);
        } else {
            check = {Result::Unreachable, QString::fromLocal8Bit(x11), reach.reason, {}};
        }
    }
    const QByteArray wayland = qgetenv("WAYLAND_DISPLAY");
    if (!wayland.isEmpty()) {
        const Reach reach = reachWayland(wayland);
        if (reach.reached) {
            platforms.insert(waylandSession ? 0 : platforms.size(), "wayland");
            displays.insert(waylandSession ? 0 : displays.size(), wayland);
        } else if (check.result == Result::None) {
            check = {Result::Unreachable, QString::fromLocal8Bit(wayland), reach.reason, {}};
        }
    }
    if (!platforms.isEmpty())
        check = {Result::Reachable, QString::fromLocal8Bit(displays.join(", ")), {}, platforms.join(';')};
    return check;
}

} // namespace zandrel::platform
