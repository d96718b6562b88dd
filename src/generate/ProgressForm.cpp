#include "ProgressForm.h"

#include "WorkThread.h"
#include "app/Format.h"
#include "app/StringTable.h"

#include <QGuiApplication>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>

namespace zandrel {

namespace {

// The widest texts the window will show for this work, so that it is made wide enough once and
// does not grow or jump while the figures grow.
int widestText(const QFontMetrics &metrics, const LongWork &work)
{
    const QString big = formatByteCount(999'900'000'000);
    const QStringList samples = {
        progressTexts(work, {}).step,
        formatText(GetLocalizedString(StringId::ElapsedTime), {99999}),
        formatText(GetLocalizedString(StringId::DoneOfTotal), {big, big, 100}),
        formatText(GetLocalizedString(StringId::NodesExamined),
                   {QLocale::system().toString(999'999'999'999LL)}),
        formatText(GetLocalizedString(StringId::WrittenSoFar), {big}),
    };
    int widest = 0;
    for (const QString &sample : samples)
        widest = std::max(widest, metrics.horizontalAdvance(sample));
    return widest;
}

} // namespace

TProgressForm::TProgressForm(QWidget *parent, const LongWork &work)
    : QDialog(parent), m_work(work), m_step(new QLabel(this)), m_elapsed(new QLabel(this)),
      m_bar(new QProgressBar(this)), m_details(new QLabel(this)), m_notStopping(new QLabel(this)),
      m_cancelButton(new QPushButton(this))
{
    setObjectName(QStringLiteral("ProgressForm"));
    setWindowTitle(GetLocalizedString(StringId::MainDialogTitle));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::CustomizeWindowHint);
    setModal(true);
    m_step->setObjectName(QStringLiteral("StepLbl"));
    m_elapsed->setObjectName(QStringLiteral("ElapsedLbl"));
    m_bar->setObjectName(QStringLiteral("ProgressBar"));
    m_details->setObjectName(QStringLiteral("DetailsLbl"));
    m_details->setVisible(bool(work.progress));
    m_notStopping->setObjectName(QStringLiteral("NotStoppingLbl"));
    m_notStopping->setText(GetLocalizedString(StringId::WorkNotStopping));
    m_notStopping->setWordWrap(true);
    m_notStopping->hide();
    m_cancelButton->setObjectName(QStringLiteral("CancelBtn"));
    m_cancelButton->setText(GetLocalizedString(StringId::CancelButton));
    connect(m_cancelButton, &QPushButton::clicked, this, &TProgressForm::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_step);
    layout->addWidget(m_elapsed);
    layout->addWidget(m_bar);
    layout->addWidget(m_details);
    layout->addWidget(m_notStopping);
    layout->addWidget(m_cancelButton, 0, Qt::AlignRight);
    const QMargins margins = layout->contentsMargins();
    setFixedWidth(std::max(360, widestText(fontMetrics(), work) + margins.left() + margins.right() + 8));

    connect(&m_ticker, &QTimer::timeout, this, &TProgressForm::update);
    m_ticker.start(250);
    update();
}

void TProgressForm::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    adjustSize();
    // Over the main dialog where it is shown; batch mode has only the screen.
    const QWidget *owner = parentWidget() ? parentWidget()->window() : nullptr;
    QRect area;
    if (owner && owner->isVisible())
        area = owner->frameGeometry();
    else if (const QScreen *screen = owner ? owner->screen() : QGuiApplication::primaryScreen())
        area = screen->availableGeometry();
    if (area.isValid()) {
        QRect frame = frameGeometry();
        frame.moveCenter(area.center());
        move(frame.topLeft());
    }
}

void TProgressForm::reject()
{
    if (m_endOffered) {
        Q_EMIT endProgramRequested();
        return;
    }
    if (m_cancelled)
        return;
    m_cancelled = true;
    m_cancelButton->setEnabled(false);
    Q_EMIT cancelRequested();
    // Still here after a while: the work is inside a step that does not look at the request.
    QTimer::singleShot(stopGraceMilliseconds, this, &TProgressForm::offerToEnd);
}

void TProgressForm::offerToEnd()
{
    m_endOffered = true;
    m_notStopping->show();
    m_cancelButton->setText(GetLocalizedString(StringId::EndProgramButton));
    m_cancelButton->setEnabled(true);
    adjustSize();
}

void TProgressForm::update()
{
    const ProgressTexts texts = progressTexts(m_work, m_work.progress ? m_work.progress() : WorkProgress{});
    m_step->setText(texts.step);
    m_elapsed->setText(texts.elapsed);
    if (texts.percent >= 0) {
        m_bar->setRange(0, 100);
        m_bar->setValue(texts.percent);
    } else {
        // Busy: the bar moves to and fro.
        m_bar->setRange(0, 0);
    }
    m_details->setText(texts.details.join(u'\n'));
}

} // namespace zandrel
