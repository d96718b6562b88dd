#include "UserValueForm.h"

#include "app/StringTable.h"

#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

namespace zandrel {

namespace {

constexpr int clientWidth = 285;
constexpr int clientHeight = 102;

} // namespace

TUserValueForm::TUserValueForm(QWidget *parent, const QLocale &locale)
    : QDialog(parent), m_locale(locale), m_prompt(new QLabel(this)), m_editField(new QLineEdit(this)),
      m_menu(new QComboBox(this)), m_okButton(new QPushButton(this)), m_cancelButton(new QPushButton(this))
{
    setObjectName(QStringLiteral("UserValueForm"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFixedSize(clientWidth, clientHeight);
    setModal(true);

    m_prompt->setObjectName(QStringLiteral("FieldPrompt"));
    m_prompt->setGeometry(15, 11, clientWidth - 30, 16);
    m_editField->setObjectName(QStringLiteral("EditField"));
    m_editField->setGeometry(15, 29, 250, 21);
    m_menu->setObjectName(QStringLiteral("Usermenu"));
    m_menu->setGeometry(15, 29, 250, 21);
    m_menu->setEditable(false);
    m_menu->hide();
    m_prompt->setBuddy(m_editField);

    m_okButton->setObjectName(QStringLiteral("OKBtn"));
    m_okButton->setText(GetLocalizedString(StringId::OkButton));
    m_okButton->setGeometry(49, 66, 75, 25);
    m_okButton->setDefault(true);
    m_cancelButton->setObjectName(QStringLiteral("CancelBtn"));
    m_cancelButton->setText(GetLocalizedString(StringId::CancelButton));
    m_cancelButton->setGeometry(161, 66, 75, 25);
    connect(m_okButton, &QPushButton::clicked, this, &TUserValueForm::accept);
    connect(m_cancelButton, &QPushButton::clicked, this, &TUserValueForm::reject);
}

void TUserValueForm::prepare(const UserValueRequest &request)
{
    m_request = request;
    m_prompt->setText(request.prompt);
    m_editField->setText(request.initialText);
    m_menu->clear();
    if (request.type == ValueType::StringMenu) {
        m_menu->addItems(request.menuEntries);
        m_menu->setCurrentIndex(request.selectedEntry);
    }
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
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->geometry().center() - rect().center());
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
