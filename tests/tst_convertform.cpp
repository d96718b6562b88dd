#include "app/Startup.h"
#include "generate/ConvertForm.h"
#include "generate/QtInteraction.h"
#include "help/HelpDocument.h"
#include "help/HelpForm.h"
#include "layout/WindowPosition.h"
#include "settings/RegistryStore.h"
#include "settings/SettingsKeys.h"
#include "support/TestFiles.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>
#include <QTimer>

#include <functional>

using namespace zandrel;
using namespace zandrel::layout;

namespace {

// Answers the modal windows as they are shown, one handler per showing, in order.
class ModalScript : public QObject {
public:
    explicit ModalScript(std::vector<std::function<void(QWidget *)>> handlers)
        : m_handlers(std::move(handlers))
    {
        qApp->installEventFilter(this);
    }
    ~ModalScript() override { qApp->removeEventFilter(this); }
    int handled() const { return m_handled; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *widget = qobject_cast<QWidget *>(watched);
        if (event->type() == QEvent::Show && widget && widget->isWindow() && widget->isModal() &&
            m_handled < int(m_handlers.size())) {
            auto handler = m_handlers[std::size_t(m_handled++)];
            QTimer::singleShot(0, widget, [handler, widget] { handler(widget); });
        }
        return false;
    }

private:
    std::vector<std::function<void(QWidget *)>> m_handlers;
    int m_handled = 0;
};

} // namespace

class ConvertFormTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString path(const QString &name) const { return m_dir.filePath(name); }

    settings::RegFileStore freshSettings()
    {
        QFile::remove(path(QStringLiteral("user.reg")));
        QFile user(path(QStringLiteral("user.reg")));
        if (user.open(QIODevice::WriteOnly))
            user.write("Windows Registry Editor Version "
                       "5.00\n\n[HKEY_CURRENT_USER\\Software\\Veltrix\\Zandrel]\n\"StyleSheetFile\"=\"" +
                       path(QStringLiteral("styles/Points CSV.xsl")).toUtf8() + "\"\n\"JobOrDexmorFile\"=\"" +
                       path(QStringLiteral("job.dxm")).toUtf8() + "\"\n");
        return settings::RegFileStore(path(QStringLiteral("user.reg")), path(QStringLiteral("machine.reg")));
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(QDir().mkpath(path(QStringLiteral("styles"))));
        const QString samples = QStringLiteral(ZANDREL_SOURCE_DIR "/samples");
        QVERIFY(QFile::copy(samples + QStringLiteral("/job.dxm"), path(QStringLiteral("job.dxm"))));
        QVERIFY(QFile::copy(samples + QStringLiteral("/stylesheets/Points CSV.xsl"),
                            path(QStringLiteral("styles/Points CSV.xsl"))));
        QVERIFY(QFile::setPermissions(path(QStringLiteral("styles/Points CSV.xsl")),
                                      QFile::ReadOwner | QFile::WriteOwner));
    }

    void controlsAndCaptions()
    {
        settings::RegFileStore settings = freshSettings();
        TConvertForm form(settings, {});
        QCOMPARE(form.windowTitle(), QStringLiteral("Zandrel"));
        QCOMPARE(form.size(), QSize(487, 153));
        const std::pair<const char *, const char *> captions[] = {
            {"JobOrDexmorLbl", "&Source Dexmor or Job file:"},
            {"FormatLbl", "&Output format:"},
        };
        for (const auto &[name, caption] : captions)
            QCOMPARE(form.findChild<QLabel *>(QLatin1String(name))->text(), QLatin1String(caption));
        const std::pair<const char *, const char *> buttons[] = {
            {"XMLBrowseBtn", "&Browse..."}, {"XSLBrowseBtn", "B&rowse..."}, {"OKBtn", "OK"},
            {"CloseBtn", "Close"},          {"HelpBtn", "&Help"},
        };
        for (const auto &[name, caption] : buttons)
            QCOMPARE(form.findChild<QPushButton *>(QLatin1String(name))->text(), QLatin1String(caption));
        QCOMPARE(form.findChild<QCheckBox *>(QStringLiteral("ViewFileCheckBox"))->text(),
                 QStringLiteral("&View file after generating"));
        QVERIFY(form.findChild<QPushButton *>(QStringLiteral("OKBtn"))->isDefault());
        auto *combo = form.findChild<QComboBox *>(QStringLiteral("StyleSheetCombo"));
        QCOMPARE(combo->count(), 2);
        QCOMPARE(combo->currentText(), QStringLiteral("Points CSV"));
        QCOMPARE(form.findChild<QLineEdit *>(QStringLiteral("DexmorFileEditBox"))->text(), path("job.dxm"));
        QCOMPARE(form.pos(), TConvertForm::defaultPosition());

        // Once shown, the buttons stand centred in their row without overlapping.
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QCOMPARE(form.size(), QSize(487, 153));
        const QRect ok = form.findChild<QPushButton *>(QStringLiteral("OKBtn"))->geometry();
        const QRect help = form.findChild<QPushButton *>(QStringLiteral("HelpBtn"))->geometry();
        const QRect close = form.findChild<QPushButton *>(QStringLiteral("CloseBtn"))->geometry();
        QCOMPARE(ok.left(), 487 - help.right() - 1);
        QCOMPARE(close.left() - ok.right() - 1, 20);
        QCOMPARE(help.left() - close.right() - 1, 20);
    }

    void okWritesTheFileAndSaysSo()
    {
        settings::RegFileStore settings = freshSettings();
        TConvertForm form(settings, {});
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        const QString target = path(QStringLiteral("points out.csv"));
        QString information;
        ModalScript script({
            // The questions of the style sheet, each taken as offered.
            [](QWidget *w) { QMetaObject::invokeMethod(w, "accept", Qt::QueuedConnection); },
            [](QWidget *w) { QMetaObject::invokeMethod(w, "accept", Qt::QueuedConnection); },
            [](QWidget *w) { QMetaObject::invokeMethod(w, "accept", Qt::QueuedConnection); },
            [](QWidget *w) { QMetaObject::invokeMethod(w, "accept", Qt::QueuedConnection); },
            [](QWidget *w) { QMetaObject::invokeMethod(w, "accept", Qt::QueuedConnection); },
            [target](QWidget *w) {
                auto *dialog = qobject_cast<QFileDialog *>(w);
                QVERIFY(dialog);
                QCOMPARE(dialog->nameFilters(), QStringList{"Points CSV files (*.csv)"});
                dialog->selectFile(target);
                QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
            },
            [&information](QWidget *w) {
                auto *box = qobject_cast<QMessageBox *>(w);
                QVERIFY(box);
                information = box->text();
                QCOMPARE(box->windowTitle(), QStringLiteral("Information"));
                QMetaObject::invokeMethod(box, "accept", Qt::QueuedConnection);
            },
        });
        QCOMPARE(form.OKBtnClick(), GenerationOutcome::Written);
        QCOMPARE(script.handled(), 7);
        QCOMPARE(information, QStringLiteral("File %1 successfully created").arg(target));
        QCOMPARE(readAll(target), readAll(QStringLiteral(ZANDREL_SOURCE_DIR "/samples/expected/job.csv")));
        QVERIFY(form.isVisible());
    }

    void closingSavesTheChoicesAndPosition()
    {
        settings::RegFileStore settings = freshSettings();
        {
            TConvertForm form(settings, {});
            form.show();
            QVERIFY(QTest::qWaitForWindowExposed(&form));
            form.move(40, 30);
            form.findChild<QCheckBox *>(QStringLiteral("ViewFileCheckBox"))->setChecked(true);
            auto *combo = form.findChild<QComboBox *>(QStringLiteral("StyleSheetCombo"));
            combo->setCurrentIndex(0);
            Q_EMIT combo->activated(0);
            form.findChild<QPushButton *>(QStringLiteral("CloseBtn"))->click();
            QVERIFY(!form.isVisible());
        }
        const auto key = settings.openKey(settings::RegistryHive::CurrentUser, settings::programKey);
        QVERIFY(key);
        QCOMPARE(key->readDword(settings::viewGeneratedFileValue), std::optional<quint32>(1));
        QCOMPARE(key->readString(settings::styleSheetFileValue), path(QStringLiteral("styles/Dexmor.xslt")));
        const std::optional<QPoint> position =
            parseWindowPosition(key->readString(settings::mainDialogPositionValue).value_or(QString()));
        QVERIFY(position);

        TConvertForm again(settings, {});
        again.show();
        QVERIFY(QTest::qWaitForWindowExposed(&again));
        QCOMPARE(again.pos(), *position);
        QVERIFY(again.findChild<QCheckBox *>(QStringLiteral("ViewFileCheckBox"))->isChecked());
        QCOMPARE(again.findChild<QComboBox *>(QStringLiteral("StyleSheetCombo"))->currentText(),
                 QStringLiteral("Dexmor"));
        again.reject();
    }

    void everyHelpRequestOpensAWindow()
    {
        settings::RegFileStore settings = freshSettings();
        TConvertForm form(settings, {});
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        for (int i = 0; i < 3; ++i)
            QTest::keyClick(&form, Qt::Key_F1);
        form.findChild<QPushButton *>(QStringLiteral("HelpBtn"))->click();
        const QList<THelpForm *> windows = form.findChildren<THelpForm *>();
        QCOMPARE(windows.size(), 4);
        for (THelpForm *window : windows) {
            QVERIFY(window->isVisible());
            QCOMPARE(window->frameGeometry(), THelpForm::defaultGeometry());
        }
        QVERIFY(form.isVisible());
        form.reject();
    }

    void helpDocument()
    {
        settings::RegFileStore settings = freshSettings();
        THelpForm help(settings);
        QCOMPARE(help.windowTitle(), QStringLiteral("Zandrel Help"));
        QCOMPARE(help.findChild<QLabel *>(QStringLiteral("Label1"))->text(),
                 QStringLiteral("Details on the operation of the Zandrel"));
        const QTextDocument *document = help.findChild<QTextEdit *>(QStringLiteral("HelpText"))->document();
        QCOMPARE(document->blockCount(), 41);
        QCOMPARE(document->findBlockByNumber(0).text(), QString());
        const QTextBlock introduction = document->findBlockByNumber(1);
        QCOMPARE(introduction.text(), QStringLiteral("Introduction"));
        QCOMPARE(introduction.begin().fragment().charFormat().fontWeight(), int(QFont::Bold));
        QVERIFY(document->findBlockByNumber(2).text().startsWith(QStringLiteral("Use the Zandrel program")));
        QCOMPARE(document->findBlockByNumber(2).begin().fragment().charFormat().fontWeight(),
                 int(QFont::Normal));

        const QTextBlock step = document->findBlockByNumber(12);
        QVERIFY(step.text().startsWith(QStringLiteral("1.\tThe Zandrel supports")));
        QCOMPARE(step.blockFormat().leftMargin(), 20.0); // 15 points
        QCOMPARE(step.blockFormat().textIndent(), -20.0);
        const QTextBlock subStep = document->findBlockByNumber(16);
        QVERIFY(subStep.text().startsWith(QStringLiteral("a.\tClick the Browse button")));
        QCOMPARE(subStep.blockFormat().leftMargin(), 40.0); // 30 points
        QCOMPARE(subStep.blockFormat().textIndent(), -40.0 / 3);
        QVERIFY(document->findBlockByNumber(13).text().startsWith(
            QStringLiteral("\u2022\tCreate a Dexmor file on")));
        QVERIFY(!document->toPlainText().contains(QStringLiteral("ActiveSync")));
        QCOMPARE(document->lastBlock().text(), QStringLiteral("When done, click the Close button."));
        QVERIFY(document->toPlainText().contains(QStringLiteral("https://www.w3.org/TR/xslt-10/")));
        QCOMPARE(help.findChild<QTextEdit *>(QStringLiteral("HelpText"))->textCursor().position(), 0);
    }

    void helpPlacement_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QRect>("geometry");
        QTest::newRow("none stored") << "" << THelpForm::defaultGeometry();
        QTest::newRow("stored") << "100,50,400,600" << QRect(50, 100, 600, 400);
        QTest::newRow("left of the desktop") << "100,-50,400,600" << QRect(0, 100, 600, 400);
        QTest::newRow("far off") << "-500,-500,485,696" << QRect(0, 0, 696, 485);
        // The screen is 800 by 800: the window comes back where 100 pixels of its title bar show,
        // and no larger than the screen.
        QTest::newRow("grabbable at the right edge") << "100,700,400,600" << QRect(700, 100, 600, 400);
        QTest::newRow("a sliver at the right edge") << "100,790,485,696" << QRect(700, 100, 696, 485);
        QTest::newRow("larger than the screen") << "100,50,5000,5000" << QRect(0, 0, 800, 800);
        QTest::newRow("three numbers ignored") << "100,50,400" << THelpForm::defaultGeometry();
        QTest::newRow("not numbers ignored") << "a,b,c,d" << THelpForm::defaultGeometry();
    }
    void helpPlacement()
    {
        QFETCH(QString, stored);
        QFETCH(QRect, geometry);
        settings::RegFileStore settings = freshSettings();
        if (!stored.isEmpty())
            QVERIFY(settings.writeValues(
                settings::RegistryHive::CurrentUser, settings::programKey,
                {settings::RegistryValue::string(settings::helpDialogPositionValue, stored)}));
        THelpForm help(settings);
        help.show();
        QVERIFY(QTest::qWaitForWindowExposed(&help));
        QCOMPARE(help.frameGeometry(), geometry);

        // Esc closes it and stores where its frame was.
        help.move(60, 70);
        help.resize(500, 300);
        const QRect frame = help.frameGeometry();
        QCOMPARE(frame.topLeft(), QPoint(60, 70));
        QTest::keyClick(&help, Qt::Key_Escape);
        QVERIFY(!help.isVisible());
        const auto key = settings.openKey(settings::RegistryHive::CurrentUser, settings::programKey);
        QCOMPARE(key->readString(settings::helpDialogPositionValue).value_or(QString()),
                 QStringLiteral("70,60,%1,%2").arg(frame.height()).arg(frame.width()));
    }

    // However small the user makes the help window, the Close button stays off the text.
    void helpMinimumSize()
    {
        settings::RegFileStore settings = freshSettings();
        THelpForm help(settings);
        help.show();
        QVERIFY(QTest::qWaitForWindowExposed(&help));
        help.resize(160, 120);
        QTRY_VERIFY(help.width() < 696);
        const QRect text = help.findChild<QTextEdit *>(QStringLiteral("HelpText"))->geometry();
        const QRect close = help.findChild<QPushButton *>(QStringLiteral("CloseBtn"))->geometry();
        QVERIFY2(!text.intersects(close),
                 qPrintable(QStringLiteral("%1 x %2").arg(help.width()).arg(help.height())));
        QVERIFY(help.rect().contains(close));
    }

    // The usage message keeps its seven lines as they are, where a message box would wrap them.
    void usageLines()
    {
        QStringList lines;
        bool wraps = true;
        int width = 0;
        int longest = 0;
        ModalScript script({[&](QWidget *box) {
            for (QLabel *label : box->findChildren<QLabel *>()) {
                if (!label->text().contains(QStringLiteral("Syntax:")))
                    continue;
                lines = label->text().split(u'\n');
                wraps = label->wordWrap();
                width = label->contentsRect().width();
                for (const QString &line : std::as_const(lines))
                    longest = std::max(longest, label->fontMetrics().horizontalAdvance(line));
            }
            box->close();
        }});
        showUsageMessage(usageMessage());
        QCOMPARE(script.handled(), 1);
        QCOMPARE(lines, usageMessage().split(QStringLiteral("\r\n")));
        QVERIFY(!wraps);
        QVERIFY2(width >= longest, qPrintable(QStringLiteral("%1 < %2").arg(width).arg(longest)));
    }

    void placementText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::newRow("four") << "150,290,485,696" << true;
        QTest::newRow("blanks") << " 150 , 290 ,485, 696 " << true;
        QTest::newRow("five") << "1,2,3,4,5" << false;
        QTest::newRow("empty part") << "1,,3,4" << false;
    }
    void placementText()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        const std::optional<HelpPlacement> placement = parseHelpPlacement(text);
        QCOMPARE(placement.has_value(), valid);
        if (valid)
            QCOMPARE(formatHelpPlacement(*placement), QStringLiteral("150,290,485,696"));
    }

    // Cancel in the progress window of a transformation that would run for hours: the work stops
    // (or the test runs into its time-out), nothing is written and no temporary file remains.
    void cancelLongTransformation()
    {
        QTemporaryDir temporary;
        const QByteArray savedTemporary = qgetenv("TMPDIR");
        qputenv("TMPDIR", QFile::encodeName(temporary.path()));
        QByteArray job = "<r>";
        for (int i = 0; i < 4000; ++i)
            job += "<p/>";
        QVERIFY(writeFile(path(QStringLiteral("long.dxm")), job + "</r>"));
        QVERIFY(
            writeFile(path(QStringLiteral("long.xsl")),
                      "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">"
                      "<xsl:template match=\"/\"><xsl:for-each select=\"//p\"><xsl:for-each select=\"//p\">"
                      "<xsl:for-each select=\"//p\"><xsl:value-of select=\"position()\"/></xsl:for-each>"
                      "</xsl:for-each></xsl:for-each></xsl:template>"
                      "</xsl:stylesheet>"));
        const QString output = path(QStringLiteral("long-output.txt"));

        settings::RegFileStore settings = freshSettings();
        TConvertForm form(settings, {});
        form.setSourceFile(path(QStringLiteral("long.dxm")));
        form.model().setStyleSheetPath(path(QStringLiteral("long.xsl")));
        form.model().outputFileName = output;
        QString progressStep;
        ModalScript script({[&progressStep](QWidget *progress) {
            progressStep = progress->findChild<QLabel *>(QStringLiteral("StepLbl"))->text();
            progress->findChild<QPushButton *>(QStringLiteral("CancelBtn"))->click();
        }});
        const GenerationOutcome outcome = form.OKBtnClick(true);
        qputenv("TMPDIR", savedTemporary);

        // The user's own Cancel asks for no further click.
        QCOMPARE(script.handled(), 1);
        QCOMPARE(progressStep, QStringLiteral("Transforming..."));
        QCOMPARE(outcome, GenerationOutcome::Cancelled);
        QVERIFY(!QFile::exists(output));
        QCOMPARE(QDir(temporary.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList());
    }
};

QTEST_MAIN(ConvertFormTest)
#include "tst_convertform.moc"
