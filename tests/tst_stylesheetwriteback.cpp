// Answers written back into the style sheet file: in the file's own encoding, into the element
// that the target names, as numbers that XPath reads, and into files that a team shares.
#include "generate/GenerationPipeline.h"
#include "generate/StyleSheetVariables.h"
#include "platform/FileOperations.h"
#include "processor/XmlDocument.h"
#include "support/ScriptedInteraction.h"
#include "support/TestFiles.h"
#include "support/TransformToFile.h"

#include <QDir>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <functional>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

using namespace zandrel;

namespace {

const QByteArray stylesheetStart =
    "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">";

// A style sheet that asks for "shown" and writes its value out; mixed line ends on purpose.
QString sheetText(const QString &declaration, const QString &shownSelect, const QString &typePart = "STRING")
{
    return declaration + QStringLiteral("\r\n<!-- caf\u00e9 -->\n") + QString::fromLatin1(stylesheetStart) +
           QStringLiteral("\r\n  <xsl:output method=\"text\" encoding=\"UTF-8\"/>\n"
                          "  <xsl:variable name=\"userField1\" select=\"'shown|Shown|") +
           typePart + QStringLiteral("'\"/>\r\n  <xsl:variable name=\"shown\" select=\"") + shownSelect +
           QStringLiteral(
               "\"/>\n  <xsl:template match=\"/\"><xsl:value-of select=\"$shown\"/></xsl:template>\n"
               "</xsl:stylesheet>");
}

QByteArray encoded(const QString &text, const QByteArray &form)
{
    if (form == "latin1")
        return text.toLatin1();
    if (form == "utf8")
        return text.toUtf8();
    QStringEncoder encoder(form == "utf16le" ? QStringConverter::Utf16LE : QStringConverter::Utf16BE);
    return encoder(text);
}

QString selectOf(const processor::XmlDocument &document, const QString &name)
{
    for (const processor::XmlElement &variable :
         document.getElementsByTagName(QStringLiteral("xsl:variable")))
        if (variable.getAttribute(QStringLiteral("name")) == name)
            return variable.getAttribute(QStringLiteral("select")).value_or(QString());
    return QStringLiteral("<missing>");
}

enum class Sharing { FolderNotWritable, OtherOwner, OwnFileOtherGroup, HardLink, SymbolicLink };

// How another program changes the style sheet while its question waits.
enum class Change { None, Edited, EditedSameSize, ReplacedByFile, ReplacedByLink };

// Runs a change of the files before it answers.
class ChangingInteraction : public ScriptedInteraction {
public:
    std::function<void()> beforeAnswer;
    Answer askUserValue(const UserValueRequest &request) override
    {
        if (beforeAnswer)
            std::exchange(beforeAnswer, nullptr)();
        return ScriptedInteraction::askUserValue(request);
    }
};

// A group of the user's other than the one a new file would get; 0 when there is none.
gid_t anotherGroup()
{
    if (::geteuid() == 0)
        return 65534;
    gid_t groups[64];
    const int count = ::getgroups(64, groups);
    for (int i = 0; i < count; ++i)
        if (groups[i] != ::getegid())
            return groups[i];
    return 0;
}

// Gives a folder its write permission back, so that it can be removed.
struct WritableAgain {
    QString folder;
    ~WritableAgain() { ::chmod(QFile::encodeName(folder).constData(), 0700); }
};

} // namespace

Q_DECLARE_METATYPE(Sharing)
Q_DECLARE_METATYPE(Change)

class StyleSheetWriteBackTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    const QLocale m_dot{QLocale::English, QLocale::UnitedStates};

    // Loads the style sheet, answers its one question and gives the document back.
    bool answer(const QString &path, const QString &text, processor::XmlDocument &styleSheet,
                ScriptedInteraction &interaction)
    {
        if (!styleSheet.load(path))
            return false;
        interaction.valueAnswers = {Answer::given(text)};
        return ApplyUserVariables(styleSheet, path, interaction, m_dot) == UserVariablesResult::Applied &&
               interaction.messages.isEmpty();
    }

    QString transformed(const processor::XmlDocument &styleSheet)
    {
        const QString jobPath = m_dir.filePath(QStringLiteral("job.xml"));
        processor::XmlDocument job;
        if (!writeFile(jobPath, "<job/>") || !job.load(jobPath))
            return QStringLiteral("job not loaded");
        try {
            return QString::fromUtf8(
                transformToFile(job, styleSheet, m_dir.filePath(QStringLiteral("out.txt"))));
        } catch (const std::exception &error) {
            return QString::fromUtf8(error.what());
        }
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void answersInTheFilesOwnEncoding_data()
    {
        QTest::addColumn<QString>("declaration");
        QTest::addColumn<QByteArray>("bom");
        QTest::addColumn<QByteArray>("form");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("written"); // the select text as the file's characters hold it
        const QString latin1 = QStringLiteral("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>");
        QTest::newRow("ISO-8859-1") << latin1 << QByteArray() << QByteArray("latin1") << "M\u00fcller"
                                    << "'M\u00fcller'";
        QTest::newRow("ISO-8859-1 lacks the euro sign")
            << latin1 << QByteArray() << QByteArray("latin1") << "5 \u20ac"
            << "'5 &#8364;'";
        // The euro sign and the en dash are the bytes 0x80 and 0x96 in windows-1252.
        QTest::newRow("windows-1252") << "<?xml version='1.0' encoding='windows-1252'?>" << QByteArray()
                                      << QByteArray("latin1") << "5 \u20ac \u2013 M\u00fcller"
                                      << "'5 \u0080 \u0096 M\u00fcller'";
        QTest::newRow("UTF-16 little-endian with BOM")
            << "<?xml version=\"1.0\" encoding=\"UTF-16\"?>" << QByteArray("\xff\xfe")
            << QByteArray("utf16le") << "M\u00fcller \u20ac"
            << "'M\u00fcller \u20ac'";
        QTest::newRow("UTF-16 big-endian with BOM")
            << "<?xml version=\"1.0\" encoding=\"UTF-16\"?>" << QByteArray("\xfe\xff")
            << QByteArray("utf16be") << "\U0001D11E M\u00fcller"
            << "'\U0001D11E M\u00fcller'";
        QTest::newRow("UTF-8 with BOM")
            << "<?xml version=\"1.0\"?>" << QByteArray("\xef\xbb\xbf") << QByteArray("utf8") << "M\u00fcller"
            << "'M\u00fcller'";
    }
    void answersInTheFilesOwnEncoding()
    {
        QFETCH(QString, declaration);
        QFETCH(QByteArray, bom);
        QFETCH(QByteArray, form);
        QFETCH(QString, answer);
        QFETCH(QString, written);
        const QString path = m_dir.filePath(QStringLiteral("encoded.xsl"));
        QVERIFY(writeFile(path, bom + encoded(sheetText(declaration, QStringLiteral("'Meier'")), form)));
        processor::XmlDocument styleSheet;
        ScriptedInteraction interaction;
        QVERIFY(this->answer(path, answer, styleSheet, interaction));
        const QByteArray expected = bom + encoded(sheetText(declaration, written), form);
        QCOMPARE(readAll(path), expected);

        // The parser reads the answer back as it was given.
        processor::XmlDocument reread;
        QVERIFY2(reread.load(path), qPrintable(reread.parseError().reason));
        QCOMPARE(transformed(reread), answer);

        // The same answer again leaves every byte as it is.
        processor::XmlDocument again;
        ScriptedInteraction next;
        QVERIFY(this->answer(path, answer, again, next));
        QCOMPARE(next.valueRequests.value(0).initialText, answer);
        QCOMPARE(readAll(path), expected);
    }

    void answerGoesIntoTheNamedElement_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("after");
        const QByteArray definition = "<xsl:variable name=\"userField1\" select=\"'units|Units|STRING'\"/>";
        const QByteArray output =
            "<xsl:template match=\"/\"><xsl:value-of select=\"$units\"/></xsl:template>";
        QTest::newRow("commented-out example above")
            << "\n<!-- <xsl:variable name=\"units\" select=\"'yd'\"/> -->\n" + definition +
                   "\n<xsl:variable name=\"units\" select=\"'m'\"/>\n" + output + '\n'
            << "\n<!-- <xsl:variable name=\"units\" select=\"'yd'\"/> -->\n" + definition +
                   "\n<xsl:variable name=\"units\" select=\"'ft'\"/>\n" + output + '\n';
        QTest::newRow("another element's select earlier on the line")
            << definition +
                   "\n<xsl:variable name=\"scale\" select=\"1\"/><xsl:variable name=\"units\" "
                   "select=\"'m'\"/>\n" +
                   output
            << definition +
                   "\n<xsl:variable name=\"scale\" select=\"1\"/><xsl:variable name=\"units\" "
                   "select=\"'ft'\"/>\n" +
                   output;
        QTest::newRow("inside CDATA")
            << "<xsl:template name=\"t\"><xsl:text><![CDATA[<xsl:variable name=\"units\" "
               "select=\"'yd'\"/>]]></xsl:text>"
               "</xsl:template>\n" +
                   definition + "<xsl:variable name=\"units\" select=\"'m'\"/>" + output
            << "<xsl:template name=\"t\"><xsl:text><![CDATA[<xsl:variable name=\"units\" "
               "select=\"'yd'\"/>]]></xsl:text>"
               "</xsl:template>\n" +
                   definition + "<xsl:variable name=\"units\" select=\"'ft'\"/>" + output;
        QTest::newRow("minified") << definition + "<xsl:variable name=\"units\" select=\"'m'\"/>" + output
                                  << definition + "<xsl:variable name=\"units\" select=\"'ft'\"/>" + output;
        QTest::newRow("select first, over two lines")
            << definition + "\n<xsl:variable\n  select='&apos;m&apos;' name = 'units'/>" + output
            << definition + "\n<xsl:variable\n  select='&apos;ft&apos;' name = 'units'/>" + output;
    }
    void answerGoesIntoTheNamedElement()
    {
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, after);
        const QString path = m_dir.filePath(QStringLiteral("place.xsl"));
        QVERIFY(writeFile(path, stylesheetStart + before + "</xsl:stylesheet>"));
        processor::XmlDocument styleSheet;
        ScriptedInteraction interaction;
        QVERIFY(answer(path, QStringLiteral("ft"), styleSheet, interaction));
        QCOMPARE(readAll(path), stylesheetStart + after + "</xsl:stylesheet>");
    }

    void numbersAreWrittenAsXPathReadsThem_data()
    {
        QTest::addColumn<QString>("typePart");
        QTest::addColumn<QString>("select");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("written");
        QTest::addColumn<QString>("output");
        QTest::newRow("integer with a plus sign") << "INTEGER|0|10"
                                                  << "3"
                                                  << "+5"
                                                  << "5"
                                                  << "5";
        QTest::newRow("integer between blanks") << "INTEGER"
                                                << "3"
                                                << " 4 "
                                                << "4"
                                                << "4";
        QTest::newRow("negative integer") << "INTEGER"
                                          << "3"
                                          << "-04"
                                          << "-4"
                                          << "-4";
        QTest::newRow("integer as offered keeps its form") << "INTEGER"
                                                           << "007"
                                                           << "007"
                                                           << "007"
                                                           << "7";
        QTest::newRow("double with a plus sign") << "DOUBLE"
                                                 << "1.5"
                                                 << "+2.5"
                                                 << "2.5"
                                                 << "2.5";
        QTest::newRow("double as offered, stored with a plus sign") << "DOUBLE"
                                                                    << "+5"
                                                                    << "5"
                                                                    << "5"
                                                                    << "5";
        QTest::newRow("integer as offered, stored with a plus sign") << "INTEGER"
                                                                     << "+5"
                                                                     << "+5"
                                                                     << "5"
                                                                     << "5";
    }
    void numbersAreWrittenAsXPathReadsThem()
    {
        QFETCH(QString, typePart);
        QFETCH(QString, select);
        QFETCH(QString, answer);
        QFETCH(QString, written);
        QFETCH(QString, output);
        const QString path = m_dir.filePath(QStringLiteral("number.xsl"));
        QVERIFY(
            writeFile(path, sheetText(QStringLiteral("<?xml version=\"1.0\"?>"), select, typePart).toUtf8()));
        processor::XmlDocument styleSheet;
        ScriptedInteraction interaction;
        QVERIFY(this->answer(path, answer, styleSheet, interaction));
        QCOMPARE(selectOf(styleSheet, QStringLiteral("shown")), written);
        QCOMPARE(transformed(styleSheet), output);
        QVERIFY(readAll(path).contains("name=\"shown\" select=\"" + written.toUtf8() + '"'));
    }

    void sharedFileKeepsItsOwnerAndGetsTheAnswers_data()
    {
        QTest::addColumn<Sharing>("sharing");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("answer");
        const QString meier = QStringLiteral("Meier");
        const QString mueller = QStringLiteral("M\u00fcller");
        QTest::newRow("folder the user cannot write") << Sharing::FolderNotWritable << meier << mueller;
        QTest::newRow("file of another user, writable by the group")
            << Sharing::OtherOwner << meier << mueller;
        QTest::newRow("own file in another group") << Sharing::OwnFileOtherGroup << meier << mueller;
        QTest::newRow("second hard link") << Sharing::HardLink << meier << mueller;
        QTest::newRow("opened through a symbolic link") << Sharing::SymbolicLink << meier << mueller;
        // The old text's tail must not stay behind the new one.
        const QString longName = QStringLiteral("Meier-L\u00fcdenscheidt von Hohenberg");
        QTest::newRow("second hard link, shorter answer")
            << Sharing::HardLink << longName << QStringLiteral("Li");
        QTest::newRow("folder the user cannot write, shorter answer")
            << Sharing::FolderNotWritable << longName << QStringLiteral("Li");
    }
    void sharedFileKeepsItsOwnerAndGetsTheAnswers()
    {
        QFETCH(Sharing, sharing);
        QFETCH(QString, stored);
        QFETCH(QString, answer);
        const bool root = ::geteuid() == 0;
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        const QString path = folder.filePath(QStringLiteral("shared.xsl"));
        const QString otherName = folder.filePath(QStringLiteral("other name.xsl"));
        const QString declaration = QStringLiteral("<?xml version=\"1.0\"?>");
        QVERIFY(writeFile(path, sheetText(declaration, u'\'' + stored + u'\'').toUtf8()));
        const QByteArray file = QFile::encodeName(path);
        QVERIFY(::chmod(file.constData(), 0664) == 0);
        WritableAgain writableAgain{folder.path()};
        QString opened = path;
        switch (sharing) {
        case Sharing::FolderNotWritable:
            if (root)
                QSKIP("Folder permissions do not bind root; the other-owner case writes in place instead");
            QVERIFY(::chmod(QFile::encodeName(folder.path()).constData(), 0555) == 0);
            break;
        case Sharing::OtherOwner:
            if (!root)
                QSKIP("Only root can give the file to another user; the method choice covers this case");
            QVERIFY(::chown(file.constData(), 65534, 65534) == 0);
            break;
        case Sharing::OwnFileOtherGroup:
            if (anotherGroup() == 0)
                QSKIP("The user belongs to no second group");
            QVERIFY(::chown(file.constData(), uid_t(-1), anotherGroup()) == 0);
            break;
        case Sharing::HardLink:
            QVERIFY(::link(file.constData(), QFile::encodeName(otherName).constData()) == 0);
            break;
        case Sharing::SymbolicLink:
            QVERIFY(QFile::link(path, otherName));
            opened = otherName;
            break;
        }
        struct stat before {};
        QVERIFY(::stat(file.constData(), &before) == 0);

        processor::XmlDocument styleSheet;
        ScriptedInteraction interaction;
        QVERIFY(this->answer(opened, answer, styleSheet, interaction));
        // Written in place, a shorter text is filled up with blanks after the root element, so
        // that the file is never cut short, and loads at any moment of the write.
        const QByteArray storedText = sheetText(declaration, u'\'' + stored + u'\'').toUtf8();
        QByteArray expected = sheetText(declaration, u'\'' + answer + u'\'').toUtf8();
        expected += QByteArray(std::max<qsizetype>(storedText.size() - expected.size(), 0), ' ');
        QCOMPARE(readAll(path), expected);
        processor::XmlDocument reloaded;
        QVERIFY2(reloaded.load(path), qPrintable(reloaded.parseError().reason));
        QCOMPARE(selectOf(reloaded, QStringLiteral("shown")), u'\'' + answer + u'\'');
        struct stat after {};
        QVERIFY(::stat(file.constData(), &after) == 0);
        QCOMPARE(after.st_uid, before.st_uid);
        QCOMPARE(after.st_gid, before.st_gid);
        QCOMPARE(after.st_mode, before.st_mode);
        QCOMPARE(after.st_nlink, before.st_nlink);
        // No temporary file left behind, and both names still show the one file.
        const QStringList names = QDir(folder.path()).entryList(QDir::Files | QDir::Hidden | QDir::System);
        if (sharing == Sharing::HardLink || sharing == Sharing::SymbolicLink) {
            QCOMPARE(names, (QStringList{"other name.xsl", "shared.xsl"}));
            QCOMPARE(readAll(otherName), expected);
            QCOMPARE(QFileInfo(otherName).isSymLink(), sharing == Sharing::SymbolicLink);
        } else {
            QCOMPARE(names, QStringList{"shared.xsl"});
        }
    }

    // Another program edits the style sheet, or puts another file or a link in its place, while
    // a question waits: its work and the other file stay as they are, the answers apply to this
    // run only, and the user is told why they were not kept.
    void answersOnlyOverTheFileAsRead_data()
    {
        QTest::addColumn<Change>("change");
        QTest::addColumn<bool>("shared"); // a second hard link: written in place
        for (const bool shared : {false, true}) {
            const char *way = shared ? ", shared" : "";
            QTest::addRow("unchanged%s", way) << Change::None << shared;
            QTest::addRow("edited%s", way) << Change::Edited << shared;
            QTest::addRow("edited to the same size%s", way) << Change::EditedSameSize << shared;
            QTest::addRow("replaced by another file%s", way) << Change::ReplacedByFile << shared;
            QTest::addRow("replaced by a link to another file%s", way) << Change::ReplacedByLink << shared;
        }
    }
    void answersOnlyOverTheFileAsRead()
    {
        QFETCH(Change, change);
        QFETCH(bool, shared);
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        const QString path = folder.filePath(QStringLiteral("sheet.xsl"));
        const QString other = folder.filePath(QStringLiteral("other.txt"));
        const QString job = folder.filePath(QStringLiteral("job.dxm"));
        const QString declaration = QStringLiteral("<?xml version=\"1.0\"?>");
        const QByteArray original = sheetText(declaration, QStringLiteral("'Meier'")).toUtf8();
        const QByteArray otherText = "another file the user may write\n";
        QVERIFY(writeFile(path, original));
        QVERIFY(writeFile(other, otherText));
        QVERIFY(writeFile(job, "<DexmorJob/>"));
        if (shared)
            QVERIFY(::link(QFile::encodeName(path).constData(),
                           QFile::encodeName(folder.filePath(QStringLiteral("link.xsl"))).constData()) == 0);

        QByteArray edited = original;
        edited.replace("caf\xc3\xa9", change == Change::EditedSameSize ? "tea!!" : "coffee or tea");
        ChangingInteraction interaction;
        interaction.valueAnswers = {Answer::given(QStringLiteral("M\u00fcller"))};
        interaction.beforeAnswer = [&] {
            switch (change) {
            case Change::None:
                break;
            case Change::Edited:
            case Change::EditedSameSize: {
                // Written over in place, as an editor that keeps the file does.
                QFile file(path);
                QVERIFY(file.open(QIODevice::ReadWrite) && file.write(edited) == edited.size() &&
                        file.resize(edited.size()));
                break;
            }
            case Change::ReplacedByFile:
                QVERIFY(writeFile(path + QStringLiteral(".new"), edited));
                QVERIFY(::rename(QFile::encodeName(path + QStringLiteral(".new")).constData(),
                                 QFile::encodeName(path).constData()) == 0);
                break;
            case Change::ReplacedByLink:
                QVERIFY(QFile::remove(path));
                QVERIFY(QFile::link(other, path));
                break;
            }
        };
        GenerationInputs inputs;
        inputs.sourceFile = job;
        inputs.styleSheetPath = path;
        inputs.outputFileName = folder.filePath(QStringLiteral("out.txt"));
        GenerationPipeline pipeline(interaction);
        QCOMPARE(pipeline.run(inputs, true), GenerationOutcome::Written);
        // The answer applies to this run in every case.
        QCOMPARE(readAll(inputs.outputFileName), QByteArray("M\xc3\xbcller"));

        const QByteArray answered = sheetText(declaration, QStringLiteral("'M\u00fcller'")).toUtf8();
        QStringList warnings;
        for (const ScriptedInteraction::Message &message : interaction.messages)
            warnings.append(message.text);
        switch (change) {
        case Change::None:
            QCOMPARE(warnings, QStringList());
            QCOMPARE(readAll(path), answered);
            break;
        case Change::Edited:
        case Change::EditedSameSize:
        case Change::ReplacedByFile:
            QCOMPARE(readAll(path), edited);
            break;
        case Change::ReplacedByLink:
            QCOMPARE(readAll(other), otherText);
            break;
        }
        QCOMPARE(readAll(other), otherText);
        if (change != Change::None) {
            QCOMPARE(warnings.size(), 1);
            QVERIFY2(warnings.front().contains(QStringLiteral("the file changed after it was read")),
                     qPrintable(warnings.front()));
            QVERIFY2(warnings.front().contains(path), qPrintable(warnings.front()));
        }
        if (shared && change != Change::ReplacedByFile && change != Change::ReplacedByLink)
            QCOMPARE(readAll(folder.filePath(QStringLiteral("link.xsl"))), readAll(path));
    }

    // The cases that the test's own user cannot set up: which way each file is written.
    void rewriteMethodSuitsTheFile_data()
    {
        QTest::addColumn<uid_t>("owner");
        QTest::addColumn<bool>("folderWritable");
        QTest::addColumn<bool>("groupSettable");
        QTest::addColumn<bool>("atomic");
        QTest::newRow("own file, writable folder") << uid_t(1000) << true << true << true;
        QTest::newRow("file of another user") << uid_t(1001) << true << true << false;
        QTest::newRow("folder not writable") << uid_t(1000) << false << true << false;
        QTest::newRow("group the user is not in") << uid_t(1000) << true << false << false;
    }
    void rewriteMethodSuitsTheFile()
    {
        QFETCH(uid_t, owner);
        QFETCH(bool, folderWritable);
        QFETCH(bool, groupSettable);
        QFETCH(bool, atomic);
        platform::FileStanding standing;
        standing.owner = owner;
        standing.folderWritable = folderWritable;
        standing.groupSettable = groupSettable;
        QCOMPARE(platform::rewriteMethodFor(standing, 1000) == platform::RewriteMethod::ReplaceAtomically,
                 atomic);
    }
};

QTEST_GUILESS_MAIN(StyleSheetWriteBackTest)
#include "tst_stylesheetwriteback.moc"
