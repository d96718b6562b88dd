// White space as the original platform's documents load it, and as standard processors keep it.
#include "support/TestFiles.h"
#include "support/TransformToFile.h"
#include "platform/XmlDocument.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <unistd.h>

using namespace zandrel::platform;

namespace {

const QString dataFolder = QStringLiteral(ZANDREL_SOURCE_DIR "/tests/data/msxml/whitespace/");

} // namespace

class WhitespaceTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QByteArray transform(const QString &sourcePath, const QString &sheetPath, bool preserve)
    {
        XmlDocument source;
        XmlDocument styleSheet;
        source.setPreserveWhiteSpace(preserve);
        styleSheet.setPreserveWhiteSpace(preserve);
        if (!source.load(sourcePath) || !styleSheet.load(sheetPath))
            return "load failed: " + source.parseError().reason.toUtf8() + styleSheet.parseError().reason.toUtf8();
        try {
            return transformToFile(source, styleSheet, m_dir.filePath(QStringLiteral("output")));
        } catch (const XsltProcessorError &error) {
            return "processor error: " + error.messages().join(u'\n').toUtf8();
        }
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void bothModes_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("preserve");
        for (const char *name : {"indented", "xmlspace", "stylesheet", "entities", "placement"}) {
            QTest::addRow("%s, white space dropped", name) << QString::fromLatin1(name) << false;
            QTest::addRow("%s, white space preserved", name) << QString::fromLatin1(name) << true;
        }
    }
    // Each case's .out is the original platform's result, .preserve.out a standard processor's.
    void bothModes()
    {
        QFETCH(QString, name);
        QFETCH(bool, preserve);
        const QByteArray expected = readAll(dataFolder + name + (preserve ? ".preserve.out" : ".out"));
        QVERIFY(!expected.isEmpty());
        QCOMPARE(transform(dataFolder + name + ".xml", dataFolder + name + ".xsl", preserve), expected);
    }

    void styleSheetVariablesAreReadTheSameWay_data()
    {
        QTest::addColumn<bool>("preserve");
        QTest::newRow("white space dropped") << false;
        QTest::newRow("white space preserved") << true;
    }
    // The user variables are read and written through the style sheet document's elements.
    void styleSheetVariablesAreReadTheSameWay()
    {
        QFETCH(bool, preserve);
        XmlDocument styleSheet;
        styleSheet.setPreserveWhiteSpace(preserve);
        QVERIFY(styleSheet.load(QStringLiteral(ZANDREL_SOURCE_DIR "/samples/stylesheets/Points CSV.xsl")));
        const std::vector<XmlElement> variables = styleSheet.getElementsByTagName(QStringLiteral("xsl:variable"));
        QCOMPARE(int(variables.size()), 14);
        QCOMPARE(variables.front().getAttribute(QStringLiteral("name")), QStringLiteral("fileExt"));
        QCOMPARE(variables.front().getAttribute(QStringLiteral("select")), QStringLiteral("'csv'"));
    }

    void largeDocuments_data()
    {
        QTest::addColumn<int>("records");
        QTest::newRow("one buffer") << 10;
        QTest::newRow("many buffers") << 40000;
    }
    // The parser reads a large document in pieces; character references and white space runs
    // are told apart wherever a piece ends.
    void largeDocuments()
    {
        QFETCH(int, records);
        QByteArray content = "<?xml version=\"1.0\"?>\n<job>\n";
        for (int i = 0; i < records; ++i)
            content += "  <r n=\"" + QByteArray::number(i) + "\">\n    <a>&#10;</a>\n    <b>   </b>\n"
                       "    <c> x </c><d>&#x20;&#9;</d>\n  </r>\n";
        content += "</job>\n";
        const QString source = m_dir.filePath(QStringLiteral("large.xml"));
        QFile file(source);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
        file.close();
        const QString sheet = m_dir.filePath(QStringLiteral("large.xsl"));
        QFile style(sheet);
        QVERIFY(style.open(QIODevice::WriteOnly));
        style.write("<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
                    "<xsl:output method='text'/><xsl:template match='/'>"
                    "<xsl:value-of select=\"concat(count(//text()), ' ', count(//a[. = '&#10;']), ' ',"
                    " count(//b/text()), ' ', count(//c[. = ' x ']), ' ', count(//d[. = '&#32;&#9;']))\"/>"
                    "</xsl:template></xsl:stylesheet>");
        style.close();
        const QByteArray n = QByteArray::number(records);
        QCOMPARE(transform(source, sheet, false), QByteArray::number(3 * records) + ' ' + n + " 0 " + n + ' ' + n);
    }

    void preserveIsKeptAcrossMoves()
    {
        XmlDocument document;
        document.setPreserveWhiteSpace(true);
        XmlDocument moved(std::move(document));
        QVERIFY(moved.preserveWhiteSpace());
        XmlDocument assigned;
        assigned = std::move(moved);
        QVERIFY(assigned.preserveWhiteSpace());
        QVERIFY(!XmlDocument().preserveWhiteSpace());
    }
};

QTEST_GUILESS_MAIN(WhitespaceTest)
#include "tst_whitespace.moc"
