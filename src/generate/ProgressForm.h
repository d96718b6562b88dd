#pragma once

#include "base/Interaction.h"

#include <QDialog>
#include <QTimer>

class QLabel;
class QProgressBar;
class QPushButton;

namespace zandrel {

// The small window of a long stretch of a generation: the step, the time since the generation
// started, how far the work has come (a bar with its percentage where the size is known, one
// that moves to and fro otherwise), and Cancel (Esc and the window's close button too), which
// asks the work to stop. Work that has not stopped a while after that may be ended with the
// program: the button then offers it.
class TProgressForm : public QDialog {
    Q_OBJECT

public:
    TProgressForm(QWidget *parent, const LongWork &work);

    // The window closes only when the work has ended (or the program with it).
    void reject() override;

    // How long a stop may take before the window offers to end the program.
    static constexpr int stopGraceMilliseconds = 1500;

Q_SIGNALS:
    void cancelRequested();
    void endProgramRequested();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void update();
    void offerToEnd();

    const LongWork &m_work;
    QLabel *m_step;
    QLabel *m_elapsed;
    QProgressBar *m_bar;
    QLabel *m_details;
    QLabel *m_notStopping;
    QPushButton *m_cancelButton;
    QTimer m_ticker;
    bool m_cancelled = false;
    bool m_endOffered = false;
};

} // namespace zandrel
