// Job file conversion over real registry files and the real stand-in converters: the records they
// get, every failure and its message, the grid file lines of the converted file.

#include "app/Format.h"
#include "app/StringTable.h"
#include "convert/ConvertFile.h"
#include "convert/ConverterHost.h"
#include "convert/ConverterMessages.h"
#include "convert/GridFileWarnings.h"
#include "settings/RegistryStore.h"
#include "support/ConverterFixture.h"
#include "support/ScriptedInteraction.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace zandrel;
using namespace convertertest;

namespace {

const QString folderToken =
    QStringLiteral("CONVERTERFOLDER"); // stands for the converters' folder in patterns
const QString suffix = QStringLiteral(" encountered during job file conversion");
const QString languageFile = QStringLiteral("/opt/Veltrix/Sprachen/Deutsch – Süd.lng");

QString literal(const QString &text)
{
    return QRegularExpression::escape(text);
}

// The fields of the trace comment that a converter writes when the Job file asks for it.
QMap<QString, QString> traceFields(const QString &convertedFile)
{
    QMap<QString, QString> fields;
    const QList<QByteArray> lines = readAll(convertedFile).split('\n');
    if (lines.size() < 2 || !lines[1].startsWith("<!--trace "))
        return fields;
    static const QRegularExpression field(QStringLiteral("([\\w.]+)=(\"[^\"]*\"|\\S+)"));
    for (const QRegularExpressionMatch &match : field.globalMatch(QString::fromUtf8(lines[1]))) {
        QString value = match.captured(2);
        if (value.startsWith(u'"'))
            value =
                QString::fromUtf8(QByteArray::fromPercentEncoding(value.mid(1, value.size() - 2).toUtf8()));
        fields.insert(match.captured(1), value);
    }
    return fields;
}

} // namespace

class ConvertJobFileTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_root;
    QString m_converters;
    QString m_geoData;
    QString m_output; // ends in "/"
    QString m_machineFile;
    QString m_log;
    QString m_job;

    QString path(const QString &name) const { return m_root->filePath(name); }

    // The registration variants the tables name.
    MachineRegistry registration(const QString &variant) const
    {
        MachineRegistry machine;
        const QString dir = m_converters + u'/';
        machine.converter(QStringLiteral("Ostrelle"), dir, {"11.00=vanhux1100.so"}, languageFile);
        machine.converter(QStringLiteral("Sarnetto"), dir, {"12.50=qelbor1250.so"}, languageFile);
        if (variant == QLatin1String("built") || variant == QLatin1String("no Share key"))
            machine.converter(QStringLiteral("Bramwick"), dir, {"13.00=mirk1300.so"}, languageFile);
        else if (variant == QLatin1String("Bramwick scan only"))
            machine.converter(QStringLiteral("Bramwick"), dir, {}, languageFile);
        else if (variant == QLatin1String("Bramwick version missing"))
            machine.converter(QStringLiteral("Bramwick"), dir, {"13.00=gone.so"}, languageFile);
        else if (variant == QLatin1String("Bramwick version unloadable"))
            machine.converter(QStringLiteral("Bramwick"), dir, {"14.00=mirk1300.so", "13.00=broken.so"},
                              languageFile);
        else if (variant == QLatin1String("Bramwick inspect only"))
            machine.converter(QStringLiteral("Bramwick"), dir, {"13.00=mirk-inspect-only.so"}, languageFile);
        else if (variant == QLatin1String("Sarnetto library as Bramwick"))
            machine.converter(QStringLiteral("Bramwick"), dir, {"12.50=qelbor1250.so"}, languageFile);
        if (variant != QLatin1String("no Share key"))
            machine.geoData(m_geoData);
        return machine;
    }

    bool convert(ScriptedInteraction &interaction, const MachineRegistry &machine, bool silent,
                 QString &convertedFile, QString &geoData)
    {
        if (!machine.write(m_machineFile))
            return false;
        const settings::RegFileStore store(path(QStringLiteral("user.reg")), m_machineFile);
        const ConverterHost host(hostProgram());
        const ConverterContext context{store, host, interaction};
        return ConvertJobFile(context, m_job, m_output, convertedFile, geoData, silent);
    }

    static QStringList outputFiles(const QString &folder)
    {
        return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    }

private Q_SLOTS:
    void init()
    {
        m_root = std::make_unique<QTemporaryDir>();
        QVERIFY(m_root->isValid());
        m_converters = path(QStringLiteral("Konverter Ä"));
        for (const char *library : {"vanhux1100.so", "qelbor1250.so", "mirk1300.so", "mirk-inspect-only.so"})
            QVERIFY(installConverter(QLatin1String(library), m_converters, QLatin1String(library)));
        m_geoData = path(QStringLiteral("Geo Daten"));
        m_output = path(QStringLiteral("private/"));
        QVERIFY(QDir().mkpath(m_geoData));
        QVERIFY(QDir().mkpath(m_output));
        QVERIFY(QDir().mkpath(path(QStringLiteral("Jobs 2024"))));
        m_machineFile = path(QStringLiteral("xdg/zandrel/machine.reg"));
        m_log = path(QStringLiteral("calls.log"));
        m_job = path(QStringLiteral("Jobs 2024/Lindenau Süd.job"));
        qputenv("ZJOB_CALL_LOG", QFile::encodeName(m_log));
    }

    void cleanupTestCase() { qunsetenv("ZJOB_CALL_LOG"); }

    void convertsEachProduct_data()
    {
        QTest::addColumn<QString>("product");
        QTest::addColumn<QString>("version");
        QTest::addColumn<QString>("jobName");
        QTest::addColumn<QString>("library");
        QTest::newRow("Ostrelle") << "ostrelle"
                                  << "1100"
                                  << "Lindenau Süd.job"
                                  << "vanhux1100.so";
        QTest::newRow("Sarnetto") << "sarnetto"
                                  << "1250"
                                  << "Lindenau Süd.job"
                                  << "qelbor1250.so";
        QTest::newRow("Bramwick") << "bramwick"
                                  << "1300"
                                  << "Lindenau Süd.job"
                                  << "mirk1300.so";
        QTest::newRow("extension in capitals") << "bramwick"
                                               << "1300"
                                               << "report.JOB"
                                               << "mirk1300.so";
        QTest::newRow("two dots") << "bramwick"
                                  << "1300"
                                  << "site v1.2.job"
                                  << "mirk1300.so";
    }
    void convertsEachProduct()
    {
        QFETCH(QString, product);
        QFETCH(QString, version);
        QFETCH(QString, jobName);
        QFETCH(QString, library);
        const QString dexmor = sourceFile(QStringLiteral("tests/data/pipeline/job.dxm"));
        m_job = path(QStringLiteral("Jobs 2024/") + jobName);
        QCOMPARE(writeJob(dexmor, m_job, {"--product", product, "--version", version}).exitCode, 0);

        ScriptedInteraction interaction;
        QString convertedFile;
        QString geoData;
        const qsizetype callsBefore = loggedCalls(m_log).size();
        QVERIFY(convert(interaction, registration(QStringLiteral("built")), false, convertedFile, geoData));
        QCOMPARE(convertedFile, m_output + QFileInfo(jobName).completeBaseName() + QStringLiteral(".dxm"));
        QCOMPARE(readAll(convertedFile), readAll(dexmor));
        QCOMPARE(outputFiles(m_output).size(), 1);
        QCOMPARE(geoData, m_geoData);
        QVERIFY(interaction.messages.isEmpty());
        // Every inspection and the conversion run as long work, each under the busy pointer.
        QCOMPARE(interaction.busyChanges, 2 * (loggedCalls(m_log).size() - callsBefore));
        QVERIFY(!interaction.busy);
        QCOMPARE(loggedCalls(m_log).last(), QStringLiteral("translate ") + library);
    }

    void records_data()
    {
        QTest::addColumn<QString>("product");
        QTest::addColumn<QString>("version");
        QTest::addColumn<QString>("variant");
        QTest::addColumn<QString>("geoData"); // the folder the registry names; empty: the test's own
        QTest::addColumn<int>("targetVersion");
        QTest::addColumn<bool>("geoDataPassed");
        QTest::newRow("Bramwick") << "bramwick"
                                  << "1300"
                                  << "built" << QString() << 1 << true;
        QTest::newRow("Sarnetto: 0xFE09") << "sarnetto"
                                          << "1250"
                                          << "built" << QString() << -503 << true;
        QTest::newRow("Ostrelle") << "ostrelle"
                                  << "1100"
                                  << "built" << QString() << 1 << true;
        QTest::newRow("GeoData path of 259 bytes") << "bramwick"
                                                   << "1300"
                                                   << "built" << QString(259, u'g') << 1 << true;
        QTest::newRow("GeoData path of 260 bytes is not cut") << "bramwick"
                                                              << "1300"
                                                              << "built" << QString(260, u'g') << 1 << false;
        QTest::newRow("no Share key: the caller's folder") << "bramwick"
                                                           << "1300"
                                                           << "no Share key" << QString() << 1 << true;
    }
    void records()
    {
        QFETCH(QString, product);
        QFETCH(QString, version);
        QFETCH(QString, variant);
        QFETCH(QString, geoData);
        QFETCH(int, targetVersion);
        QFETCH(bool, geoDataPassed);
        if (!geoData.isEmpty())
            m_geoData = u'/' + geoData.mid(1);
        QCOMPARE(writeJob(sourceFile(QStringLiteral("tests/data/pipeline/job.dxm")), m_job,
                          {"--product", product, "--version", version, "--trace"})
                     .exitCode,
                 0);
        ScriptedInteraction interaction;
        QString convertedFile;
        const QString callersFolder = QStringLiteral("/srv/geo-data");
        QString returnedGeoData = callersFolder;
        QVERIFY(convert(interaction, registration(variant), false, convertedFile, returnedGeoData));
        const QString expectedGeoData = variant == QLatin1String("no Share key") ? callersFolder : m_geoData;
        QCOMPARE(returnedGeoData, expectedGeoData);

        const QMap<QString, QString> fields = traceFields(convertedFile);
        QCOMPARE(fields.value("source.size"), QStringLiteral("298"));
        QCOMPARE(fields.value("source.format"), QStringLiteral("7"));
        QCOMPARE(fields.value("source.version"), version);
        QCOMPARE(fields.value("source.role"), QStringLiteral("1"));
        QCOMPARE(fields.value("source.zeroFields"), QStringLiteral("yes"));
        QCOMPARE(fields.value("source.path"), geoDataPassed ? expectedGeoData : QString());
        QCOMPARE(fields.value("target.size"), QStringLiteral("298"));
        QCOMPARE(fields.value("target.format"), QStringLiteral("29"));
        QCOMPARE(fields.value("target.version"), QString::number(targetVersion));
        QCOMPARE(fields.value("target.role"), QStringLiteral("2"));
        QCOMPARE(fields.value("target.zeroFields"), QStringLiteral("yes"));
        QCOMPARE(fields.value("target.path"), QString());
        QCOMPARE(fields.value("language"), languageFile);
        QCOMPARE(fields.value("reserved"), QStringLiteral("null"));
    }

    void failures_data()
    {
        QTest::addColumn<QStringList>("job");
        QTest::addColumn<int>("cut"); // bytes cut from the end of the Job file
        QTest::addColumn<QString>("variant");
        QTest::addColumn<bool>("silent");
        QTest::addColumn<QStringList>("messages"); // patterns
        QTest::addColumn<bool>("kindFound");       // the converted file's name is given back
        QTest::addColumn<bool>("translated");      // a converter was asked to convert
        const QStringList bramwick{"--product", "bramwick", "--version", "1300"};
        const QStringList ostrelleOld{"--product", "ostrelle", "--version", "1099"};
        const QString notFound = GetLocalizedString(StringId::ConverterNotFound);
        const QString fault =
            literal(QStringLiteral("The converter library ") + folderToken + "/mirk1300.so ") +
            QStringLiteral("(stopped unexpectedly \\(.+\\)|ended its process with exit status \\d+)") +
            literal(suffix);
        QTest::newRow("no kind accepts") << (bramwick + QStringList{"--inspect", "refuse"}) << 0 << "built"
                                         << false << QStringList() << false << false;
        QTest::newRow("Ostrelle below 1100, dialog")
            << ostrelleOld << 0 << "built" << false
            << QStringList{literal(GetLocalizedString(StringId::JobVersionNotConvertible))} << false << false;
        QTest::newRow("Ostrelle below 1100, silent")
            << ostrelleOld << 0 << "built" << true << QStringList() << false << false;
        QTest::newRow("found only by the scan, dialog: empty parentheses")
            << bramwick << 0 << "Bramwick scan only" << false
            << QStringList{literal(formatText(notFound, {QString()}))} << true << false;
        QTest::newRow("found only by the scan, silent")
            << bramwick << 0 << "Bramwick scan only" << true << QStringList() << true << false;
        QTest::newRow("registered library missing")
            << bramwick << 0 << "Bramwick version missing" << false
            << QStringList{literal(formatText(notFound, {folderToken + "/gone.so"}))} << true << false;
        QTest::newRow("registered library cannot be loaded")
            << bramwick << 0 << "Bramwick version unloadable" << false
            << QStringList{literal(formatText(notFound, {folderToken + "/broken.so"}))} << true << false;
        QTest::newRow("library without the conversion export")
            << bramwick << 0 << "Bramwick inspect only" << false << QStringList() << true << false;
        QTest::newRow("converter returns 0") << (bramwick + QStringList{"--translate", "fail"}) << 0
                                             << "built" << false << QStringList() << true << true;
        QTest::newRow("success without a file") << (bramwick + QStringList{"--translate", "claim"}) << 0
                                                << "built" << false << QStringList() << true << true;
        QTest::newRow("error raised, dialog")
            << (bramwick + QStringList{"--translate", "raise:Division durch Null"}) << 0 << "built" << false
            << QStringList{literal("Division durch Null" + suffix)} << true << true;
        QTest::newRow("error raised, silent")
            << (bramwick + QStringList{"--translate", "raise:Division durch Null"}) << 0 << "built" << true
            << QStringList{literal("Division durch Null" + suffix)} << true << true;
        // An escape sequence would clear the terminal and retitle it; a carriage return would
        // write over the message.
        QTest::newRow("error raised with escape sequences")
            << (bramwick + QStringList{"--translate", "raise:\x1b[2J\x1b]0;owned\x07" "Division\rdurch Null"})
            << 0 << "built" << true
            << QStringList{literal("[U+001B][2J[U+001B]]0;owned[U+0007]Division[U+000D]durch Null" + suffix)}
            << true << true;
        QTest::newRow("C++ exception thrown, dialog")
            << (bramwick + QStringList{"--translate", "throw:Gitterdatei beschädigt"}) << 0 << "built"
            << false << QStringList{literal("Gitterdatei beschädigt" + suffix)} << true << true;
        QTest::newRow("C++ exception thrown, silent")
            << (bramwick + QStringList{"--translate", "throw:Gitterdatei beschädigt"}) << 0 << "built" << true
            << QStringList{literal("Gitterdatei beschädigt" + suffix)} << true << true;
        QTest::newRow("fault, silent") << (bramwick + QStringList{"--translate", "crash"}) << 0 << "built"
                                       << true << QStringList{fault} << true << true;
        QTest::newRow("process ended by the converter")
            << (bramwick + QStringList{"--translate", "exit"}) << 0 << "built" << false
            << QStringList{literal(QStringLiteral("The converter library ") + folderToken +
                                   "/mirk1300.so ended its process with exit status 3" + suffix)}
            << true << true;
        QTest::newRow("Job file cut short")
            << bramwick << 40 << "built" << true
            << QStringList{QStringLiteral(".* is damaged: .*") + literal(suffix)} << true << true;
        QTest::newRow("Sarnetto converter called for Bramwick gets target version 1")
            << QStringList{"--product", "sarnetto", "--version", "1250", "--inspect", "any"} << 0
            << "Sarnetto library as Bramwick" << true
            << QStringList{literal("Unsupported conversion request (target format 29, version 1)" + suffix)}
            << true << true;
    }
    void failures()
    {
        QFETCH(QStringList, job);
        QFETCH(int, cut);
        QFETCH(QString, variant);
        QFETCH(bool, silent);
        QFETCH(QStringList, messages);
        QFETCH(bool, kindFound);
        QFETCH(bool, translated);
        QCOMPARE(writeJob(sourceFile(QStringLiteral("tests/data/pipeline/job.dxm")), m_job, job).exitCode, 0);
        if (cut > 0)
            QVERIFY(QFile::resize(m_job, QFileInfo(m_job).size() - cut));

        QVERIFY(writeFile(m_converters + QStringLiteral("/broken.so"), "no library\n"));
        ScriptedInteraction interaction;
        QString convertedFile;
        QString geoData;
        QVERIFY(!convert(interaction, registration(variant), silent, convertedFile, geoData));
        QCOMPARE(convertedFile.isEmpty(), !kindFound);
        QCOMPARE(outputFiles(m_output), QStringList());
        QVERIFY(!interaction.busy);
        QCOMPARE(interaction.messages.size(), messages.size());
        for (qsizetype i = 0; i < messages.size(); ++i) {
            QCOMPARE(interaction.messages[i].kind, MessageKind::Error);
            const QRegularExpression pattern(QRegularExpression::anchoredPattern(
                QString(messages[i]).replace(folderToken, literal(m_converters))));
            QVERIFY2(pattern.match(interaction.messages[i].text).hasMatch(),
                     qPrintable(interaction.messages[i].text));
        }
        QCOMPARE(loggedCalls(m_log).filter(QStringLiteral("translate")).size(), translated ? 1 : 0);
    }

    void readConverterSettings_data()
    {
        QTest::addColumn<bool>("converterKey");
        QTest::addColumn<bool>("shareKey");
        QTest::addColumn<bool>("result");
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("geoData");
        QTest::newRow("both keys") << true << true << true << languageFile << "/opt/GeoData";
        QTest::newRow("no Share key: GeoData kept") << true << false << true << languageFile << "/caller";
        QTest::newRow("no converter key") << false << true << false << QString() << "/caller";
    }
    void readConverterSettings()
    {
        QFETCH(bool, converterKey);
        QFETCH(bool, shareKey);
        QFETCH(bool, result);
        QFETCH(QString, language);
        QFETCH(QString, geoData);
        MachineRegistry machine;
        if (converterKey)
            machine.converter(QStringLiteral("Sarnetto"), m_converters, {}, languageFile);
        if (shareKey)
            machine.geoData(QStringLiteral("/opt/GeoData"));
        QVERIFY(machine.write(m_machineFile));
        const settings::RegFileStore store(path(QStringLiteral("user.reg")), m_machineFile);
        const ConverterHost host(hostProgram());
        ScriptedInteraction interaction;
        const ConverterContext context{store, host, interaction};
        QString readLanguage;
        QString readGeoData = QStringLiteral("/caller");
        QCOMPARE(ReadConverterSettings(context, ConverterKeyPath(ConverterKind::Sarnetto), readLanguage,
                                       readGeoData),
                 result);
        QCOMPARE(readLanguage, language);
        QCOMPARE(readGeoData, geoData);
    }

    void fileOfTheConvertedNameAlreadyThere()
    {
        QCOMPARE(writeJob(sourceFile(QStringLiteral("tests/data/pipeline/job.dxm")), m_job,
                          {"--product", "bramwick", "--version", "1300", "--translate", "claim"})
                     .exitCode,
                 0);
        QVERIFY(writeFile(m_output + QStringLiteral("Lindenau Süd.dxm"), "<old/>"));
        ScriptedInteraction interaction;
        QString convertedFile;
        QString geoData;
        // A converter claiming success must not make an older file pass for its output.
        QVERIFY(!convert(interaction, registration(QStringLiteral("built")), false, convertedFile, geoData));
        QCOMPARE(readAll(m_output + QStringLiteral("Lindenau Süd.dxm")), QByteArray("<old/>"));
        QCOMPARE(loggedCalls(m_log).filter(QStringLiteral("translate")), QStringList());
    }

    void registryValueOfAnotherType_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::newRow("Language File") << "SOFTWARE\\Veltrix\\Haldex\\Device Drivers\\Bramwick\\Converter"
                                       << "Language File";
        QTest::newRow("CurrentGeoDataDirectory") << "SOFTWARE\\Veltrix\\Share"
                                                 << "CurrentGeoDataDirectory";
    }
    void registryValueOfAnotherType()
    {
        QFETCH(QString, key);
        QFETCH(QString, value);
        QCOMPARE(writeJob(sourceFile(QStringLiteral("tests/data/pipeline/job.dxm")), m_job,
                          {"--product", "bramwick", "--version", "1300"})
                     .exitCode,
                 0);
        MachineRegistry machine;
        machine.converter(QStringLiteral("Bramwick"), m_converters + u'/', {"13.00=mirk1300.so"});
        machine.key(key).dword(value, 7);
        ScriptedInteraction interaction;
        QString convertedFile;
        QString geoData;
        QVERIFY_THROWS_EXCEPTION(RegistryTypeError,
                                 convert(interaction, machine, false, convertedFile, geoData));
    }

    void gridFileWarningLines_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QList<qsizetype>>("lines");
        const QByteArray error = "  <Reductions error=\"grid file not found\" grid=\"GCG2016.gri\"/>";
        QTest::newRow("none") << QByteArray("<DexmorJob>\n  <Reductions>\n  </Reductions>\n</DexmorJob>\n")
                              << QList<qsizetype>{};
        QTest::newRow("one") << "<DexmorJob>\n" + error + "\n</DexmorJob>\n" << QList<qsizetype>{2};
        QTest::newRow("two lines, two warnings")
            << "<DexmorJob>\n" + error + '\n' + error + "\n</DexmorJob>\n"
            << QList<qsizetype>{2, 3};
        QTest::newRow("two on one line, one warning")
            << "<a>" + error + error + "</a>" << QList<qsizetype>{1};
        QTest::newRow("any letter case")
            << QByteArray("x\n<REDUCTIONS Error=\"1\"/>\n<reductions ERROR='2'/>") << QList<qsizetype>{2, 3};
        QTest::newRow("other spacing is no match")
            << QByteArray("<Reductions  error=\"x\"/>\n<Reductions>\n<Reductions error =\"x\"/>\n")
            << QList<qsizetype>{};
        QTest::newRow("CR LF") << "a\r\n" + error + "\r\nb\r\n" << QList<qsizetype>{2};
        QTest::newRow("CR alone") << "a\r\r" + error + "\rb" << QList<qsizetype>{3};
        QTest::newRow("last line without an end") << "a\n" + error << QList<qsizetype>{2};
        QTest::newRow("UTF-8 mark") << "\xEF\xBB\xBF" + error << QList<qsizetype>{1};
        QByteArray utf16le("\xFF\xFE", 2);
        QByteArray utf16be("\xFE\xFF", 2);
        for (const QChar c : QString::fromUtf8("ä\n" + error + "\n")) {
            utf16le.append(char(c.unicode() & 0xFF)).append(char(c.unicode() >> 8));
            utf16be.append(char(c.unicode() >> 8)).append(char(c.unicode() & 0xFF));
        }
        QTest::newRow("UTF-16 LE mark") << utf16le << QList<qsizetype>{2};
        QTest::newRow("UTF-16 BE mark") << utf16be << QList<qsizetype>{2};
        QTest::newRow("UTF-16 without a mark is 8-bit text") << utf16le.mid(2) << QList<qsizetype>{};
        QTest::newRow("8-bit text that is no UTF-8") << "Stra\xDF"
                                                        "e\n" +
                                                            error
                                                     << QList<qsizetype>{2};
        QTest::newRow("across the reading pieces")
            << QByteArray((1 << 20) - 7, 'x') + error + "\n" + QByteArray((1 << 20), 'y') + "\n" + error
            << QList<qsizetype>{1, 3};
        QTest::newRow("empty file") << QByteArray() << QList<qsizetype>{};
    }
    void gridFileWarningLines()
    {
        QFETCH(QByteArray, content);
        QFETCH(QList<qsizetype>, lines);
        const QString file = path(QStringLiteral("converted.dxm"));
        QVERIFY(writeFile(file, content));
        QCOMPARE(GridFileWarningLines(file), lines);
    }

    void gridFileWarningLinesOfAMissingFile()
    {
        QCOMPARE(GridFileWarningLines(path(QStringLiteral("no such file.dxm"))), QList<qsizetype>{});
    }

    void gridFilesFromTheConverter_data()
    {
        QTest::addColumn<QStringList>("needed");
        QTest::addColumn<QStringList>("present"); // in the GeoData folder
        QTest::addColumn<bool>("longGeoDataPath");
        QTest::addColumn<int>("warnings");
        const QStringList two{"GCG2016.gri", "BeTA2007.gsb"};
        QTest::newRow("two missing") << two << QStringList() << false << 2;
        QTest::newRow("one of two there") << two << QStringList{"BeTA2007.gsb"} << false << 1;
        QTest::newRow("both there") << two << two << false << 0;
        QTest::newRow("GeoData path too long to pass") << two << two << true << 2;
    }
    void gridFilesFromTheConverter()
    {
        QFETCH(QStringList, needed);
        QFETCH(QStringList, present);
        QFETCH(bool, longGeoDataPath);
        QFETCH(int, warnings);
        if (longGeoDataPath) {
            m_geoData = path(QString(250, u'G'));
            QVERIFY(QDir().mkpath(m_geoData));
        }
        for (const QString &name : present)
            QVERIFY(writeFile(m_geoData + u'/' + name, "grid"));
        QStringList options{"--product", "bramwick", "--version", "1300"};
        for (const QString &name : needed)
            options << "--grid-file" << name;
        QCOMPARE(writeJob(sourceFile(QStringLiteral("tests/data/pipeline/job.dxm")), m_job, options).exitCode,
                 0);
        ScriptedInteraction interaction;
        QString convertedFile;
        QString geoData;
        QVERIFY(convert(interaction, registration(QStringLiteral("built")), false, convertedFile, geoData));
        QCOMPARE(GridFileWarningLines(convertedFile).size(), warnings);

        ShowGridFileWarnings(interaction, convertedFile, geoData);
        QCOMPARE(interaction.messages.size(), warnings);
        for (const ScriptedInteraction::Message &message : interaction.messages) {
            QCOMPARE(message.kind, MessageKind::Warning);
            QCOMPARE(message.text, formatText(GetLocalizedString(StringId::GridFileMissing), {m_geoData}) +
                                       QStringLiteral("\r\n") + GetLocalizedString(StringId::GridFileNeeded) +
                                       QStringLiteral("\r\n") +
                                       GetLocalizedString(StringId::NoGridCoordinates));
        }
    }
};

QTEST_GUILESS_MAIN(ConvertJobFileTest)
#include "tst_convertjobfile.moc"
