#include "app/StringTable.h"
#include "generate/ConsoleInteraction.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

Q_DECLARE_METATYPE(zandrel::MessageKind)

using namespace zandrel;

Q_DECLARE_METATYPE(zandrel::Answer::Status)

class ConsoleInteractionTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_savedCurrent;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_savedCurrent = QDir::currentPath();
        QVERIFY(QDir::setCurrent(m_dir.path()));
        QFile existing(m_dir.filePath(QStringLiteral("existing.csv")));
        QVERIFY(existing.open(QIODevice::WriteOnly));
    }
    void cleanupTestCase() { QDir::setCurrent(m_savedCurrent); }

    void messagesGoToTheirStreams_data()
    {
        QTest::addColumn<MessageKind>("kind");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");
        QTest::newRow("error") << MessageKind::Error << ""
                               << "Error: line one\nline two\n";
        QTest::newRow("warning") << MessageKind::Warning << ""
                                 << "Warning: line one\nline two\n";
        QTest::newRow("plain") << MessageKind::Plain << ""
                               << "line one\nline two\n";
        QTest::newRow("uncaught") << MessageKind::ApplicationError << ""
                                  << "Zandrel: line one\nline two\n";
        QTest::newRow("information") << MessageKind::Information << "line one\nline two\n"
                                     << "";
    }
    void messagesGoToTheirStreams()
    {
        QFETCH(MessageKind, kind);
        QFETCH(QString, out);
        QFETCH(QString, err);
        QBuffer input, output, errors;
        for (QBuffer *buffer : {&input, &output, &errors})
            QVERIFY(buffer->open(QIODevice::ReadWrite));
        ConsoleInteraction console(input, output, errors, false);
        console.showMessage(kind, QStringLiteral("line one\r\nline two"));
        QCOMPARE(QString::fromUtf8(output.data()), out);
        QCOMPARE(QString::fromUtf8(errors.data()), err);
    }

    void saveQuestion_data()
    {
        QTest::addColumn<bool>("interactive");
        QTest::addColumn<QByteArray>("answers");
        QTest::addColumn<QString>("proposed");
        QTest::addColumn<Answer::Status>("status");
        QTest::addColumn<QString>("path");
        using S = Answer::Status;
        const QString dir = m_dir.path();
        QTest::newRow("no terminal: proposed name here")
            << false << QByteArray() << "/elsewhere/job.csv" << S::Given << dir + "/job.csv";
        QTest::newRow("no terminal: existing file kept")
            << false << QByteArray() << "existing.csv" << S::Failed << "";
        QTest::newRow("enter takes the proposal")
            << true << QByteArray("\n") << "job.csv" << S::Given << "job.csv";
        QTest::newRow("typed name") << true << QByteArray("  my report.csv \n") << "job.csv" << S::Given
                                    << "my report.csv";
        QTest::newRow("suffix added")
            << true << QByteArray("report\n") << "job.csv" << S::Given << "report.csv";
        QTest::newRow("end of input cancels") << true << QByteArray() << "job.csv" << S::Cancelled << "";
        QTest::newRow("existing, replace")
            << true << QByteArray("existing.csv\ny\n") << "job.csv" << S::Given << "existing.csv";
        QTest::newRow("existing, no, then another")
            << true << QByteArray("existing.csv\nn\nother.csv\n") << "job.csv" << S::Given << "other.csv";
        QTest::newRow("existing, end of input")
            << true << QByteArray("existing.csv\n") << "job.csv" << S::Cancelled << "";
        QTest::newRow("CRLF answers")
            << true << QByteArray("existing.csv\r\nYes\r\n") << "job.csv" << S::Given << "existing.csv";
    }
    void saveQuestion()
    {
        QFETCH(bool, interactive);
        QFETCH(QByteArray, answers);
        QFETCH(QString, proposed);
        QFETCH(Answer::Status, status);
        QFETCH(QString, path);
        QBuffer input(&answers), output, errors;
        QVERIFY(input.open(QIODevice::ReadOnly));
        QVERIFY(output.open(QIODevice::WriteOnly));
        QVERIFY(errors.open(QIODevice::WriteOnly));
        ConsoleInteraction console(input, output, errors, interactive);
        const Answer choice = console.chooseSaveFile({QStringLiteral("csv"), proposed, QString()});
        QCOMPARE(choice.status, status);
        QCOMPARE(choice.text, path);
        if (interactive)
            QVERIFY(errors.data().contains("Save the generated file as [" + proposed.toUtf8() + "]:"));
        if (status == Answer::Status::Failed)
            QVERIFY(errors.data().contains("already exists"));
    }

    void replaceQuestionInTheUsersLanguage_data()
    {
        QTest::addColumn<QString>("language"); // a bundled language library, or English
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<bool>("replaced");
        QTest::addColumn<QByteArray>("choices");
        QTest::newRow("English yes") << QString() << QByteArray("yes\n") << true << QByteArray("[y/N]");
        QTest::newRow("English: j is no answer")
            << QString() << QByteArray("j\n") << false << QByteArray("[y/N]");
        QTest::newRow("German j") << "language_de" << QByteArray("j\n") << true << QByteArray("[j/N]");
        QTest::newRow("German Ja") << "language_de" << QByteArray(" Ja \n") << true << QByteArray("[j/N]");
        QTest::newRow("German, English y")
            << "language_de" << QByteArray("y\n") << true << QByteArray("[j/N]");
        QTest::newRow("German n") << "language_de" << QByteArray("n\n") << false << QByteArray("[j/N]");
    }
    void replaceQuestionInTheUsersLanguage()
    {
        QFETCH(QString, language);
        QFETCH(QByteArray, answer);
        QFETCH(bool, replaced);
        QFETCH(QByteArray, choices);
        std::unique_ptr<LanguageLibrary> library;
        std::unique_ptr<LocalizedStringSource> source;
        if (!language.isEmpty()) {
            library = std::make_unique<LanguageLibrary>(
                QStringLiteral(ZANDREL_BINARY_DIR "/languages/%1/ZandrelR.so").arg(language));
            QVERIFY(library->isLoaded());
            source = std::make_unique<LocalizedStringSource>(*library);
        }
        // Asked to replace, a no asks for the name again, and the end of input then cancels.
        QByteArray answers = "existing.csv\n" + answer;
        QBuffer input(&answers), output, errors;
        QVERIFY(input.open(QIODevice::ReadOnly));
        QVERIFY(output.open(QIODevice::WriteOnly));
        QVERIFY(errors.open(QIODevice::WriteOnly));
        ConsoleInteraction console(input, output, errors, true);
        const Answer choice =
            console.chooseSaveFile({QStringLiteral("csv"), QStringLiteral("job.csv"), QString()});
        QCOMPARE(choice.status, replaced ? Answer::Status::Given : Answer::Status::Cancelled);
        QVERIFY(errors.data().contains(choices));
    }

    void valueQuestionRefusesWhatXmlCannotHold_data()
    {
        QTest::addColumn<QByteArray>("typed");
        QTest::addColumn<QString>("answer");
        QTest::newRow("NUL, then a name") << QByteArray("Jo\0hn\nJohn\n", 11) << "John";
        QTest::newRow("escape character, then Enter") << QByteArray("a\x1b[1mb\n\n") << "Meier";
    }
    void valueQuestionRefusesWhatXmlCannotHold()
    {
        QFETCH(QByteArray, typed);
        QFETCH(QString, answer);
        QBuffer input(&typed), output, errors;
        QVERIFY(input.open(QIODevice::ReadOnly));
        QVERIFY(output.open(QIODevice::WriteOnly));
        QVERIFY(errors.open(QIODevice::WriteOnly));
        ConsoleInteraction console(input, output, errors, true);
        UserValueRequest request;
        request.prompt = QStringLiteral("Surveyor");
        request.initialText = QStringLiteral("Meier");
        const Answer given = console.askUserValue(request);
        QCOMPARE(given.status, Answer::Status::Given);
        QCOMPARE(given.text, answer);
        QCOMPARE(errors.data().count("Error: The value contains a character that a style sheet cannot hold"),
                 1);
    }
};

QTEST_GUILESS_MAIN(ConsoleInteractionTest)
#include "tst_consoleinteraction.moc"
