// The idioms that the processor runs in linear time give the same bytes as the processor's own
// ways (xsltproc): the grouping idioms, whatever the key tables hold, and text written in turns
// with variables built in between.
#include "processor/XmlDocument.h"
#include "processor/msxml/KeyLookups.h"
#include "support/TestFiles.h"
#include "support/TransformToFile.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using zandrel::processor::ExpressionKind;
using zandrel::processor::rewriteKeyIdioms;
using zandrel::processor::XmlDocument;

namespace {

bool rewritesAnIdiom(const QString &styleSheet)
{
    xmlDoc *document = xmlReadFile(QFile::encodeName(styleSheet).constData(), nullptr, XML_PARSE_NONET);
    if (!document)
        return false;
    zandrel::processor::rewriteKeyIdioms(document);
    xmlChar *text = nullptr;
    int size = 0;
    xmlDocDumpMemory(document, &text, &size);
    const bool rewritten = QByteArray(reinterpret_cast<const char *>(text), size).contains("zandrel.key-");
    xmlFree(text);
    xmlFreeDoc(document);
    return rewritten;
}

} // namespace

class LinearIdiomsTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_work;

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_work.isValid()); }

    void rewrite_data()
    {
        QTest::addColumn<QString>("expression");
        QTest::addColumn<bool>("pattern");
        QTest::addColumn<QString>("expected");
        QTest::newRow("first of a group") << "generate-id() = generate-id(key('k', @c)[1])" << false
                                          << "generate-id() = generate-id(zandrel.key-first('k', @c))";
        QTest::newRow("union with the first") << "count(. | key( 'k' , ../@s )[ 1 ]) = 1" << false
                                              << "count(. | zandrel.key-first( 'k' , ../@s )) = 1";
        QTest::newRow("id of a group")
            << "generate-id(key('k', @c))" << false << "generate-id(zandrel.key-least('k', @c))";
        QTest::newRow("count of a group")
            << "count(key('k', @c)) > 1" << false << "zandrel.key-count('k', @c) > 1";
        QTest::newRow("nested") << "key('a', key('b', @x)[1]/@y)[1.0]" << false
                                << "zandrel.key-first('a', zandrel.key-first('b', @x)/@y)";
        QTest::newRow("predicate of a pattern")
            << "Point[count(key('k', @c)) = 2]" << true << "Point[zandrel.key-count('k', @c) = 2]";
        QTest::newRow("key pattern kept") << "key('k', 'v')" << true << "key('k', 'v')";
        QTest::newRow("second node kept") << "key('k', @c)[2]" << false << "key('k', @c)[2]";
        QTest::newRow("one argument kept") << "count(key('k'))" << false << "count(key('k'))";
        QTest::newRow("count of a path kept") << "count(key('k', @c)/x)" << false << "count(key('k', @c)/x)";
        QTest::newRow("prefixed key kept") << "p:key('k', @c)[1]" << false << "p:key('k', @c)[1]";
        QTest::newRow("text in a literal kept")
            << "concat('key(1,2)[1]', 'x')" << false << "concat('key(1,2)[1]', 'x')";
        QTest::newRow("no expression kept") << "key('k', @c)[1] +" << false << "key('k', @c)[1] +";
    }
    void rewrite()
    {
        QFETCH(QString, expression);
        QFETCH(bool, pattern);
        QFETCH(QString, expected);
        const std::string rewritten = rewriteKeyIdioms(
            expression.toStdString(), pattern ? ExpressionKind::Pattern : ExpressionKind::Expression);
        QCOMPARE(QString::fromStdString(rewritten), expected);
    }

    // Each style sheet of a folder against the folder's source: idioms over key tables out of
    // document order, values of every kind, other documents and result tree fragments; text
    // output and elements' texts with fragments, copies and attributes in between.
    void sameBytesAsXsltproc_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("styleSheet");
        for (const QString folder : {QStringLiteral("keylookups"), QStringLiteral("textappends")}) {
            const QDir data(QStringLiteral(ZANDREL_SOURCE_DIR "/tests/data/") + folder);
            const QStringList sheets = data.entryList({QStringLiteral("*.xsl")}, QDir::Files);
            QVERIFY(!sheets.isEmpty());
            for (const QString &sheet : sheets)
                QTest::addRow("%s: %s", qPrintable(folder), qPrintable(sheet)) << folder << sheet;
        }
    }
    void sameBytesAsXsltproc()
    {
        QFETCH(QString, folder);
        QFETCH(QString, styleSheet);
        const QDir data(QStringLiteral(ZANDREL_SOURCE_DIR "/tests/data/") + folder);
        for (const QString &file : data.entryList(QDir::Files)) {
            QFile::remove(m_work.filePath(file));
            QVERIFY(QFile::copy(data.filePath(file), m_work.filePath(file)));
        }
        const QString job = m_work.filePath(QStringLiteral("source.xml"));
        const QString sheet = m_work.filePath(styleSheet);
        // The rows are there for the idioms: a style sheet that has none tests nothing here.
        if (folder == QLatin1String("keylookups"))
            QVERIFY(rewritesAnIdiom(sheet));

        const QString xsltproc = QStandardPaths::findExecutable(QStringLiteral("xsltproc"));
        QVERIFY2(!xsltproc.isEmpty(), "xsltproc is installed by tools/setup-debian.sh");
        const QString reference = m_work.filePath(QStringLiteral("reference.txt"));
        QProcess process;
        process.start(xsltproc, {QStringLiteral("-o"), reference, sheet, job});
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitCode(), 0);
        const QByteArray expected = readAll(reference);
        QVERIFY(!expected.trimmed().isEmpty());

        XmlDocument sourceDocument;
        XmlDocument styleSheetDocument;
        sourceDocument.setPreserveWhiteSpace(true);
        styleSheetDocument.setPreserveWhiteSpace(true);
        QVERIFY(sourceDocument.load(job));
        QVERIFY(styleSheetDocument.load(sheet));
        QCOMPARE(
            transformToFile(sourceDocument, styleSheetDocument, m_work.filePath(QStringLiteral("out.txt"))),
            expected);
    }
};

QTEST_GUILESS_MAIN(LinearIdiomsTest)
#include "tst_linearidioms.moc"
