// The button row as a widget: collecting, widening and placing its push buttons.

#include "layout/ButtonRow.h"
#include "layout/ControlPlacement.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QStyleFactory>
#include <QTest>

#include <algorithm>
#include <memory>

using namespace zandrel;
using namespace zandrel::layout;

namespace {

struct ButtonSpec {
    QString caption;
    int left = 0;
    int width = 75;
    bool hidden = false;
};

QList<QPushButton *> addButtons(TButtonRow *row, const QList<ButtonSpec> &specs)
{
    QList<QPushButton *> buttons;
    for (const ButtonSpec &spec : specs) {
        auto *button = new QPushButton(spec.caption, row);
        button->setGeometry(spec.left, 8, spec.width, 25);
        button->setHidden(spec.hidden);
        buttons.append(button);
    }
    return buttons;
}

// The shown buttons in the order of their left edges.
QList<QPushButton *> shownByLeftEdge(const QList<QPushButton *> &buttons)
{
    QList<QPushButton *> shown;
    std::copy_if(buttons.begin(), buttons.end(), std::back_inserter(shown),
                 [](QPushButton *button) { return !button->isHidden(); });
    std::stable_sort(shown.begin(), shown.end(), [](QPushButton *a, QPushButton *b) { return a->x() < b->x(); });
    return shown;
}

} // namespace

Q_DECLARE_METATYPE(ButtonSpec)

class ButtonRowTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion"))); }

    void defaults()
    {
        TButtonRow row;
        QCOMPARE(row.ButtonSpacing(), 8);
        QCOMPARE(row.GroupAlignment(), GroupAlignment::Center);
        QCOMPARE(row.property("ButtonSpacing").toInt(), 8);
        QVERIFY(row.setProperty("GroupAlignment", QVariant::fromValue(GroupAlignment::RightJustify)));
        QCOMPARE(row.GroupAlignment(), GroupAlignment::RightJustify);
        QCOMPARE(row.frameShape(), QFrame::NoFrame);
    }

    void placement_data()
    {
        QTest::addColumn<int>("rowWidth");
        QTest::addColumn<int>("spacing");
        QTest::addColumn<GroupAlignment>("alignment");
        QTest::addColumn<QList<ButtonSpec>>("buttons");
        // Left edges and widths afterwards, in the order the buttons were created.
        QTest::addColumn<QList<int>>("lefts");
        QTest::addColumn<QList<int>>("widths");

        const QList<ButtonSpec> dialogButtons{{"OK", 0}, {"Close", 100}, {"&Help", 200}};
        QTest::newRow("main dialog at design width") << 489 << 20 << GroupAlignment::Center << dialogButtons
                                                     << QList<int>{112, 207, 302} << QList<int>{75, 75, 75};
        QTest::newRow("left") << 489 << 8 << GroupAlignment::LeftJustify << dialogButtons << QList<int>{8, 91, 174}
                              << QList<int>{75, 75, 75};
        QTest::newRow("right") << 489 << 8 << GroupAlignment::RightJustify << dialogButtons
                               << QList<int>{240, 323, 406} << QList<int>{75, 75, 75};
        QTest::newRow("hidden button keeps its place and takes no room")
            << 300 << 10 << GroupAlignment::Center
            << QList<ButtonSpec>{{"OK", 0}, {"Close", 100, 60, true}, {"&Help", 200}} << QList<int>{70, 100, 155}
            << QList<int>{75, 60, 75};
        QTest::newRow("equal left edges keep child order")
            << 489 << 8 << GroupAlignment::LeftJustify << QList<ButtonSpec>{{"&Yes", 50}, {"&No", 50}}
            << QList<int>{8, 91} << QList<int>{75, 75};
        QTest::newRow("placed by left edge")
            << 489 << 8 << GroupAlignment::LeftJustify
            << QList<ButtonSpec>{{"&Help", 200}, {"OK", 0}, {"Close", 100}} << QList<int>{174, 8, 91}
            << QList<int>{75, 75, 75};
        QTest::newRow("only hidden buttons") << 300 << 10 << GroupAlignment::Center
                                             << QList<ButtonSpec>{{"OK", 3, 75, true}} << QList<int>{3}
                                             << QList<int>{75};
    }
    void placement()
    {
        QFETCH(int, rowWidth);
        QFETCH(int, spacing);
        QFETCH(GroupAlignment, alignment);
        QFETCH(QList<ButtonSpec>, buttons);
        QFETCH(QList<int>, lefts);
        QFETCH(QList<int>, widths);

        TButtonRow row;
        row.setButtonSpacing(spacing);
        row.setGroupAlignment(alignment);
        row.setGeometry(0, 0, rowWidth, 40);
        const QList<QPushButton *> created = addButtons(&row, buttons);
        row.show(); // the size change of showing lays the row out
        QCOMPARE(row.width(), rowWidth);
        for (qsizetype i = 0; i < created.size(); ++i) {
            QCOMPARE(created[i]->x(), lefts[i]);
            QCOMPARE(created[i]->width(), widths[i]);
            QCOMPARE(created[i]->y(), 8);
            QCOMPARE(created[i]->height(), 25);
        }
    }

    void longCaptionWidensOnlyItsButton()
    {
        TButtonRow row;
        row.setButtonSpacing(20);
        row.resize(489, 40);
        const QList<QPushButton *> buttons =
            addButtons(&row, {{"OK", 0}, {"&Station setup and backsight", 100}, {"&Help", 200}});
        row.show();
        const int needed = row.GetCaptionWidth(buttons[1]->text(), buttons[1]->font()) + PushButtonCaptionMargin;
        QVERIFY(needed > 75);
        QCOMPARE(buttons[0]->width(), 75);
        QCOMPARE(buttons[1]->width(), needed);
        QCOMPARE(buttons[2]->width(), 75);
        QCOMPARE(buttons[1]->x(), buttons[0]->x() + 75 + 20);
        QCOMPARE(buttons[2]->x(), buttons[1]->x() + needed + 20);
        const int leftMargin = buttons[0]->x();
        const int rightMargin = row.width() - (buttons[2]->x() + buttons[2]->width());
        QVERIFY(qAbs(leftMargin - rightMargin) <= 1);
    }

    void otherControlsAreLeftAlone()
    {
        TButtonRow row;
        row.resize(400, 60);
        auto *label = new QLabel(QStringLiteral("Ready"), &row);
        label->setGeometry(5, 5, 40, 20);
        auto *nest = new QWidget(&row);
        nest->setGeometry(300, 0, 100, 60);
        auto *nested = new QPushButton(QStringLiteral("&Station setup and backsight"), nest);
        nested->setGeometry(1, 2, 30, 25);
        auto *button = new QPushButton(QStringLiteral("OK"), &row);
        button->setGeometry(50, 8, 75, 25);
        row.show();
        QCOMPARE(label->geometry(), QRect(5, 5, 40, 20));
        QCOMPARE(nest->geometry(), QRect(300, 0, 100, 60));
        QCOMPARE(nested->geometry(), QRect(1, 2, 30, 25));
        QCOMPARE(button->x(), (400 - 75) / 2);
    }

    void rowLaysOutAgainWhenItsSizeChanges()
    {
        QWidget form;
        form.resize(489, 60);
        auto *row = new TButtonRow(&form);
        row->setButtonSpacing(20);
        row->setGeometry(0, 10, 489, 40);
        setAnchors(row, Anchor::Left | Anchor::Top | Anchor::Right);
        const QList<QPushButton *> buttons = addButtons(row, {{"OK", 0}, {"Close", 100}, {"&Help", 200}});
        form.show();
        QCOMPARE(buttons[0]->x(), 112);
        form.resize(589, 60);
        QCOMPARE(row->width(), 589);
        QCOMPARE(buttons[0]->x(), 162);
        QCOMPARE(buttons[2]->x(), 352);
    }

    // A row made before a panel that widens the form is widened during that panel's adjustment; it
    // lays its buttons out once that is over, so they end up centred in the wider row.
    void rowWidenedByAnotherPanelIsCentredAfterwards()
    {
        QWidget form;
        form.resize(300, 120);
        auto *row = new TButtonRow(&form);
        row->setButtonSpacing(20);
        row->setGeometry(0, 80, 300, 40);
        setAnchors(row, Anchor::Left | Anchor::Top | Anchor::Right);
        const QList<QPushButton *> buttons = addButtons(row, {{"OK", 0}, {"Close", 100}});

        auto *panel = new TSizingPanel(&form);
        panel->setCanSizeForm(true);
        panel->setGeometry(0, 0, 100, 40);
        auto *wide = new QPushButton(QStringLiteral("&Station setup and backsight"), panel);
        wide->setGeometry(0, 0, 100, 25);
        setAnchors(wide, Anchor::Left | Anchor::Top | Anchor::Right);

        form.show();
        QVERIFY(form.width() > 300);
        QCOMPARE(row->width(), form.width());
        const QList<QPushButton *> placed = shownByLeftEdge(buttons);
        const int rightMargin = row->width() - (placed.last()->x() + placed.last()->width());
        QVERIFY(qAbs(placed.first()->x() - rightMargin) <= 1);
    }
};

QTEST_MAIN(ButtonRowTest)
#include "tst_buttonrow.moc"
