#pragma once

#include "UserValueRequest.h"

#include <QString>

#include <QtGlobal>

#include <chrono>
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
enum class WorkStep { Converting, Loading, Transforming, CopyingDexmor, Saving };

// How far a long stretch of work has come.
struct WorkProgress {
    // Bytes done of the total, when the total is known (it is then above 0); for the
    // transformation, the nodes it has examined, without a total.
    qint64 done = 0;
    qint64 total = 0;
    // Bytes of output written so far, where the work writes any; -1 where it does not count them.
    qint64 written = -1;
};

struct LongWork {
    WorkStep step = WorkStep::Loading;
    // The work itself; it may run on a thread of its own, and may throw.
    std::function<void()> run;
    // Asks the work to end early: callable from any thread while run() runs.
    std::function<void()> stop;
    // How far the work has come, callable from any thread while run() runs; may be empty.
    std::function<WorkProgress()> progress;
    // The start of the generation the work belongs to: its elapsed time counts from there.
    std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();
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
    // returned by then. What run() throws passes to the caller. A work thread that cannot be
    // started throws GenerationError: the work has not been done.
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
