#pragma once

#include "UserValueRequest.h"

#include <QString>

#include <QtGlobal>

#include <functional>

namespace zandrel {

// The boxes the program shows. Error, Warning and Information carry those captions and icons;
// Plain has no icon and the application title as caption; ApplicationError is the box of the
// general handler for failures that a generation does not catch (caption: the application title).
enum class MessageKind { Error, Warning, Information, Plain, ApplicationError };

// The Save dialog: the filter uses the "description|pattern" form of the string table.
struct SaveFileRequest {
    QString defaultSuffix;
    QString fileName;
    QString filter;
};

// The file-open dialog for a file-name user value: the filter uses the "description|pattern" form.
struct OpenFileRequest {
    QString title;
    QString defaultSuffix; // without its "."
    QString fileName;
    QString filter;
    QString currentValue; // what the style sheet holds now
};

// The answer to a question: a file name, a user value.
struct Answer {
    enum class Status { Given, Cancelled, Failed };
    Status status = Status::Cancelled;
    QString text;

    static Answer given(const QString &text) { return {Status::Given, text}; }
    static Answer cancelled() { return {Status::Cancelled, {}}; }
    // The question could not be answered; the interaction has already said why.
    static Answer failed() { return {Status::Failed, {}}; }
};

// The long stretches of a generation, which the user sees go on and may stop.
enum class WorkStep { Converting, Loading, Transforming };

struct LongWork {
    WorkStep step = WorkStep::Loading;
    // The work itself; it may run on a thread of its own, and may throw.
    std::function<void()> run;
    // Asks the work to end early: callable from any thread while run() runs.
    std::function<void()> stop;
    // What the work has written so far, in bytes; may be empty.
    std::function<qint64()> bytesWritten;
};

class BusyPointer;

// Every way in which a generation reaches the user. The dialog answers with Qt dialogs, the
// console with the terminal, tests with scripted answers.
class Interaction {
public:
    virtual ~Interaction() = default;

    virtual void showMessage(MessageKind kind, const QString &text) = 0;
    virtual Answer chooseSaveFile(const SaveFileRequest &request) = 0;
    virtual Answer chooseOpenFile(const OpenFileRequest &request) = 0;
    // Asks for one user value, checked by type and limits before it is given back.
    virtual Answer askUserValue(const UserValueRequest &request) = 0;
    // The busy pointer while loading and transforming.
    virtual void setBusy(bool busy) = 0;
    // Shows a generated file in the viewer that suits it.
    virtual void showGeneratedFile(const QString &path, const QString &textFileViewer) = 0;
    // Runs a long stretch of work under the busy pointer; where the user can watch, it shows
    // how the work goes on and lets them stop it. False when they stopped it: run() has
    // returned by then. What run() throws passes to the caller.
    virtual bool runLongWork(const LongWork &work);
};

// Sets the busy pointer for a stretch of work and always clears it again.
class BusyPointer {
public:
    explicit BusyPointer(Interaction &interaction) : m_interaction(interaction)
    {
        m_interaction.setBusy(true);
    }
    ~BusyPointer() { m_interaction.setBusy(false); }
    BusyPointer(const BusyPointer &) = delete;
    BusyPointer &operator=(const BusyPointer &) = delete;

private:
    Interaction &m_interaction;
};

inline bool Interaction::runLongWork(const LongWork &work)
{
    const BusyPointer busy(*this);
    work.run();
    return true;
}

} // namespace zandrel
