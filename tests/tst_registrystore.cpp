// Tests of reading the registry stand-in's two .reg files, on real files in a temporary folder.

#include "settings/RegistryStore.h"
#include "support/RegistryTesting.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <memory>
#include <sys/stat.h>

using namespace zandrel::settings;
using namespace registrytesting;
using namespace std::chrono_literals;

class TestRegistryStore : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();

    void readsValueTypes_data();
    void readsValueTypes();
    void readsKeys_data();
    void readsKeys();
    void readsFileEncodings_data();
    void readsFileEncodings();
    void missingOrBrokenFileHasNoKey_data();
    void missingOrBrokenFileHasNoKey();
    void looksUpNamesAndTypes_data();
    void looksUpNamesAndTypes();
    void filesFromEnvironment_data();
    void filesFromEnvironment();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_userFile;
    QString m_machineFile;
};

void TestRegistryStore::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_userFile = m_dir->filePath(QStringLiteral("config/zandrel/user.reg"));
    m_machineFile = m_dir->filePath(QStringLiteral("xdg/zandrel/machine.reg"));
}

void TestRegistryStore::readsValueTypes_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QStringList>("expected"); // empty: the line cannot be read

    QTest::newRow("string") << QByteArray(R"("JobOrDexmorFile"="/home/ann/jobs/site 4.dxm")")
                            << QStringList{"JobOrDexmorFile|S|/home/ann/jobs/site 4.dxm"};
    QTest::newRow("escaped backslashes")
        << QByteArray(R"("Folder"="C:\\Jobs\\Site")") << QStringList{R"(Folder|S|C:\Jobs\Site)"};
    QTest::newRow("escaped quotes") << QByteArray(R"("Title"="say \"hi\"")")
                                    << QStringList{R"(Title|S|say "hi")"};
    QTest::newRow("trailing backslash") << QByteArray(R"("Root"="C:\\")") << QStringList{R"(Root|S|C:\)"};
    QTest::newRow("escapes in the name") << QByteArray(R"("a\"b\\c"="x")") << QStringList{R"(a"b\c|S|x)"};
    QTest::newRow("empty string") << QByteArray(R"("Empty"="")") << QStringList{"Empty|S|"};
    QTest::newRow("default value") << QByteArray(R"(@="default text")") << QStringList{"|S|default text"};
    QTest::newRow("non-ASCII") << QByteArray(R"("Größe"="Ärger ½ 日本")")
                               << QStringList{"Größe|S|Ärger ½ 日本"};
    QTest::newRow("blanks around =") << QByteArray(R"("a" = "b")") << QStringList{"a|S|b"};
    QTest::newRow("dword") << QByteArray(R"("ViewGeneratedFile"=dword:00000001)")
                           << QStringList{"ViewGeneratedFile|D|1"};
    QTest::newRow("dword hex digits") << QByteArray(R"("n"=dword:0000000a)") << QStringList{"n|D|10"};
    QTest::newRow("dword maximum") << QByteArray(R"("n"=dword:FFFFFFFF)") << QStringList{"n|D|4294967295"};
    QTest::newRow("hex(4) dword") << QByteArray(R"("n"=hex(4):78,56,34,12)") << QStringList{"n|D|305419896"};
    QTest::newRow("expand string") << QByteArray(R"("Path"=hex(2):25,00,48,00,4f,00,4d,00,45,00,25,00,00,00)")
                                   << QStringList{"Path|E|%HOME%"};
    QTest::newRow("expand string continued")
        << QByteArray("\"Path\"=hex(2):25,00,48,00,4f,00,\\\n  4d,00,45,00,25,00,\\\r\n  2f,00,00,00")
        << QStringList{"Path|E|%HOME%/"};
    // A continuation mark with no continuation: the value may be cut short, so it is not read.
    QTest::newRow("continuation stops at a line that is no hex")
        << QByteArray("\"Path\"=hex(2):41,00,00,00,\\\n\"next\"=\"kept\"") << QStringList{"next|S|kept"};
    QTest::newRow("empty expand string") << QByteArray(R"("Path"=hex(2):00,00)") << QStringList{"Path|E|"};
    QTest::newRow("hex(1) string with line break")
        << QByteArray(R"("Note"=hex(1):61,00,0a,00,62,00,00,00)") << QStringList{"Note|S|a\nb"};

    QTest::newRow("binary") << QByteArray(R"("Blob"=hex:01,02,03)") << QStringList{};
    QTest::newRow("multi-string") << QByteArray(R"("List"=hex(7):61,00,00,00,00,00)") << QStringList{};
    QTest::newRow("qword") << QByteArray(R"("Big"=qword:0000000000000001)") << QStringList{};
    QTest::newRow("unterminated string") << QByteArray(R"("a"="no end)") << QStringList{};
    QTest::newRow("text after string") << QByteArray(R"("a"="x" y)") << QStringList{};
    QTest::newRow("dword too long") << QByteArray(R"("n"=dword:123456789)") << QStringList{};
    QTest::newRow("dword not hex") << QByteArray(R"("n"=dword:0000000g)") << QStringList{};
    QTest::newRow("dword empty") << QByteArray(R"("n"=dword:)") << QStringList{};
    QTest::newRow("odd byte count") << QByteArray(R"("Path"=hex(2):25,00,48)") << QStringList{};
    QTest::newRow("bad hex byte") << QByteArray(R"("Path"=hex(2):25,100,00,00)") << QStringList{};
    QTest::newRow("deletion") << QByteArray(R"("a"=-)") << QStringList{};
    QTest::newRow("no equals sign") << QByteArray(R"("a" "b")") << QStringList{};
}

void TestRegistryStore::readsValueTypes()
{
    QFETCH(QByteArray, line);
    QFETCH(QStringList, expected);
    // Values around the line show that it neither hides nor swallows its neighbours.
    writeBytes(m_userFile, header + zandrelSection + "\"before\"=dword:00000007\n" + line + "\n" +
                               "\"after\"=\"still here\"\n");
    const auto key = RegFileStore(m_userFile, m_machineFile).openKey(RegistryHive::CurrentUser, zandrelKey);
    QVERIFY(key);
    QCOMPARE(describe(key->values()),
             QStringList{"before|D|7"} + expected + QStringList{"after|S|still here"});
}

void TestRegistryStore::readsKeys_data()
{
    QTest::addColumn<RegistryHive>("hive");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("keyPath");
    QTest::addColumn<bool>("exists");
    QTest::addColumn<QStringList>("expected");

    const auto user = RegistryHive::CurrentUser;
    QTest::newRow("file order") << user
                                << header + zandrelSection +
                                       "\"z\"=\"1\"\n\"a\"=\"2\"\n\"m\"=dword:00000003\n"
                                << zandrelKey << true << QStringList{"z|S|1", "a|S|2", "m|D|3"};
    QTest::newRow("converter versions in file order")
        << user
        << header + "[HKEY_CURRENT_USER\\Software\\Veltrix\\Converters\\Versions]\n"
                    "\"7.1\"=\"conv71\"\n\"5.0\"=\"conv50\"\n\"6.2\"=\"conv62\"\n"
        << QStringLiteral("Software\\Veltrix\\Converters\\Versions") << true
        << QStringList{"7.1|S|conv71", "5.0|S|conv50", "6.2|S|conv62"};
    QTest::newRow("duplicate sections are one key")
        << user
        << header + zandrelSection +
               "\"a\"=\"1\"\n\"b\"=\"2\"\n\n[HKEY_CURRENT_USER\\Software\\Other]\n\"x\"=\"9\"\n\n" +
               zandrelSection + "\"c\"=\"3\"\n\"A\"=\"later\"\n"
        << zandrelKey << true << QStringList{"a|S|later", "b|S|2", "c|S|3"};
    QTest::newRow("key path in another case")
        << user << header + "[hkey_current_user\\SOFTWARE\\veltrix\\zandrel]\n\"a\"=\"1\"\n"
        << zandrelKey << true << QStringList{"a|S|1"};
    QTest::newRow("key path with outer backslashes")
        << user << header + zandrelSection + "\"a\"=\"1\"\n"
        << QStringLiteral("\\Software\\Veltrix\\Zandrel\\") << true << QStringList{"a|S|1"};
    QTest::newRow("section with trailing backslash")
        << user << header + "[HKEY_CURRENT_USER\\Software\\Veltrix\\Zandrel\\]\n\"a\"=\"1\"\n"
        << zandrelKey << true << QStringList{"a|S|1"};
    QTest::newRow("empty key exists")
        << user << header + zandrelSection << zandrelKey << true << QStringList{};
    QTest::newRow("parent of a key exists")
        << user << header + "[HKEY_CURRENT_USER\\Software\\Veltrix\\Zandrel\\Sub]\n\"a\"=\"1\"\n"
        << zandrelKey << true << QStringList{};
    QTest::newRow("key with a longer name is no subkey")
        << user << header + "[HKEY_CURRENT_USER\\Software\\Veltrix\\ZandrelOld]\n\"a\"=\"1\"\n"
        << zandrelKey << false << QStringList{};
    QTest::newRow("missing key") << user << header + "[HKEY_CURRENT_USER\\Software\\Other]\n\"a\"=\"1\"\n"
                                 << zandrelKey << false << QStringList{};
    QTest::newRow("machine section in the user file is not a user key")
        << user << header + "[HKEY_LOCAL_MACHINE\\Software\\Veltrix\\Zandrel]\n\"a\"=\"1\"\n"
        << zandrelKey << false << QStringList{};
    QTest::newRow("machine file") << RegistryHive::LocalMachine
                                  << header +
                                         "[HKEY_LOCAL_MACHINE\\Software\\Veltrix\\Zandrel]\n\"a\"=\"1\"\n"
                                  << zandrelKey << true << QStringList{"a|S|1"};
    QTest::newRow("user section in the machine file is not a machine key")
        << RegistryHive::LocalMachine << header + zandrelSection + "\"a\"=\"1\"\n"
        << zandrelKey << false << QStringList{};
    QTest::newRow("comments and unknown lines skipped")
        << user
        << header + "; a comment\n" + zandrelSection + "; \"x\"=\"commented out\"\nnonsense\n\"a\"=\"1\"\n"
        << zandrelKey << true << QStringList{"a|S|1"};
    QTest::newRow("empty key path") << user << header + zandrelSection << QString() << false << QStringList{};
}

void TestRegistryStore::readsKeys()
{
    QFETCH(RegistryHive, hive);
    QFETCH(QByteArray, file);
    QFETCH(QString, keyPath);
    QFETCH(bool, exists);
    QFETCH(QStringList, expected);

    writeBytes(hive == RegistryHive::CurrentUser ? m_userFile : m_machineFile, file);
    const auto key = RegFileStore(m_userFile, m_machineFile).openKey(hive, keyPath);
    QCOMPARE(key.has_value(), exists);
    if (key)
        QCOMPARE(describe(key->values()), expected);
}

void TestRegistryStore::readsFileEncodings_data()
{
    QTest::addColumn<QByteArray>("file");

    const QString text = QStringLiteral("Windows Registry Editor Version 5.00\n\n"
                                        "[HKEY_CURRENT_USER\\Software\\Veltrix\\Zandrel]\n"
                                        "\"Größe\"=\"Ärger\"\n\"n\"=dword:0000002a\n"
                                        "\"Path\"=hex(2):25,00,48,00,4f,00,4d,00,45,00,25,00,\\\n  00,00\n");
    QString crlf = text;
    crlf.replace(u'\n', QStringLiteral("\r\n"));
    QString noFinalLineEnd = text;
    noFinalLineEnd.chop(1);

    QTest::newRow("UTF-8 LF") << text.toUtf8();
    QTest::newRow("UTF-8 CRLF") << crlf.toUtf8();
    QTest::newRow("UTF-8 no final line end") << noFinalLineEnd.toUtf8();
    QTest::newRow("UTF-8 with BOM") << QByteArray("\xEF\xBB\xBF") + text.toUtf8();
    QTest::newRow("UTF-16LE CRLF as regedit writes") << utf16le(crlf);
    QTest::newRow("UTF-16LE LF") << utf16le(text);
}

void TestRegistryStore::readsFileEncodings()
{
    QFETCH(QByteArray, file);
    writeBytes(m_userFile, file);
    const auto key = RegFileStore(m_userFile, m_machineFile).openKey(RegistryHive::CurrentUser, zandrelKey);
    QVERIFY(key);
    QCOMPARE(describe(key->values()), (QStringList{"Größe|S|Ärger", "n|D|42", "Path|E|%HOME%"}));
}

void TestRegistryStore::missingOrBrokenFileHasNoKey_data()
{
    QTest::addColumn<QString>("situation");
    QTest::newRow("missing file") << "missing";
    QTest::newRow("missing folder") << "missing folder";
    QTest::newRow("folder at the path") << "folder";
    QTest::newRow("empty file") << "empty";
    QTest::newRow("not a registry file") << "binary";
    // None of them is read: a FIFO would wait for a writer for ever, a device never ends.
    QTest::newRow("FIFO") << "fifo";
    QTest::newRow("device") << "device";
    QTest::newRow("far too large") << "large";
}

void TestRegistryStore::missingOrBrokenFileHasNoKey()
{
    QFETCH(QString, situation);
    QString userFile = m_userFile;
    if (situation == u"missing folder")
        userFile = m_dir->filePath(QStringLiteral("nowhere/zandrel/user.reg"));
    else if (situation == u"folder")
        QVERIFY(QDir().mkpath(m_userFile));
    else if (situation == u"empty")
        writeBytes(m_userFile, QByteArray());
    else if (situation == u"binary")
        writeBytes(m_userFile, QByteArray("\x00\x01\x02\xff[\x00]\n\"a\"\x00=", 13));
    else if (situation == u"fifo")
        QVERIFY(QDir().mkpath(QFileInfo(m_userFile).absolutePath()) &&
                ::mkfifo(QFile::encodeName(m_userFile).constData(), 0600) == 0);
    else if (situation == u"device")
        QVERIFY(QDir().mkpath(QFileInfo(m_userFile).absolutePath()) &&
                QFile::link(QStringLiteral("/dev/zero"), m_userFile));
    else if (situation == u"large")
        writeBytes(m_userFile, header + zandrelSection + "\"a\"=\"b\"\n" + QByteArray(64 << 20, '\n'));
    else
        writeBytes(m_dir->filePath(QStringLiteral("config/zandrel/other.reg")), header + zandrelSection);
    // The machine-wide file is the same odd file.
    if (situation == u"fifo" || situation == u"device" || situation == u"large")
        QVERIFY(QDir().mkpath(QFileInfo(m_machineFile).absolutePath()) &&
                QFile::link(m_userFile, m_machineFile));

    const RegFileStore store(userFile, m_machineFile);
    QVERIFY(!store.openKey(RegistryHive::CurrentUser, zandrelKey));
    QVERIFY(!store.openKey(RegistryHive::LocalMachine, zandrelKey));
}

void TestRegistryStore::looksUpNamesAndTypes_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("exists");
    QTest::addColumn<QVariant>("string"); // null: readString gives nullopt
    QTest::addColumn<QVariant>("dword");  // null: readDword gives nullopt

    QTest::newRow("string, same case") << "JobOrDexmorFile" << true << QVariant("/jobs/a.dxm") << QVariant();
    QTest::newRow("string, upper case") << "JOBORDEXMORFILE" << true << QVariant("/jobs/a.dxm") << QVariant();
    QTest::newRow("dword, lower case") << "viewgeneratedfile" << true << QVariant() << QVariant(1u);
    QTest::newRow("expand string counts as string") << "path" << true << QVariant("%HOME%") << QVariant();
    QTest::newRow("default value") << "" << true << QVariant("default") << QVariant();
    QTest::newRow("only ASCII letters fold") << "ÄRGER" << false << QVariant() << QVariant();
    QTest::newRow("non-ASCII same case") << "ärger" << true << QVariant() << QVariant(0u);
    QTest::newRow("missing value") << "Nothing" << false << QVariant() << QVariant();
    QTest::newRow("prefix is not the name") << "Job" << false << QVariant() << QVariant();
}

void TestRegistryStore::looksUpNamesAndTypes()
{
    QFETCH(QString, name);
    QFETCH(bool, exists);
    QFETCH(QVariant, string);
    QFETCH(QVariant, dword);

    writeBytes(m_userFile, header + zandrelSection +
                               "\"JobOrDexmorFile\"=\"/jobs/a.dxm\"\n\"ViewGeneratedFile\"=dword:00000001\n"
                               "\"Path\"=hex(2):25,00,48,00,4f,00,4d,00,45,00,25,00,00,00\n"
                               "@=\"default\"\n\"ärger\"=dword:00000000\n");
    const auto key = RegFileStore(m_userFile, m_machineFile).openKey(RegistryHive::CurrentUser, zandrelKey);
    QVERIFY(key);
    QCOMPARE(key->valueExists(name), exists);
    QCOMPARE(key->find(name) != nullptr, exists);
    QCOMPARE(key->readString(name).has_value(), !string.isNull());
    if (!string.isNull())
        QCOMPARE(*key->readString(name), string.toString());
    QCOMPARE(key->readDword(name).has_value(), !dword.isNull());
    if (!dword.isNull())
        QCOMPARE(*key->readDword(name), dword.toUInt());
}

void TestRegistryStore::filesFromEnvironment_data()
{
    QTest::addColumn<QByteArray>("configHome"); // null: unset
    QTest::addColumn<QByteArray>("configDirs"); // null: unset
    QTest::addColumn<QString>("userFile");
    QTest::addColumn<QString>("machineFile");

    QTest::newRow("defaults") << QByteArray() << QByteArray() << "/home/ann/.config/zandrel/user.reg"
                              << "/etc/xdg/zandrel/machine.reg";
    QTest::newRow("set") << QByteArray("/data/conf") << QByteArray("/opt/xdg:/etc/xdg")
                         << "/data/conf/zandrel/user.reg"
                         << "/opt/xdg/zandrel/machine.reg";
    QTest::newRow("empty values") << QByteArray("") << QByteArray("") << "/home/ann/.config/zandrel/user.reg"
                                  << "/etc/xdg/zandrel/machine.reg";
    QTest::newRow("relative values are ignored")
        << QByteArray("conf") << QByteArray("rel/xdg::/usr/local/xdg/")
        << "/home/ann/.config/zandrel/user.reg"
        << "/usr/local/xdg/zandrel/machine.reg";
}

void TestRegistryStore::filesFromEnvironment()
{
    QFETCH(QByteArray, configHome);
    QFETCH(QByteArray, configDirs);
    QFETCH(QString, userFile);
    QFETCH(QString, machineFile);

    EnvironmentOverride environment;
    environment.set("HOME", "/home/ann");
    if (configHome.isNull())
        environment.unset("XDG_CONFIG_HOME");
    else
        environment.set("XDG_CONFIG_HOME", configHome);
    if (configDirs.isNull())
        environment.unset("XDG_CONFIG_DIRS");
    else
        environment.set("XDG_CONFIG_DIRS", configDirs);

    const RegFileStore store = RegFileStore::fromEnvironment();
    QCOMPARE(store.userFile(), userFile);
    QCOMPARE(store.machineFile(), machineFile);
}

QTEST_GUILESS_MAIN(TestRegistryStore)
#include "tst_registrystore.moc"
