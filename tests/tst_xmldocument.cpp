#include "platform/FileDescriptor.h"
#include "platform/SystemError.h"
#include "processor/XmlDocument.h"
#include "support/FileSizeLimit.h"
#include "support/TransformToFile.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <clocale>
#include <fcntl.h>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace zandrel::processor;

namespace {

const char *const identity =
    "<?xml version=\"1.0\"?>\n"
    "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">\n"
    "  <xsl:output method=\"text\"/>\n"
    "  <xsl:variable name=\"fileExt\" select=\"'csv'\"/>\n"
    "  <xsl:variable name=\"unit\" select=\"'m'\"/>\n"
    "  <xsl:template match=\"/\"><xsl:value-of select=\"concat(/job/@name, ' ', $unit)\"/></xsl:template>\n"
    "</xsl:stylesheet>\n"
    "";

} // namespace

class XmlDocumentTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString write(const QString &name, const QByteArray &content)
    {
        const QString path = m_dir.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
            return {};
        return path;
    }

    QByteArray transform(const XmlDocument &source, const XmlDocument &styleSheet)
    {
        return transformToFile(source, styleSheet, m_dir.filePath(QStringLiteral("output")));
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void loadFailures_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("reasonPart");
        QTest::newRow("mismatched tag") << QByteArray("<a>\n  <b>\n</a>\n") << "(line 3, column 5)";
        QTest::newRow("empty file") << QByteArray() << "line 1";
        QTest::newRow("two roots") << QByteArray("<a/>\n<b/>") << "line 2";
        QTest::newRow("bad character") << QByteArray("<a>\x01</a>") << "line 1";
        QTest::newRow("undeclared entity") << QByteArray("<a>&nbsp;</a>") << "nbsp";
    }
    void loadFailures()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, reasonPart);
        XmlDocument document;
        QVERIFY(!document.load(write(QStringLiteral("bad.xml"), content)));
        QVERIFY(!document.isLoaded());
        QVERIFY(document.parseError().errorCode != 0);
        QVERIFY2(document.parseError().reason.contains(reasonPart), qPrintable(document.parseError().reason));
    }

    void fileErrorsNameTheSystemReason()
    {
        XmlDocument document;
        QVERIFY(!document.load(m_dir.filePath(QStringLiteral("missing.xml"))));
        QCOMPARE(document.parseError().reason, QStringLiteral("No such file or directory"));
        QVERIFY(!document.load(m_dir.path()));
        QCOMPARE(document.parseError().reason, QStringLiteral("Is a directory"));
    }

    void reloadReplacesTheDocument()
    {
        XmlDocument document;
        QVERIFY(document.load(write(QStringLiteral("one.xml"), "<one/>")));
        QVERIFY(!document.load(write(QStringLiteral("bad.xml"), "<two>")));
        QVERIFY(!document.isLoaded());
        QVERIFY(document.load(write(QStringLiteral("two.xml"), "<two/>")));
        QCOMPARE(document.getElementsByTagName(QStringLiteral("*")).front().tagName(), QStringLiteral("two"));
        QCOMPARE(document.parseError().errorCode, 0);
    }

    void tagNamesAreMatchedAsWritten_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("count");
        QTest::newRow("xsl prefix") << "xsl:variable" << 3;
        QTest::newRow("other prefix, same namespace") << "x:variable" << 1;
        QTest::newRow("local name alone") << "variable" << 1;
        QTest::newRow("all") << "*" << 7;
        QTest::newRow("case counts") << "XSL:variable" << 0;
    }
    void tagNamesAreMatchedAsWritten()
    {
        QFETCH(QString, name);
        QFETCH(int, count);
        const QByteArray content =
            "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\"\n"
            "            xmlns:x=\"http://www.w3.org/1999/XSL/Transform\">\n"
            "          <xsl:variable name=\"a\" select=\"1\"/>\n"
            "          <x:variable name=\"b\" select=\"2\"/>\n"
            "          <xsl:template match=\"/\"><xsl:variable name=\"c\" select=\"3\"/><variable "
            "xmlns=\"urn:other\"/></xsl:template>\n"
            "          <xsl:variable name=\"d\" select=\"4\"/>\n"
            "        </xsl:stylesheet>";
        XmlDocument document;
        QVERIFY(document.load(write(QStringLiteral("names.xsl"), content)));
        QCOMPARE(int(document.getElementsByTagName(name).size()), count);
    }

    void documentOrder()
    {
        XmlDocument document;
        QVERIFY(document.load(
            write(QStringLiteral("order.xml"), "<r><a n='1'><a n='2'/></a><b><a n='3'/></b><a n='4'/></r>")));
        QStringList order;
        for (const XmlElement &element : document.getElementsByTagName(QStringLiteral("a")))
            order << element.getAttribute(QStringLiteral("n")).value_or(QString());
        QCOMPARE(order, (QStringList{"1", "2", "3", "4"}));
    }

    void attributes()
    {
        XmlDocument document;
        QVERIFY(document.load(write(QStringLiteral("attributes.xml"),
                                    "<r a=\"it&apos;s &amp; &#x20AC;\" x:b='1' xmlns:x='urn:x'/>")));
        XmlElement root = document.getElementsByTagName(QStringLiteral("r")).front();
        QCOMPARE(root.getAttribute(QStringLiteral("a")), QStringLiteral("it's & €"));
        QCOMPARE(root.getAttribute(QStringLiteral("x:b")), QStringLiteral("1"));
        QCOMPARE(root.getAttribute(QStringLiteral("b")), std::nullopt);
        QCOMPARE(root.getAttribute(QStringLiteral("missing")), std::nullopt);
        root.setAttribute(QStringLiteral("x:b"), QStringLiteral("2"));
        root.setAttribute(QStringLiteral("new"), QStringLiteral("<\"ü\">"));
        QCOMPARE(root.getAttribute(QStringLiteral("x:b")), QStringLiteral("2"));
        QCOMPARE(root.getAttribute(QStringLiteral("new")), QStringLiteral("<\"ü\">"));
    }

    void transformUsesChangedAttributesAndLeavesTheStyleSheetAlone()
    {
        XmlDocument source;
        XmlDocument styleSheet;
        QVERIFY(source.load(write(QStringLiteral("job.xml"), "<job name='Süd'/>")));
        QVERIFY(styleSheet.load(write(QStringLiteral("style.xsl"), identity)));
        QCOMPARE(transform(source, styleSheet), QByteArray("Süd m"));
        for (XmlElement &variable : styleSheet.getElementsByTagName(QStringLiteral("xsl:variable")))
            if (variable.getAttribute(QStringLiteral("name")) == QLatin1String("unit"))
                variable.setAttribute(QStringLiteral("select"), QStringLiteral("'ft'"));
        QCOMPARE(transform(source, styleSheet), QByteArray("Süd ft"));
        // The compiled copy is the processor's: the document still holds every variable.
        QCOMPARE(styleSheet.getElementsByTagName(QStringLiteral("xsl:variable")).size(), std::size_t(2));
    }

    void processorErrorsCarryEveryMessage_data()
    {
        QTest::addColumn<QByteArray>("instructions");
        QTest::addColumn<QStringList>("parts");
        QTest::newRow("terminate") << QByteArray("<xsl:message>first note</xsl:message>"
                                                 "<xsl:message terminate='yes'>stopped here</xsl:message>")
                                   << QStringList{"first note", "stopped here"};
        QTest::newRow("bad expression") << QByteArray("<xsl:value-of select='1 +'/>")
                                        << QStringList{"1 +", "element value-of", "at character"};
        QTest::newRow("unknown function")
            << QByteArray("<xsl:value-of select='nope()'/>") << QStringList{"nope", "element value-of"};
        QTest::newRow("undeclared prefix")
            << QByteArray("<xsl:value-of select='count(ns:point)'/>")
            << QStringList{"count(ns:point)", "failing.xsl line 1 element value-of"};
        QTest::newRow("unknown instruction") << QByteArray("<xsl:frobnicate/>") << QStringList{"frobnicate"};
        QTest::newRow("undefined variable")
            << QByteArray("<xsl:value-of select='$missing'/>") << QStringList{"missing"};
        QTest::newRow("endless recursion")
            << QByteArray("<xsl:call-template name='again'/></xsl:template>"
                          "<xsl:template name='again'><xsl:call-template name='again'/>")
            << QStringList{"recurs"};
    }
    void processorErrorsCarryEveryMessage()
    {
        QFETCH(QByteArray, instructions);
        QFETCH(QStringList, parts);
        const QByteArray sheet =
            "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
            "<xsl:template match='/'>" +
            instructions + "</xsl:template></xsl:stylesheet>";
        XmlDocument source;
        XmlDocument styleSheet;
        QVERIFY(source.load(write(QStringLiteral("job.xml"), "<job/>")));
        QVERIFY(styleSheet.load(write(QStringLiteral("failing.xsl"), sheet)));
        try {
            transform(source, styleSheet);
            QFAIL("the processor should have failed");
        } catch (const XsltProcessorError &error) {
            const QString all = error.messages().join(u'\n');
            // Every report names the style sheet and the line of the failing instruction.
            QVERIFY2(all.contains(QStringLiteral("failing.xsl")), qPrintable(all));
            for (const QString &part : parts)
                QVERIFY2(all.contains(part, Qt::CaseInsensitive), qPrintable(all));
        }
    }

    // Documents get their local document type's entities and default attributes, and a
    // document type on the network is passed over: nothing listens there in this test, but a
    // connection attempt would reach the listening socket below.
    void documentTypes_data()
    {
        QTest::addColumn<QByteArray>("doctype");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("local DTD") << QByteArray("<!DOCTYPE xsl:stylesheet SYSTEM 'units.dtd'>")
                                   << QByteArray("90\xc2\xb0 45\xc2\xb0 m");
        QTest::newRow("local DTD and internal subset")
            << QByteArray("<!DOCTYPE xsl:stylesheet SYSTEM 'units.dtd' [<!ENTITY nbsp '&#160;'>]>")
            << QByteArray("90\xc2\xb0 45\xc2\xb0 m");
        QTest::newRow("XHTML on the network, entities inside")
            << QByteArray(
                   "<!DOCTYPE xsl:stylesheet PUBLIC '-//W3C//DTD XHTML 1.0 Strict//EN' 'http://127.0.0.1:"
                   "PORT/xhtml1-strict.dtd' [<!ENTITY deg '&#176;'>]>")
            << QByteArray("90\xc2\xb0 45\xc2\xb0 ");
        // The parser would quietly leave the unknown entity out of the text.
        QTest::newRow("missing DTD") << QByteArray("<!DOCTYPE xsl:stylesheet SYSTEM 'missing.dtd'>")
                                     << QByteArray("Entity 'deg' not defined");
        // Reading a FIFO would wait for ever.
        QTest::newRow("DTD is a FIFO") << QByteArray("<!DOCTYPE xsl:stylesheet SYSTEM 'fifo.dtd'>")
                                       << QByteArray("Entity 'deg' not defined");
    }
    void documentTypes()
    {
        QFETCH(QByteArray, doctype);
        QFETCH(QByteArray, expected);
        const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        QVERIFY(listener >= 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        QVERIFY(::bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0);
        QVERIFY(::listen(listener, 4) == 0);
        QVERIFY(::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length) == 0);
        doctype.replace("PORT", QByteArray::number(ntohs(address.sin_port)));

        write(QStringLiteral("units.dtd"), "<!ENTITY deg '&#176;'>\n<!ATTLIST job unit CDATA 'm'>\n");
        const QByteArray fifo = QFile::encodeName(m_dir.filePath(QStringLiteral("fifo.dtd")));
        QVERIFY(::mkfifo(fifo.constData(), 0600) == 0 || errno == EEXIST);
        XmlDocument source;
        XmlDocument styleSheet;
        QVERIFY(source.load(write(QStringLiteral("job.xml"), "<!DOCTYPE job SYSTEM 'units.dtd'><job/>")));
        const QString sheetPath = write(
            QStringLiteral("doctype.xsl"),
            "<?xml version='1.0'?>\n" + doctype +
                "\n<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
                "<xsl:output method='text' encoding='UTF-8'/><xsl:template match='/'><r a='90&deg;'>"
                "<xsl:value-of select='r/@a'/></r><xsl:value-of select=\"concat('90&deg; ', '45&deg; ', "
                "job/@unit)\"/></xsl:template></xsl:stylesheet>");
        // A load that waits on the FIFO fails here within seconds: the FIFO is then given a writer
        // that goes at once, so that the waiting load ends and the test with it.
        std::atomic<bool> done{false};
        bool loaded = false;
        std::thread loading([&] {
            loaded = styleSheet.load(sheetPath);
            done = true;
        });
        QDeadlineTimer deadline(20000);
        while (!done && !deadline.hasExpired())
            QThread::msleep(5);
        const bool waited = !done;
        while (!done) {
            zandrel::platform::FileDescriptor(::open(fifo.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
            QThread::msleep(5);
        }
        loading.join();
        QVERIFY2(!waited, "the load waited on the FIFO");
        const QByteArray result =
            loaded ? transform(source, styleSheet) : styleSheet.parseError().reason.toUtf8();
        const int connection = ::accept(listener, nullptr, nullptr);
        ::close(listener);
        QVERIFY2(connection < 0, "the network was read");
        QCOMPARE(result.left(expected.size()), expected);
    }

    // An entity file outside the document's folder is read as the original platform reads it;
    // the network never is, and a document that needs an entity from it is refused.
    void externalEntities()
    {
        const QString coordinates = write(QStringLiteral("coordinates.txt"), "531012.25");
        const QByteArray entities = "<!DOCTYPE job [<!ENTITY local SYSTEM '" +
                                    QFile::encodeName(coordinates) +
                                    "'><!ENTITY remote SYSTEM 'http://127.0.0.1:9/x.txt'>]>\n";
        XmlDocument remote;
        QVERIFY(!remote.load(write(QStringLiteral("remote.xml"), entities + "<job>&local;|&remote;</job>")));
        QVERIFY2(remote.parseError().reason.contains(QStringLiteral("http://127.0.0.1:9/x.txt")),
                 qPrintable(remote.parseError().reason));
        XmlDocument source;
        QVERIFY(source.load(write(QStringLiteral("entities.xml"), entities + "<job>&local;|</job>")));
        XmlDocument styleSheet;
        QVERIFY(styleSheet.load(
            write(QStringLiteral("copy.xsl"),
                  "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
                  "<xsl:output method='text'/>"
                  "<xsl:template match='/'><xsl:value-of select='job'/></xsl:template>"
                  "</xsl:stylesheet>")));
        QCOMPARE(transform(source, styleSheet), QByteArray("531012.25|"));
    }

    // Numbers are written with "." whatever the locale, on the thread that transforms as well
    // as on the one that loads.
    void numbersIgnoreTheLocale_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("division") << QByteArray("<xsl:value-of select='5432291.45 div 7'/>")
                                  << QByteArray("776041.635714286");
        QTest::newRow("sum") << QByteArray("<xsl:value-of select='1.5 + 0'/>") << QByteArray("1.5");
        QTest::newRow("attribute value template")
            << QByteArray("<r size='{1.4 * 1}'/>") << QByteArray("<r size=\"1.4\"/>");
        QTest::newRow("script") << QByteArray("<xsl:value-of select='user:half(3)'/>") << QByteArray("1.5");
        QTest::newRow("format-number")
            << QByteArray("<xsl:value-of select=\"format-number(1234.5, '#,##0.00')\"/>")
            << QByteArray("1,234.50");
    }
    void numbersIgnoreTheLocale()
    {
        QFETCH(QByteArray, body);
        QFETCH(QByteArray, expected);
        const std::string previous = std::setlocale(LC_ALL, nullptr);
        QVERIFY2(std::setlocale(LC_ALL, "de_DE.UTF-8"), "tools/setup-debian.sh generates de_DE.UTF-8");
        struct Restore {
            std::string locale;
            ~Restore() { std::setlocale(LC_ALL, locale.c_str()); }
        } restore{previous};
        XmlDocument source;
        XmlDocument styleSheet;
        QVERIFY(source.load(write(QStringLiteral("job.xml"), "<job/>")));
        QVERIFY(styleSheet.load(write(
            QStringLiteral("numbers.xsl"),
            "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'"
            " xmlns:msxsl='urn:schemas-microsoft-com:xslt' xmlns:user='urn:user'"
            " exclude-result-prefixes='msxsl user'>"
            "<xsl:output method='xml' omit-xml-declaration='yes'/>"
            "<msxsl:script language='JScript' implements-prefix='user'>function half(n) { return n / 2; }"
            "</msxsl:script><xsl:template match='/'>" +
                body + "</xsl:template></xsl:stylesheet>")));
        QCOMPARE(transform(source, styleSheet).trimmed(), expected);
    }

    // A style sheet for a later XSLT version runs as XSLT 1.0 says: an unknown instruction is
    // a fault only where version 1.0 is in force, or when it runs without xsl:fallback.
    void forwardsCompatibleStyleSheets_data()
    {
        QTest::addColumn<QByteArray>("version");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QByteArray>("expected"); // empty: refused
        const QByteArray withFallback =
            "<xsl:template match='/'>a<xsl:foo><xsl:fallback>b</xsl:fallback></xsl:foo>"
            "</xsl:template>";
        // Any version but 1.0 is a later one; 1.1, the nearest, stands for them all.
        QTest::newRow("1.1, fallback") << QByteArray("1.1") << withFallback << QByteArray("ab");
        QTest::newRow("1.0, fallback") << QByteArray("1.0") << withFallback << QByteArray();
        const QByteArray topLevel = "<xsl:function name='f'/><xsl:template match='/'>a</xsl:template>";
        QTest::newRow("1.1, unknown top level") << QByteArray("1.1") << topLevel << QByteArray("a");
        QTest::newRow("1.0, unknown top level") << QByteArray("1.0") << topLevel << QByteArray();
        QTest::newRow("2.0, unknown never run")
            << QByteArray("2.0")
            << QByteArray("<xsl:template match='/'>a</xsl:template>"
                          "<xsl:template match='none'><xsl:foo/></xsl:template>")
            << QByteArray("a");
        QTest::newRow("2.0, unknown run without fallback")
            << QByteArray("2.0") << QByteArray("<xsl:template match='/'>a<xsl:foo/></xsl:template>")
            << QByteArray();
        QTest::newRow("1.0 inside a literal result element of 2.0")
            << QByteArray("1.0")
            << QByteArray(
                   "<xsl:template match='/'><r xsl:version='2.0'><xsl:foo><xsl:fallback>b</xsl:fallback>"
                   "</xsl:foo></r></xsl:template>")
            << QByteArray("b");
        QTest::newRow("2.0, unknown attributes")
            << QByteArray("2.0")
            << QByteArray("<xsl:template match='/' as='item()'>a<xsl:value-of "
                          "select='1' separator=','/></xsl:template>")
            << QByteArray("a1");
    }
    void forwardsCompatibleStyleSheets()
    {
        QFETCH(QByteArray, version);
        QFETCH(QByteArray, body);
        QFETCH(QByteArray, expected);
        XmlDocument source;
        XmlDocument styleSheet;
        QVERIFY(source.load(write(QStringLiteral("job.xml"), "<job/>")));
        QVERIFY(styleSheet.load(
            write(QStringLiteral("later.xsl"), "<xsl:stylesheet version='" + version +
                                                   "' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
                                                   "<xsl:output method='text'/>" +
                                                   body + "</xsl:stylesheet>")));
        QByteArray result;
        try {
            result = transform(source, styleSheet);
        } catch (const XsltProcessorError &error) {
            QVERIFY2(expected.isEmpty(), qPrintable(error.messages().join(u'\n')));
            QVERIFY2(error.messages().join(u'\n').contains(QStringLiteral("foo")) ||
                         error.messages().join(u'\n').contains(QStringLiteral("function")),
                     qPrintable(error.messages().join(u'\n')));
            return;
        }
        QVERIFY2(!expected.isEmpty(), result.constData());
        QCOMPARE(result, expected);
    }

    void styleSheetsNeitherReachTheNetworkNorWriteFiles_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("message");
        QTest::newRow("document over the network")
            << QByteArray("<xsl:copy-of select=\"document('http://127.0.0.1:9/job.xml')\"/>")
            << "read rights for http://127.0.0.1:9/job.xml denied";
        QTest::newRow("writes a file")
            << QByteArray("<exsl:document href='written-by-style-sheet.txt' method='text'>x</exsl:document>")
            << "write rights for";
        QTest::newRow("makes a folder")
            << QByteArray("<exsl:document href='new-folder/written.txt' method='text'>x</exsl:document>")
            << "denied";
    }
    void styleSheetsNeitherReachTheNetworkNorWriteFiles()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, message);
        const QByteArray sheet =
            "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'"
            " xmlns:exsl='http://exslt.org/common' extension-element-prefixes='exsl'>"
            "<xsl:template match='/'>" +
            body + "</xsl:template></xsl:stylesheet>";
        XmlDocument source;
        XmlDocument styleSheet;
        QVERIFY(source.load(write(QStringLiteral("job.xml"), "<job/>")));
        QVERIFY(styleSheet.load(write(QStringLiteral("reach.xsl"), sheet)));
        // The generation stops with the reason; nothing is written or made.
        try {
            transform(source, styleSheet);
            QFAIL("the style sheet should have been stopped");
        } catch (const XsltProcessorError &error) {
            QVERIFY2(error.messages().join(u'\n').contains(message),
                     qPrintable(error.messages().join(u'\n')));
            QVERIFY2(error.messages().join(u'\n').contains(QStringLiteral("reach.xsl line 1")),
                     qPrintable(error.messages().join(u'\n')));
        }
        QVERIFY(!QFile::exists(m_dir.filePath(QStringLiteral("written-by-style-sheet.txt"))));
        QVERIFY(!QFile::exists(m_dir.filePath(QStringLiteral("new-folder"))));
    }

    void localDocumentsAreRead_data()
    {
        QTest::addColumn<bool>("preserve");
        QTest::newRow("white space dropped") << false;
        QTest::newRow("white space preserved") << true;
    }
    // document('') is the style sheet itself; other local documents load like the source.
    void localDocumentsAreRead()
    {
        QFETCH(bool, preserve);
        write(QStringLiteral("units.xml"), "<units>\n  <unit name='m'/>\n  <unit name='ft'/>\n</units>");
        XmlDocument source;
        XmlDocument styleSheet;
        source.setPreserveWhiteSpace(preserve);
        styleSheet.setPreserveWhiteSpace(preserve);
        QVERIFY(source.load(write(QStringLiteral("job.xml"), "<job/>")));
        QVERIFY(styleSheet.load(
            write(QStringLiteral("documents.xsl"),
                  "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
                  "<xsl:output method='text'/><xsl:variable name='fileExt' select=\"'txt'\"/>"
                  "<xsl:template match='/'><xsl:value-of select=\"document('')//xsl:variable/@name\"/>,"
                  "<xsl:value-of "
                  "select=\"count(document('units.xml')/units/node())\"/></xsl:template></xsl:stylesheet>")));
        QCOMPARE(transform(source, styleSheet), preserve ? QByteArray("fileExt,5") : QByteArray("fileExt,2"));
    }

    void recursion_data()
    {
        QTest::addColumn<int>("depth");
        QTest::addColumn<QByteArray>("result");
        // A sum over fifteen thousand points, one template call per point, is within the limits.
        QTest::newRow("deep") << 15000 << QByteArray("112507500");
        // A runaway recursion ends with the processor's message, not with a crash.
        QTest::newRow("runaway") << 100000000 << QByteArray("infinite template recursion");
    }
    void recursion()
    {
        QFETCH(int, depth);
        QFETCH(QByteArray, result);
        XmlDocument source;
        XmlDocument styleSheet;
        QVERIFY(source.load(write(QStringLiteral("job.xml"), "<job/>")));
        QVERIFY(styleSheet.load(
            write(QStringLiteral("recursion.xsl"),
                  "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
                  "<xsl:output method='text'/>"
                  "<xsl:template match='/'><xsl:call-template name='sum'><xsl:with-param name='n' select='" +
                      QByteArray::number(depth) +
                      "'/></xsl:call-template></xsl:template>"
                      "<xsl:template name='sum'><xsl:param name='n'/><xsl:param name='total' "
                      "select='0'/><xsl:choose>"
                      "<xsl:when test='$n = 0'><xsl:value-of select='$total'/></xsl:when><xsl:otherwise>"
                      "<xsl:call-template name='sum'><xsl:with-param name='n' select='$n - 1'/>"
                      "<xsl:with-param name='total' select='$total + $n'/></xsl:call-template>"
                      "</xsl:otherwise></xsl:choose></xsl:template></xsl:stylesheet>")));
        QByteArray output;
        try {
            output = transform(source, styleSheet);
        } catch (const XsltProcessorError &error) {
            output = error.messages().join(u'\n').toUtf8();
        }
        QVERIFY2(output.contains(result), output.left(300).constData());
    }

    // A write that fails, here past the file size limit as on a full disk, is a write error with
    // the system's own reason, which tells a user what to do about it.
    void writeFailureIsAWriteError()
    {
        XmlDocument source;
        XmlDocument styleSheet;
        QVERIFY(source.load(write(QStringLiteral("job.xml"), "<job name='n'/>")));
        QVERIFY(styleSheet.load(write(QStringLiteral("style.xsl"), identity)));
        const zandrel::platform::FileDescriptor output(
            ::open(QFile::encodeName(m_dir.filePath(QStringLiteral("full.txt"))).constData(),
                   O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
        QVERIFY(output.isOpen());
        QString reason;
        {
            // Two of the three bytes ("n m") fit.
            const filesizelimit::ScopedLimit limit(2);
            QVERIFY(limit.isSet());
            try {
                source.transformNodeToFile(styleSheet, output.get());
            } catch (const XmlWriteError &error) {
                reason = error.reason();
            }
        }
        QCOMPARE(reason, zandrel::platform::systemErrorText(EFBIG));
    }
};

QTEST_GUILESS_MAIN(XmlDocumentTest)
#include "tst_xmldocument.moc"
