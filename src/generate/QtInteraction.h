#pragma once

#include "Interaction.h"

class QWidget;

namespace zandrel {

// The interaction of the dialog and of batch mode with a display: Qt message boxes and file
// dialogs, the busy pointer, and the desktop's viewers.
class QtInteraction : public Interaction {
public:
    explicit QtInteraction(QWidget *parent = nullptr) : m_parent(parent) {}
    ~QtInteraction() override;

    void showMessage(MessageKind kind, const QString &text) override;
    SaveFileChoice chooseSaveFile(const SaveFileRequest &request) override;
    void setBusy(bool busy) override;
    void showGeneratedFile(const QString &path, const QString &textFileViewer) override;

private:
    QWidget *m_parent;
    bool m_busy = false;
};

} // namespace zandrel
