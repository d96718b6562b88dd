#include "ConsoleInteraction.h"

#include "PathPieces.h"
#include "app/Format.h"
#include "app/StringTable.h"

#include <QDir>
#include <QFileInfo>
#include <QFileDevice>
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
    static const QStringList yes = {QStringLiteral("y"), QStringLiteral("yes"), QStringLiteral("j"),
                                    QStringLiteral("ja")};
    return yes.contains(answer.trimmed().toLower());
}

ConsoleInteraction::ConsoleInteraction(QIODevice &input, QIODevice &output, QIODevice &errors, bool interactive)
    : m_input(input), m_output(output), m_errors(errors), m_interactive(interactive)
{
}

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

SaveFileChoice ConsoleInteraction::chooseSaveFile(const SaveFileRequest &request)
{
    if (!m_interactive) {
        // Nobody can confirm a replacement, so an existing file is never replaced.
        const QString target = QDir::current().filePath(path::fileName(request.fileName));
        if (QFileInfo::exists(target)) {
            showMessage(MessageKind::Error,
                        formatText(GetLocalizedString(StringId::OutputExistsUnconfirmed), {target}));
            return SaveFileChoice::failed();
        }
        return SaveFileChoice::chosen(target);
    }
    for (;;) {
        const std::optional<QString> answer =
            ask(formatText(GetLocalizedString(StringId::SaveAsQuestion), {request.fileName}));
        if (!answer)
            return SaveFileChoice::cancelled();
        QString target = answer->trimmed().isEmpty() ? request.fileName : answer->trimmed();
        if (!request.defaultSuffix.isEmpty() && path::extension(target).isEmpty())
            target += u'.' + request.defaultSuffix;
        if (!QFileInfo::exists(target))
            return SaveFileChoice::chosen(target);
        const std::optional<QString> replace =
            ask(formatText(GetLocalizedString(StringId::ReplaceExistingQuestion), {target}));
        if (!replace)
            return SaveFileChoice::cancelled();
        if (isYesAnswer(*replace))
            return SaveFileChoice::chosen(target);
    }
}

void ConsoleInteraction::showGeneratedFile(const QString &path, const QString &)
{
    // No viewer can be shown without a display: say where the file is instead.
    showMessage(MessageKind::Information, formatText(GetLocalizedString(StringId::FileCreated), {path}));
}

} // namespace zandrel
