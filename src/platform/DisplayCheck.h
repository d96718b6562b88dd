#pragma once

#include <QByteArray>
#include <QString>

namespace zandrel::platform {

// Whether there is a display to show windows on, found by connecting to the window system the
// environment names, not by the variables alone: a DISPLAY left behind by an ssh session whose
// X forwarding is gone leads nowhere. The check loads no window system library and takes a
// local socket connect or two, so a batch run pays nothing for it.
struct DisplayCheck {
    enum class Result {
        None,        // nothing named, or Qt's offscreen or minimal platform: no windows wanted
        Unreachable, // a display is named, but nothing answers there
        Reachable,   // a window system answers (or a platform this check cannot test is named)
    };
    Result result = Result::None;
    // The display that was named, for messages: ":93", "wayland-1", "eglfs".
    QString display;
    // Why it cannot be reached, in the system's words; empty unless Unreachable.
    QString reason;
    // The Qt platforms worth trying, in order, for QT_QPA_PLATFORM ("xcb", "wayland;xcb", or
    // what the environment names); empty unless Reachable.
    QByteArray platforms;
};

// Reads DISPLAY, WAYLAND_DISPLAY, WAYLAND_SOCKET, XDG_RUNTIME_DIR, XDG_SESSION_TYPE and
// QT_QPA_PLATFORM.
DisplayCheck checkDisplay();

} // namespace zandrel::platform
