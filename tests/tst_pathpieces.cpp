#include "base/PathPieces.h"
#include "generate/FileFilter.h"
#include "generate/ViewGeneratedFile.h"

#include <QTest>

using namespace zandrel;

class PathPiecesTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void pieces_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QString>("extension");
        QTest::addColumn<QString>("namePart");
        QTest::addColumn<QString>("folderPart");
        QTest::newRow("plain") << "/jobs/site.dxm"
                               << "site.dxm"
                               << ".dxm"
                               << "site"
                               << "/jobs/";
        QTest::newRow("dots in folder") << "/jobs/v1.2/site"
                                        << "site"
                                        << ""
                                        << "site"
                                        << "/jobs/v1.2/";
        QTest::newRow("two dots") << "/a/report.final.csv"
                                  << "report.final.csv"
                                  << ".csv"
                                  << "report.final"
                                  << "/a/";
        QTest::newRow("no folder") << "Road Report.xsl"
                                   << "Road Report.xsl"
                                   << ".xsl"
                                   << "Road Report"
                                   << "";
        QTest::newRow("trailing dot") << "out."
                                      << "out."
                                      << "."
                                      << "out"
                                      << "";
        QTest::newRow("dot file") << "/home/.profile"
                                  << ".profile"
                                  << ".profile"
                                  << ""
                                  << "/home/";
        QTest::newRow("folder only") << "/styles/"
                                     << ""
                                     << ""
                                     << ""
                                     << "/styles/";
        QTest::newRow("root") << "/"
                              << ""
                              << ""
                              << ""
                              << "/";
        QTest::newRow("empty") << ""
                               << ""
                               << ""
                               << ""
                               << "";
        QTest::newRow("non-ASCII") << "/Straße/Süd.Ü"
                                   << "Süd.Ü"
                                   << ".Ü"
                                   << "Süd"
                                   << "/Straße/";
    }
    void pieces()
    {
        QFETCH(QString, path);
        QFETCH(QString, fileName);
        QFETCH(QString, extension);
        QFETCH(QString, namePart);
        QFETCH(QString, folderPart);
        QCOMPARE(path::fileName(path), fileName);
        QCOMPARE(path::extension(path), extension);
        QCOMPARE(path::namePart(path), namePart);
        QCOMPARE(path::folderPart(path), folderPart);
        QCOMPARE(path::folderPart(path) + path::namePart(path) + path::extension(path), path);
    }

    void entries_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("dexmor");
        QTest::addColumn<bool>("job");
        QTest::newRow("entry") << "Dexmor" << true << false;
        QTest::newRow("style sheet file") << "/s/dexmor.xsl" << true << false;
        QTest::newRow("upper case") << "/s/DEXMOR.XSLT" << true << false;
        QTest::newRow("folder named Dexmor") << "/Dexmor/report.xsl" << false << false;
        QTest::newRow("blank kept") << "Dexmor .xsl" << false << false;
        QTest::newRow("longer name") << "Dexmor2.xsl" << false << false;
        QTest::newRow("job") << "/j/report.JOB" << false << true;
        QTest::newRow("job mixed case") << "/j/report.Job" << false << true;
        QTest::newRow("job in folder name") << "/a.job/report.dxm" << false << false;
        QTest::newRow("jobs") << "report.jobs" << false << false;
    }
    void entries()
    {
        QFETCH(QString, path);
        QFETCH(bool, dexmor);
        QFETCH(bool, job);
        QCOMPARE(IsDexmorEntry(path), dexmor);
        QCOMPARE(IsJobFile(path), job);
    }

    void nameFilters_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QStringList>("qt");
        QTest::newRow("source files")
            << "Dexmor files|*.dxm|Job files|*.job|Strevel files|*.svl|XML files|*.xml|All files|*.*"
            << QStringList{"Dexmor files (*.dxm)", "Job files (*.job)", "Strevel files (*.svl)",
                           "XML files (*.xml)", "All files (*.*)"};
        QTest::newRow("save filter keeps its own patterns")
            << "Road Report files (*.csv)|*.csv" << QStringList{"Road Report files (*.csv)"};
        QTest::newRow("several patterns")
            << "Style sheets|*.xsl;*.xslt" << QStringList{"Style sheets (*.xsl *.xslt)"};
        QTest::newRow("empty extension") << "Points files (*.)|*." << QStringList{"Points files (*.)"};
        QTest::newRow("odd count drops the last") << "A|*.a|B" << QStringList{"A (*.a)"};
    }
    void nameFilters()
    {
        QFETCH(QString, filter);
        QFETCH(QStringList, qt);
        QCOMPARE(qtNameFilters(filter), qt);
    }

    void viewer_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("viewer");
        QTest::addColumn<bool>("desktop");
        QTest::newRow("html") << "/r/Report.HTML"
                              << "kate" << true;
        QTest::newRow("htm") << "/r/REPORT.Htm"
                             << "kate" << true;
        QTest::newRow("svg") << "/r/plan.svg"
                             << "kate" << true;
        QTest::newRow("xhtml") << "/r/page.xhtml"
                               << "kate" << false;
        QTest::newRow("text") << "/r/Report.Txt"
                              << "kate" << false;
        QTest::newRow("no extension") << "/r/Report"
                                      << "kate" << false;
        QTest::newRow("default viewer") << "/r/Report.txt"
                                        << "Notepad.exe" << true;
    }
    void viewer()
    {
        QFETCH(QString, path);
        QFETCH(QString, viewer);
        QFETCH(bool, desktop);
        const ViewerLaunch launch = ShowGeneratedFileLaunch(path, viewer);
        QCOMPARE(launch.useDesktopAssociation, desktop);
        if (!desktop) {
            QCOMPARE(launch.program, viewer);
            QCOMPARE(launch.arguments, QStringList{path});
        }
    }
};

QTEST_GUILESS_MAIN(PathPiecesTest)
#include "tst_pathpieces.moc"
