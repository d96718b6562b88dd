// The stand-in Job format: zandrel-jobwrite and the converters give Dexmor files back byte for
// byte, and damaged Job files are reported, never converted in part and never fatal.

#include "convert/ConvertFile.h"
#include "convert/ConverterHost.h"
#include "support/ConverterFixture.h"

#include "JobFile.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

#include <cstdio>
#include <cstdlib>

using namespace zandrel;
using namespace convertertest;

namespace {

const QString converter = builtConverters() + QStringLiteral("/mirk1300.so");

// A Job file made record by record, for files the tool would never write.
class JobBytes {
public:
    JobBytes() : m_file(open_memstream(&m_data, &m_size)), m_writer(m_file)
    {
        m_writer.header({zjob::Product::Bramwick, 1300});
    }
    ~JobBytes()
    {
        if (m_file)
            std::fclose(m_file);
        std::free(m_data);
    }
    zjob::Writer &writer() { return m_writer; }
    QByteArray bytes()
    {
        std::fflush(m_file);
        return QByteArray(m_data, qsizetype(m_size));
    }

private:
    char *m_data = nullptr;
    std::size_t m_size = 0;
    std::FILE *m_file;
    zjob::Writer m_writer;
};

// The document as a reader sees it: nodes, names, attributes and text, but not their layout.
QStringList readerView(const QByteArray &xml)
{
    QStringList nodes;
    QXmlStreamReader reader(xml);
    int depth = 0;
    while (!reader.atEnd()) {
        reader.readNext();
        depth += reader.isStartElement() ? 1 : reader.isEndElement() ? -1 : 0;
        if (reader.isWhitespace() && depth == 0)
            continue; // the layout between top-level nodes is the writer's own
        QString node = reader.tokenString() + u' ' + reader.qualifiedName().toString();
        for (const QXmlStreamAttribute &attribute : reader.attributes())
            node += u' ' + attribute.qualifiedName().toString() + u'=' + attribute.value().toString();
        if (reader.isCharacters() || reader.isComment())
            node += u' ' + reader.text().toString();
        nodes.append(node);
    }
    if (reader.hasError())
        nodes.append(QStringLiteral("error: ") + reader.errorString());
    return nodes;
}

} // namespace

class JobFormatTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_root;

    QString path(const QString &name) const { return m_root.filePath(name); }
    QStringList files() const { return QDir(m_root.path()).entryList(QDir::Files, QDir::Name); }

    // Converts a Job file with the Bramwick converter through the converter host.
    ConverterCall convert(const QString &job, const QString &output, qint16 version = 1300)
    {
        const ConverterHost host(hostProgram());
        return host.translate(converter, QByteArray(), QFile::encodeName(job),
                              SourceRecord(version, QByteArray()), QFile::encodeName(output),
                              TargetRecord(ConverterKind::Bramwick));
    }

    ConverterCall inspect(const QString &job)
    {
        const ConverterHost host(hostProgram());
        TConverterFileInfo info{};
        info.recordSize = ZANDREL_CONVERTER_RECORD_SIZE;
        return host.inspect(converter, QFile::encodeName(job), info);
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_root.isValid()); }

    void cleanup()
    {
        for (const QString &name : QDir(m_root.path()).entryList(QDir::Files))
            QFile::remove(path(name));
    }

    void byteForByte_data()
    {
        QTest::addColumn<QByteArray>("document");
        QTest::addColumn<bool>("skip");
        QTest::newRow("test job") << readAll(sourceFile(QStringLiteral("tests/data/pipeline/job.dxm")))
                                  << false;
        const QString sample = sourceFile(QStringLiteral("samples/job.dxm"));
        QTest::newRow("sample job") << readAll(sample) << !QFile::exists(sample);
        QTest::newRow("comments and instructions")
            << QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- by hand -->\n<?xml-stylesheet "
                          "href=\"a.xsl\"?>\n"
                          "<DexmorJob><!--inside--><?mark here?><?empty?></DexmorJob>\n<!-- after -->\n")
            << false;
        QTest::newRow("CDATA")
            << QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<a><![CDATA[x < y && z]]></a>\n")
            << false;
        QTest::newRow("escaped characters")
            << QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                          "<a b=\"&quot;&amp;&lt;&gt;&#9;&#10;&#13;'\">&amp;&lt;&gt;&#13;\"'</a>\n")
            << false;
        QTest::newRow("namespaces and other scripts")
            << QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<d:Job xmlns:d=\"urn:x\" "
                          "d:n=\"Straße\">日本 – ½</d:Job>\n")
            << false;
        QTest::newRow("standalone")
            << QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<a/>\n") << false;
        QTest::newRow("no encoding") << QByteArray("<?xml version=\"1.0\"?>\n<a>1</a>\n") << false;
        QTest::newRow("no declaration") << QByteArray("<a x=\"1\"><b/></a>\n") << false;
    }
    void byteForByte()
    {
        QFETCH(QByteArray, document);
        QFETCH(bool, skip);
        if (skip)
            QSKIP("samples/job.dxm is not there");
        QVERIFY(writeFile(path("in.dxm"), document));
        const ToolRun run =
            writeJob(path("in.dxm"), path("in.job"), {"--exact", "--product", "2", "--version", "1300"});
        QVERIFY2(run.exitCode == 0, run.errors.constData());
        QCOMPARE(run.errors, QByteArray());
        const ConverterCall call = convert(path("in.job"), path("out.dxm"));
        QCOMPARE(call.status, ConverterCall::Status::Called);
        QCOMPARE(call.result, qint16(1));
        QCOMPARE(readAll(path("out.dxm")), document);
    }

    void layoutOnly_data()
    {
        QTest::addColumn<QByteArray>("document");
        QTest::newRow("single quotes") << QByteArray("<a b='1'/>\n");
        QTest::newRow("blanks in tags") << QByteArray("<a  b=\"1\" ></a >\n");
        QTest::newRow("no line end after the root") << QByteArray("<a><b></b></a>");
        QTest::newRow("CR LF") << QByteArray("<a>\r\n<b/>\r\n</a>\r\n");
        QTest::newRow("character reference") << QByteArray("<a>&#65;&#x42;</a>\n");
        QTest::newRow("blank before the root") << QByteArray("\n\n<a/>");
        QTest::newRow("Latin-1") << QByteArray("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<a>Stra\xDF"
                                               "e</a>\n");
    }
    void layoutOnly()
    {
        QFETCH(QByteArray, document);
        QVERIFY(writeFile(path("in.dxm"), document));
        const QStringList options{"--product", "bramwick", "--version", "1300"};
        const ToolRun exact = writeJob(path("in.dxm"), path("in.job"), QStringList{"--exact"} + options);
        QCOMPARE(exact.exitCode, 1);
        QVERIFY(exact.errors.contains("differs"));
        QCOMPARE(files(), QStringList{"in.dxm"});

        const ToolRun loose = writeJob(path("in.dxm"), path("in.job"), options);
        QCOMPARE(loose.exitCode, 0);
        QVERIFY(loose.errors.contains("note:"));
        QCOMPARE(convert(path("in.job"), path("out.dxm")).result, qint16(1));
        const QByteArray converted = readAll(path("out.dxm"));
        QVERIFY(converted != document);
        QCOMPARE(readerView(converted), readerView(document));
    }

    void toolRefuses_data()
    {
        QTest::addColumn<QByteArray>("document"); // empty: no input file
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("says");
        const QStringList valid{"--product", "sarnetto", "--version", "1250"};
        const QByteArray good("<a/>\n");
        QTest::newRow("not well-formed")
            << QByteArray("<a><b></a>") << valid << 1 << QByteArray("not a well-formed");
        QTest::newRow("document type") << QByteArray("<!DOCTYPE a [<!ENTITY e \"x\">]><a>&e;</a>") << valid
                                       << 1 << QByteArray("document type");
        QTest::newRow("no input file") << QByteArray() << valid << 1 << QByteArray("cannot open");
        QTest::newRow("no product") << good << QStringList{"--version", "1250"} << 2
                                    << QByteArray("--product");
        QTest::newRow("unknown product")
            << good << QStringList{"--product", "x", "--version", "1"} << 2 << QByteArray("unknown product");
        QTest::newRow("version beyond 16 bits")
            << good << QStringList{"--product", "0", "--version", "40000"} << 2 << QByteArray("whole number");
        QTest::newRow("unknown behaviour") << good << (valid + QStringList{"--translate", "explode"}) << 2
                                           << QByteArray("unknown --translate");
        QTest::newRow("answer without a version")
            << good << (valid + QStringList{"--inspect", "answer:1"}) << 2 << QByteArray("answer needs");
    }
    void toolRefuses()
    {
        QFETCH(QByteArray, document);
        QFETCH(QStringList, options);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, says);
        if (!document.isEmpty())
            QVERIFY(writeFile(path("in.dxm"), document));
        const ToolRun run = writeJob(path("in.dxm"), path("in.job"), options);
        QCOMPARE(run.exitCode, exitCode);
        QVERIFY2(run.errors.contains(says), run.errors.constData());
        QCOMPARE(files(), document.isEmpty() ? QStringList() : QStringList{"in.dxm"});
    }

    // The unfinished Job file has a name of its own: a file beside it is never written over or
    // removed, whether the tool succeeds or fails. The Job file gets the permissions any new file
    // gets.
    void leavesOtherFilesAlone_data()
    {
        QTest::addColumn<QByteArray>("document");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("written") << QByteArray("<a><b/></a>\n") << 0;
        QTest::newRow("not well-formed") << QByteArray("<a><b/><c></a>") << 1;
    }
    void leavesOtherFilesAlone()
    {
        QFETCH(QByteArray, document);
        QFETCH(int, exitCode);
        QVERIFY(writeFile(path("in.dxm"), document));
        const QByteArray own("a file of the user's own\n");
        QVERIFY(writeFile(path("in.job.part"), own));
        QVERIFY(writeFile(path("new"), QByteArray()));
        const ToolRun run = writeJob(path("in.dxm"), path("in.job"), {"--product", "2", "--version", "1300"});
        QCOMPARE(run.exitCode, exitCode);
        QCOMPARE(readAll(path("in.job.part")), own);
        QStringList expected{"in.dxm", "in.job.part", "new"};
        if (exitCode == 0) {
            expected.append("in.job");
            QCOMPARE(QFileInfo(path("in.job")).permissions(), QFileInfo(path("new")).permissions());
        }
        expected.sort();
        QCOMPARE(files(), expected);
    }

    void damagedJobFiles_data()
    {
        QTest::addColumn<QByteArray>("job");
        QTest::addColumn<bool>("accepted"); // by the inspection
        QTest::addColumn<QString>("error"); // what the conversion raises
        QVERIFY(
            writeFile(path("good.dxm"), readAll(sourceFile(QStringLiteral("tests/data/pipeline/job.dxm")))));
        QCOMPARE(
            writeJob(path("good.dxm"), path("good.job"), {"--product", "2", "--version", "1300"}).exitCode,
            0);
        const QByteArray good = readAll(path("good.job"));
        QVERIFY(good.size() > 100);
        auto withByte = [&](qsizetype offset, char value) {
            return QByteArray(good).replace(offset, 1, &value, 1);
        };
        auto withSize = [&](qsizetype offset, quint32 size) {
            QByteArray bytes = good;
            for (int i = 0; i < 4; ++i)
                bytes[offset + i] = char((size >> (8 * i)) & 0xFF);
            return bytes;
        };
        // The first record (the declaration) starts at byte 12: its type, then its size.
        QTest::newRow("empty") << QByteArray() << false << "is not a job file";
        QTest::newRow("cut inside the header") << good.left(6) << false << "is not a job file";
        QTest::newRow("header only") << good.left(12) << true << "ends before its end record";
        QTest::newRow("cut inside a record") << good.left(good.size() - 20) << true << "ends inside a record";
        QTest::newRow("end record missing")
            << good.left(good.size() - 5) << true << "ends before its end record";
        QTest::newRow("other magic") << withByte(0, 'X') << false << "is not a job file";
        QTest::newRow("unknown product") << withByte(6, 9) << false << "is not a job file";
        QTest::newRow("unknown record type") << withByte(12, 0x55) << true << "unknown record type";
        QTest::newRow("record beyond the end") << withSize(13, 1u << 20) << true << "ends inside a record";
        QTest::newRow("record too large") << withSize(13, 0xFFFFFFF0u) << true << "too large";

        JobBytes secondRoot;
        secondRoot.writer().elementStart("a", {}, true);
        secondRoot.writer().elementStart("b", {}, true);
        secondRoot.writer().end();
        QTest::newRow("second root") << secondRoot.bytes() << true << "a second root element";
        JobBytes endFirst;
        endFirst.writer().elementEnd();
        QTest::newRow("end before start") << endFirst.bytes() << true << "an element end without its start";
        JobBytes unclosed;
        unclosed.writer().elementStart("a", {}, false);
        unclosed.writer().end();
        QTest::newRow("element left open") << unclosed.bytes() << true << "ends inside an element";
        JobBytes markupInName;
        markupInName.writer().elementStart("a><script", {}, true);
        markupInName.writer().end();
        QTest::newRow("markup in a name") << markupInName.bytes() << true << "a name with a character";
        JobBytes badAttribute;
        badAttribute.writer().elementStart("a", {{"x=\"1\" y", "2"}}, true);
        badAttribute.writer().end();
        QTest::newRow("markup in an attribute name")
            << badAttribute.bytes() << true << "a name with a character";
        JobBytes comment;
        comment.writer().comment("a -- b");
        comment.writer().elementStart("a", {}, true);
        comment.writer().end();
        QTest::newRow("comment that ends early")
            << comment.bytes() << true << "a comment that would end early";
        JobBytes cdata;
        cdata.writer().elementStart("a", {}, false);
        cdata.writer().cdata("]]><b/>");
        cdata.writer().elementEnd();
        cdata.writer().end();
        QTest::newRow("CDATA holding its end")
            << cdata.bytes() << true << "a CDATA section holding its own end";
        JobBytes noRoot;
        noRoot.writer().end();
        QTest::newRow("no root element") << noRoot.bytes() << true << "no root element";
    }
    void damagedJobFiles()
    {
        QFETCH(QByteArray, job);
        QFETCH(bool, accepted);
        QFETCH(QString, error);
        QVERIFY(writeFile(path("damaged.job"), job));
        const ConverterCall inspection = inspect(path("damaged.job"));
        QCOMPARE(inspection.status, ConverterCall::Status::Called);
        QCOMPARE(inspection.result != 0, accepted);

        const ConverterCall conversion = convert(path("damaged.job"), path("out.dxm"));
        QCOMPARE(conversion.status, ConverterCall::Status::Raised);
        QVERIFY2(conversion.message.contains(error), qPrintable(conversion.message));
        QVERIFY(!conversion.message.contains(QStringLiteral("unexpectedly")));
        // Nothing half written is left behind.
        QVERIFY(!QFile::exists(path("out.dxm")));
    }
};

QTEST_GUILESS_MAIN(JobFormatTest)
#include "tst_jobformat.moc"
