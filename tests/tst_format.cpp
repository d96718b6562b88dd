#include "app/Format.h"

#include <QTest>

using namespace zandrel;

class FormatTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void format_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("expected");
        QTest::newRow("text") << "File %s successfully created" << "File /out/a b.csv successfully created";
        QTest::newRow("no placeholder") << "OK" << "OK";
        QTest::newRow("percent") << "100%% done" << "100% done";
        QTest::newRow("lone percent at end") << "50%" << "50%";
        QTest::newRow("unknown placeholder kept") << "%x and %s" << "%x and /out/a b.csv";
    }
    void format()
    {
        QFETCH(QString, format);
        QFETCH(QString, expected);
        QCOMPARE(formatText(format, {QStringLiteral("/out/a b.csv")}), expected);
    }

    void numbers_data()
    {
        QTest::addColumn<QChar>("separator");
        QTest::addColumn<QString>("expected");
        QTest::newRow("point") << QChar(u'.') << "range  -1.250 to 1000.000, 7 entries";
        QTest::newRow("comma") << QChar(u',') << "range  -1,250 to 1000,000, 7 entries";
    }
    void numbers()
    {
        QFETCH(QChar, separator);
        QFETCH(QString, expected);
        QCOMPARE(formatText(QStringLiteral("range %*.*f to %*.*f, %d entries"),
                            {7, 3, -1.25, 1, 3, 1000.0, 7}, separator),
                 expected);
    }

    void missingArgumentsLeaveThePlaceholder()
    {
        QCOMPARE(formatText(QStringLiteral("%s and %d and %*.*f"), {}), QStringLiteral("%s and %d and %*.*f"));
        // A number where a text is expected is not taken as the text.
        QCOMPARE(formatText(QStringLiteral("%s"), {5}), QStringLiteral("%s"));
    }

    void hugeWidthIsBounded()
    {
        QVERIFY(formatText(QStringLiteral("%*.*f"), {1 << 30, 2, 1.0}).size() <= 1024);
    }
};

QTEST_GUILESS_MAIN(FormatTest)
#include "tst_format.moc"
