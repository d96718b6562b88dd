// Style sheets written the way the original platform's users write them, with the results its
// documentation gives: msxsl:node-set, the ms: functions, JScript, xsl:sort, and the errors of
// scripts that cannot run.
#include "support/TestFiles.h"
#include "support/TransformToFile.h"
#include "platform/ScriptFunctions.h"
#include "platform/XmlDocument.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <unistd.h>

using namespace zandrel::platform;

namespace {

const QString dataFolder = QStringLiteral(ZANDREL_SOURCE_DIR "/tests/data/msxml/extensions/");

} // namespace

class MsxmlTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    // The output, or the processor's messages after "error:".
    QByteArray transform(const QString &sourceName, const QString &sheetName)
    {
        XmlDocument source;
        XmlDocument styleSheet;
        if (!source.load(dataFolder + sourceName) || !styleSheet.load(dataFolder + sheetName))
            return "load failed: " + source.parseError().reason.toUtf8() + styleSheet.parseError().reason.toUtf8();
        try {
            return transformToFile(source, styleSheet, m_dir.filePath(QStringLiteral("output")));
        } catch (const XsltProcessorError &error) {
            return "error: " + error.messages().join(u'\n').toUtf8();
        }
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        ScriptHost::setTimeLimit(std::chrono::seconds(2));
    }

    void documentedResults_data()
    {
        QTest::addColumn<QString>("name");
        for (const char *name : {"nodeset", "functions", "script", "sort"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }
    void documentedResults()
    {
        QFETCH(QString, name);
        const QByteArray expected = readAll(dataFolder + name + QStringLiteral(".out"));
        QVERIFY(!expected.isEmpty());
        QCOMPARE(transform(QStringLiteral("survey.xml"), name + QStringLiteral(".xsl")), expected);
    }

    void scriptsThatCannotRun_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("parts");
        QTest::newRow("VBScript") << "vbscript.xsl" << QStringList{"VBScript", "vbscript.xsl line 5", "JScript"};
        QTest::newRow("C#") << "csharp.xsl" << QStringList{"C#", "csharp.xsl line 8"};
        QTest::newRow("syntax error") << "syntax.xsl" << QStringList{"SyntaxError", "syntax.xsl line 5"};
        QTest::newRow("exception") << "throws.xsl"
                                   << QStringList{"check()", "value out of range: 5", "throws.xsl line 15"};
        QTest::newRow("endless tail recursion") << "recursion.xsl" << QStringList{"deep()", "ran longer than 2 s"};
        QTest::newRow("endless recursion") << "deeper.xsl" << QStringList{"deeper()", "RangeError"};
    }
    void scriptsThatCannotRun()
    {
        QFETCH(QString, name);
        QFETCH(QStringList, parts);
        const QByteArray result = transform(QStringLiteral("errors.xml"), name);
        QVERIFY2(result.startsWith("error: "), result.constData());
        for (const QString &part : parts)
            QVERIFY2(result.contains(part.toUtf8()), result.constData());
    }
};

QTEST_GUILESS_MAIN(MsxmlTest)
#include "tst_msxml.moc"
