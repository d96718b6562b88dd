// White space as the original platform's documents load it, and as standard processors keep it.
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

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

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
        const QString output = m_dir.filePath(QStringLiteral("output"));
        const int fd = ::open(QFile::encodeName(output).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (fd < 0)
            return "output not opened";
        try {
            source.transformNodeToFile(styleSheet, fd);
        } catch (const XsltProcessorError &error) {
            ::close(fd);
            return "processor error: " + error.messages().join(u'\n').toUtf8();
        }
        ::close(fd);
        return readAll(output);
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
