#include "base/GenerationError.h"
#include "generate/ConsoleInteraction.h"
#include "generate/GenerationPipeline.h"
#include "generate/StyleSheetLines.h"
#include "generate/StyleSheetVariables.h"
#include "processor/XmlDocument.h"
#include "support/ScriptedInteraction.h"
#include "support/TestFiles.h"

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

Q_DECLARE_METATYPE(zandrel::GenerationOutcome)

using namespace zandrel;

Q_DECLARE_METATYPE(zandrel::ValueType)
Q_DECLARE_METATYPE(std::optional<zandrel::ValueType>)

namespace {

QByteArray styleSheetWith(const QByteArray &variables)
{
    return "<?xml version=\"1.0\"?>\n<xsl:stylesheet version=\"1.0\" "
           "xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">\n"
           "  <xsl:output method=\"text\"/>\n" +
           variables +
           "  <xsl:template match=\"/\"><xsl:value-of select=\"$shown\"/></xsl:template>\n"
           "</xsl:stylesheet>\n";
}

QString selectOf(const processor::XmlDocument &document, const QString &name)
{
    for (const processor::XmlElement &variable :
         document.getElementsByTagName(QStringLiteral("xsl:variable")))
        if (variable.getAttribute(QStringLiteral("name")) == name)
            return variable.getAttribute(QStringLiteral("select")).value_or(QString());
    return QStringLiteral("<missing>");
}

} // namespace

class UserVariablesTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    const QLocale m_dot{QLocale::English, QLocale::UnitedStates};
    const QLocale m_comma{QLocale::German, QLocale::Germany};

    QString copyOfAllTypes()
    {
        const QString path = m_dir.filePath(QStringLiteral("all types.xsl"));
        QFile::remove(path);
        if (!QFile::copy(QStringLiteral(ZANDREL_SOURCE_DIR "/tests/data/variables/all-types.xsl"), path))
            return {};
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
        return path;
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void answersAreUsedAndWrittenBack()
    {
        const QString path = copyOfAllTypes();
        const QByteArray before = readAll(path);
        const QString codes = m_dir.filePath(QStringLiteral("codes & more.csv"));
        QVERIFY(writeFile(codes, "CP,Control\n"));
        processor::XmlDocument styleSheet;
        QVERIFY(styleSheet.load(path));

        ScriptedInteraction interaction;
        interaction.valueAnswers = {Answer::given(QStringLiteral("Tab")), Answer::given(QStringLiteral(" 4")),
                                    Answer::given(QStringLiteral("1,5")),
                                    Answer::given(QStringLiteral("Smith's \"A\" & <B>")),
                                    Answer::given(codes)};
        QCOMPARE(ApplyUserVariables(styleSheet, path, interaction, m_comma), UserVariablesResult::Applied);
        QVERIFY(interaction.messages.isEmpty());

        // The questions as asked.
        QCOMPARE(interaction.valueRequests.size(), 4);
        const UserValueRequest &menu = interaction.valueRequests[0];
        QCOMPARE(menu.type, ValueType::StringMenu);
        QCOMPARE(menu.prompt, QStringLiteral("Field delimiter"));
        QCOMPARE(menu.menuEntries, (QStringList{"Comma", "Semicolon", "Tab"}));
        QCOMPARE(menu.selectedEntry, 0);
        QCOMPARE(interaction.valueRequests[1].minimumText, QStringLiteral("0"));
        QCOMPARE(interaction.valueRequests[1].maximumText, QStringLiteral("6"));
        QCOMPARE(interaction.valueRequests[2].initialText, QStringLiteral("1,00"));
        QCOMPARE(interaction.valueRequests[3].initialText, QStringLiteral("Control survey"));
        QCOMPARE(interaction.openRequests.size(), 1);
        QCOMPARE(interaction.openRequests[0].title, QStringLiteral("Code list"));
        QCOMPARE(interaction.openRequests[0].fileName, QStringLiteral("*.csv"));
        QCOMPARE(interaction.openRequests[0].filter, QStringLiteral("Code list|*.csv"));
        QCOMPARE(interaction.openRequests[0].defaultSuffix, QStringLiteral("csv"));

        // The document holds every answer.
        QCOMPARE(selectOf(styleSheet, QStringLiteral("delimiter")), QStringLiteral("'Tab'"));
        QCOMPARE(selectOf(styleSheet, QStringLiteral("decimals")), QStringLiteral("4"));
        QCOMPARE(selectOf(styleSheet, QStringLiteral("scale")), QStringLiteral("1.5"));
        QCOMPARE(UnquoteSelect(selectOf(styleSheet, QStringLiteral("title"))),
                 QStringLiteral("Smith's \"A\" & <B>"));
        QCOMPARE(selectOf(styleSheet, QStringLiteral("codes")), u'\'' + codes + u'\'');

        // The file changed in those lines only, and never for the file name.
        const QByteArray after = readAll(path);
        QByteArray expected = before;
        expected.replace("select=\"'Comma'\"", "select=\"'Tab'\"")
            .replace("name=\"decimals\" select=\"3\"", "name=\"decimals\" select=\"4\"")
            .replace("select=\"1.00\"", "select=\"1.5\"")
            .replace("select=\"'Control survey'\"",
                     "select=\"concat('Smith', &quot;'&quot;, 's &quot;A&quot; &amp; &lt;B>')\"");
        QCOMPARE(after, expected);
        QVERIFY(after.contains("\xe9t\xe9"));
        QVERIFY(!after.endsWith('\n'));
        const QFile::Permissions ownerGroupOther = QFile::Permissions::fromInt(0x7077);
        QCOMPARE(QFileInfo(path).permissions() & ownerGroupOther,
                 QFile::Permissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));

        // Offered again next time, exactly as answered.
        processor::XmlDocument again;
        QVERIFY(again.load(path));
        ScriptedInteraction next;
        QCOMPARE(ApplyUserVariables(again, path, next, m_comma), UserVariablesResult::Cancelled);
        QCOMPARE(next.valueRequests.value(0).selectedEntry, 2);
    }

    void textAnswerIsOfferedBackUnchanged_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::newRow("apostrophe") << "O'Brien";
        QTest::newRow("both quotes") << "5' 4\" 'x'";
        QTest::newRow("markup") << "a < b & \"c\"";
        QTest::newRow("non-ASCII") << "Straße Süd";
    }
    void textAnswerIsOfferedBackUnchanged()
    {
        QFETCH(QString, answer);
        const QString path = m_dir.filePath(QStringLiteral("title.xsl"));
        QVERIFY(writeFile(
            path, styleSheetWith("  <xsl:variable name=\"userField1\" select=\"'shown|Title|STRING'\"/>\n"
                                 "  <xsl:variable name=\"shown\" select=\"'x'\"/>\n")));
        processor::XmlDocument styleSheet;
        QVERIFY(styleSheet.load(path));
        ScriptedInteraction interaction;
        interaction.valueAnswers = {Answer::given(answer)};
        QCOMPARE(ApplyUserVariables(styleSheet, path, interaction, m_dot), UserVariablesResult::Applied);

        // The rewritten file is well-formed, compiles, and offers the same text.
        processor::XmlDocument reread;
        QVERIFY2(reread.load(path), qPrintable(reread.parseError().reason));
        ScriptedInteraction next;
        next.valueAnswers = {Answer::given(answer)};
        QCOMPARE(ApplyUserVariables(reread, path, next, m_dot), UserVariablesResult::Applied);
        QCOMPARE(next.valueRequests.value(0).initialText, answer);

        processor::XmlDocument job;
        QVERIFY(writeFile(m_dir.filePath(QStringLiteral("job.xml")), "<job/>"));
        QVERIFY(job.load(m_dir.filePath(QStringLiteral("job.xml"))));
        QFile output(m_dir.filePath(QStringLiteral("out.txt")));
        QVERIFY(output.open(QIODevice::WriteOnly));
        job.transformNodeToFile(reread, output.handle());
        output.close();
        QCOMPARE(QString::fromUtf8(readAll(output.fileName())), answer);
    }

    void noDefinitionsAskNothing()
    {
        const QString path = m_dir.filePath(QStringLiteral("plain.xsl"));
        const QByteArray content =
            styleSheetWith("  <xsl:variable name=\"shown\" select=\"'x'\"/>\n"
                           "  <xsl:variable name=\"myuserField\" select=\"'shown|P|STRING'\"/>\n");
        QVERIFY(writeFile(path, content));
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner));
        const QDateTime modified = QFileInfo(path).lastModified();
        processor::XmlDocument styleSheet;
        QVERIFY(styleSheet.load(path));
        ScriptedInteraction interaction;
        QCOMPARE(ApplyUserVariables(styleSheet, path, interaction, m_dot), UserVariablesResult::Applied);
        QVERIFY(interaction.valueRequests.isEmpty());
        QCOMPARE(readAll(path), content);
        QCOMPARE(QFileInfo(path).lastModified(), modified);
    }

    void readOnlyFileAppliesToThisRunOnly()
    {
        const QString path = copyOfAllTypes();
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup));
        const QByteArray before = readAll(path);
        processor::XmlDocument styleSheet;
        QVERIFY(styleSheet.load(path));
        ScriptedInteraction interaction;
        interaction.valueAnswers = {Answer::given(QStringLiteral("Semicolon")),
                                    Answer::given(QStringLiteral("2")), Answer::given(QStringLiteral("2")),
                                    Answer::given(QStringLiteral("T")),
                                    Answer::given(QStringLiteral("/c.csv"))};
        QCOMPARE(ApplyUserVariables(styleSheet, path, interaction, m_dot), UserVariablesResult::Applied);
        QVERIFY(interaction.messages.isEmpty());
        QCOMPARE(selectOf(styleSheet, QStringLiteral("delimiter")), QStringLiteral("'Semicolon'"));
        QCOMPARE(readAll(path), before);
    }

    void cancelAtTheSecondQuestion()
    {
        const QString path = copyOfAllTypes();
        const QByteArray before = readAll(path);
        processor::XmlDocument styleSheet;
        QVERIFY(styleSheet.load(path));
        ScriptedInteraction interaction;
        interaction.valueAnswers = {Answer::given(QStringLiteral("Tab")), Answer::cancelled()};
        QCOMPARE(ApplyUserVariables(styleSheet, path, interaction, m_dot), UserVariablesResult::Cancelled);
        QCOMPARE(interaction.valueRequests.size(), 2);
        QCOMPARE(readAll(path), before);
    }

    void twoTargetsOfOneName()
    {
        const QString path = m_dir.filePath(QStringLiteral("two targets.xsl"));
        QVERIFY(writeFile(
            path, "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">\n"
                  "<xsl:variable name=\"userField1\" select=\"'units|Units|STRING'\"/>\n"
                  "<xsl:template name=\"a\">\n"
                  "<xsl:variable name=\"units\" select=\"'m'\"/>\n"
                  "</xsl:template>\n"
                  "<xsl:template name=\"b\">\n"
                  "<xsl:variable name=\"units\" select=\"'m'\"/>\n"
                  "</xsl:template>\n"
                  "</xsl:stylesheet>\n"));
        processor::XmlDocument styleSheet;
        QVERIFY(styleSheet.load(path));
        ScriptedInteraction interaction;
        interaction.valueAnswers = {Answer::given(QStringLiteral("ft")), Answer::given(QStringLiteral("yd"))};
        QCOMPARE(ApplyUserVariables(styleSheet, path, interaction, m_dot), UserVariablesResult::Applied);
        QCOMPARE(interaction.valueRequests.size(), 2);
        const QByteArray after = readAll(path);
        QCOMPARE(after.count("select=\"'yd'\""), 1);
        QCOMPARE(after.count("select=\"'m'\""), 1);
        QVERIFY(after.indexOf("'yd'") < after.indexOf("'m'"));
    }

    void faultyMenuIsReportedAndSkipped()
    {
        const QString path = m_dir.filePath(QStringLiteral("faulty.xsl"));
        QVERIFY(writeFile(
            path,
            styleSheetWith(
                "  <xsl:variable name=\"USERFIELDa\" select=\"'unit|Distance units|STRINGMENU|3|m|ft'\"/>\n"
                "  <xsl:variable name=\"unit\" select=\"'m'\"/>\n"
                "  <xsl:variable name=\"userfield\" select=\"'fileExt|Extension|STRING'\"/>\n"
                "  <xsl:variable name=\"fileExt\" select=\"'csv'\"/>\n"
                "  <xsl:variable name=\"shown\" select=\"1\"/>\n")));
        processor::XmlDocument styleSheet;
        QVERIFY(styleSheet.load(path));
        ScriptedInteraction interaction;
        interaction.valueAnswers = {Answer::given(QStringLiteral("txt"))};
        QCOMPARE(ApplyUserVariables(styleSheet, path, interaction, m_dot), UserVariablesResult::Applied);
        QCOMPARE(interaction.messages.size(), 1);
        QCOMPARE(interaction.messages[0].kind, MessageKind::Error);
        QCOMPARE(interaction.messages[0].text, QStringLiteral("Error in Distance units definition"));
        QCOMPARE(interaction.valueRequests.size(), 1);
        QCOMPARE(GetOutputExtension(styleSheet), QStringLiteral("txt"));
    }

    void faultyVariablesEndTheGeneration_data()
    {
        QTest::addColumn<QByteArray>("variables");
        QTest::addColumn<QString>("message");
        QTest::newRow("double that is no number")
            << QByteArray("<xsl:variable name=\"userField1\" select=\"'shown|S|DOUBLE'\"/>"
                          "<xsl:variable name=\"shown\" select=\"'wide'\"/>\n")
            << "not a number";
        QTest::newRow("definition without select")
            << QByteArray("<xsl:variable name=\"userField1\"/>\n") << "\"select\" attribute";
        QTest::newRow("variable without name")
            << QByteArray("<xsl:variable select=\"1\"/>\n") << "\"name\" attribute";
    }
    void faultyVariablesEndTheGeneration()
    {
        QFETCH(QByteArray, variables);
        QFETCH(QString, message);
        const QString path = m_dir.filePath(QStringLiteral("faulty variables.xsl"));
        QVERIFY(writeFile(path, styleSheetWith(variables)));
        processor::XmlDocument styleSheet;
        QVERIFY(styleSheet.load(path));
        ScriptedInteraction interaction;
        try {
            ApplyUserVariables(styleSheet, path, interaction, m_dot);
            QFAIL("the faulty variable should end the generation");
        } catch (const GenerationError &error) {
            QVERIFY2(error.message().contains(message), qPrintable(error.message()));
        }
    }

    void scriptWithoutTerminalTakesTheOfferedValues_data()
    {
        QTest::addColumn<QByteArray>("variables");
        QTest::addColumn<GenerationOutcome>("outcome");
        QTest::addColumn<QString>("output");
        QTest::addColumn<QString>("message");
        QTest::newRow("offered values")
            << QByteArray("<xsl:variable name=\"userField1\" select=\"'shown|N|INTEGER|0|6'\"/>"
                          "<xsl:variable name=\"shown\" select=\"3\"/>\n")
            << GenerationOutcome::Written << "3"
            << "";
        QTest::newRow("offered number out of range")
            << QByteArray("<xsl:variable name=\"userField1\" select=\"'shown|N|INTEGER|0|6'\"/>"
                          "<xsl:variable name=\"shown\" select=\"9\"/>\n")
            << GenerationOutcome::Failed << ""
            << "The entered value is outside the valid range 0 to 6";
        QTest::newRow("menu without selection gives empty text")
            << QByteArray("<xsl:variable name=\"userField1\" select=\"'shown|U|STRINGMENU|2|m|ft'\"/>"
                          "<xsl:variable name=\"shown\" select=\"'yd'\"/>\n")
            << GenerationOutcome::Written << ""
            << "";
        QTest::newRow("file name keeps the style sheet's own")
            << QByteArray("<xsl:variable name=\"userField1\" select=\"'shown|Codes|FILENAME|csv'\"/>"
                          "<xsl:variable name=\"shown\" select=\"'codes.csv'\"/>\n")
            << GenerationOutcome::Written << "codes.csv"
            << "";
        QTest::newRow("empty file name kept")
            << QByteArray("<xsl:variable name=\"userField1\" select=\"'shown|Logo|FILENAME|png'\"/>"
                          "<xsl:variable name=\"shown\" select=\"''\"/>\n")
            << GenerationOutcome::Written << ""
            << "";
    }
    void scriptWithoutTerminalTakesTheOfferedValues()
    {
        QFETCH(QByteArray, variables);
        QFETCH(GenerationOutcome, outcome);
        QFETCH(QString, output);
        QFETCH(QString, message);
        const QString sheet = m_dir.filePath(QStringLiteral("script.xsl"));
        QVERIFY(writeFile(sheet, styleSheetWith(variables)));
        QVERIFY(writeFile(m_dir.filePath(QStringLiteral("job.dxm")), "<job/>"));
        QBuffer input, out, err;
        QVERIFY(input.open(QIODevice::ReadOnly));
        QVERIFY(out.open(QIODevice::WriteOnly));
        QVERIFY(err.open(QIODevice::WriteOnly));
        ConsoleInteraction console(input, out, err, false, m_dot);
        GenerationPipeline pipeline(console);
        GenerationInputs inputs;
        inputs.sourceFile = m_dir.filePath(QStringLiteral("job.dxm"));
        inputs.styleSheetPath = sheet;
        inputs.outputFileName = m_dir.filePath(QStringLiteral("script-out.txt"));
        QFile::remove(inputs.outputFileName);
        QCOMPARE(pipeline.run(inputs, true), outcome);
        if (outcome == GenerationOutcome::Written)
            QCOMPARE(QString::fromUtf8(readAll(inputs.outputFileName)), output);
        else
            QVERIFY(!QFile::exists(inputs.outputFileName));
        QVERIFY2(QString::fromUtf8(err.data()).contains(message), err.data().constData());
    }

    void answerChoosesTheExtension()
    {
        const QString sheet = m_dir.filePath(QStringLiteral("extension.xsl"));
        QVERIFY(writeFile(
            sheet,
            styleSheetWith("<xsl:variable name=\"userField9\" select=\"'fileExt|Extension|STRING'\"/>\n"
                           "<xsl:variable name=\"fileExt\" select=\"'csv'\"/>\n"
                           "<xsl:variable name=\"shown\" select=\"'x'\"/>\n")));
        QVERIFY(writeFile(m_dir.filePath(QStringLiteral("job.dxm")), "<job/>"));
        ScriptedInteraction interaction;
        interaction.valueAnswers = {Answer::given(QStringLiteral("prn"))};
        GenerationPipeline pipeline(interaction);
        GenerationInputs inputs;
        inputs.sourceFile = m_dir.filePath(QStringLiteral("job.dxm"));
        inputs.styleSheetPath = sheet;
        inputs.outputFileName = m_dir.filePath(QStringLiteral("chosen"));
        QCOMPARE(pipeline.run(inputs, true), GenerationOutcome::Written);
        QCOMPARE(inputs.outputFileName, m_dir.filePath(QStringLiteral("chosen.prn")));
        QVERIFY(readAll(sheet).contains("select=\"'prn'\""));
    }
};

QTEST_GUILESS_MAIN(UserVariablesTest)
#include "tst_uservariables.moc"
