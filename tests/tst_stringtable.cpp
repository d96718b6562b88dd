#include "app/Format.h"
#include "app/QtTranslations.h"
#include "app/StringTable.h"

#include <QFile>
#include <QRegularExpression>
#include <QTest>

#include <optional>

using namespace zandrel;

namespace {

QString libraryPath(const char *name)
{
    return QStringLiteral(ZANDREL_BINARY_DIR "/languages/%1/ZandrelR.so").arg(QLatin1String(name));
}

// The ids of the English table, read from the source table itself.
QList<int> englishIds()
{
    QFile table(QStringLiteral(ZANDREL_SOURCE_DIR "/resources/strings/en.tsv"));
    if (!table.open(QIODevice::ReadOnly))
        return {};
    QList<int> ids;
    while (!table.atEnd()) {
        const QByteArray line = table.readLine();
        if (!line.startsWith('#') && line.contains('\t'))
            ids.append(line.left(line.indexOf('\t')).toInt());
    }
    return ids;
}

} // namespace

class StringTableTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void builtinTexts_data()
    {
        QTest::addColumn<int>("id");
        QTest::addColumn<QString>("text");
        QTest::newRow("filter") << 10000
                                << "Dexmor files|*.dxm|Job files|*.job|Strevel files|*.svl|XML files|*.xml|All files|*.*";
        QTest::newRow("first message") << 10001 << "Error in %s definition";
        QTest::newRow("access key") << 10013 << "&Browse...";
        QTest::newRow("range") << 10022 << "The entered value is outside the valid range %*.*f to %*.*f";
        QTest::newRow("backslashes") << 10062
                                     << "To use a specified program to open all files other than HTML files, enter that "
                                        "program name as the value \"TextFileViewer\" in the section "
                                        "[HKEY_CURRENT_USER\\Software\\Veltrix\\Zandrel] of your settings file, "
                                        "~/.config/zandrel/user.reg.";
        QTest::newRow("never asked for") << 10040
                                         << "Use Microsoft(R) ActiveSync(R) to copy the Job file from the controller "
                                            "to the office computer.";
        QTest::newRow("last") << 10073 << "Select tunnel profile to export:";
        QTest::newRow("unknown id") << 9999 << "";
        QTest::newRow("negative id") << -10000 << "";
    }
    void builtinTexts()
    {
        QFETCH(int, id);
        QFETCH(QString, text);
        QCOMPARE(localizedString(nullptr, id, false), text);
    }

    void everyIdOfTheRangeHasAText()
    {
        for (int id = 10000; id <= 10073; ++id)
            QVERIFY2(!localizedString(nullptr, id, false).isEmpty(), qPrintable(QString::number(id)));
    }

    void languageLibraryFirstThenEnglish_data()
    {
        QTest::addColumn<int>("id");
        QTest::addColumn<QString>("text");
        QTest::newRow("library text") << 10016 << QStringLiteral("Jawohl");
        QTest::newRow("non-ASCII library text") << 10017 << QStringLiteral("Schließen");
        QTest::newRow("empty library text falls back") << 10013 << QStringLiteral("&Browse...");
        QTest::newRow("missing in library") << 10018 << QStringLiteral("&Help");
        QTest::newRow("only in library") << 10099 << QStringLiteral("Only in the library");
        QTest::newRow("in neither") << 12345 << QString();
    }
    void languageLibraryFirstThenEnglish()
    {
        QFETCH(int, id);
        QFETCH(QString, text);
        const LanguageLibrary library(libraryPath("test_partial"));
        QVERIFY(library.isLoaded());
        QCOMPARE(localizedString(&library.table(), id, false), text);
        const LocalizedStringSource source(library);
        QCOMPARE(GetLocalizedString(id), text);
    }

    void longTextIsCut()
    {
        const LanguageLibrary library(libraryPath("test_partial"));
        const QString text = localizedString(&library.table(), 10040, false);
        QCOMPARE(text.size(), MaxLocalizedLength);
        QVERIFY(text.startsWith(QStringLiteral("Vermessung Vermessung")));
    }

    void missingLibraryUsesEnglish()
    {
        const LanguageLibrary library(QStringLiteral("/nonexistent/ZandrelR.so"));
        QVERIFY(!library.isLoaded());
        const LocalizedStringSource source(library);
        QCOMPARE(GetLocalizedString(10017), QStringLiteral("Close"));
    }

    void sourceIsRestoredWhenScopeEnds()
    {
        const LanguageLibrary library(libraryPath("test_partial"));
        {
            const LocalizedStringSource source(library);
            QCOMPARE(GetLocalizedString(10016), QStringLiteral("Jawohl"));
        }
        QCOMPARE(GetLocalizedString(10016), QStringLiteral("OK"));
    }

    void stringIdsShown_data()
    {
        QTest::addColumn<int>("id");
        QTest::addColumn<QString>("text");
        QTest::newRow("close") << 10017 << "10017_Close";
        QTest::newRow("blanks") << 10019 << "10019_Select_folder_containing_style_sheet_files";
        QTest::newRow("access key kept") << 10013 << "10013_&Browse...";
        QTest::newRow("placeholders kept")
            << 10022 << "10022_The_entered_value_is_outside_the_valid_range_%*.*f_to_%*.*f";
        QTest::newRow("unknown id") << -5 << "-5_";
    }
    void stringIdsShown()
    {
        QFETCH(int, id);
        QFETCH(QString, text);
        QCOMPARE(localizedString(nullptr, id, true), text);
    }

    void formattedTextWithIdsStillFormats()
    {
        const QString text = formatText(localizedString(nullptr, 10022, true), {8, 2, 1.5, 8, 2, 20.0});
        QCOMPARE(text, QStringLiteral("10022_The_entered_value_is_outside_the_valid_range_    1.50_to_   20.00"));
    }

    void qtTextsFollowTheLanguage_data()
    {
        QTest::addColumn<QString>("name"); // a bundled language library, or English
        QTest::addColumn<QString>("cancel");
        QTest::newRow("English") << QString() << "Cancel";
        QTest::newRow("German") << "language_de" << "Abbrechen";
    }
    void qtTextsFollowTheLanguage()
    {
        QFETCH(QString, name);
        QFETCH(QString, cancel);
        std::optional<LanguageLibrary> library;
        std::optional<LocalizedStringSource> source;
        if (!name.isEmpty()) {
            library.emplace(libraryPath(name.toLatin1().constData()));
            QVERIFY(library->isLoaded());
            source.emplace(*library);
        }
        const QtTranslations translations;
        QCOMPARE(translations.isInstalled(), !name.isEmpty());
        // The standard buttons' text, as the message boxes and file dialogs show it.
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), cancel);
    }

    void translationsAreComplete_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("German") << QStringLiteral("language_de");
        QTest::newRow("pseudo-locale") << QStringLiteral("language_pseudo");
    }
    void translationsAreComplete()
    {
        QFETCH(QString, name);
        const LanguageLibrary library(libraryPath(name.toLatin1().constData()));
        QVERIFY(library.isLoaded());
        const QList<int> ids = englishIds();
        QVERIFY(ids.size() > 74);
        for (int id : ids) {
            const QString translated = library.table().text(id);
            QVERIFY2(!translated.isEmpty(), qPrintable(QString::number(id)));
            // The title, "OK" and, in the pseudo-locale, the answers a tester types stay as they are.
            const bool keptAsIs = id == 10010 || id == 10016 || ((id == 10121 || id == 10122) && name.contains(u"pseudo"));
            QVERIFY2(translated != builtinStringTable().text(id) || keptAsIs, qPrintable(QString::number(id)));
            // The same placeholders, so that formatting a translated message never breaks.
            static const QRegularExpression placeholder(QStringLiteral("%(\\*\\.\\*f|s|d)"));
            QStringList english;
            QStringList local;
            for (const auto &m : placeholder.globalMatch(builtinStringTable().text(id)))
                english << m.captured();
            for (const auto &m : placeholder.globalMatch(translated))
                local << m.captured();
            QCOMPARE(local, english);
        }
    }
};

QTEST_GUILESS_MAIN(StringTableTest)
#include "tst_stringtable.moc"
