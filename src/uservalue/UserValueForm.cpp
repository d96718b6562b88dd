#include "UserValueForm.h"

#include "app/StringTable.h"
#include "layout/FramePlacement.h"

#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include <algorithm>

namespace zandrel {

namespace {

constexpr int clientWidth = 285;
constexpr int clientHeight = 102;
constexpr int promptTop = 11;
constexpr int promptHeight = 16; // one line: prompts that need more wrap and push the rest down
constexpr int fieldTop = 29;
constexpr int buttonTop = 66;
constexpr int buttonWidth = 75;
constexpr int buttonHeight = 25;
// Room a push button needs beside its caption, as the sizing panels reckon it.
constexpr int buttonCaptionMargin = 16;

// A button as designed, widened about its centre where its caption needs more room.
QRect buttonGeometry(const QPushButton &button, int designLeft, int top)
{
    const QString caption = QString(button.text()).remove(u'&');
    const int width =
        std::max(buttonWidth, button.fontMetrics().horizontalAdvance(caption) + buttonCaptionMargin);
    const int left = std::max(0, designLeft + buttonWidth / 2 - width / 2);
    return {left, top, width, buttonHeight};
}

} // namespace

TUserValueForm::TUserValueForm(QWidget *parent, const QLocale &locale)
    : QDialog(parent), m_locale(locale), m_prompt(new QLabel(this)), m_editField(new QLineEdit(this)),
      m_menu(new QComboBox(this)), m_okButton(new QPushButton(this)), m_cancelButton(new QPushButton(this)),
      m_placement(new FramePlacement(this))
{
    setObjectName(QStringLiteral("UserValueForm"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setModal(true);

    m_prompt->setObjectName(QStringLiteral("FieldPrompt"));
    m_prompt->setWordWrap(true);
    m_prompt->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_editField->setObjectName(QStringLiteral("EditField"));
    m_editField->setGeometry(15, 29, 250, 21);
    m_menu->setObjectName(QStringLiteral("Usermenu"));
    m_menu->setGeometry(15, 29, 250, 21);
    m_menu->setEditable(false);
    m_menu->hide();
    m_prompt->setBuddy(m_editField);

    m_okButton->setObjectName(QStringLiteral("OKBtn"));
    m_okButton->setText(GetLocalizedString(StringId::OkButton));
    m_okButton->setDefault(true);
    m_cancelButton->setObjectName(QStringLiteral("CancelBtn"));
    m_cancelButton->setText(GetLocalizedString(StringId::CancelButton));
    layOut();
    connect(m_okButton, &QPushButton::clicked, this, &TUserValueForm::accept);
    connect(m_cancelButton, &QPushButton::clicked, this, &TUserValueForm::reject);
}

void TUserValueForm::prepare(const UserValueRequest &request)
{
    m_request = request;
    m_prompt->setText(request.prompt);
    layOut();
    m_editField->setText(request.initialText);
    m_menu->clear();
    if (request.type == ValueType::StringMenu) {
        m_menu->addItems(request.menuEntries);
        m_menu->setCurrentIndex(request.selectedEntry);
    }
}

void TUserValueForm::layOut()
{
    // The prompt keeps its design width and takes as many lines as it needs; the dialog grows
    // by what it takes beyond the first.
    const int promptWidth = clientWidth - 30;
    const int promptLines = std::max(promptHeight, m_prompt->heightForWidth(promptWidth));
    const int growth = promptLines - promptHeight;
    m_prompt->setGeometry(15, promptTop, promptWidth, promptLines);
    m_editField->setGeometry(15, fieldTop + growth, 250, 21);
    m_menu->setGeometry(15, fieldTop + growth, 250, 21);
    m_okButton->setGeometry(buttonGeometry(*m_okButton, 49, buttonTop + growth));
    m_cancelButton->setGeometry(buttonGeometry(*m_cancelButton, 161, buttonTop + growth));
    setFixedSize(clientWidth, clientHeight + growth);
}

QString TUserValueForm::value() const
{
    return m_editField->text();
}

void TUserValueForm::showEvent(QShowEvent *event)
{
    setWindowTitle(GetLocalizedString(StringId::UserValueTitle));
    const bool menu = m_request.type == ValueType::StringMenu;
    m_editField->setVisible(!menu);
    m_menu->setVisible(menu);
    m_prompt->setBuddy(menu ? static_cast<QWidget *>(m_menu) : m_editField);
    if (menu) {
        m_menu->setFocus();
    } else {
        m_editField->selectAll();
        m_editField->setFocus();
    }
    // The first prompt stands centred on the screen; the following ones stay where it stood, or
    // where the user moved it.
    if (!m_placed) {
        m_placed = true;
        if (const QScreen *screen = QGuiApplication::primaryScreen()) {
            QRect frame(QPoint(), m_placement->outerSizeFor(size()));
            frame.moveCenter(screen->geometry().center());
            m_placement->place(frame, false);
        }
    }
    QDialog::showEvent(event);
}

void TUserValueForm::accept()
{
    OKBtnClick();
}

void TUserValueForm::OKBtnClick()
{
    if (m_request.type == ValueType::StringMenu) {
        m_editField->setText(m_menu->currentIndex() >= 0 ? m_menu->currentText() : QString());
        QDialog::accept();
        return;
    }
    if (const std::optional<QString> problem = validateUserValue(m_request, m_editField->text(), m_locale)) {
        QMessageBox box(QMessageBox::Critical, QStringLiteral("Error"), *problem, QMessageBox::Ok, this);
        box.setObjectName(QStringLiteral("MessageBox"));
        box.exec();
        m_editField->setFocus();
        return;
    }
    QDialog::accept();
}

} // namespace zandrel
