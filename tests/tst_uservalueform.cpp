#include "uservalue/UserValueForm.h"

#include <QApplication>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

using namespace zandrel;

Q_DECLARE_METATYPE(zandrel::ValueType)

namespace {

// Presses OK and gives the text of the message box that it showed, or an empty text.
QString pressOk(TUserValueForm &form)
{
    QString shown;
    QTimer::singleShot(0, [&shown] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            shown = box->text();
            box->accept();
        }
    });
    form.findChild<QPushButton *>(QStringLiteral("OKBtn"))->click();
    return shown;
}

} // namespace

class UserValueFormTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void layout()
    {
        TUserValueForm form;
        form.prepare({QStringLiteral("Decimal places"), QStringLiteral("3"), ValueType::Integer});
        form.open();
        QCOMPARE(form.windowTitle(), QStringLiteral("User input value"));
        QCOMPARE(form.size(), QSize(285, 102));
        QCOMPARE(form.findChild<QLabel *>(QStringLiteral("FieldPrompt"))->text(), QStringLiteral("Decimal places"));
        auto *edit = form.findChild<QLineEdit *>(QStringLiteral("EditField"));
        QCOMPARE(edit->geometry(), QRect(15, 29, 250, 21));
        QVERIFY(edit->isVisible());
        QCOMPARE(edit->selectedText(), QStringLiteral("3"));
        QVERIFY(!form.findChild<QComboBox *>(QStringLiteral("Usermenu"))->isVisible());
        QCOMPARE(form.findChild<QPushButton *>(QStringLiteral("OKBtn"))->text(), QStringLiteral("OK"));
        QCOMPARE(form.findChild<QPushButton *>(QStringLiteral("CancelBtn"))->text(), QStringLiteral("Cancel"));
        QCOMPARE(form.findChild<QPushButton *>(QStringLiteral("OKBtn"))->geometry(), QRect(49, 66, 75, 25));
        QCOMPARE(form.findChild<QPushButton *>(QStringLiteral("CancelBtn"))->geometry(),
                 QRect(161, 66, 75, 25));
        form.reject();
    }

    // The first prompt stands centred on the screen; the following ones stay where it stood, or
    // where the user moved it, also when a longer prompt makes the dialog taller.
    void laterPromptsStayPut()
    {
        TUserValueForm form;
        form.prepare({QStringLiteral("Decimal places"), QStringLiteral("3"), ValueType::Integer});
        form.open();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        const QPoint first = form.frameGeometry().topLeft();
        QCOMPARE(form.frameGeometry().center(), QGuiApplication::primaryScreen()->geometry().center());
        form.reject();

        form.prepare({QStringLiteral("Maßstabsfaktor für horizontale Strecken (Gelände zu Gitter), wie ihn "
                                     "das Koordinatensystem des Auftrags für diese Gegend angibt"),
                      QStringLiteral("1.0"), ValueType::Double});
        form.open();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QVERIFY(form.height() > 102);
        QCOMPARE(form.frameGeometry().topLeft(), first);
        form.move(40, 50);
        form.reject();

        form.prepare({QStringLiteral("Decimal places"), QStringLiteral("3"), ValueType::Integer});
        form.open();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QCOMPARE(form.frameGeometry().topLeft(), QPoint(40, 50));
        form.reject();
    }

    void longPromptsWrap_data()
    {
        QTest::addColumn<QString>("prompt");
        QTest::newRow("a sample's own prompt") << "Scale factor for horizontal distances (ground to grid)";
        QTest::newRow("several lines") << "Maßstabsfaktor für horizontale Strecken (Gelände zu Gitter), wie ihn "
                                           "das Koordinatensystem des Auftrags für diese Gegend angibt";
    }
    void longPromptsWrap()
    {
        QFETCH(QString, prompt);
        TUserValueForm form;
        form.prepare({prompt, QStringLiteral("1.0"), ValueType::Double});
        form.open();
        auto *label = form.findChild<QLabel *>(QStringLiteral("FieldPrompt"));
        auto *edit = form.findChild<QLineEdit *>(QStringLiteral("EditField"));
        auto *ok = form.findChild<QPushButton *>(QStringLiteral("OKBtn"));
        // Shown whole: every line of the text within the label, the label above the field, the
        // buttons below it and all of it inside the dialog, which grew in height only.
        QCOMPARE(label->width(), 255);
        QVERIFY(label->height() >= label->heightForWidth(label->width()));
        QVERIFY(label->height() > 16);
        QVERIFY(label->geometry().bottom() < edit->y());
        QVERIFY(edit->geometry().bottom() < ok->y());
        QCOMPARE(form.width(), 285);
        QCOMPARE(form.height(), 102 + label->height() - 16);
        QVERIFY(form.rect().contains(ok->geometry()));
        // The next, short prompt takes the dialog back to its design size.
        form.reject();
        form.prepare({QStringLiteral("Units"), QString(), ValueType::String});
        QCOMPARE(form.size(), QSize(285, 102));
        QCOMPARE(edit->geometry(), QRect(15, 29, 250, 21));
    }

    void validation_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<ValueType>("type");
        QTest::addColumn<QString>("minimum");
        QTest::addColumn<QString>("maximum");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("message");
        using T = ValueType;
        const QString numeric = QStringLiteral("A numeric value is required");
        const QString integer = QStringLiteral("An integer value is required");
        QTest::newRow("upper limit accepted") << "en_US" << T::Double << "0" << "100" << "100" << "";
        QTest::newRow("just above") << "en_US" << T::Double << "0" << "100" << "100.0005"
                                    << "The entered value is outside the valid range 0.000 to 100.000";
        QTest::newRow("below") << "en_US" << T::Double << "0.5" << "2" << "-1e-3"
                               << "The entered value is outside the valid range 0.500 to 2.000";
        QTest::newRow("no number") << "en_US" << T::Double << "0" << "100" << "abc" << numeric;
        QTest::newRow("exponent, blanks") << "en_US" << T::Double << "0" << "100" << " 1.5E1 " << "";
        QTest::newRow("no upper limit") << "en_US" << T::Double << "0" << "" << "1e300" << "";
        QTest::newRow("missing upper limit shown") << "en_US" << T::Double << "0" << "" << "-1"
                                                   << "The entered value is outside the valid range 0.000 to ∞";
        QTest::newRow("comma limit is no limit") << "de_DE" << T::Double << "0,5" << "" << "-7" << "";
        QTest::newRow("extra field in upper limit is no limit") << "en_US" << T::Double << "0" << "100|2" << "500"
                                                                << "";
        QTest::newRow("comma accepted") << "de_DE" << T::Double << "0" << "100" << "99,5" << "";
        QTest::newRow("dot is no number with comma") << "de_DE" << T::Double << "0" << "100" << "100.5" << numeric;
        QTest::newRow("comma message") << "de_DE" << T::Double << "0" << "100" << "100,5"
                                       << "The entered value is outside the valid range 0,000 to 100,000";
        QTest::newRow("group separator refused") << "en_US" << T::Double << "" << "" << "1,000" << numeric;
        QTest::newRow("integer limit accepted") << "en_US" << T::Integer << "1" << "10" << "10" << "";
        QTest::newRow("integer above") << "en_US" << T::Integer << "1" << "10" << "11"
                                       << "The entered value is outside the valid range 1 to 10";
        QTest::newRow("integer fraction") << "en_US" << T::Integer << "1" << "10" << "2.5" << integer;
        QTest::newRow("integer blank padded") << "en_US" << T::Integer << "1" << "10" << " 7 " << "";
        QTest::newRow("integer beyond 32 bits") << "en_US" << T::Integer << "" << "" << "2147483648" << integer;
        QTest::newRow("integer at 32-bit edge") << "en_US" << T::Integer << "" << "" << "-2147483648" << "";
        QTest::newRow("integer fractional limits") << "en_US" << T::Integer << "0.5" << "6.5" << "0"
                                                   << "The entered value is outside the valid range 1 to 6";
        QTest::newRow("integer missing lower limit") << "en_US" << T::Integer << "" << "6" << "7"
                                                     << "The entered value is outside the valid range -2147483648 to 6";
        QTest::newRow("string not checked") << "en_US" << T::String << "1" << "2" << "  any text " << "";
        const QString notXml =
            QStringLiteral("The value contains a character that a style sheet cannot hold, "
                           "such as a control character. Remove it and try again.");
        const QString withNul = QStringLiteral("Jo%1hn").arg(QChar(0));
        const QString none;
        QTest::newRow("string with NUL") << "en_US" << T::String << none << none << withNul << notXml;
        QTest::newRow("string with escape") << "en_US" << T::String << none << none << "a\x1b[1mb" << notXml;
        QTest::newRow("number with control") << "en_US" << T::Integer << none << none << "5\x01" << notXml;
    }
    void validation()
    {
        QFETCH(QString, locale);
        QFETCH(ValueType, type);
        QFETCH(QString, minimum);
        QFETCH(QString, maximum);
        QFETCH(QString, typed);
        QFETCH(QString, message);
        TUserValueForm form(nullptr, QLocale(locale));
        form.prepare({QStringLiteral("Value"), QStringLiteral("1"), type, minimum, maximum});
        form.open();
        form.findChild<QLineEdit *>(QStringLiteral("EditField"))->setText(typed);
        QCOMPARE(pressOk(form), message);
        if (message.isEmpty()) {
            QCOMPARE(form.result(), int(QDialog::Accepted));
            QVERIFY(!form.isVisible());
            QCOMPARE(form.value(), typed);
        } else {
            QVERIFY(form.isVisible());
            form.reject();
        }
    }

    void menu_data()
    {
        QTest::addColumn<int>("selected");
        QTest::addColumn<QString>("value");
        QTest::newRow("chosen entry") << 1 << "Feet";
        QTest::newRow("nothing chosen") << -1 << "";
    }
    void menu()
    {
        QFETCH(int, selected);
        QFETCH(QString, value);
        TUserValueForm form;
        UserValueRequest request{QStringLiteral("Units"), QStringLiteral(" feet "), ValueType::StringMenu};
        request.menuEntries = {QStringLiteral("Metres"), QStringLiteral("Feet")};
        request.selectedEntry = selected;
        form.prepare(request);
        form.open();
        auto *menu = form.findChild<QComboBox *>(QStringLiteral("Usermenu"));
        QVERIFY(menu->isVisible());
        QVERIFY(!form.findChild<QLineEdit *>(QStringLiteral("EditField"))->isVisible());
        QCOMPARE(menu->geometry().topLeft(), QPoint(15, 29));
        QCOMPARE(menu->count(), 2);
        QCOMPARE(menu->currentIndex(), selected);
        QCOMPARE(pressOk(form), QString());
        QCOMPARE(form.result(), int(QDialog::Accepted));
        QCOMPARE(form.value(), value);
    }

    void cancelIsNotChecked()
    {
        TUserValueForm form;
        form.prepare({QStringLiteral("Value"), QStringLiteral("x"), ValueType::Double, QStringLiteral("0"),
                      QStringLiteral("1")});
        form.open();
        form.findChild<QPushButton *>(QStringLiteral("CancelBtn"))->click();
        QCOMPARE(form.result(), int(QDialog::Rejected));
        QVERIFY(!form.isVisible());
    }
};

QTEST_MAIN(UserValueFormTest)
#include "tst_uservalueform.moc"
