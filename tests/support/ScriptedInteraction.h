#pragma once

#include "generate/Interaction.h"

#include <QList>
#include <QString>

#include <deque>

// Answers the pipeline's questions from a script and records everything it is shown.
class ScriptedInteraction : public zandrel::Interaction {
public:
    struct Message {
        zandrel::MessageKind kind;
        QString text;
    };

    QList<Message> messages;
    QList<zandrel::SaveFileRequest> saveRequests;
    QStringList viewedFiles;
    std::deque<zandrel::SaveFileChoice> saveAnswers;
    int busyChanges = 0;
    bool busy = false;

    void showMessage(zandrel::MessageKind kind, const QString &text) override { messages.append({kind, text}); }
    zandrel::SaveFileChoice chooseSaveFile(const zandrel::SaveFileRequest &request) override
    {
        saveRequests.append(request);
        if (saveAnswers.empty())
            return zandrel::SaveFileChoice::cancelled();
        const zandrel::SaveFileChoice answer = saveAnswers.front();
        saveAnswers.pop_front();
        return answer;
    }
    void setBusy(bool value) override
    {
        busy = value;
        ++busyChanges;
    }
    void showGeneratedFile(const QString &path, const QString &) override { viewedFiles.append(path); }
};
