#include "HelpForm.h"

#include "HelpDocument.h"
#include "HelpStrings.h"
#include "layout/FramePlacement.h"
#include "settings/RegistryStore.h"
#include "settings/SettingsKeys.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>

namespace zandrel {

namespace {

// Rich-text measures are given in points; the document works in pixels of 1/96 inch.
qreal pointsToPixels(double points)
{
    return points * 96.0 / 72.0;
}

} // namespace

THelpForm::THelpForm(settings::RegistryStore &settings, QWidget *parent)
    : QWidget(parent, Qt::Window), m_settings(settings), m_label(new QLabel(this)),
      m_helpText(new QTextEdit(this)), m_closeButton(new QPushButton(this)),
      m_placement(new FramePlacement(this))
{
    setObjectName(QStringLiteral("HelpForm"));
    m_label->setObjectName(QStringLiteral("Label1"));
    m_label->move(16, 8);
    m_helpText->setObjectName(QStringLiteral("HelpText"));
    m_helpText->setReadOnly(true);
    m_helpText->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_closeButton->setObjectName(QStringLiteral("CloseBtn"));
    m_closeButton->resize(75, 25);
    connect(m_closeButton, &QPushButton::clicked, this, &QWidget::close);
    setMinimumSize(minimumClientSize());
    resize(defaultGeometry().size());
    move(defaultGeometry().topLeft());
    FormCreate();
}

void THelpForm::FormCreate()
{
    setWindowTitle(GetLocalizedString(StringId::HelpWindowTitle));
    m_label->setText(GetLocalizedString(StringId::HelpWindowCaption));
    m_label->adjustSize();
    m_closeButton->setText(GetLocalizedString(StringId::CloseButton));

    m_helpText->clear();
    QTextCursor cursor(m_helpText->document());
    bool first = true;
    for (const HelpParagraph &paragraph : helpDocument()) {
        const ParagraphIndents indents = indentsFor(paragraph.layout);
        QTextBlockFormat block;
        block.setLeftMargin(pointsToPixels(indents.following));
        block.setTextIndent(pointsToPixels(indents.firstLine - indents.following));
        if (indents.tabStop > 0)
            block.setTabPositions({QTextOption::Tab(pointsToPixels(indents.tabStop), QTextOption::LeftTab)});
        QTextCharFormat characters;
        characters.setFontWeight(paragraph.bold ? QFont::Bold : QFont::Normal);
        if (first)
            cursor.setBlockFormat(block);
        else
            cursor.insertBlock(block);
        first = false;
        const bool bullet =
            paragraph.layout == ParagraphLayout::Bullet || paragraph.layout == ParagraphLayout::SubStepBullet;
        cursor.insertText(bullet ? QStringLiteral("\u2022\t") + paragraph.text : paragraph.text, characters);
    }
    m_helpText->moveCursor(QTextCursor::Start);
}

void THelpForm::keyPressEvent(QKeyEvent *event)
{
    // The Close button is the window's cancel button.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void THelpForm::resizeEvent(QResizeEvent *event)
{
    // The text follows all four edges; the button keeps its distance to the bottom right corner.
    m_helpText->setGeometry(16, 32, std::max(width() - 16 - 23, 50), std::max(height() - 32 - 76, 50));
    m_closeButton->move(width() - 23 - m_closeButton->width(), height() - 35 - m_closeButton->height() + 10);
    QWidget::resizeEvent(event);
}

void THelpForm::showEvent(QShowEvent *event)
{
    FormShow();
    QWidget::showEvent(event);
}

void THelpForm::FormShow()
{
    QRect frame = defaultGeometry();
    if (const auto key = m_settings.openKey(settings::RegistryHive::CurrentUser, settings::programKey)) {
        const std::optional<HelpPlacement> placement =
            parseHelpPlacement(key->readString(settings::helpDialogPositionValue).value_or(QString()));
        if (placement)
            frame = m_placement->restored(QPoint(placement->left, placement->top),
                                          QSize(placement->width, placement->height), minimumSize());
    }
    m_placement->place(frame, true);
}

void THelpForm::closeEvent(QCloseEvent *event)
{
    FormClose();
    // Closed windows are only hidden; they go with the main dialog at the end.
    hide();
    event->ignore();
}

void THelpForm::FormClose()
{
    // Settings never stop the program: a placement that cannot be stored is passed over.
    m_settings.writeValues(settings::RegistryHive::CurrentUser, settings::programKey,
                           {settings::RegistryValue::string(
                               settings::helpDialogPositionValue,
                               formatHelpPlacement({frameGeometry().top(), frameGeometry().left(),
                                                    frameGeometry().height(), frameGeometry().width()}))});
}

} // namespace zandrel
