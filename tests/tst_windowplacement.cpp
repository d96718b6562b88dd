// Where a stored window placement opens: the frame's outer rectangle on today's screens.
#include "layout/WindowPosition.h"

#include <QTest>

using namespace zandrel::layout;

namespace {

const QRect fullHd(0, 0, 1920, 1080);
// A second screen to the right of the first, lower and with its top edge level with it.
const QRect rightScreen(1920, 0, 1280, 1024);

} // namespace

class WindowPlacementTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void restoredFrame_data()
    {
        QTest::addColumn<QRect>("stored");         // outer left, top, width, height as stored
        QTest::addColumn<QList<QRect>>("screens"); // available areas; the desktop spans them
        QTest::addColumn<QRect>("opened");
        QTest::addColumn<QSize>("minimum"); // the least outer size: the help window's, or the dialog's own
        const QList<QRect> one{fullHd};
        const QList<QRect> two{fullHd, rightScreen};
        const QSize help(322, 245);
        // The help window's default and a main dialog under a frame of 1, 20, 1, 5.
        QTest::newRow("where it was")
            << QRect(290, 150, 696, 485) << one << QRect(290, 150, 696, 485) << help;
        QTest::newRow("dialog at the top left")
            << QRect(0, 0, 489, 174) << one << QRect(0, 0, 489, 174) << QSize(489, 174);
        QTest::newRow("above and left of the screen")
            << QRect(-500, -500, 696, 485) << one << QRect(0, 0, 696, 485) << help;
        QTest::newRow("beyond right and bottom")
            << QRect(2000, 2000, 696, 485) << one << QRect(0, 0, 696, 485) << help;
        // Within the desktop by the stored rules, but the title bar would lie below the bottom edge.
        QTest::newRow("title bar below the bottom")
            << QRect(300, 1075, 696, 485) << one << QRect(300, 1060, 696, 485) << help;
        QTest::newRow("hanging below the bottom")
            << QRect(300, 900, 696, 485) << one << QRect(300, 900, 696, 485) << help;
        QTest::newRow("a sliver at the right edge")
            << QRect(1900, 100, 696, 485) << one << QRect(1820, 100, 696, 485) << help;
        QTest::newRow("grabbable at the right edge")
            << QRect(1820, 100, 696, 485) << one << QRect(1820, 100, 696, 485) << help;
        QTest::newRow("larger than the screen")
            << QRect(50, 100, 5000, 5000) << one << QRect(0, 0, 1920, 1080) << help;
        QTest::newRow("wider than the screen")
            << QRect(300, 400, 3000, 485) << one << QRect(0, 400, 1920, 485) << help;
        QTest::newRow("smaller than the minimum")
            << QRect(300, 400, 160, 120) << one << QRect(300, 400, 322, 245) << help;
        QTest::newRow("negative size")
            << QRect(QPoint(300, 400), QSize(-5, -5)) << one << QRect(300, 400, 322, 245) << help;
        QTest::newRow("largest numbers")
            << QRect(QPoint(0, 0), QSize(2147483647, 2147483647)) << one << fullHd << help;
        QTest::newRow("on the second screen")
            << QRect(2500, 100, 696, 485) << two << QRect(2500, 100, 696, 485) << help;
        QTest::newRow("across both screens")
            << QRect(1800, 100, 696, 485) << two << QRect(1800, 100, 696, 485) << help;
        // Below the second screen's bottom, which lies above the first one's: the nearest screen takes it.
        QTest::newRow("below the lower screen")
            << QRect(3000, 1050, 150, 100) << two << QRect(3000, 1004, 150, 100) << QSize(150, 100);
        QTest::newRow("under a top panel")
            << QRect(300, 0, 696, 485) << QList<QRect>{QRect(0, 30, 1920, 1050)} << QRect(300, 30, 696, 485)
            << help;
    }
    void restoredFrame()
    {
        QFETCH(QRect, stored);
        QFETCH(QList<QRect>, screens);
        QFETCH(QRect, opened);
        QFETCH(QSize, minimum);
        QRect desktop;
        for (const QRect &screen : screens)
            desktop = desktop.united(screen);
        QCOMPARE(
            zandrel::layout::restoredFrame(stored.topLeft(), stored.size(), desktop, screens, minimum, 20),
            opened);
    }

    void clientSize_data()
    {
        QTest::addColumn<QSize>("outer");
        QTest::addColumn<QMargins>("frame");
        QTest::addColumn<QSize>("client");
        QTest::newRow("no frame") << QSize(696, 485) << QMargins() << QSize(696, 485);
        QTest::newRow("resizable under openbox")
            << QSize(696, 485) << QMargins(1, 20, 1, 5) << QSize(694, 460);
        QTest::newRow("frame larger than the window")
            << QSize(10, 10) << QMargins(8, 30, 8, 8) << QSize(1, 1);
    }
    void clientSize()
    {
        QFETCH(QSize, outer);
        QFETCH(QMargins, frame);
        QFETCH(QSize, client);
        QCOMPARE(clientSizeFor(outer, frame), client);
    }
};

QTEST_GUILESS_MAIN(WindowPlacementTest)
#include "tst_windowplacement.moc"
