#pragma once

#include "base/Interaction.h"

#include <memory>

class QString;
class QWidget;

namespace zandrel {

class TUserValueForm;

// The interaction of the dialog and of batch mode with a display: Qt message boxes and file
// dialogs, the busy pointer, and the desktop's viewers.
class QtInteraction : public Interaction {
public:
    explicit QtInteraction(QWidget *parent = nullptr);
    ~QtInteraction() override;

    void showMessage(MessageKind kind, const QString &text) override;
    Answer chooseSaveFile(const SaveFileRequest &request) override;
    Answer chooseOpenFile(const OpenFileRequest &request) override;
    Answer askUserValue(const UserValueRequest &request) override;
    void setBusy(bool busy) override;
    void showGeneratedFile(const QString &path, const QString &textFileViewer) override;
    bool runLongWork(const LongWork &work) override;

    // How long work runs before its progress window shows.
    static constexpr int progressDelayMilliseconds = 1000;

private:
    QWidget *m_parent;
    // Made at the first question and shown again for every later one.
    std::unique_ptr<TUserValueForm> m_userValueForm;
    bool m_busy = false;
};

// The usage message in a plain box with its lines as they are: a message box would wrap them
// again at its own width.
void showUsageMessage(const QString &text, QWidget *parent = nullptr);

} // namespace zandrel
