#pragma once

#include "base/Interaction.h"

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
    std::deque<zandrel::Answer> saveAnswers;
    QList<zandrel::UserValueRequest> valueRequests;
    QList<zandrel::OpenFileRequest> openRequests;
    // Answers to user values and file-open questions, in the order asked; none left cancels.
    std::deque<zandrel::Answer> valueAnswers;
    int busyChanges = 0;
    bool busy = false;

    void showMessage(zandrel::MessageKind kind, const QString &text) override
    {
        messages.append({kind, text});
    }
    zandrel::Answer chooseSaveFile(const zandrel::SaveFileRequest &request) override
    {
        saveRequests.append(request);
        if (saveAnswers.empty())
            return zandrel::Answer::cancelled();
        const zandrel::Answer answer = saveAnswers.front();
        saveAnswers.pop_front();
        return answer;
    }
    zandrel::Answer chooseOpenFile(const zandrel::OpenFileRequest &request) override
    {
        openRequests.append(request);
        return nextValueAnswer();
    }
    zandrel::Answer askUserValue(const zandrel::UserValueRequest &request) override
    {
        valueRequests.append(request);
        return nextValueAnswer();
    }
    void setBusy(bool value) override
    {
        busy = value;
        ++busyChanges;
    }
    void showGeneratedFile(const QString &path, const QString &) override { viewedFiles.append(path); }

private:
    zandrel::Answer nextValueAnswer()
    {
        if (valueAnswers.empty())
            return zandrel::Answer::cancelled();
        const zandrel::Answer answer = valueAnswers.front();
        valueAnswers.pop_front();
        return answer;
    }
};
