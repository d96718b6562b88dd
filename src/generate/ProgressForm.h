#pragma once

#include "base/Interaction.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>

class QLabel;
class QPushButton;

namespace zandrel {

// The small window of a long stretch of a generation: the step, the time it has taken, what it
// has written, and Cancel (Esc too), which asks the work to stop.
class TProgressForm : public QDialog {
    Q_OBJECT

public:
    TProgressForm(QWidget *parent, WorkStep step, std::function<qint64()> bytesWritten);

    // Esc and the window's close button cancel as the button does; the window closes only
    // when the work has ended.
    void reject() override;

Q_SIGNALS:
    void cancelRequested();

private:
    void update();

    std::function<qint64()> m_bytesWritten;
    QLabel *m_step;
    QLabel *m_elapsed;
    QLabel *m_written;
    QPushButton *m_cancelButton;
    QElapsedTimer m_clock;
    QTimer m_ticker;
};

} // namespace zandrel
