// Converter discovery over real registry files, real folders and the real stand-in converters,
// called through the real converter host.

#include "app/Format.h"
#include "app/StringTable.h"
#include "base/GenerationError.h"
#include "convert/ConverterDiscovery.h"
#include "convert/ConverterHost.h"
#include "convert/ConverterMessages.h"
#include "settings/RegistryStore.h"
#include "support/ConverterFixture.h"
#include "support/Sanitizers.h"
#include "support/ScriptedInteraction.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <memory>

using namespace zandrel;
using namespace convertertest;

namespace {

const QString placeholder = QStringLiteral("@DIR@");
const QString patternPlaceholder = QStringLiteral("CONVERTERFOLDER"); // survives escaping
const QString relativePlaceholder = QStringLiteral("@REL@");          // the folder without its leading "/"

QString literal(const QString &text)
{
    return QRegularExpression::escape(text);
}

} // namespace

class ConverterDiscoveryTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_root;
    QString m_folder; // the converters' folder, with a blank and a non-ASCII letter in its path
    QString m_machineFile;
    QString m_log;
    QString m_job;

    // Writes the registry with the folder in place of @DIR@ and gives a store over it.
    settings::RegFileStore registry(const QByteArray &text)
    {
        QByteArray bytes = text;
        bytes.replace(placeholder.toUtf8(), QFile::encodeName(m_folder));
        bytes.replace(relativePlaceholder.toUtf8(), QFile::encodeName(m_folder.mid(1)));
        writeFile(m_machineFile, bytes);
        return settings::RegFileStore(m_root->filePath(QStringLiteral("user.reg")), m_machineFile);
    }

    QString withFolder(QString text) const { return text.replace(placeholder, m_folder); }

private Q_SLOTS:
    void init()
    {
        m_root = std::make_unique<QTemporaryDir>();
        QVERIFY(m_root->isValid());
        m_folder = m_root->filePath(QStringLiteral("Konverter Ä"));
        QVERIFY(QDir().mkpath(m_folder));
        m_machineFile = m_root->filePath(QStringLiteral("xdg/zandrel/machine.reg"));
        m_log = m_root->filePath(QStringLiteral("calls.log"));
        m_job = m_root->filePath(QStringLiteral("Jobs 2024/Lindenau Süd.job"));
        QVERIFY(QDir().mkpath(QFileInfo(m_job).absolutePath()));
        qputenv("ZJOB_CALL_LOG", QFile::encodeName(m_log));
    }

    void cleanupTestCase() { qunsetenv("ZJOB_CALL_LOG"); }

    void versionText_data()
    {
        QTest::addColumn<int>("version");
        QTest::addColumn<QString>("text");
        QTest::newRow("1100") << 1100 << "11.00";
        QTest::newRow("950") << 950 << "9.50";
        QTest::newRow("100") << 100 << "1.00";
        QTest::newRow("50") << 50 << ".50";
        QTest::newRow("5") << 5 << ".5";
        QTest::newRow("0") << 0 << ".0";
        QTest::newRow("largest") << 32767 << "327.67";
        QTest::newRow("Sarnetto target, signed") << -503 << "-5.03";
        QTest::newRow("-50") << -50 << "-.50";
        QTest::newRow("-5") << -5 << ".-5";
        QTest::newRow("smallest") << -32768 << "-327.68";
    }
    void versionText()
    {
        QFETCH(int, version);
        QFETCH(QString, text);
        QCOMPARE(VersionText(qint16(version)), text);
    }

    void localeNumbers_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("separator");
        QTest::addColumn<double>("expected"); // NaN: not a number
        const double none = std::nan("");
        QTest::newRow("point") << "11.00"
                               << "." << 11.0;
        QTest::newRow("point under comma locale") << "11.00"
                                                  << "," << none;
        QTest::newRow("comma under comma locale") << "11,00"
                                                  << "," << 11.0;
        QTest::newRow("comma under point locale") << "11,00"
                                                  << "." << none;
        QTest::newRow("fraction") << "10.50"
                                  << "." << 10.5;
        QTest::newRow("whole number") << "11"
                                      << "." << 11.0;
        QTest::newRow("trailing separator") << "11."
                                            << "." << 11.0;
        QTest::newRow("leading separator") << ".5"
                                           << "." << 0.5;
        QTest::newRow("sign") << "-1.5"
                              << "." << -1.5;
        QTest::newRow("plus sign") << "+2"
                                   << "." << 2.0;
        QTest::newRow("exponent") << "1.1e3"
                                  << "." << 1100.0;
        QTest::newRow("blanks around") << " 12.5 "
                                       << "." << 12.5;
        QTest::newRow("letters") << "abc"
                                 << "." << none;
        QTest::newRow("empty") << ""
                               << "." << none;
        QTest::newRow("separator alone") << "."
                                         << "." << none;
        QTest::newRow("two separators") << "1.2.3"
                                        << "." << none;
        QTest::newRow("thousands separator") << "1,100.5"
                                             << "." << none;
        QTest::newRow("exponent without digits") << "1e"
                                                 << "." << none;
        QTest::newRow("overflow") << "1e999"
                                  << "." << none;
    }
    void localeNumbers()
    {
        QFETCH(QString, text);
        QFETCH(QString, separator);
        QFETCH(double, expected);
        const std::optional<double> number = parseLocaleNumber(text, separator.front());
        if (std::isnan(expected))
            QVERIFY2(!number, qPrintable(QString::number(number.value_or(0))));
        else
            QCOMPARE(number.value_or(std::nan("")), expected);
    }

    void decimalIntegers_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<int>("expected");
        QTest::newRow("12") << "12" << true << 12;
        QTest::newRow("leading zero") << "07" << true << 7;
        QTest::newRow("negative") << "-3" << true << -3;
        QTest::newRow("plus") << "+4" << true << 4;
        QTest::newRow("empty") << "" << false << 0;
        QTest::newRow("sign alone") << "-" << false << 0;
        QTest::newRow("letters after") << "1a" << false << 0;
        QTest::newRow("blank before") << " 1" << false << 0;
        QTest::newRow("beyond 32 bits") << "99999999999" << false << 0;
    }
    void decimalIntegers()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(int, expected);
        const std::optional<int> number = parseDecimalInteger(text);
        QCOMPARE(number.has_value(), valid);
        if (valid)
            QCOMPARE(*number, expected);
    }

    void findConverterLibrary_data()
    {
        QTest::addColumn<QByteArray>("machine");
        QTest::addColumn<QStringList>("files"); // in the folder; a name ending in "/" is a folder
        QTest::addColumn<QString>("separator");
        QTest::addColumn<QString>("expected");
        const QString sarnetto = QStringLiteral("Sarnetto");
        const QString dir = placeholder + u'/';
        auto versions = [&](const QStringList &entries, const QString &directory = placeholder + u'/') {
            return MachineRegistry().converter(sarnetto, directory, entries).bytes();
        };
        const QStringList numbered{"qelbor1050.so", "qelbor1100.so"};

        QTest::newRow("highest Versions entry")
            << versions({"10.50=qelbor1050.so", "11.00=qelbor1100.so", "abc=qelborabc.so"}) << numbered << "."
            << dir + "qelbor1100.so";
        QTest::newRow("highest listed first") << versions({"11.00=qelbor1100.so", "10.50=qelbor1050.so"})
                                              << numbered << "." << dir + "qelbor1100.so";
        QTest::newRow("equal numbers: first listed wins")
            << versions({"11.00=qelbor1100.so", "11.0=qelbor1050.so"}) << numbered << "."
            << dir + "qelbor1100.so";
        QTest::newRow("a lower entry of another type is never read")
            << MachineRegistry()
                   .converter(sarnetto, dir, {"11.00=qelbor1100.so"})
                   .dword(QStringLiteral("9.00"), 1)
                   .bytes()
            << numbered << "." << dir + "qelbor1100.so";
        QTest::newRow("Directory gets its separator")
            << versions({"11.00=qelbor1100.so"}, placeholder) << numbered << "." << dir + "qelbor1100.so";
        QTest::newRow("no Directory: the root folder")
            << versions({"11.00=" + relativePlaceholder + "/qelbor1100.so"}, QString()) << numbered << "."
            << dir + "qelbor1100.so";
        QTest::newRow("newest missing: the scan chooses")
            << versions({"11.00=qelbor1100.so"}) << QStringList{"qelbor.so", "qelbor2.so"} << "."
            << dir + "qelbor2.so";
        QTest::newRow("newest missing, only the bare base name: path kept")
            << versions({"11.00=qelbor1100.so"}) << QStringList{"qelbor.so"} << "." << dir + "qelbor1100.so";
        QTest::newRow("scan: 12 over 9")
            << versions({}) << QStringList{"qelbor9.so", "qelbor12.so"} << "." << dir + "qelbor12.so";
        QTest::newRow("scan: 07 kept as written")
            << versions({}) << QStringList{"qelbor5.so", "qelbor07.so"} << "." << dir + "qelbor07.so";
        QTest::newRow("scan: folders count")
            << versions({}) << QStringList{"qelbor3.so", "qelbor20.so/"} << "." << dir + "qelbor20.so";
        QTest::newRow("scan: text before the first dot")
            << versions({}) << QStringList{"qelbor12.bak.so"} << "." << dir + "qelbor12.so";
        QTest::newRow("scan: no numbers, negatives and other bases passed over")
            << versions({})
            << QStringList{"qelborx.so", "qelbor-3.so", "mirk50.so", "xqelbor70.so", "qelbor8.dll"} << "."
            << QString();
        QTest::newRow("comma locale: Versions names are no numbers, the scan decides")
            << versions({"11.00=registered.so"}) << QStringList{"registered.so", "qelbor3.so"} << ","
            << dir + "qelbor3.so";
        QTest::newRow("point locale: the same registry")
            << versions({"11.00=registered.so"}) << QStringList{"registered.so", "qelbor3.so"} << "."
            << dir + "registered.so";
        QTest::newRow("comma locale reads 11,00")
            << versions({"11,00=registered.so"}) << QStringList{"registered.so", "qelbor3.so"} << ","
            << dir + "registered.so";
        QTest::newRow("no converter key")
            << MachineRegistry().bytes() << QStringList{"qelbor3.so"} << "." << QString();
        QTest::newRow("no Versions key") << MachineRegistry()
                                                .key(QStringLiteral("SOFTWARE\\Veltrix\\Haldex\\Device "
                                                                    "Drivers\\Sarnetto\\Converter"))
                                                .value(QStringLiteral("Directory"), dir)
                                                .bytes()
                                         << QStringList{"qelbor4.so"} << "." << dir + "qelbor4.so";
    }
    void findConverterLibrary()
    {
        QFETCH(QByteArray, machine);
        QFETCH(QStringList, files);
        QFETCH(QString, separator);
        QFETCH(QString, expected);
        for (const QString &name : files) {
            const QString path = m_folder + u'/' + name;
            QVERIFY(name.endsWith(u'/') ? QDir().mkpath(path) : writeFile(path, "library"));
        }
        const settings::RegFileStore store = registry(machine);
        const ConverterHost host(hostProgram());
        ScriptedInteraction interaction;
        const ConverterContext context{store, host, interaction, separator.front()};
        QCOMPARE(FindConverterLibrary(context, ConverterKind::Sarnetto), withFolder(expected));
        QVERIFY(interaction.messages.isEmpty());
    }

    void registryValueOfAnotherType_data()
    {
        QTest::addColumn<QByteArray>("machine");
        const QString key = QStringLiteral("SOFTWARE\\Veltrix\\Haldex\\Device Drivers\\Bramwick\\Converter");
        QTest::newRow("Directory")
            << MachineRegistry().key(key).dword(QStringLiteral("Directory"), 1).bytes();
        QTest::newRow("the highest Versions entry")
            << MachineRegistry()
                   .converter(QStringLiteral("Bramwick"), placeholder, {QStringLiteral("9.00=mirk900.so")})
                   .dword(QStringLiteral("11.00"), 1100)
                   .bytes();
    }
    void registryValueOfAnotherType()
    {
        QFETCH(QByteArray, machine);
        const settings::RegFileStore store = registry(machine);
        const ConverterHost host(hostProgram());
        ScriptedInteraction interaction;
        const ConverterContext context{store, host, interaction};
        QVERIFY_THROWS_EXCEPTION(RegistryTypeError, FindConverterLibrary(context, ConverterKind::Bramwick));
    }

    void findVersionLibrary_data()
    {
        QTest::addColumn<int>("version");
        QTest::addColumn<QString>("expected");
        QTest::newRow("1100 finds 11.00") << 1100 << "a.so";
        QTest::newRow("950") << 950 << "d.so";
        QTest::newRow("50") << 50 << "e.so";
        QTest::newRow("0 finds .0") << 0 << "f.so";
        QTest::newRow("negative") << -503 << "g.so";
        QTest::newRow("no entry, no scan") << 1200 << QString();
    }
    void findVersionLibrary()
    {
        QFETCH(int, version);
        QFETCH(QString, expected);
        QVERIFY(writeFile(m_folder + QStringLiteral("/qelbor1200.so"), "library")); // never scanned for
        const settings::RegFileStore store =
            registry(MachineRegistry()
                         .converter(QStringLiteral("Sarnetto"), placeholder,
                                    {"11.0=b.so", "11=c.so", "11.00=a.so", "9.50=d.so", ".50=e.so", ".0=f.so",
                                     "-5.03=g.so"})
                         .bytes());
        const ConverterHost host(hostProgram());
        ScriptedInteraction interaction;
        const ConverterContext context{store, host, interaction};
        QCOMPARE(FindVersionLibrary(context, ConverterKind::Sarnetto, qint16(version)),
                 expected.isEmpty() ? QString() : m_folder + u'/' + expected);
    }

    void findVersionLibraryWithoutKeys()
    {
        const settings::RegFileStore store = registry(
            MachineRegistry()
                .converter(QStringLiteral("Sarnetto"), placeholder, {"11.0=b.so", "11=c.so"})
                .key(QStringLiteral("SOFTWARE\\Veltrix\\Haldex\\Device Drivers\\Bramwick\\Converter"))
                .value(QStringLiteral("Directory"), placeholder)
                .bytes());
        const ConverterHost host(hostProgram());
        ScriptedInteraction interaction;
        const ConverterContext context{store, host, interaction};
        QCOMPARE(FindVersionLibrary(context, ConverterKind::Sarnetto, 1100), QString()); // not 11.0, not 11
        QCOMPARE(FindVersionLibrary(context, ConverterKind::Bramwick, 1100), QString()); // no Versions key
        QCOMPARE(FindVersionLibrary(context, ConverterKind::Ostrelle, 1100), QString()); // no converter key
        QCOMPARE(FindVersionLibrary(context, 3, 1100), QString());                       // no such kind
    }

    void findJobConverter_data()
    {
        QTest::addColumn<QStringList>("job"); // options of zandrel-jobwrite
        QTest::addColumn<QString>("registration");
        QTest::addColumn<bool>("silent");
        QTest::addColumn<bool>("found");
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("version");
        QTest::addColumn<QStringList>("messages"); // patterns; CONVERTERFOLDER for the converters' folder
        QTest::addColumn<QStringList>("calls");
        const QStringList bramwick{"--product", "bramwick", "--version", "1300"};
        const QStringList sarnetto{"--product", "sarnetto", "--version", "1250"};
        const QStringList ostrelle{"--product", "ostrelle", "--version", "1100"};
        const QStringList ostrelleOld{"--product", "ostrelle", "--version", "1099"};
        const QString askM = QStringLiteral("inspect mirk1300.so");
        const QString askQ = QStringLiteral("inspect qelbor1250.so");
        const QString askV = QStringLiteral("inspect vanhux1100.so");
        const QString oldVersion = literal(GetLocalizedString(StringId::JobVersionNotConvertible));

        QTest::newRow("Bramwick") << bramwick << "built" << false << true << 2 << 1300 << QStringList()
                                  << QStringList{askM};
        QTest::newRow("Sarnetto") << sarnetto << "built" << false << true << 1 << 1250 << QStringList()
                                  << QStringList{askM, askQ};
        QTest::newRow("Ostrelle 1100") << ostrelle << "built" << false << true << 0 << 1100 << QStringList()
                                       << QStringList{askM, askQ, askV};
        QTest::newRow("Ostrelle 1099, dialog") << ostrelleOld << "built" << false << false << 0 << 1099
                                               << QStringList{oldVersion} << QStringList{askM, askQ, askV};
        QTest::newRow("Ostrelle 1099, silent") << ostrelleOld << "built" << true << false << 0 << 1099
                                               << QStringList() << QStringList{askM, askQ, askV};
        QTest::newRow("accepted by Bramwick and Sarnetto: Bramwick, Sarnetto never asked")
            << (sarnetto + QStringList{"--inspect", "any"}) << "built" << false << true << 2 << 1250
            << QStringList() << QStringList{askM};
        QTest::newRow("refused by all") << (bramwick + QStringList{"--inspect", "refuse"}) << "built" << false
                                        << false << 0 << 0 << QStringList() << QStringList{askM, askQ, askV};
        QTest::newRow("result 0 with version 1200 accepts")
            << (bramwick + QStringList{"--inspect", "answer:0:1200"}) << "built" << false << true << 2 << 1200
            << QStringList() << QStringList{askM};
        QTest::newRow("result 1 with version 0 accepts with 0")
            << (bramwick + QStringList{"--inspect", "answer:1:0"}) << "built" << false << true << 2 << 0
            << QStringList() << QStringList{askM};
        QTest::newRow("negative version is not stored")
            << (bramwick + QStringList{"--inspect", "answer:5:-7"}) << "built" << false << true << 2 << 0
            << QStringList() << QStringList{askM};
        QTest::newRow("result 0 with a negative version refuses")
            << (bramwick + QStringList{"--inspect", "answer:0:-7"}) << "built" << false << false << 0 << 0
            << QStringList() << QStringList{askM, askQ, askV};
        QTest::newRow("no Bramwick key")
            << sarnetto << "no Bramwick" << false << true << 1 << 1250 << QStringList() << QStringList{askQ};
        QTest::newRow("Bramwick library without the export: passed over")
            << sarnetto << "Bramwick without exports" << false << true << 1 << 1250 << QStringList()
            << QStringList{askQ};
        QTest::newRow("Bramwick library that is no library: passed over")
            << sarnetto << "Bramwick not a library" << false << true << 1 << 1250 << QStringList()
            << QStringList{askQ};
        QTest::newRow("Bramwick library that cannot convert still inspects")
            << bramwick << "Bramwick inspect only" << false << true << 2 << 1300 << QStringList()
            << QStringList{"inspect mirk-inspect-only.so"};
    }
    void findJobConverter()
    {
        QFETCH(QStringList, job);
        QFETCH(QString, registration);
        QFETCH(bool, silent);
        QFETCH(bool, found);
        QFETCH(int, kind);
        QFETCH(int, version);
        QFETCH(QStringList, messages);
        QFETCH(QStringList, calls);

        QCOMPARE(writeJob(sourceFile(QStringLiteral("tests/data/pipeline/job.dxm")), m_job, job).exitCode, 0);
        for (const char *library : {"vanhux1100.so", "qelbor1250.so", "mirk1300.so", "mirk-inspect-only.so"})
            QVERIFY(installConverter(QLatin1String(library), m_folder, QLatin1String(library)));
        MachineRegistry machine;
        const QString dir = placeholder + u'/';
        machine.converter(QStringLiteral("Ostrelle"), dir, {"11.00=vanhux1100.so"});
        machine.converter(QStringLiteral("Sarnetto"), dir, {"12.50=qelbor1250.so"});
        if (registration == QLatin1String("built"))
            machine.converter(QStringLiteral("Bramwick"), dir, {"13.00=mirk1300.so"});
        else if (registration == QLatin1String("Bramwick without exports"))
            machine.converter(QStringLiteral("Bramwick"), dir, {"13.00=libzjobformat.so"});
        else if (registration == QLatin1String("Bramwick inspect only"))
            machine.converter(QStringLiteral("Bramwick"), dir, {"13.00=mirk-inspect-only.so"});
        else if (registration == QLatin1String("Bramwick not a library"))
            machine.converter(QStringLiteral("Bramwick"), m_root->filePath(QStringLiteral("fake")),
                              {"13.00=mirk1300.so"});
        QVERIFY(writeFile(m_root->filePath(QStringLiteral("fake/mirk1300.so")), "not a library\n"));

        const settings::RegFileStore store = registry(machine.bytes());
        const ConverterHost host(hostProgram());
        ScriptedInteraction interaction;
        const ConverterContext context{store, host, interaction};
        qint16 foundVersion = -1;
        unsigned foundKind = 99;
        QCOMPARE(FindJobConverter(context, m_job, silent, foundVersion, foundKind), found);
        if (found || !messages.isEmpty())
            QCOMPARE(int(foundVersion), version);
        if (found)
            QCOMPARE(int(foundKind), kind);
        else if (messages.isEmpty())
            QCOMPARE(int(foundKind), 0);
        QCOMPARE(interaction.messages.size(), messages.size());
        for (qsizetype i = 0; i < messages.size(); ++i) {
            QCOMPARE(interaction.messages[i].kind, MessageKind::Error);
            const QRegularExpression pattern(QRegularExpression::anchoredPattern(
                QString(messages[i]).replace(patternPlaceholder, literal(m_folder))));
            QVERIFY2(pattern.match(interaction.messages[i].text).hasMatch(),
                     qPrintable(interaction.messages[i].text));
        }
        QCOMPARE(loggedCalls(m_log), calls);
    }

    // An error that a converter raises while it inspects is not caught by the search: the
    // generation's general handler reports it, with the converter's own text.
    void errorsWhileInspectingAreNotCaught_data()
    {
        QTest::addColumn<QString>("inspect");
        QTest::addColumn<QString>("text"); // a pattern; CONVERTERFOLDER for the converters' folder
        QTest::newRow("error raised")
            << "raise:Prüfsumme falsch" << literal(QStringLiteral("Prüfsumme falsch"));
        QTest::newRow("C++ exception")
            << "throw:Prüfsumme falsch" << literal(QStringLiteral("Prüfsumme falsch"));
        // The address sanitizer's own handler turns a fault into exit status 1.
        QTest::newRow("fault")
            << "crash"
            << literal(QStringLiteral("The converter library CONVERTERFOLDER/mirk1300.so ")) +
                   (builtWithAddressSanitizer()
                        ? QStringLiteral("(stopped unexpectedly \\(.+\\)|ended its process "
                                         "with exit status 1)")
                        : QStringLiteral("stopped unexpectedly \\(.+\\)"));
    }
    void errorsWhileInspectingAreNotCaught()
    {
        QFETCH(QString, inspect);
        QFETCH(QString, text);
        QCOMPARE(writeJob(sourceFile(QStringLiteral("tests/data/pipeline/job.dxm")), m_job,
                          {"--product", "bramwick", "--version", "1300", "--inspect", inspect})
                     .exitCode,
                 0);
        QVERIFY(installConverter(QStringLiteral("mirk1300.so"), m_folder, QStringLiteral("mirk1300.so")));
        const settings::RegFileStore store =
            registry(MachineRegistry()
                         .converter(QStringLiteral("Bramwick"), placeholder + u'/', {"13.00=mirk1300.so"})
                         .bytes());
        const ConverterHost host(hostProgram());
        ScriptedInteraction interaction;
        const ConverterContext context{store, host, interaction};
        qint16 version = 0;
        unsigned kind = 0;
        QString message;
        try {
            FindJobConverter(context, m_job, true, version, kind);
        } catch (const GenerationError &error) {
            message = error.message();
        }
        const QRegularExpression pattern(QRegularExpression::anchoredPattern(
            QString(text).replace(patternPlaceholder, literal(m_folder))));
        QVERIFY2(pattern.match(message).hasMatch(), qPrintable(message));
        QVERIFY(interaction.messages.isEmpty());
    }

    void missingConverterHost()
    {
        QCOMPARE(writeJob(sourceFile(QStringLiteral("tests/data/pipeline/job.dxm")), m_job,
                          {"--product", "bramwick", "--version", "1300"})
                     .exitCode,
                 0);
        const settings::RegFileStore store =
            registry(MachineRegistry().builtConverters(builtConverters()).bytes());
        const ConverterHost host(m_root->filePath(QStringLiteral("no-such-host")));
        ScriptedInteraction interaction;
        const ConverterContext context{store, host, interaction};
        qint16 version = 0;
        unsigned kind = 0;
        QVERIFY(!FindJobConverter(context, m_job, true, version, kind));
        QCOMPARE(interaction.messages.size(), 1);
        QVERIFY(interaction.messages[0].text.startsWith(
            formatText(GetLocalizedString(StringId::ConverterHostFailed), {host.program(), QString()})));
    }
};

QTEST_GUILESS_MAIN(ConverterDiscoveryTest)
#include "tst_converterdiscovery.moc"
