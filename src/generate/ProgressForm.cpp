#include "ProgressForm.h"

#include "WorkThread.h"
#include "app/Format.h"
#include "app/StringTable.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace zandrel {

namespace {

int stepText(WorkStep step)
{
    switch (step) {
    case WorkStep::Converting:
        return StringId::ConvertingStep;
    case WorkStep::Loading:
        return StringId::LoadingStep;
    case WorkStep::Transforming:
        break;
    }
    return StringId::TransformingStep;
}

} // namespace

TProgressForm::TProgressForm(QWidget *parent, WorkStep step, std::function<qint64()> bytesWritten)
    : QDialog(parent), m_bytesWritten(std::move(bytesWritten)), m_step(new QLabel(this)),
      m_elapsed(new QLabel(this)), m_written(new QLabel(this)), m_cancelButton(new QPushButton(this))
{
    setObjectName(QStringLiteral("ProgressForm"));
    setWindowTitle(GetLocalizedString(StringId::MainDialogTitle));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::CustomizeWindowHint);
    setModal(true);
    m_step->setObjectName(QStringLiteral("StepLbl"));
    m_step->setText(GetLocalizedString(stepText(step)));
    m_elapsed->setObjectName(QStringLiteral("ElapsedLbl"));
    m_written->setObjectName(QStringLiteral("WrittenLbl"));
    m_written->setVisible(bool(m_bytesWritten));
    m_cancelButton->setObjectName(QStringLiteral("CancelBtn"));
    m_cancelButton->setText(GetLocalizedString(StringId::CancelButton));
    connect(m_cancelButton, &QPushButton::clicked, this, &TProgressForm::reject);

    auto *layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(m_step);
    layout->addWidget(m_elapsed);
    layout->addWidget(m_written);
    layout->addWidget(m_cancelButton, 0, Qt::AlignRight);
    setMinimumWidth(300);

    m_clock.start();
    connect(&m_ticker, &QTimer::timeout, this, &TProgressForm::update);
    m_ticker.start(250);
    update();
}

void TProgressForm::reject()
{
    m_cancelButton->setEnabled(false);
    Q_EMIT cancelRequested();
}

void TProgressForm::update()
{
    m_elapsed->setText(
        formatText(GetLocalizedString(StringId::ElapsedTime), {int(m_clock.elapsed() / 1000)}));
    if (m_bytesWritten)
        m_written->setText(
            formatText(GetLocalizedString(StringId::WrittenSoFar), {formatByteCount(m_bytesWritten())}));
}

} // namespace zandrel
