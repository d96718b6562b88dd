// Tests of writing the registry stand-in's user file: only named values change, the file is
// replaced whole or not at all, and writers in other processes keep each other's values.

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

namespace {

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

} // namespace

class TestRegistryWrites : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();

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

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_userFile;
    QString m_machineFile;
};

void TestRegistryWrites::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_userFile = m_dir->filePath(QStringLiteral("config/zandrel/user.reg"));
    m_machineFile = m_dir->filePath(QStringLiteral("xdg/zandrel/machine.reg"));
}

void TestRegistryWrites::writeChangesOnlyNamedValues_data()
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

void TestRegistryWrites::writeChangesOnlyNamedValues()
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

void TestRegistryWrites::writeCreatesFolderAndFile()
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

void TestRegistryWrites::writeKeepsLinkAndPermissions_data()
{
    QTest::addColumn<bool>("throughLink");
    QTest::newRow("private file") << false;
    QTest::newRow("file behind a symbolic link") << true;
}

void TestRegistryWrites::writeKeepsLinkAndPermissions()
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

void TestRegistryWrites::writeTakesOverLockOfEndedWriter()
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

void TestRegistryWrites::writeFailsAndKeepsOldFile_data()
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

void TestRegistryWrites::writeFailsAndKeepsOldFile()
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

void TestRegistryWrites::valuesRoundTrip_data()
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

void TestRegistryWrites::valuesRoundTrip()
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

void TestRegistryWrites::separateStoresKeepEachOthersValues()
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

void TestRegistryWrites::concurrentWritersKeepAllValues_data()
{
    QTest::addColumn<bool>("separateProcesses");
    QTest::newRow("threads with their own stores") << false;
    QTest::newRow("processes") << true;
}

void TestRegistryWrites::concurrentWritersKeepAllValues()
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

// The test binary doubles as a second writing process for the concurrency test.
int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 5 && qstrcmp(argv[1], writerArgument) == 0)
        return runWriter(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]),
                         QByteArray(argv[4]).toInt());
    TestRegistryWrites test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_registrywrites.moc"
