// The files that the job and the style sheet read as they load (document types, external
// entities): the output never replaces one of them, and an entity that cannot be read refuses
// its document as an undefined entity does, instead of leaving its text out without a word.
#include "generate/GenerationPipeline.h"
#include "support/ScriptedInteraction.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace zandrel;

namespace {

const QByteArray sheetStart =
    "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">";
const QByteArray textOutput = "<xsl:output method=\"text\"/>";

// The job's text, with a DOCTYPE that names its document type and an entity of its own.
QByteArray jobWith(const QByteArray &entitySystemId)
{
    return "<?xml version=\"1.0\"?>\n<!DOCTYPE DexmorJob SYSTEM \"job.dtd\" [\n<!ENTITY part SYSTEM \"" +
           entitySystemId + "\">\n]>\n<DexmorJob>before &part; after</DexmorJob>\n";
}

QString allMessages(const ScriptedInteraction &interaction)
{
    QStringList texts;
    for (const ScriptedInteraction::Message &message : interaction.messages)
        texts.append(message.text);
    return texts.join(u'\n');
}

} // namespace

class DocumentPartsTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString data(const QString &name) const { return m_dir.filePath(name); }

    void writeInputs()
    {
        QVERIFY(writeFile(data(QStringLiteral("job.dxm")), jobWith("part.xml")));
        QVERIFY(writeFile(data(QStringLiteral("job.dtd")), "<!ATTLIST DexmorJob kind CDATA \"survey\">\n"));
        QVERIFY(writeFile(data(QStringLiteral("part.xml")), "PART"));
        QVERIFY(writeFile(data(QStringLiteral("sheet.xsl")),
                          "<!DOCTYPE xsl:stylesheet SYSTEM \"sheet.dtd\">\n" + sheetStart +
                              "<xsl:import href=\"imported.xsl\"/>" + textOutput +
                              "<xsl:template match=\"/\"><xsl:value-of select=\"DexmorJob\"/>"
                              // Its element, not its root: libxml2 2.15 counts the internal subset's entity text in the
                              // string value of a document, as xsltproc there shows.
                              "<xsl:value-of select=\"document('read.xml')/r\"/>"
                              "</xsl:template></xsl:stylesheet>\n"));
        QVERIFY(writeFile(data(QStringLiteral("sheet.dtd")), "<!ENTITY unused \"x\">\n"));
        QVERIFY(writeFile(data(QStringLiteral("imported.xsl")),
                          "<!DOCTYPE xsl:stylesheet SYSTEM \"imported.dtd\">\n" + sheetStart +
                              "</xsl:stylesheet>\n"));
        QVERIFY(writeFile(data(QStringLiteral("imported.dtd")), "<!ENTITY unused \"y\">\n"));
        QVERIFY(writeFile(data(QStringLiteral("read.xml")),
                          "<!DOCTYPE r [<!ENTITY more SYSTEM \"read-part.xml\">]><r>|&more;</r>"));
        QVERIFY(writeFile(data(QStringLiteral("read-part.xml")), "MORE"));
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_dir.isValid()); }
    void init() { writeInputs(); }

    void everyFileReadIsRefusedAsOutput_data()
    {
        QTest::addColumn<QString>("output");
        QTest::newRow("the job's document type") << "job.dtd";
        QTest::newRow("the job's external entity") << "part.xml";
        QTest::newRow("the style sheet's document type") << "sheet.dtd";
        QTest::newRow("an imported style sheet's document type") << "imported.dtd";
        QTest::newRow("an entity of a document() file") << "read-part.xml";
        QTest::newRow("an imported style sheet") << "imported.xsl";
    }
    void everyFileReadIsRefusedAsOutput()
    {
        QFETCH(QString, output);
        const QByteArray before = readAll(data(output));
        QVERIFY(!before.isEmpty());

        ScriptedInteraction interaction;
        GenerationInputs inputs;
        inputs.sourceFile = data(QStringLiteral("job.dxm"));
        inputs.styleSheetPath = data(QStringLiteral("sheet.xsl"));
        inputs.outputFileName = data(output);
        QCOMPARE(GenerationPipeline(interaction).run(inputs, true), GenerationOutcome::Failed);
        QVERIFY2(allMessages(interaction).contains(data(output)), qPrintable(allMessages(interaction)));
        QVERIFY2(allMessages(interaction).contains(QStringLiteral("Choose another output file name")),
                 qPrintable(allMessages(interaction)));
        QCOMPARE(readAll(data(output)), before);

        // Any other name takes the report: every part was read into it.
        ScriptedInteraction elsewhere;
        inputs.outputFileName = data(QStringLiteral("report.txt"));
        QCOMPARE(GenerationPipeline(elsewhere).run(inputs, true), GenerationOutcome::Written);
        QCOMPARE(readAll(inputs.outputFileName), QByteArray("before PART after|MORE"));
    }

    void unreadableEntityRefusesTheJob_data()
    {
        QTest::addColumn<QByteArray>("systemId");
        QTest::addColumn<QString>("named"); // the file as the message names it
        QTest::newRow("missing file") << QByteArray("missing.xml") << data(QStringLiteral("missing.xml"));
        QTest::newRow("folder") << QByteArray("folder") << data(QStringLiteral("folder"));
        QTest::newRow("FIFO") << QByteArray("fifo") << data(QStringLiteral("fifo"));
        QTest::newRow("device") << QByteArray("/dev/zero") << QStringLiteral("/dev/zero");
        QTest::newRow("network address") << QByteArray("http://example.invalid/part.xml")
                                         << QStringLiteral("http://example.invalid/part.xml");
    }
    void unreadableEntityRefusesTheJob()
    {
        QFETCH(QByteArray, systemId);
        QFETCH(QString, named);
        QVERIFY(QDir().mkpath(data(QStringLiteral("folder"))));
        if (!QFileInfo::exists(data(QStringLiteral("fifo"))))
            QVERIFY(::mkfifo(QFile::encodeName(data(QStringLiteral("fifo"))).constData(), 0600) == 0);
        QVERIFY(writeFile(data(QStringLiteral("job.dxm")), jobWith(systemId)));
        const QString output = data(QStringLiteral("report.txt"));
        QVERIFY(writeFile(output, "yesterday's report"));

        ScriptedInteraction interaction;
        GenerationInputs inputs;
        inputs.sourceFile = data(QStringLiteral("job.dxm"));
        inputs.styleSheetPath = data(QStringLiteral("sheet.xsl"));
        inputs.outputFileName = output;
        QCOMPARE(GenerationPipeline(interaction).run(inputs, true), GenerationOutcome::Failed);
        const QString messages = allMessages(interaction);
        QVERIFY2(messages.contains(QStringLiteral("could not be read")) && messages.contains(named),
                 qPrintable(messages));
        QCOMPARE(readAll(output), QByteArray("yesterday's report"));
    }
};

QTEST_GUILESS_MAIN(DocumentPartsTest)
#include "tst_documentparts.moc"
