#pragma once

#include "UserValue.h"

#include <QDialog>
#include <QLocale>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace zandrel {

class FramePlacement;

// The modal dialog that asks for one user value: a prompt, an edit box or a menu, OK and Cancel.
// OK checks the value by type and limits and keeps the dialog open with a message when it fails.
class TUserValueForm : public QDialog {
    Q_OBJECT

public:
    explicit TUserValueForm(QWidget *parent = nullptr, const QLocale &locale = QLocale::system());

    // Sets the prompt, the value, the type, the limits and the menu for the next showing.
    void prepare(const UserValueRequest &request);
    // The value after OK: the edit box's text, for a menu the chosen entry.
    QString value() const;

    void accept() override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void OKBtnClick();
    void layOut();

    UserValueRequest m_request;
    QLocale m_locale;
    QLabel *m_prompt;
    QLineEdit *m_editField;
    QComboBox *m_menu;
    QPushButton *m_okButton;
    QPushButton *m_cancelButton;
    FramePlacement *m_placement;
    bool m_placed = false;
};

} // namespace zandrel
