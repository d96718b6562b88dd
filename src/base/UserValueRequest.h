#pragma once

#include <QString>
#include <QStringList>

namespace zandrel {

// The type of a user value, named after the type words of the style sheet's definitions.
enum class ValueType { Double, Integer, String, StringMenu, FileName };

// The limit that stands for "no limit".
inline constexpr double NoLimit = 1e308;

// One question for a user value, as the dialog, the console and the tests receive it.
struct UserValueRequest {
    QString prompt;
    QString initialText;
    ValueType type = ValueType::String;
    QString minimumText; // lower limit; for FILENAME the file extension
    QString maximumText;
    QStringList menuEntries; // STRINGMENU only
    int selectedEntry = -1;  // STRINGMENU: the entry that matches the initial text, or -1
};

} // namespace zandrel
