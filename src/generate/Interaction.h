#pragma once

#include <QString>

#include <optional>

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

struct SaveFileChoice {
    enum class Status { Chosen, Cancelled, Failed };
    Status status = Status::Cancelled;
    QString path;

    static SaveFileChoice chosen(const QString &path) { return {Status::Chosen, path}; }
    static SaveFileChoice cancelled() { return {Status::Cancelled, {}}; }
    // The question could not be asked; the interaction has already said why.
    static SaveFileChoice failed() { return {Status::Failed, {}}; }
};

// Every way in which a generation reaches the user. The dialog answers with Qt dialogs, the
// console with the terminal, tests with scripted answers.
class Interaction {
public:
    virtual ~Interaction() = default;

    virtual void showMessage(MessageKind kind, const QString &text) = 0;
    virtual SaveFileChoice chooseSaveFile(const SaveFileRequest &request) = 0;
    // The busy pointer while loading and transforming.
    virtual void setBusy(bool busy) = 0;
    // Shows a generated file in the viewer that suits it.
    virtual void showGeneratedFile(const QString &path, const QString &textFileViewer) = 0;
};

// Sets the busy pointer for a stretch of work and always clears it again.
class BusyPointer {
public:
    explicit BusyPointer(Interaction &interaction) : m_interaction(interaction) { m_interaction.setBusy(true); }
    ~BusyPointer() { m_interaction.setBusy(false); }
    BusyPointer(const BusyPointer &) = delete;
    BusyPointer &operator=(const BusyPointer &) = delete;

private:
    Interaction &m_interaction;
};

} // namespace zandrel
