#include "ConsoleInteraction.h"

#include "WorkThread.h"
#include "app/Format.h"
#include "app/StringTable.h"
#include "base/PathPieces.h"
#include "platform/FileOperations.h"
#include "uservalue/UserValue.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileDevice>
#include <QFileInfo>
#include <QIODevice>

namespace zandrel {

namespace {

QString captionFor(MessageKind kind)
{
    switch (kind) {
    case MessageKind::Error:
        return QStringLiteral("Error: ");
    case MessageKind::Warning:
        return QStringLiteral("Warning: ");
    case MessageKind::ApplicationError:
        return QStringLiteral("Zandrel: ");
    case MessageKind::Information:
    case MessageKind::Plain:
        break;
    }
    return {};
}

} // namespace

bool isYesAnswer(const QString &answer)
{
    // English always counts too: a script written for any language says yes so.
    QStringList yes = GetLocalizedString(StringId::YesAnswers).toLower().split(u'|');
    yes << QStringLiteral("y") << QStringLiteral("yes");
    const QString given = answer.trimmed().toLower();
    return !given.isEmpty() && yes.contains(given);
}

ConsoleInteraction::ConsoleInteraction(QIODevice &input, QIODevice &output, QIODevice &errors,
                                       bool interactive, const QLocale &locale)
    : m_input(input), m_output(output), m_errors(errors), m_interactive(interactive), m_locale(locale)
{}

void ConsoleInteraction::write(QIODevice &stream, const QString &text)
{
    stream.write(text.toUtf8());
    if (auto *file = qobject_cast<QFileDevice *>(&stream))
        file->flush();
}

void ConsoleInteraction::showMessage(MessageKind kind, const QString &text)
{
    QString line = captionFor(kind) + text;
    line.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    write(kind == MessageKind::Information ? m_output : m_errors, line + u'\n');
}

std::optional<QString> ConsoleInteraction::ask(const QString &prompt)
{
    write(m_errors, prompt + u' ');
    QByteArray line = m_input.readLine();
    if (line.isEmpty()) {
        write(m_errors, QStringLiteral("\n"));
        return std::nullopt;
    }
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    return QString::fromUtf8(line);
}

bool ConsoleInteraction::runLongWork(const LongWork &work)
{
    if (!m_showsProgress)
        return Interaction::runLongWork(work);
    QElapsedTimer clock;
    clock.start();
    WorkThread worker(work.run);
    bool shown = false;
    // Ctrl-C needs nothing here: the program ends at once and leaves no file behind.
    while (!worker.waitFor(std::chrono::milliseconds(250))) {
        if (clock.elapsed() < progressDelayMilliseconds)
            continue;
        const ProgressTexts texts = progressTexts(work, work.progress ? work.progress() : WorkProgress{});
        QStringList parts{texts.step, texts.elapsed};
        parts += texts.details;
        write(m_errors, QStringLiteral("\r\x1b[K") + parts.join(QStringLiteral("  ")));
        shown = true;
    }
    if (shown)
        write(m_errors, QStringLiteral("\r\x1b[K"));
    worker.finish();
    return true;
}

Answer ConsoleInteraction::chooseSaveFile(const SaveFileRequest &request)
{
    if (!m_interactive) {
        // Nobody can confirm a replacement, so an existing file is never replaced.
        const QString target = QDir::current().filePath(path::fileName(request.fileName));
        if (platform::fileKind(target) != platform::FileKind::Missing) {
            showMessage(MessageKind::Error,
                        formatText(GetLocalizedString(StringId::OutputExistsUnconfirmed), {target}));
            return Answer::failed();
        }
        return Answer::given(target);
    }
    for (;;) {
        const std::optional<QString> answer =
            ask(formatText(GetLocalizedString(StringId::SaveAsQuestion), {request.fileName}));
        if (!answer)
            return Answer::cancelled();
        QString target = answer->trimmed().isEmpty() ? request.fileName : answer->trimmed();
        if (!request.defaultSuffix.isEmpty() && path::extension(target).isEmpty())
            target += u'.' + request.defaultSuffix;
        if (platform::fileKind(target) == platform::FileKind::Missing)
            return Answer::given(target);
        const std::optional<QString> replace =
            ask(formatText(GetLocalizedString(StringId::ReplaceExistingQuestion), {target}));
        if (!replace)
            return Answer::cancelled();
        if (isYesAnswer(*replace))
            return Answer::given(target);
    }
}

Answer ConsoleInteraction::chooseOpenFile(const OpenFileRequest &request)
{
    // Without a terminal nobody can choose: the style sheet's own value stays, empty or not.
    if (!m_interactive)
        return Answer::given(request.currentValue);
    for (;;) {
        const std::optional<QString> answer =
            ask(request.title + QStringLiteral(" [") + request.currentValue + u']');
        if (!answer)
            return Answer::cancelled();
        if (answer->trimmed().isEmpty())
            return Answer::given(request.currentValue);
        QString path = answer->trimmed();
        if (!request.defaultSuffix.isEmpty() && !path.isEmpty() && path::extension(path).isEmpty())
            path += u'.' + request.defaultSuffix;
        const QFileInfo file(path);
        if (file.isFile())
            return Answer::given(file.absoluteFilePath());
        showMessage(MessageKind::Error, formatText(GetLocalizedString(StringId::FileDoesNotExist), {path}));
    }
}

Answer ConsoleInteraction::offeredValue(const UserValueRequest &request)
{
    if (request.type == ValueType::StringMenu)
        return Answer::given(request.menuEntries.value(request.selectedEntry));
    if (const std::optional<QString> problem = validateUserValue(request, request.initialText, m_locale)) {
        showMessage(MessageKind::Error, *problem);
        return Answer::failed();
    }
    return Answer::given(request.initialText);
}

Answer ConsoleInteraction::askMenuEntry(const UserValueRequest &request)
{
    QString list = request.prompt + u'\n';
    for (int i = 0; i < request.menuEntries.size(); ++i)
        list += QStringLiteral("  %1) %2\n").arg(i + 1).arg(request.menuEntries.at(i));
    write(m_errors, list);
    const QString current = request.menuEntries.value(request.selectedEntry);
    for (;;) {
        const std::optional<QString> answer = ask(QStringLiteral("[") + current + u']');
        if (!answer)
            return Answer::cancelled();
        const QString text = trimmedText(*answer);
        if (text.isEmpty())
            return Answer::given(current);
        bool isNumber = false;
        const int number = text.toInt(&isNumber);
        if (isNumber && number >= 1 && number <= request.menuEntries.size())
            return Answer::given(request.menuEntries.at(number - 1));
        if (const int entry = matchingMenuEntry(request.menuEntries, text); entry >= 0)
            return Answer::given(request.menuEntries.at(entry));
        showMessage(MessageKind::Error, GetLocalizedString(StringId::ChooseMenuEntry));
    }
}

Answer ConsoleInteraction::askUserValue(const UserValueRequest &request)
{
    if (!m_interactive)
        return offeredValue(request);
    if (request.type == ValueType::StringMenu)
        return askMenuEntry(request);
    for (;;) {
        const std::optional<QString> answer =
            ask(request.prompt + QStringLiteral(" [") + request.initialText + u']');
        if (!answer)
            return Answer::cancelled();
        // Enter keeps the offered value; a typed text is taken exactly as typed.
        const QString text = answer->isEmpty() ? request.initialText : *answer;
        const std::optional<QString> problem = validateUserValue(request, text, m_locale);
        if (!problem)
            return Answer::given(text);
        showMessage(MessageKind::Error, *problem);
    }
}

void ConsoleInteraction::showGeneratedFile(const QString &path, const QString &)
{
    // No viewer can be shown without a display: say where the file is instead.
    showMessage(MessageKind::Information, formatText(GetLocalizedString(StringId::FileCreated), {path}));
}

} // namespace zandrel
