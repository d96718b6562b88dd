// Tests of the registry stand-in over the two .reg files, on real files in a temporary folder.

#include "settings/RegistryStore.h"

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
using namespace std::chrono_literals;

using Values = std::vector<RegistryValue>;
Q_DECLARE_METATYPE(RegistryValue)
Q_DECLARE_METATYPE(Values)
Q_DECLARE_METATYPE(RegistryHive)

namespace {

const QString zandrelKey = QStringLiteral("Software\\Veltrix\\Zandrel");
const char *const writerArgument = "--registry-writer";

// Writes `count` values named prefix0, prefix1, ... one call each, as another program would.
int runWriter(const QString &userFile, const QString &prefix, int count)
{
    RegFileStore store(userFile, QString());
    for (int i = 0; i < count; ++i) {
        QString error;
        const RegistryValue value = RegistryValue::number(prefix + QString::number(i), quint32(i));
        if (!store.writeValues(RegistryHive::CurrentUser, zandrelKey, {value}, &error)) {
            qWarning("%s", qPrintable(error));
            return 1;
        }
    }
    return 0;
}

QByteArray readBytes(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return "<cannot read>";
    return file.readAll();
}

void writeBytes(const QString &fileName, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(fileName).absolutePath());
    QFile file(fileName);
    QVERIFY2(file.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(file.errorString()));
    QCOMPARE(file.write(bytes), bytes.size());
}

QByteArray utf16le(const QString &text)
{
    QByteArray bytes("\xFF\xFE", 2);
    for (const QChar c : text) {
        bytes.append(char(c.unicode() & 0xff));
        bytes.append(char(c.unicode() >> 8));
    }
    return bytes;
}

// "name|S|text", "name|E|text" or "name|D|number": easy to compare and to read in a failure.
QStringList describe(const Values &values)
{
    QStringList lines;
    for (const RegistryValue &value : values) {
        const QString type = value.type == RegistryValueType::String         ? QStringLiteral("S")
                             : value.type == RegistryValueType::ExpandString ? QStringLiteral("E")
                                                                             : QStringLiteral("D");
        lines << value.name + u'|' + type + u'|' +
                     (value.isString() ? value.text : QString::number(value.dword));
    }
    return lines;
}

RegistryValue expandString(const QString &name, const QString &text)
{
    RegistryValue value = RegistryValue::string(name, text);
    value.type = RegistryValueType::ExpandString;
    return value;
}

QStringList filesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
}

// Sets environment variables for one test and puts the old values back afterwards.
class EnvironmentOverride {
public:
    void set(const char *name, const QByteArray &value)
    {
        remember(name);
        qputenv(name, value);
    }
    void unset(const char *name)
    {
        remember(name);
        qunsetenv(name);
    }
    ~EnvironmentOverride()
    {
        for (const auto &[name, value] : m_saved) {
            if (value)
                qputenv(name, *value);
            else
                qunsetenv(name);
        }
    }

private:
    void remember(const char *name)
    {
        if (qEnvironmentVariableIsSet(name))
            m_saved.emplace_back(name, qgetenv(name));
        else
            m_saved.emplace_back(name, std::nullopt);
    }
    std::vector<std::pair<const char *, std::optional<QByteArray>>> m_saved;
};

const QByteArray header = "Windows Registry Editor Version 5.00\n\n";
const QByteArray zandrelSection = "[HKEY_CURRENT_USER\\Software\\Veltrix\\Zandrel]\n";

} // namespace

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

    void writeChangesOnlyNamedValues_data();
    void writeChangesOnlyNamedValues();
    void writeCreatesFolderAndFile();
    void writeKeepsLinkAndPermissions_data();
    void writeKeepsLinkAndPermissions();
    void writeTakesOverLockOfEndedWriter();
    void writeFailsAndKeepsOldFile_data();
    void writeFailsAndKeepsOldFile();
    void valuesRoundTrip_data();
    void valuesRoundTrip();
    void separateStoresKeepEachOthersValues();
    void concurrentWritersKeepAllValues_data();
    void concurrentWritersKeepAllValues();

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

void TestRegistryStore::writeChangesOnlyNamedValues_data()
{
    QTest::addColumn<QByteArray>("original");
    QTest::addColumn<QString>("keyPath");
    QTest::addColumn<Values>("values");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray otherSection = "[HKEY_CURRENT_USER\\Software\\Other]\n\"o\"=\"1\"\n";
    const QByteArray expandedHome = "\"Path\"=hex(2):25,00,48,00,4f,00,4d,00,45,00,25,00,00,00";

    QTest::newRow("replaces in place")
        << header + zandrelSection + "\"a\"=\"1\"\n\"b\"=\"2\"\n\"c\"=\"3\"\n"
        << zandrelKey << Values{RegistryValue::string("b", "two")}
        << header + zandrelSection + "\"a\"=\"1\"\n\"b\"=\"two\"\n\"c\"=\"3\"\n";
    QTest::newRow("keeps the name's spelling")
        << header + zandrelSection + "\"ViewGeneratedFile\"=dword:00000000\n"
        << zandrelKey << Values{RegistryValue::number("viewgeneratedfile", 1)}
        << header + zandrelSection + "\"ViewGeneratedFile\"=dword:00000001\n";
    QTest::newRow("changes the type in place")
        << header + zandrelSection +
               "\"Path\"=hex(2):25,00,48,00,4f,00,\\\n  4d,00,45,00,25,00,00,00\n\"z\"=\"1\"\n"
        << zandrelKey << Values{RegistryValue::string("Path", "/tmp")}
        << header + zandrelSection + "\"Path\"=\"/tmp\"\n\"z\"=\"1\"\n";
    QTest::newRow("writes expand strings as hex(2)") << header + zandrelSection + "\"Path\"=\"old\"\n"
                                                     << zandrelKey << Values{expandString("Path", "%HOME%")}
                                                     << header + zandrelSection + expandedHome + "\n";
    QTest::newRow("appends at the end of the key's last section")
        << header + zandrelSection + "\"a\"=\"1\"\n\n" + otherSection + "\n" + zandrelSection +
               "\"b\"=\"2\"\n\n; closing comment\n"
        << zandrelKey << Values{RegistryValue::number("new", 10)}
        << header + zandrelSection + "\"a\"=\"1\"\n\n" + otherSection + "\n" + zandrelSection +
               "\"b\"=\"2\"\n\"new\"=dword:0000000a\n\n; closing comment\n";
    QTest::newRow("appends right after an empty section's header")
        << header + zandrelSection + "\n" + otherSection << zandrelKey
        << Values{RegistryValue::string("a", "1")}
        << header + zandrelSection + "\"a\"=\"1\"\n\n" + otherSection;
    QTest::newRow("keeps comments, unreadable and undecodable lines")
        << header + "; my settings\n" + zandrelSection +
               "\"Blob\"=hex:01,02,03\n\"a\"=\"1\"\nnot a registry line\n\"bad\xff\"=\"\xfe\"\n" +
               otherSection
        << zandrelKey << Values{RegistryValue::string("a", "2"), RegistryValue::string("n", "x")}
        << header + "; my settings\n" + zandrelSection +
               "\"Blob\"=hex:01,02,03\n\"a\"=\"2\"\nnot a registry "
               "line\n\"bad\xff\"=\"\xfe\"\n\"n\"=\"x\"\n" +
               otherSection;
    QTest::newRow("replaces an unreadable value of the same name")
        << header + zandrelSection + "\"List\"=hex(7):61,00,00,00,00,00\n\"z\"=\"1\"\n"
        << zandrelKey << Values{RegistryValue::string("list", "a")}
        << header + zandrelSection + "\"List\"=\"a\"\n\"z\"=\"1\"\n";
    QTest::newRow("drops duplicates that would hide the new value")
        << header + zandrelSection + "\"a\"=\"1\"\n\"b\"=\"2\"\n\n" + zandrelSection +
               "\"A\"=\"3\"\n\"c\"=\"4\"\n"
        << zandrelKey << Values{RegistryValue::string("a", "9")}
        << header + zandrelSection + "\"a\"=\"9\"\n\"b\"=\"2\"\n\n" + zandrelSection + "\"c\"=\"4\"\n";
    QTest::newRow("adds the section at the end")
        << header + zandrelSection + "\"a\"=\"1\"" << QStringLiteral("Software\\New")
        << Values{RegistryValue::number("x", 5)}
        << header + zandrelSection +
               "\"a\"=\"1\"\n\n[HKEY_CURRENT_USER\\Software\\New]\n\"x\"=dword:00000005\n";
    QTest::newRow("a machine section is not the user key")
        << header + "[HKEY_LOCAL_MACHINE\\Software\\Veltrix\\Zandrel]\n\"a\"=\"1\"\n\n"
        << zandrelKey << Values{RegistryValue::string("a", "2")}
        << header + "[HKEY_LOCAL_MACHINE\\Software\\Veltrix\\Zandrel]\n\"a\"=\"1\"\n\n" + zandrelSection +
               "\"a\"=\"2\"\n";
    QTest::newRow("finds the section in another case")
        << header + "[hkey_current_user\\software\\veltrix\\zandrel]\n\"a\"=\"1\"\n"
        << QStringLiteral("SOFTWARE\\Veltrix\\Zandrel") << Values{RegistryValue::string("b", "2")}
        << header + "[hkey_current_user\\software\\veltrix\\zandrel]\n\"a\"=\"1\"\n\"b\"=\"2\"\n";
    QTest::newRow("the last of a name given twice wins")
        << header + zandrelSection << zandrelKey
        << Values{RegistryValue::string("a", "first"), RegistryValue::string("A", "second")}
        << header + zandrelSection + "\"a\"=\"second\"\n";
    QTest::newRow("empty file gets a header")
        << QByteArray("") << zandrelKey << Values{RegistryValue::string("a", "1")}
        << header + zandrelSection + "\"a\"=\"1\"\n";
    QTest::newRow("UTF-16LE byte order mark alone")
        << QByteArray("\xFF\xFE") << zandrelKey << Values{RegistryValue::string("a", "1")}
        << utf16le(QStringLiteral("Windows Registry Editor Version 5.00\n\n"
                                  "[HKEY_CURRENT_USER\\Software\\Veltrix\\Zandrel]\n\"a\"=\"1\"\n"));
    QTest::newRow("an empty list creates the key")
        << header << zandrelKey << Values{} << header + zandrelSection;
    QTest::newRow("CRLF file gets CRLF lines")
        << QByteArray(
               "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Veltrix\\Zandrel]"
               "\r\n\"a\"=\"1\"\r\n")
        << zandrelKey << Values{RegistryValue::string("a", "2"), RegistryValue::string("b", "x\ny")}
        << QByteArray(
               "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Veltrix\\Zandrel]"
               "\r\n\"a\"=\"2\"\r\n\"b\"=hex(1):78,00,0a,00,79,00,00,00\r\n");
    QTest::newRow("keeps the UTF-8 byte order mark")
        << "\xEF\xBB\xBF" + header + zandrelSection + "\"a\"=\"1\"\n"
        << zandrelKey << Values{RegistryValue::string("a", "ü")}
        << "\xEF\xBB\xBF" + header + zandrelSection + "\"a\"=\"ü\"\n";
    QTest::newRow("UTF-16LE file stays UTF-16LE")
        << utf16le(
               QStringLiteral("Windows Registry Editor Version 5.00\r\n\r\n"
                              "[HKEY_CURRENT_USER\\Software\\Veltrix\\Zandrel]\r\n\"a\"=\"1\"\r\n; ende\r\n"))
        << zandrelKey << Values{RegistryValue::string("a", "ä"), RegistryValue::number("n", 2)}
        << utf16le(QStringLiteral("Windows Registry Editor Version 5.00\r\n\r\n"
                                  "[HKEY_CURRENT_USER\\Software\\Veltrix\\Zandrel]\r\n\"a\"=\"ä\"\r\n"
                                  "\"n\"=dword:00000002\r\n; ende\r\n"));
}

void TestRegistryStore::writeChangesOnlyNamedValues()
{
    QFETCH(QByteArray, original);
    QFETCH(QString, keyPath);
    QFETCH(Values, values);
    QFETCH(QByteArray, expected);

    writeBytes(m_userFile, original);
    RegFileStore store(m_userFile, m_machineFile);
    QString error;
    QVERIFY2(store.writeValues(RegistryHive::CurrentUser, keyPath, values, &error), qPrintable(error));
    QCOMPARE(readBytes(m_userFile), expected);
    QCOMPARE(filesIn(QFileInfo(m_userFile).absolutePath()),
             QStringList{"user.reg"}); // no lock or temp file left
}

void TestRegistryStore::writeCreatesFolderAndFile()
{
    RegFileStore store(m_userFile, m_machineFile);
    QVERIFY(!QFileInfo::exists(QFileInfo(m_userFile).absolutePath()));
    QString error;
    QVERIFY2(
        store.writeValues(RegistryHive::CurrentUser, zandrelKey,
                          {RegistryValue::string("JobOrDexmorFile", "/home/ann/jobs/site 4.dxm"),
                           RegistryValue::number("ViewGeneratedFile", 1), expandString("Path", "%HOME%")},
                          &error),
        qPrintable(error));
    QCOMPARE(readBytes(m_userFile),
             header + zandrelSection +
                 "\"JobOrDexmorFile\"=\"/home/ann/jobs/site 4.dxm\"\n\"ViewGeneratedFile\"=dword:00000001\n"
                 "\"Path\"=hex(2):25,00,48,00,4f,00,4d,00,45,00,25,00,00,00\n");
    QVERIFY(!QFileInfo::exists(QFileInfo(m_machineFile).absolutePath())); // nothing written there
}

void TestRegistryStore::writeKeepsLinkAndPermissions_data()
{
    QTest::addColumn<bool>("throughLink");
    QTest::newRow("private file") << false;
    QTest::newRow("file behind a symbolic link") << true;
}

// Settings may be kept private, or linked from elsewhere: replacing the file must keep both.
void TestRegistryStore::writeKeepsLinkAndPermissions()
{
    QFETCH(bool, throughLink);
    const QString target = throughLink ? m_dir->filePath(QStringLiteral("dotfiles/user.reg")) : m_userFile;
    writeBytes(target, header + zandrelSection + "\"a\"=\"1\"\n");
    const auto privatePermissions = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    QVERIFY(QFile::setPermissions(target, privatePermissions));
    if (throughLink) {
        QVERIFY(QDir().mkpath(QFileInfo(m_userFile).absolutePath()));
        QVERIFY(QFile::link(target, m_userFile));
    }

    RegFileStore store(m_userFile, m_machineFile);
    QString error;
    QVERIFY2(
        store.writeValues(RegistryHive::CurrentUser, zandrelKey, {RegistryValue::string("b", "2")}, &error),
        qPrintable(error));
    QCOMPARE(readBytes(target), header + zandrelSection + "\"a\"=\"1\"\n\"b\"=\"2\"\n");
    QCOMPARE(QFileInfo(m_userFile).isSymLink(), throughLink);
    QCOMPARE(QFile::permissions(target) &
                 (QFileDevice::ReadGroup | QFileDevice::ReadOther | QFileDevice::WriteGroup |
                  QFileDevice::WriteOther | privatePermissions),
             privatePermissions);
}

// A writer that ended without unlocking (crashed) must not block settings for good.
void TestRegistryStore::writeTakesOverLockOfEndedWriter()
{
    QProcess ended;
    ended.start(QCoreApplication::applicationFilePath(), {QStringLiteral("-functions")}); // lists and ends
    QVERIFY(ended.waitForStarted());
    const qint64 endedPid = ended.processId();
    QVERIFY(ended.waitForFinished());
    const QString lockFileName = m_userFile + QStringLiteral(".lock");
    writeBytes(lockFileName, QByteArray::number(endedPid) + "\ntst_registrystore\n" +
                                 QSysInfo::machineHostName().toUtf8() + "\n");

    RegFileStore store(m_userFile, m_machineFile);
    store.setLockTimeout(5s);
    QString error;
    QVERIFY2(
        store.writeValues(RegistryHive::CurrentUser, zandrelKey, {RegistryValue::string("a", "1")}, &error),
        qPrintable(error));
    QCOMPARE(store.openKey(RegistryHive::CurrentUser, zandrelKey)->readString("a"),
             std::optional<QString>("1"));
    QVERIFY(!QFileInfo::exists(lockFileName));
}

void TestRegistryStore::writeFailsAndKeepsOldFile_data()
{
    QTest::addColumn<QString>("situation");
    QTest::addColumn<QString>("reason"); // a part of the message

    const auto row = [](const char *name, const char *situation, const char *reason) {
        QTest::newRow(name) << QString::fromUtf8(situation) << QString::fromUtf8(reason);
    };
    row("machine file", "machine", "machine-wide");
    row("read-only file", "read-only", "read-only");
    row("folder at the file's path", "folder", "folder");
    row("folder cannot be created", "blocked folder", "cannot be created");
    row("lock held by another writer", "locked", "lock");
    row("empty key path", "empty key", "not a valid key path");
    row("empty part in key path", "double backslash", "not a valid key path");
    row("line break in value name", "name line break", "line break");
    row("broken UTF-16 in value name", "name surrogate", "not valid Unicode");
    row("null character in text", "null text", "null character");
    row("FIFO at the file's path", "fifo", "not a regular file");
}

void TestRegistryStore::writeFailsAndKeepsOldFile()
{
    QFETCH(QString, situation);
    QFETCH(QString, reason);

    const QByteArray original = header + zandrelSection + "\"a\"=\"old\"\n";
    writeBytes(m_userFile, original);
    writeBytes(m_machineFile, original);
    QString userFile = m_userFile;
    QString keyPath = zandrelKey;
    auto hive = RegistryHive::CurrentUser;
    RegistryValue value = RegistryValue::string("a", "new");
    std::optional<QLockFile> otherWriter;

    if (situation == u"machine") {
        hive = RegistryHive::LocalMachine;
    } else if (situation == u"read-only") {
        QVERIFY(QFile::setPermissions(m_userFile, QFileDevice::ReadOwner | QFileDevice::ReadGroup));
    } else if (situation == u"folder") {
        userFile = m_dir->filePath(QStringLiteral("config/zandrel/folder.reg"));
        QVERIFY(QDir().mkpath(userFile + QStringLiteral("/inside")));
    } else if (situation == u"blocked folder") {
        userFile =
            m_dir->filePath(QStringLiteral("config/zandrel/user.reg/zandrel/user.reg")); // a file in the way
    } else if (situation == u"locked") {
        otherWriter.emplace(m_userFile + QStringLiteral(".lock"));
        QVERIFY(otherWriter->tryLock(0ms));
    } else if (situation == u"empty key") {
        keyPath = QStringLiteral("\\");
    } else if (situation == u"double backslash") {
        keyPath = QStringLiteral("Software\\\\Veltrix");
    } else if (situation == u"name line break") {
        value.name = QStringLiteral("a\nb");
    } else if (situation == u"name surrogate") {
        value.name = QStringLiteral("a") + QChar(0xDC00);
    } else if (situation == u"null text") {
        value.text = QStringLiteral("a") + QChar(0) + QStringLiteral("b");
    } else if (situation == u"fifo") {
        userFile = m_dir->filePath(QStringLiteral("config/zandrel/fifo.reg"));
        QCOMPARE(::mkfifo(QFile::encodeName(userFile).constData(), 0600), 0);
    }
    const QStringList filesBefore = filesIn(QFileInfo(m_userFile).absolutePath());

    RegFileStore store(userFile, m_machineFile);
    store.setLockTimeout(100ms);
    QString error;
    QVERIFY(!store.writeValues(hive, keyPath, {value}, &error));
    QVERIFY2(error.contains(reason), qPrintable(error));
    const QString named = hive == RegistryHive::LocalMachine ? m_machineFile : userFile;
    QVERIFY2(error.contains(QDir::toNativeSeparators(named)), qPrintable(error));

    QCOMPARE(readBytes(m_userFile), original);
    QCOMPARE(readBytes(m_machineFile), original);
    QCOMPARE(filesIn(QFileInfo(m_userFile).absolutePath()), filesBefore); // no temp file left behind
    QVERIFY(!store.writeValues(hive, keyPath, {value})); // no error pointer: still fails, no crash
    QFile::setPermissions(m_userFile, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

void TestRegistryStore::valuesRoundTrip_data()
{
    QTest::addColumn<RegistryValue>("value");

    QString longText;
    for (int i = 0; i < 2000; ++i)
        longText += QStringLiteral("part %1 \\ \"q\" ; = ä|").arg(i);

    QTest::newRow("plain") << RegistryValue::string("Name", "text");
    QTest::newRow("blanks") << RegistryValue::string("With Blank", "  lead and trail  ");
    QTest::newRow("quotes") << RegistryValue::string("q\"name\"", "\"quoted\" \"");
    QTest::newRow("backslashes") << RegistryValue::string("b\\n", "C:\\Jobs\\\\Site\\");
    QTest::newRow("escape lookalikes") << RegistryValue::string("e", "\\\"\\\\\\n");
    QTest::newRow("non-ASCII") << RegistryValue::string("Größe", "Ärger ½ 日本語 😀");
    QTest::newRow("equals and semicolon") << RegistryValue::string("a=b;c", "=x;y=\"z\";");
    QTest::newRow("section lookalike")
        << RegistryValue::string("[x]", "[HKEY_CURRENT_USER\\Software\\Other]");
    QTest::newRow("hex lookalike") << RegistryValue::string("h", "hex(2):41,00\\");
    QTest::newRow("tab") << RegistryValue::string("t", "a\tb");
    QTest::newRow("empty text") << RegistryValue::string("Empty", "");
    QTest::newRow("default value") << RegistryValue::string("", "default");
    QTest::newRow("LF") << RegistryValue::string("lines", "one\ntwo\n");
    QTest::newRow("CRLF") << RegistryValue::string("lines", "one\r\ntwo");
    QTest::newRow("CR") << RegistryValue::string("lines", "\rone\r");
    QTest::newRow("lone surrogate") << RegistryValue::string("s", QString(QChar(0xD800)) + "x");
    QTest::newRow("very long") << RegistryValue::string("Long", longText);
    QTest::newRow("expand string") << expandString("Path", "%HOME%/jobs;%TEMP%");
    QTest::newRow("empty expand string") << expandString("Path", "");
    QTest::newRow("very long expand string") << expandString("Path", longText + "\n%X%");
    QTest::newRow("dword 0") << RegistryValue::number("n", 0);
    QTest::newRow("dword 10") << RegistryValue::number("n", 10);
    QTest::newRow("dword max") << RegistryValue::number("n", 0xffffffffu);
}

void TestRegistryStore::valuesRoundTrip()
{
    QFETCH(RegistryValue, value);

    // Written first over an existing value of another type, then again in place, and kept when
    // a later write changes a neighbour: each time it must read back the same.
    writeBytes(m_userFile, header + zandrelSection + "\"first\"=\"1\"\n");
    RegFileStore store(m_userFile, m_machineFile);
    RegistryValue previous =
        value.isString() ? RegistryValue::number(value.name, 1) : RegistryValue::string(value.name, "x");
    const RegistryValue neighbour = RegistryValue::number("neighbour", 7);
    QString error;
    QVERIFY2(store.writeValues(RegistryHive::CurrentUser, zandrelKey, {previous, neighbour}, &error),
             qPrintable(error));
    QVERIFY2(store.writeValues(RegistryHive::CurrentUser, zandrelKey, {value}, &error), qPrintable(error));
    QVERIFY2(store.writeValues(RegistryHive::CurrentUser, zandrelKey, {RegistryValue::number("neighbour", 8)},
                               &error),
             qPrintable(error));

    const auto key = store.openKey(RegistryHive::CurrentUser, zandrelKey);
    QVERIFY(key);
    QCOMPARE(key->values().size(), std::size_t(3));
    const RegistryValue &readBack = key->values().at(1);
    QCOMPARE(readBack.name, value.name);
    QCOMPARE(int(readBack.type), int(value.type));
    if (value.isString())
        QCOMPARE(readBack.text, value.text);
    else
        QCOMPARE(readBack.dword, value.dword);
    QCOMPARE(key->readDword("neighbour"), std::optional<quint32>(8));

    // Every physical line stays within regedit's width unless a quoted text is long itself.
    const QList<QByteArray> lines = readBytes(m_userFile).split('\n');
    for (const QByteArray &line : lines) {
        if (!line.contains("=\""))
            QVERIFY2(line.size() <= 80, line.left(100).constData());
    }
}

void TestRegistryStore::separateStoresKeepEachOthersValues()
{
    RegFileStore first(m_userFile, m_machineFile);
    RegFileStore second(m_userFile, m_machineFile);
    QVERIFY(first.writeValues(RegistryHive::CurrentUser, zandrelKey, {RegistryValue::string("a", "1")}));
    QVERIFY(first.openKey(RegistryHive::CurrentUser, zandrelKey)); // a reader that might cache
    QVERIFY(second.writeValues(RegistryHive::CurrentUser, zandrelKey, {RegistryValue::string("b", "2")}));
    QVERIFY(first.writeValues(RegistryHive::CurrentUser, zandrelKey, {RegistryValue::string("c", "3")}));
    const auto key = second.openKey(RegistryHive::CurrentUser, zandrelKey);
    QVERIFY(key);
    QCOMPARE(describe(key->values()), (QStringList{"a|S|1", "b|S|2", "c|S|3"}));
}

void TestRegistryStore::concurrentWritersKeepAllValues_data()
{
    QTest::addColumn<bool>("separateProcesses");
    QTest::newRow("threads with their own stores") << false;
    QTest::newRow("processes") << true;
}

void TestRegistryStore::concurrentWritersKeepAllValues()
{
    QFETCH(bool, separateProcesses);
    constexpr int valuesPerWriter = 40;
    const QStringList prefixes{"first", "second"};

    if (separateProcesses) {
        std::vector<std::unique_ptr<QProcess>> writers;
        for (const QString &prefix : prefixes) {
            auto &writer = writers.emplace_back(std::make_unique<QProcess>());
            writer->setProcessChannelMode(QProcess::ForwardedChannels);
            writer->start(
                QCoreApplication::applicationFilePath(),
                {QString::fromLatin1(writerArgument), m_userFile, prefix, QString::number(valuesPerWriter)});
        }
        for (auto &writer : writers) {
            QVERIFY(writer->waitForFinished(120'000));
            QCOMPARE(writer->exitStatus(), QProcess::NormalExit);
            QCOMPARE(writer->exitCode(), 0);
        }
    } else {
        std::vector<std::unique_ptr<QThread>> writers;
        std::vector<int> results(prefixes.size(), -1);
        for (qsizetype i = 0; i < prefixes.size(); ++i) {
            writers.emplace_back(QThread::create([this, &results, i, prefix = prefixes[i]] {
                results[std::size_t(i)] = runWriter(m_userFile, prefix, valuesPerWriter);
            }));
            writers.back()->start();
        }
        for (auto &writer : writers)
            QVERIFY(writer->wait(120'000));
        QCOMPARE(results, std::vector<int>(prefixes.size(), 0));
    }

    const auto key = RegFileStore(m_userFile, m_machineFile).openKey(RegistryHive::CurrentUser, zandrelKey);
    QVERIFY(key);
    QCOMPARE(key->values().size(), std::size_t(prefixes.size() * valuesPerWriter));
    for (const QString &prefix : prefixes) {
        for (int i = 0; i < valuesPerWriter; ++i)
            QCOMPARE(key->readDword(prefix + QString::number(i)), std::optional<quint32>(quint32(i)));
    }
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

// The test binary doubles as a second writing process for the concurrency test.
int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 5 && qstrcmp(argv[1], writerArgument) == 0)
        return runWriter(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]),
                         QByteArray(argv[4]).toInt());
    TestRegistryStore test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_registrystore.moc"
