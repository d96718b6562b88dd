// The style sheet's user variable definitions and select texts read as text: fields, types,
// quoted texts, numbers and the lines rewritten with the answers.
#include "base/GenerationError.h"
#include "generate/StyleSheetLines.h"
#include "generate/StyleSheetVariables.h"

#include <QTest>

#include <limits>

using namespace zandrel;

Q_DECLARE_METATYPE(zandrel::ValueType)
Q_DECLARE_METATYPE(std::optional<zandrel::ValueType>)

class UserVariableTextsTest : public QObject {
    Q_OBJECT

    const QLocale m_dot{QLocale::English, QLocale::UnitedStates};
    const QLocale m_comma{QLocale::German, QLocale::Germany};

private Q_SLOTS:
    void definitions_data()
    {
        QTest::addColumn<QString>("typePart");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<std::optional<ValueType>>("type");
        QTest::addColumn<QString>("minimum");
        QTest::addColumn<QString>("maximum");
        QTest::addColumn<QStringList>("entries");
        using T = ValueType;
        const std::optional<T> none;
        QTest::newRow("STRING") << "STRING" << true << std::optional(T::String) << ""
                                << "" << QStringList();
        QTest::newRow("string, blanks") << " string " << true << std::optional(T::String) << ""
                                        << "" << QStringList();
        QTest::newRow("STRING with fields") << "STRING|x" << true << none << ""
                                            << "" << QStringList();
        QTest::newRow("DOUBLE alone") << "DOUBLE" << true << std::optional(T::Double) << ""
                                      << "" << QStringList();
        QTest::newRow("DOUBLE limits") << "DOUBLE|0|100" << true << std::optional(T::Double) << "0"
                                       << "100" << QStringList();
        QTest::newRow("lower limit alone ignored") << "DOUBLE|0" << true << std::optional(T::Double) << ""
                                                   << "" << QStringList();
        QTest::newRow("extra field stays in the upper limit")
            << "DOUBLE|0|100|2" << true << std::optional(T::Double) << "0"
            << "100|2" << QStringList();
        QTest::newRow("lower case word") << "double|0|10" << true << std::optional(T::Double) << "0"
                                         << "10" << QStringList();
        QTest::newRow("upper limit untrimmed")
            << "INTEGER| 1 | 10 " << true << std::optional(T::Integer) << "1"
            << " 10 " << QStringList();
        QTest::newRow("INTEGER inside a word") << "MYINTEGERS" << true << none << ""
                                               << "" << QStringList();
        QTest::newRow("menu count too high")
            << "STRINGMENU|3|Metres|Feet" << false << std::optional(T::StringMenu) << ""
            << "" << QStringList{"Metres", "Feet"};
        QTest::newRow("menu trailing separator")
            << "STRINGMENU|2|Metres|Feet|" << true << std::optional(T::StringMenu) << ""
            << "" << QStringList{"Metres", "Feet"};
        QTest::newRow("menu one empty entry, count 2")
            << "STRINGMENU|2|" << false << std::optional(T::StringMenu) << ""
            << "" << QStringList{""};
        QTest::newRow("menu one empty entry") << "STRINGMENU|1|" << true << std::optional(T::StringMenu) << ""
                                              << "" << QStringList{""};
        QTest::newRow("menu count no number")
            << "STRINGMENU|two|a|b" << false << std::optional(T::StringMenu) << ""
            << "" << QStringList();
        QTest::newRow("menu signed count, last entry untrimmed")
            << "STRINGMENU| +2 | a | b " << true << std::optional(T::StringMenu) << ""
            << "" << QStringList{"a", " b "};
        QTest::newRow("menu without count") << "STRINGMENU|" << true << std::optional(T::StringMenu) << ""
                                            << "" << QStringList();
        QTest::newRow("FILENAME dotted") << "FILENAME|.csv" << true << std::optional(T::FileName) << "csv"
                                         << "" << QStringList();
        QTest::newRow("FILENAME plain") << "FILENAME|csv" << true << std::optional(T::FileName) << "csv"
                                        << "" << QStringList();
        QTest::newRow("FILENAME alone") << "FILENAME" << true << std::optional(T::FileName) << ""
                                        << "" << QStringList();
        QTest::newRow("empty") << "" << true << none << ""
                               << "" << QStringList();
        QTest::newRow("unknown word") << "BOOLEAN|1" << true << none << ""
                                      << "" << QStringList();
    }
    void definitions()
    {
        QFETCH(QString, typePart);
        QFETCH(bool, valid);
        QFETCH(std::optional<ValueType>, type);
        QFETCH(QString, minimum);
        QFETCH(QString, maximum);
        QFETCH(QStringList, entries);
        const ValueDefinition definition = ParseValueDefinition(typePart);
        QCOMPARE(definition.valid, valid);
        QCOMPARE(definition.type, type);
        QCOMPARE(definition.minimumText, minimum);
        QCOMPARE(definition.maximumText, maximum);
        if (valid || !entries.isEmpty())
            QCOMPARE(definition.menuEntries, entries);
    }

    void definitionFields_data()
    {
        QTest::addColumn<QString>("definition");
        QTest::addColumn<QStringList>("fields");
        QTest::newRow("three fields") << " units | Distance units |STRINGMENU|2|m|ft"
                                      << QStringList{"units", "Distance units", "STRINGMENU|2|m|ft"};
        QTest::newRow("no separator") << "DOUBLE" << QStringList{"", "", "DOUBLE"};
        QTest::newRow("one separator") << "units|STRING" << QStringList{"units", "", "STRING"};
    }
    void definitionFields()
    {
        QFETCH(QString, definition);
        QFETCH(QStringList, fields);
        const DefinitionFields split = SplitDefinition(definition);
        QCOMPARE((QStringList{split.target, split.prompt, split.typePart}), fields);
    }

    void selectTexts_data()
    {
        QTest::addColumn<QString>("select");
        QTest::addColumn<QString>("value");
        QTest::newRow("empty literal") << "''"
                                       << "";
        QTest::newRow("literal") << "'csv'"
                                 << "csv";
        QTest::newRow("doubled apostrophe") << "'it''s'"
                                            << "it's";
        QTest::newRow("text after the literal dropped") << "'a' or 'b'"
                                                        << "a";
        QTest::newRow("unclosed") << "'open"
                                  << "open";
        QTest::newRow("number") << "12.5"
                                << "12.5";
        QTest::newRow("bare word") << "csv"
                                   << "csv";
        QTest::newRow("double quotes") << "\"O'Brien\""
                                       << "O'Brien";
        QTest::newRow("concat") << "concat('say \"hi\"', \"'\", 's')"
                                << "say \"hi\"'s";
        QTest::newRow("other expression kept") << "concat($a, 'b')"
                                               << "concat($a, 'b')";
    }
    void selectTexts()
    {
        QFETCH(QString, select);
        QFETCH(QString, value);
        QCOMPARE(UnquoteSelect(select), value);
    }

    void quotedTextsReadBack_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("plain") << "Control survey";
        QTest::newRow("empty") << "";
        QTest::newRow("apostrophe") << "O'Brien's job";
        QTest::newRow("double quote") << "12\" pipe";
        QTest::newRow("both") << "'a' \"b\" 'c'";
        QTest::newRow("markup") << "<b>&amp;</b>";
    }
    void quotedTextsReadBack()
    {
        QFETCH(QString, text);
        QCOMPARE(UnquoteSelect(QuoteSelect(text)), text);
    }

    void numbersWithDots_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("fraction") << 3.75 << "3.75";
        QTest::newRow("whole") << 100.0 << "100";
        QTest::newRow("negative") << -2.5 << "-2.5";
        QTest::newRow("third") << 1.0 / 3 << "0.333333333333333";
        QTest::newRow("large, no exponent") << 1e20 << "100000000000000000000";
        QTest::newRow("small, no exponent") << 1.5e-10 << "0.00000000015";
        QTest::newRow("large, fifteen digits") << 3.33e39 << "3330000000000000000000000000000000000000";
        QTest::newRow("negative small") << -1.25e-7 << "-0.000000125";
        // Fifteen digits would round past the largest number, to a text that reads as infinity.
        QTest::newRow("lowest") << std::numeric_limits<double>::lowest()
                                << "-179769313486231570" + QString(291, u'0');
        QTest::newRow("largest") << std::numeric_limits<double>::max()
                                 << "179769313486231570" + QString(291, u'0');
    }
    void numbersWithDots()
    {
        QFETCH(double, value);
        QFETCH(QString, text);
        QCOMPARE(FloatToStrDot(value), text);
        QCOMPARE(StrToFloatDot(text), value);
    }

    void initialValues_data()
    {
        QTest::addColumn<QString>("select");
        QTest::addColumn<ValueType>("type");
        QTest::addColumn<bool>("comma");
        QTest::addColumn<QString>("shown");
        QTest::newRow("decimals kept") << "2.50" << ValueType::Double << false << "2.50";
        QTest::newRow("local separator") << "2.50" << ValueType::Double << true << "2,50";
        QTest::newRow("whole number") << "100" << ValueType::Double << true << "100";
        QTest::newRow("quoted number") << "'12.5'" << ValueType::Double << false << "12.5";
        QTest::newRow("exponent") << "1.5e3" << ValueType::Double << false << "1500.0";
        QTest::newRow("twelve digits")
            << "1.23456789012345" << ValueType::Double << false << "1.23456789012000";
        QTest::newRow("string") << "'it''s'" << ValueType::String << true << "it's";
        QTest::newRow("integer as written") << "007" << ValueType::Integer << false << "007";
    }
    void initialValues()
    {
        QFETCH(QString, select);
        QFETCH(ValueType, type);
        QFETCH(bool, comma);
        QFETCH(QString, shown);
        QCOMPARE(FormatInitialValue(select, type, comma ? m_comma : m_dot), shown);
    }

    void doubleThatIsNoNumberFails()
    {
        QVERIFY_THROWS_EXCEPTION(GenerationError,
                                 FormatInitialValue(QStringLiteral("'abc'"), ValueType::Double, m_dot));
        QVERIFY_THROWS_EXCEPTION(GenerationError,
                                 FormatInitialValue(QStringLiteral("2,5"), ValueType::Double, m_comma));
    }

    void lineUpdates_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("changed");
        QTest::addColumn<QByteArray>("result");
        QTest::newRow("replaced") << QByteArray("  <xsl:variable name=\"units\" select=\"'m'\"/>") << "'ft'"
                                  << true << QByteArray("  <xsl:variable name=\"units\" select=\"'ft'\"/>");
        QTest::newRow("same but for case")
            << QByteArray("<xsl:variable name=\"units\" select=\"'Metres'\"/>") << "'METRES'" << false
            << QByteArray("<xsl:variable name=\"units\" select=\"'Metres'\"/>");
        QTest::newRow("apostrophes, select first")
            << QByteArray("<xsl:variable select=\"'m'\" name='units'/>") << "'ft'" << true
            << QByteArray("<xsl:variable select=\"'ft'\" name='units'/>");
        QTest::newRow("markup inside a document type declaration")
            << QByteArray(
                   "<!DOCTYPE s [<!ENTITY e \"<xsl:variable name='units' select='1'/>\">]><xsl:variable "
                   "name=\"units\" select=\"'m'\"/>")
            << "'ft'" << true
            << QByteArray(
                   "<!DOCTYPE s [<!ENTITY e \"<xsl:variable name='units' select='1'/>\">]><xsl:variable "
                   "name=\"units\" select=\"'ft'\"/>");
        QTest::newRow("no select") << QByteArray("<xsl:variable name=\"units\">") << "'ft'" << false
                                   << QByteArray("<xsl:variable name=\"units\">");
        QTest::newRow("same once references are read")
            << QByteArray("<xsl:variable name=\"units\" select=\"&#39;Metres&#39;\"/>") << "'METRES'" << false
            << QByteArray("<xsl:variable name=\"units\" select=\"&#39;Metres&#39;\"/>");
        QTest::newRow("longer name does not match")
            << QByteArray("<xsl:variable name=\"unitsX\" select=\"1\"/>") << "2" << false
            << QByteArray("<xsl:variable name=\"unitsX\" select=\"1\"/>");
        QTest::newRow("markup escaped")
            << QByteArray("<xsl:variable name=\"units\" select=\"'m'\"/>") << "\"a & <b>\"" << true
            << QByteArray("<xsl:variable name=\"units\" select=\"&quot;a &amp; &lt;b>&quot;\"/>");
        QTest::newRow("non-ASCII") << QByteArray("<xsl:variable name=\"units\" select=\"'m'\"/>") << "'Fuß'"
                                   << true
                                   << QByteArray("<xsl:variable name=\"units\" select=\"'Fu\xc3\x9f'\"/>");
    }
    void lineUpdates()
    {
        QFETCH(QByteArray, line);
        QFETCH(QString, value);
        QFETCH(bool, changed);
        QFETCH(QByteArray, result);
        StyleSheetLines lines("<first/>\r\n" + line + "\r\n<last/>");
        QCOMPARE(UpdateVariableLine(lines, QStringLiteral("units"), value), changed);
        QCOMPARE(lines.bytes(), "<first/>\r\n" + result + "\r\n<last/>");
    }
};

QTEST_GUILESS_MAIN(UserVariableTextsTest)
#include "tst_uservariabletexts.moc"
