// The self-sizing form, and the placing of aligned and anchored controls that it holds back while
// its panels adjust.

#include "support/SizingPanelTesting.h"

#include <QApplication>
#include <QStyleFactory>
#include <QTest>

using namespace zandrel;
using namespace zandrel::layout;
using namespace zandrel::test;

class AutoSizeFormTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion"))); }

    void autoSizeFormAdjustsInnerPanelsFirst()
    {
        QStringList log;
        TAutoSizeForm form;
        form.resize(400, 200);
        auto *outer = new RecordingPanel(QStringLiteral("outer"), &log, &form);
        new RecordingPanel(QStringLiteral("inner"), &log, outer);
        auto *plain = new QWidget(&form);
        new RecordingPanel(QStringLiteral("in plain container"), &log, plain);
        new RecordingPanel(QStringLiteral("sibling"), &log, &form);
        auto *childDialog = new QDialog(&form); // a window of its own: not this form's panel
        new RecordingPanel(QStringLiteral("other window"), &log, childDialog);

        QCOMPARE(form.SizingPanelCount(), 4);
        form.AdjustAllPanels();
        QCOMPARE(log, QStringList({QStringLiteral("inner before showing"), QStringLiteral("outer before showing"),
                                   QStringLiteral("in plain container before showing"),
                                   QStringLiteral("sibling before showing")}));
    }

    void autoSizeFormAdjustsBeforeShowing()
    {
        QStringList log;
        TAutoSizeForm form;
        form.resize(400, 200);
        auto *panel = new RecordingPanel(QStringLiteral("panel"), &log, &form);
        panel->setGeometry(0, 0, 100, 40);
        shortButton(panel, 11);
        form.show();
        QVERIFY(!log.isEmpty());
        QCOMPARE(log.first(), QStringLiteral("panel before showing"));
        QCOMPARE(panel->width(), 111);

        log.clear();
        form.hide();
        form.show(); // before every showing
        QVERIFY(log.contains(QStringLiteral("panel before showing")));
    }

    void autoSizeFormResumesAlignment()
    {
        TAutoSizeForm form;
        form.resize(400, 100);
        auto *left = new TSizingPanel(&form);
        left->setCanSizeForm(true);
        left->resize(100, 100);
        setAlign(left, ControlAlign::Left);
        shortButton(left, 11);
        auto *rest = new QWidget(&form);
        setAlign(rest, ControlAlign::Client);

        form.AdjustAllPanels(); // not shown: only the resumed alignment places the children
        QCOMPARE(form.width(), 411);
        QCOMPARE(left->geometry(), QRect(0, 0, 111, 100));
        QCOMPARE(rest->geometry(), QRect(111, 0, 300, 100));
    }

    void autoSizeFormCharset_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<bool>("withPanel");
        QTest::addColumn<int>("charset");
        QTest::newRow("Japanese, no panels") << "ja_JP.UTF-8" << false << 128;
        QTest::newRow("Korean with a panel") << "ko_KR.UTF-8" << true << 129;
        QTest::newRow("German") << "de_DE.UTF-8" << false << 1;
    }
    void autoSizeFormCharset()
    {
        QFETCH(QString, locale);
        QFETCH(bool, withPanel);
        QFETCH(int, charset);
        const QByteArray saved = qgetenv("LC_ALL");
        qputenv("LC_ALL", locale.toUtf8());
        QStringList log;
        TAutoSizeForm form;
        if (withPanel)
            new RecordingPanel(QStringLiteral("panel"), &log, &form);
        QCOMPARE(form.FontCharset(), 1);
        form.show();
        if (saved.isNull())
            qunsetenv("LC_ALL");
        else
            qputenv("LC_ALL", saved);
        QCOMPARE(form.FontCharset(), charset);
        QCOMPARE(form.SizingPanelCount(), withPanel ? 1 : 0);
        QCOMPARE(log.contains(QStringLiteral("panel before showing")), withPanel);
    }

    void placementOfHiddenWidgets()
    {
        QWidget container;
        container.resize(200, 100);
        auto *stretching = new QWidget(&container);
        stretching->setGeometry(10, 10, 50, 20);
        setAnchors(stretching, Anchor::Left | Anchor::Top | Anchor::Right);
        auto *moving = new QWidget(&container);
        moving->setGeometry(150, 60, 40, 30);
        setAnchors(moving, Anchor::Right | Anchor::Bottom);
        QCOMPARE(anchors(moving), Anchor::Right | Anchor::Bottom);
        QCOMPARE(anchors(&container), DefaultAnchors);

        container.resize(260, 120); // hidden: no resize event yet
        applyPlacement(&container);
        QCOMPARE(stretching->geometry(), QRect(10, 10, 110, 20));
        QCOMPARE(moving->geometry(), QRect(210, 80, 40, 30));

        {
            const AlignmentSuspension suspension(&container);
            container.resize(300, 120);
            applyPlacement(&container);
            QCOMPARE(stretching->width(), 110); // held back
        }
        QCOMPARE(stretching->width(), 150);
        QCOMPARE(moving->x(), 250);

        container.show();
        container.resize(320, 120); // shown: follows at once
        QCOMPARE(stretching->width(), 170);
    }

    void alignedControlFollowsItsOwnWidth()
    {
        QWidget container;
        container.resize(300, 80);
        auto *right = new QWidget(&container);
        right->resize(50, 10);
        setAlign(right, ControlAlign::Right);
        QCOMPARE(align(right), ControlAlign::Right);
        QCOMPARE(right->geometry(), QRect(250, 0, 50, 80));
        container.show();
        right->resize(70, 80); // stays on the right edge, grows to the left
        QCOMPARE(right->geometry(), QRect(230, 0, 70, 80));
        right->hide();
        setAlign(right, ControlAlign::None);
        QCOMPARE(align(right), ControlAlign::None);
    }
};

QTEST_MAIN(AutoSizeFormTest)
#include "tst_autosizeform.moc"
