// Style sheets written the way the original platform's users write them, with the results its
// documentation gives: msxsl:node-set, the ms: functions, JScript, xsl:sort, and the errors of
// scripts that cannot run.
#include "processor/XmlDocument.h"
#include "processor/script/ScriptFunctions.h"
#include "support/TestFiles.h"
#include "support/TransformToFile.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <unistd.h>

using namespace zandrel::processor;

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
            return "load failed: " + source.parseError().reason.toUtf8() +
                   styleSheet.parseError().reason.toUtf8();
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
        QTest::newRow("VBScript") << "vbscript.xsl"
                                  << QStringList{"VBScript", "vbscript.xsl line 5", "JScript"};
        QTest::newRow("C#") << "csharp.xsl" << QStringList{"C#", "csharp.xsl line 8"};
        QTest::newRow("syntax error") << "syntax.xsl" << QStringList{"SyntaxError", "syntax.xsl line 5"};
        QTest::newRow("exception") << "throws.xsl"
                                   << QStringList{"check()", "value out of range: 5", "throws.xsl line 15"};
        QTest::newRow("endless tail recursion")
            << "recursion.xsl" << QStringList{"deep()", "ran longer than 2 s"};
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

    // What a script returns becomes text of the result: a pair of surrogates is the one character
    // it stands for; what XML cannot hold stops the transformation instead of spoiling the file.
    void scriptResultsAreXmlText_data()
    {
        QTest::addColumn<QByteArray>("expression");
        QTest::addColumn<QByteArray>("result");
        QTest::newRow("tab and line ends") << QByteArray("'a\\tb\\r\\nc'") << QByteArray("a\tb\r\nc");
        QTest::newRow("surrogate pair") << QByteArray("'[' + String.fromCharCode(0xD83D, 0xDE00) + ']'")
                                        << QByteArray("[\xF0\x9F\x98\x80]");
        QTest::newRow("control character")
            << QByteArray("'ab' + String.fromCharCode(1)") << QByteArray("error: U+0001 at character 3");
        QTest::newRow("NUL") << QByteArray("'a\\u0000b'") << QByteArray("error: U+0000 at character 2");
        QTest::newRow("unpaired surrogate") << QByteArray("'a' + String.fromCharCode(0xDE00, 0x41)")
                                            << QByteArray("error: U+DE00 at character 2");
        QTest::newRow("not a character")
            << QByteArray("String.fromCharCode(0xFFFF)") << QByteArray("error: U+FFFF at character 1");
    }
    void scriptResultsAreXmlText()
    {
        QFETCH(QByteArray, expression);
        QFETCH(QByteArray, result);
        const QString sheetPath = m_dir.filePath(QStringLiteral("result.xsl"));
        QVERIFY(writeFile(
            sheetPath, "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\"\n"
                       " xmlns:msxsl=\"urn:schemas-microsoft-com:xslt\" xmlns:u=\"urn:user\">\n"
                       "<xsl:output method=\"text\" encoding=\"UTF-8\"/>\n"
                       "<msxsl:script language=\"JScript\" implements-prefix=\"u\">\n"
                       "function value() { return " +
                           expression +
                           "; }\n</msxsl:script>\n"
                           "<xsl:template match=\"/\"><xsl:value-of select=\"u:value()\"/></xsl:template>\n"
                           "</xsl:stylesheet>\n"));
        XmlDocument source;
        XmlDocument styleSheet;
        QVERIFY(source.load(dataFolder + QStringLiteral("survey.xml")));
        QVERIFY(styleSheet.load(sheetPath));
        QByteArray output;
        try {
            output = transformToFile(source, styleSheet, m_dir.filePath(QStringLiteral("output")));
        } catch (const XsltProcessorError &error) {
            output = "error: " + error.messages().join(u'\n').toUtf8();
        }
        if (result.startsWith("error: ")) {
            QVERIFY2(output.startsWith("error: ") && output.contains("value()") &&
                         output.contains(result.mid(7)),
                     output.toHex(' ').constData());
        } else {
            QCOMPARE(output, result);
        }
    }
};

QTEST_GUILESS_MAIN(MsxmlTest)
#include "tst_msxml.moc"
