#include "generate/ConvertFormModel.h"
#include "layout/WindowPosition.h"
#include "settings/RegistryStore.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace zandrel;
using namespace zandrel::layout;
using settings::RegistryHive;
using settings::RegistryValue;

namespace {

bool touch(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly);
}

} // namespace

class ConvertFormModelTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString path(const QString &name) const { return m_dir.filePath(name); }

    settings::RegFileStore store(const QByteArray &user, const QByteArray &machine = {})
    {
        const QString userFile = path(QStringLiteral("user.reg"));
        const QString machineFile = path(QStringLiteral("machine.reg"));
        QFile::remove(userFile);
        QFile::remove(machineFile);
        for (const auto &[file, content] : {std::pair{userFile, user}, std::pair{machineFile, machine}}) {
            if (content.isEmpty())
                continue;
            QFile out(file);
            if (out.open(QIODevice::WriteOnly))
                out.write("Windows Registry Editor Version 5.00\n\n" + content);
        }
        return settings::RegFileStore(userFile, machineFile);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(QDir().mkpath(path(QStringLiteral("styles"))));
        QVERIFY(touch(path(QStringLiteral("styles/Points CSV.xsl"))));
        QVERIFY(touch(path(QStringLiteral("styles/report.XSLT"))));
        QVERIFY(touch(path(QStringLiteral("job.dxm"))));
    }

    void entries_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QStringList>("entries");
        QTest::newRow("sorted without case, Dexmor added")
            << QStringList{"Alpha.xsl", "beta.XSLT", "Zulu.xsl", "notes.txt", "old.xsl.bak"}
            << QStringList{"Alpha", "beta", "Dexmor", "Zulu"};
        QTest::newRow("own Dexmor style sheet")
            << QStringList{"Dexmor.xsl", "a.xsl"} << QStringList{"a", "Dexmor"};
        QTest::newRow("Dexmor.old counts as Dexmor")
            << QStringList{"Dexmor.old.xsl"} << QStringList{"Dexmor.old"};
        QTest::newRow("equal names both stay")
            << QStringList{"Report.xsl", "Report.xslt"} << QStringList{"Dexmor", "Report", "Report"};
        QTest::newRow("hidden files too") << QStringList{".hidden.xsl"} << QStringList{".hidden", "Dexmor"};
        QTest::newRow("empty folder") << QStringList{} << QStringList{"Dexmor"};
    }
    void entries()
    {
        QFETCH(QStringList, files);
        QFETCH(QStringList, entries);
        QTemporaryDir folder;
        for (const QString &file : files)
            QVERIFY(touch(folder.filePath(file)));
        QVERIFY(QDir().mkpath(folder.filePath(QStringLiteral("folder.xsl"))));
        QCOMPARE(styleSheetEntries(folder.path()), entries);
    }

    void missingFolderListsDexmorOnly()
    {
        QCOMPARE(styleSheetEntries(path(QStringLiteral("no such folder"))), QStringList{"Dexmor"});
    }

    void settingsAreRead()
    {
        const QByteArray user = "[HKEY_CURRENT_USER\\Software\\Veltrix\\Zandrel]\n\"JobOrDexmorFile\"=\"" +
                                path("job.dxm").toUtf8() + "\"\n\"StyleSheetFile\"=\"" +
                                path("styles/report.xslt").toUtf8() +
                                "\"\n\"TextFileViewer\"=\"sh\"\n\"ViewGeneratedFile\"=dword:00000001\n"
                                "\"DefaultFileExtensionIndex\"=dword:00000002\n";
        ConvertFormModel model;
        model.create(store(user));
        QCOMPARE(model.sourceFile, path("job.dxm"));
        QCOMPARE(model.styleSheetFolder(), path("styles/"));
        QCOMPARE(model.entries(), (QStringList{"Dexmor", "Points CSV", "report"}));
        QCOMPARE(model.selectedEntry(), 2);
        QCOMPARE(model.styleSheetPath(), path("styles/report.xslt"));
        QCOMPARE(model.textFileViewer(), QStringLiteral("sh"));
        QVERIFY(model.viewGeneratedFile);
        QCOMPARE(model.sourceFilterIndex, 2);
    }

    void wrongTypeStopsTheReading_data()
    {
        QTest::addColumn<QByteArray>("values");
        QTest::addColumn<QString>("source");
        QTest::addColumn<bool>("view");
        QTest::addColumn<int>("filterIndex");
        const QByteArray job = "\"JobOrDexmorFile\"=\"" + path("job.dxm").toUtf8() + "\"\n";
        QTest::newRow("source is a number")
            << QByteArray("\"JobOrDexmorFile\"=dword:00000001\n\"ViewGeneratedFile\"=dword:1\n") << ""
            << false << 1;
        QTest::newRow("viewer is a number")
            << job + "\"TextFileViewer\"=dword:00000001\n\"ViewGeneratedFile\"=dword:1\n"
            << path("job.dxm") << false << 1;
        QTest::newRow("check box is text")
            << job + "\"ViewGeneratedFile\"=\"1\"\n\"DefaultFileExtensionIndex\"=dword:3\n"
            << path("job.dxm") << false << 1;
        QTest::newRow("expandable string taken")
            << QByteArray("\"JobOrDexmorFile\"=hex(2):") +
                   [this] {
                       QByteArray hex;
                       for (const QChar c : path("job.dxm") + QChar(0))
                           hex += QByteArray::number(c.unicode() & 0xff, 16).rightJustified(2, '0') + ",00,";
                       hex.chop(1);
                       return hex;
                   }() +
                   "\n\"ViewGeneratedFile\"=dword:1\n"
            << path("job.dxm") << true << 1;
        QTest::newRow("missing source file cleared")
            << QByteArray("\"JobOrDexmorFile\"=\"/no/such.dxm\"\n") << "" << false << 1;
    }
    void wrongTypeStopsTheReading()
    {
        QFETCH(QByteArray, values);
        QFETCH(QString, source);
        QFETCH(bool, view);
        QFETCH(int, filterIndex);
        ConvertFormModel model;
        model.create(store("[HKEY_CURRENT_USER\\Software\\Veltrix\\Zandrel]\n" + values));
        QCOMPARE(model.sourceFile, source);
        QCOMPARE(model.viewGeneratedFile, view);
        QCOMPARE(model.sourceFilterIndex, filterIndex);
        QCOMPARE(model.textFileViewer(), QStringLiteral("Notepad.exe"));
    }

    void preserveWhiteSpaceSetting_data()
    {
        QTest::addColumn<QByteArray>("values");
        QTest::addColumn<bool>("preserve");
        QTest::newRow("missing") << QByteArray() << false;
        QTest::newRow("0") << QByteArray("\"PreserveWhiteSpace\"=dword:00000000\n") << false;
        QTest::newRow("1") << QByteArray("\"PreserveWhiteSpace\"=dword:00000001\n") << true;
        QTest::newRow("any other number") << QByteArray("\"PreserveWhiteSpace\"=dword:000000ff\n") << true;
        QTest::newRow("a string is passed over") << QByteArray("\"PreserveWhiteSpace\"=\"1\"\n") << false;
        // Its own value: a wrong type among the dialog's settings does not hide it.
        QTest::newRow("after a wrong type") << QByteArray("\"ViewGeneratedFile\"=\"yes\"\n"
                                                          "\"PreserveWhiteSpace\"=dword:1\n")
                                            << true;
    }
    void preserveWhiteSpaceSetting()
    {
        QFETCH(QByteArray, values);
        QFETCH(bool, preserve);
        ConvertFormModel model;
        model.preserveWhiteSpace = !preserve;
        model.create(store("[HKEY_CURRENT_USER\\Software\\Veltrix\\Zandrel]\n" + values));
        QCOMPARE(model.preserveWhiteSpace, preserve);
    }

    void firstStartUsesTheMachineFolder()
    {
        ConvertFormModel model;
        model.create(store({}, "[HKEY_LOCAL_MACHINE\\Software\\Veltrix\\Zandrel]\n\"StyleSheetFile\"=\"" +
                                   path("styles").toUtf8() + "\"\n"));
        QCOMPARE(model.styleSheetFolder(), path("styles/"));
        QCOMPARE(model.selectedEntry(), 0);
        QCOMPARE(model.styleSheetPath(), path("styles/Dexmor.xslt"));
        QCOMPARE(model.sourceFile, QString());
        QVERIFY(!model.viewGeneratedFile);
    }

    void styleSheetWhoseFileIsGoneKeepsItsFolder()
    {
        ConvertFormModel model;
        model.create(store("[HKEY_CURRENT_USER\\Software\\Veltrix\\Zandrel]\n\"StyleSheetFile\"=\"" +
                           path("styles/Gone.xsl").toUtf8() + "\"\n"));
        QCOMPARE(model.styleSheetFolder(), path("styles/"));
        QCOMPARE(model.styleSheetPath(), path("styles/Dexmor.xslt"));
    }

    void styleSheetAndFolderGoneFallsBackToTheRoot()
    {
        ConvertFormModel model;
        model.create(store(
            "[HKEY_CURRENT_USER\\Software\\Veltrix\\Zandrel]\n\"StyleSheetFile\"=\"/no/such/a.xsl\"\n"));
        QCOMPARE(model.styleSheetFolder(), QStringLiteral("/"));
    }

    void choosingAnotherFolder()
    {
        QTemporaryDir other;
        QVERIFY(touch(other.filePath(QStringLiteral("report.xsl"))));
        ConvertFormModel model;
        model.create(store("[HKEY_CURRENT_USER\\Software\\Veltrix\\Zandrel]\n\"StyleSheetFile\"=\"" +
                           path("styles/report.xslt").toUtf8() + "\"\n"));
        model.setStyleSheetFolder(other.path());
        // The matching entry is selected, while the path still names the previous folder's file
        // until the user picks an entry; what is saved already names the new folder's file.
        QCOMPARE(model.entries(), (QStringList{"Dexmor", "report"}));
        QCOMPARE(model.selectedEntry(), 1);
        QCOMPARE(model.styleSheetPath(), path("styles/report.xslt"));
        QCOMPARE(model.selectedStyleSheetFile(), other.filePath(QStringLiteral("report.xsl")));
        model.selectEntry(0);
        QCOMPARE(model.styleSheetPath(), other.filePath(QStringLiteral("Dexmor.xslt")));
    }

    void settingsRoundTrip()
    {
        settings::RegFileStore settings = store({});
        ConvertFormModel model;
        model.create(settings);
        model.sourceFile = path("job.dxm");
        model.setStyleSheetFolder(path("styles"));
        model.selectEntry(1);
        model.viewGeneratedFile = true;
        model.sourceFilterIndex = 4;
        QString error;
        QVERIFY2(model.save(settings, &error), qPrintable(error));

        ConvertFormModel again;
        again.create(settings);
        QCOMPARE(again.sourceFile, path("job.dxm"));
        QCOMPARE(again.styleSheetPath(), path("styles/Points CSV.xsl"));
        QCOMPARE(again.selectedEntry(), 1);
        QVERIFY(again.viewGeneratedFile);
        QCOMPARE(again.sourceFilterIndex, 4);
    }

    void positions_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QPoint>("placed");
        QTest::newRow("plain") << "210,292" << true << QPoint(292, 210);
        QTest::newRow("blanks") << " 210 , 292 " << true << QPoint(292, 210);
        QTest::newRow("negative and off the desktop") << "-50,3000" << true << QPoint(0, 0);
        QTest::newRow("below the desktop") << "1200,100" << true << QPoint(100, 0);
        QTest::newRow("on the far edge") << "1080,1920" << true << QPoint(1920, 1080);
        QTest::newRow("signed") << "+5,-5" << true << QPoint(0, 5);
        QTest::newRow("one number") << "210" << false << QPoint();
        QTest::newRow("not numbers") << "top,left" << false << QPoint();
        QTest::newRow("three numbers") << "1,2,3" << false << QPoint();
        QTest::newRow("empty") << "" << false << QPoint();
    }
    void positions()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(QPoint, placed);
        const std::optional<QPoint> position = parseWindowPosition(text);
        QCOMPARE(position.has_value(), valid);
        if (valid)
            QCOMPARE(placeOnDesktop(position->y(), position->x(), QRect(0, 0, 1920, 1080)), placed);
    }

    void positionText() { QCOMPARE(formatWindowPosition(210, 292), QStringLiteral("210,292")); }

    void viewerSearch_data()
    {
        QTest::addColumn<QString>("viewer");
        QTest::addColumn<bool>("found");
        QTest::newRow("on the path") << "sh" << true;
        QTest::newRow("full path") << "/bin/sh" << true;
        QTest::newRow("missing") << "no-such-viewer-program" << false;
        QTest::newRow("missing path") << "/no/such/viewer" << false;
    }
    void viewerSearch()
    {
        QFETCH(QString, viewer);
        QFETCH(bool, found);
        QCOMPARE(isViewerFound(viewer, {}), found);
    }
};

QTEST_GUILESS_MAIN(ConvertFormModelTest)
#include "tst_convertformmodel.moc"
