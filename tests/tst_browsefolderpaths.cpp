// Path shortening for the folder browser's status line, and the folders that stand for its root
// choices, over a home folder of the test's own.

#include "browsefolder/BrowseFolderTypes.h"
#include "browsefolder/ShortenPath.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace zandrel;
using zandrel::browse::TSHFolders;

Q_DECLARE_METATYPE(TSHFolders)

class BrowseFolderPathsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void shortenPath_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("separator");
        QTest::addColumn<int>("limit");
        QTest::addColumn<QString>("shortened");

        const QString bs = QStringLiteral("\\");
        const QString roads = QStringLiteral("C:\\Data\\Projects\\Road Design\\Style Sheets\\Export");
        QTest::newRow("drive path") << roads << bs << 35 << "C:\\...\\Style Sheets\\Export";
        QTest::newRow("drive path, first step fits") << roads << bs << 47
                                                     << "C:\\...\\Projects\\Road Design\\Style Sheets\\Export";
        QTest::newRow("drive path, second step fits") << roads << bs << 38 << "C:\\...\\Road Design\\Style Sheets\\Export";
        QTest::newRow("drive path at its own length") << roads << bs << 48 << roads;
        QTest::newRow("short path") << "D:\\a\\b" << bs << 35 << "D:\\a\\b";
        QTest::newRow("two parts stay whole") << "C:\\VeryLongFolderNameThatIsLongerThan35Chars" << bs << 35
                                              << "C:\\VeryLongFolderNameThatIsLongerThan35Chars";
        QTest::newRow("network share") << "\\\\server\\share\\projects\\2006\\styles\\export" << bs << 35
                                       << "\\...\\projects\\2006\\styles\\export";
        // The ellipsis for the empty second part makes the text longer before parts are dropped.
        QTest::newRow("network share, just over the limit")
            << "\\\\server\\share\\projects\\2006\\styles\\export" << bs << 41
            << "\\...\\share\\projects\\2006\\styles\\export";

        const QString slash = QStringLiteral("/");
        QTest::newRow("absolute path") << "/home/surveyor/projects/2006/styles/export/final" << slash << 35
                                       << "/.../2006/styles/export/final";
        QTest::newRow("exactly at the limit") << "/home/surveyor/projects/styles/abcd" << slash << 35
                                              << "/home/surveyor/projects/styles/abcd";
        QTest::newRow("one over the limit") << "/home/surveyor/projects/styles/abcde" << slash << 35
                                            << "/.../surveyor/projects/styles/abcde";
        QTest::newRow("root") << "/" << slash << 35 << "/";
        QTest::newRow("empty") << "" << slash << 35 << "";
        QTest::newRow("one long folder under the root")
            << "/averyveryverylongfoldernamethatexceedsthelimit" << slash << 35
            << "/averyveryverylongfoldernamethatexceedsthelimit";
        QTest::newRow("the last part alone stays too long")
            << "/home/surveyor/averyveryverylongfoldernamethatexceedsthelimit" << slash << 35
            << "/.../averyveryverylongfoldernamethatexceedsthelimit";
        QTest::newRow("trailing separator") << "/home/user/projects/2006/styles/export/" << slash << 35
                                            << "/.../projects/2006/styles/export/";
        QTest::newRow("relative path") << "styles/projects/2006/road/report/export" << slash << 20
                                       << "styles/.../export";
        // Lengths count UTF-16 code units: each of these characters takes two.
        QTest::newRow("characters outside the BMP") << QStringLiteral("/a/\U0001F4C1\U0001F4C1\U0001F4C1/b")
                                                    << slash << 9 << "/.../b";
    }
    void shortenPath()
    {
        QFETCH(QString, path);
        QFETCH(QString, separator);
        QFETCH(int, limit);
        QFETCH(QString, shortened);
        QCOMPARE(ShortenPath(path, separator, QStringLiteral("..."), limit), shortened);
    }

    void initTestCase()
    {
        QVERIFY(m_home.isValid());
        const QDir home(m_home.path());
        for (const char *folder : {"Desktop", "Docs", ".local/share/applications", ".local/share/fonts",
                                   ".config/autostart", ".local/share/Trash/files"})
            QVERIFY(home.mkpath(QString::fromLatin1(folder)));
        QFile userDirs(home.filePath(QStringLiteral(".config/user-dirs.dirs")));
        QVERIFY(userDirs.open(QIODevice::WriteOnly));
        userDirs.write("XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
                       "XDG_DOCUMENTS_DIR=\"$HOME/Docs\"\n"
                       "XDG_TEMPLATES_DIR=\"$HOME/Templates\"\n");
        userDirs.close();
        qputenv("HOME", QFile::encodeName(home.path()));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath(QStringLiteral(".config"))));
        qputenv("XDG_DATA_HOME", QFile::encodeName(home.filePath(QStringLiteral(".local/share"))));
    }

    void rootFolderPath_data()
    {
        QTest::addColumn<TSHFolders>("root");
        QTest::addColumn<QString>("folder"); // below the test's home; "/" and "" as they are
        QTest::newRow("default tree") << TSHFolders::foDesktopExpanded << "";
        QTest::newRow("desktop") << TSHFolders::foDesktop << "Desktop";
        QTest::newRow("desktop folder") << TSHFolders::foDesktopDirectory << "Desktop";
        QTest::newRow("documents") << TSHFolders::foPersonal << "Docs";
        QTest::newRow("programs") << TSHFolders::foPrograms << ".local/share/applications";
        QTest::newRow("start menu") << TSHFolders::foStartMenu << ".local/share/applications";
        QTest::newRow("startup") << TSHFolders::foStartup << ".config/autostart";
        QTest::newRow("recycle bin") << TSHFolders::foRecycleBin << ".local/share/Trash/files";
        QTest::newRow("fonts") << TSHFolders::foFonts << ".local/share/fonts";
        QTest::newRow("templates folder missing") << TSHFolders::foTemplates << "/";
        QTest::newRow("my computer") << TSHFolders::foMyComputer << "/";
        QTest::newRow("control panel") << TSHFolders::foControlPanel << "/";
        QTest::newRow("printers") << TSHFolders::foPrinters << "/";
        QTest::newRow("favorites") << TSHFolders::foFavorites << "/";
        QTest::newRow("recent") << TSHFolders::foRecent << "/";
        QTest::newRow("send to") << TSHFolders::foSendto << "/";
        QTest::newRow("network") << TSHFolders::foNetwork << "/";
        QTest::newRow("network neighborhood") << TSHFolders::foNetworkNeighborhood << "/";
    }
    void rootFolderPath()
    {
        QFETCH(TSHFolders, root);
        QFETCH(QString, folder);
        const QString expected =
            folder.isEmpty() || folder == QLatin1String("/") ? folder : QDir(m_home.path()).filePath(folder);
        QCOMPARE(browse::rootFolderPath(root), expected);
    }

private:
    QTemporaryDir m_home;
};

QTEST_GUILESS_MAIN(BrowseFolderPathsTest)
#include "tst_browsefolderpaths.moc"
