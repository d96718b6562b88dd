// The main dialog, with the captions of each bundled language library: every
// caption shows whole, the buttons stay apart and centred, and the dialog keeps its design size
// where the captions fit. Set ZANDREL_RENDER_DIR to a folder to get a picture of each.

#include "app/StringTable.h"
#include "generate/ConvertForm.h"
#include "layout/ButtonRow.h"
#include "layout/CaptionLabels.h"
#include "layout/SizingPanels.h"
#include "settings/RegistryStore.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <memory>

using namespace zandrel;

namespace {

// The dialog's client size as designed.
constexpr int DesignWidth = 487;
constexpr int DesignHeight = 153;

template <typename Widget> Widget *child(const QWidget &form, const char *name)
{
    return form.findChild<Widget *>(QLatin1String(name));
}

// Room a button needs for its caption, as its panel measures it.
int captionNeed(const TCustomSizingPanel &panel, QPushButton *button)
{
    const layout::ControlMetrics metrics = panel.MetricsOf(button);
    return metrics.captionWidth + metrics.captionMargin;
}

} // namespace

class MainDialogLayoutTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion"))); }

    void captionsFit_data()
    {
        QTest::addColumn<QString>("language"); // a bundled language library, or English
        QTest::addColumn<bool>("widens"); // English must keep the design size
        QTest::newRow("English") << QString() << false;
        QTest::newRow("pseudo-locale") << "language_pseudo" << true;
        QTest::newRow("German") << "language_de" << true;
    }
    void captionsFit()
    {
        QFETCH(QString, language);
        QFETCH(bool, widens);
        std::unique_ptr<LanguageLibrary> library;
        std::unique_ptr<LocalizedStringSource> source;
        if (!language.isEmpty()) {
            library = std::make_unique<LanguageLibrary>(
                QStringLiteral(ZANDREL_BINARY_DIR "/languages/%1/ZandrelR.so").arg(language));
            QVERIFY(library->isLoaded());
            source = std::make_unique<LocalizedStringSource>(*library);
        }

        QTemporaryDir settingsFolder;
        settings::RegFileStore settings(settingsFolder.filePath(QStringLiteral("user.reg")),
                                        settingsFolder.filePath(QStringLiteral("machine.reg")));
        const auto form = std::make_unique<TConvertForm>(settings, QString());
        auto *captions = child<TSizingPanel>(*form, "SizingPanel1");
        auto *middle = child<QWidget>(*form, "Panel1");
        auto *browseColumn = child<TSizingPanel>(*form, "SizingPanel2");
        auto *buttonRow = child<TButtonRow>(*form, "ButtonRow1");
        auto *sourceEdit = child<QLineEdit>(*form, "DexmorFileEditBox");
        auto *formatCombo = child<QComboBox>(*form, "StyleSheetCombo");
        auto *viewFile = child<QCheckBox>(*form, "ViewFileCheckBox");
        const QList<TStaticText *> labels{child<TStaticText>(*form, "JobOrDexmorLbl"),
                                          child<TStaticText>(*form, "FormatLbl")};
        const QList<QPushButton *> browseButtons{child<QPushButton>(*form, "XMLBrowseBtn"),
                                                 child<QPushButton>(*form, "XSLBrowseBtn")};
        QList<QPushButton *> rowButtons{child<QPushButton>(*form, "OKBtn"),
                                        child<QPushButton>(*form, "CloseBtn"),
                                        child<QPushButton>(*form, "HelpBtn")};
        for (QWidget *widget : std::initializer_list<QWidget *>{
                 captions, middle, browseColumn, buttonRow, sourceEdit, formatCombo, viewFile, labels[0],
                 labels[1], browseButtons[0], browseButtons[1], rowButtons[0], rowButtons[1], rowButtons[2]})
            QVERIFY(widget);
        QCOMPARE(rowButtons[0]->text(), GetLocalizedString(StringId::OkButton));
        QCOMPARE(form->windowTitle(), GetLocalizedString(StringId::MainDialogTitle));

        // How much each column must grow, from the captions as measured before showing.
        int captionsGrowth = 0;
        for (TStaticText *label : labels)
            captionsGrowth = std::max(captionsGrowth, label->x() + label->width() - captions->width());
        int browseGrowth = 0;
        for (QPushButton *button : browseButtons)
            browseGrowth = std::max(browseGrowth, captionNeed(*browseColumn, button) - button->width());

        form->show();
        if (qEnvironmentVariableIsSet("ZANDREL_RENDER_DIR")) {
            const QString name = language.isEmpty() ? QStringLiteral("english") : language;
            QVERIFY(form->grab().save(QDir(qEnvironmentVariable("ZANDREL_RENDER_DIR"))
                                          .filePath(QStringLiteral("main-dialog-%1.png").arg(name))));
        }

        QCOMPARE(form->height(), DesignHeight);
        QCOMPARE(form->width(), DesignWidth + captionsGrowth + browseGrowth);
        QCOMPARE(form->width() > DesignWidth, widens);
        if (captionsGrowth == 0 && browseGrowth == 0)
            QCOMPARE(form->size(), QSize(DesignWidth, DesignHeight));

        // Captions whole and inside their column, their text apart from the field beside it.
        for (TStaticText *label : labels) {
            QVERIFY2(label->width() >= label->sizeHint().width(), qPrintable(label->text()));
            QVERIFY2(label->x() + label->width() <= captions->width(), qPrintable(label->text()));
            const int textRight = label->x() + label->contentsRect().x() +
                                  label->fontMetrics().horizontalAdvance(label->text().remove(u'&'));
            QVERIFY2(middle->x() + sourceEdit->x() - textRight >= TStaticText::FieldGap, qPrintable(label->text()));
        }
        QCOMPARE(middle->x(), captions->width());
        QCOMPARE(sourceEdit->width(), 225);
        QCOMPARE(formatCombo->width(), 225);
        QVERIFY(browseColumn->x() >= sourceEdit->x() + sourceEdit->width());
        QCOMPARE(browseColumn->x() + browseColumn->width(), middle->width());
        QCOMPARE(middle->x() + middle->width(), form->width());
        for (QPushButton *button : browseButtons) {
            QVERIFY2(button->width() >= captionNeed(*browseColumn, button), qPrintable(button->text()));
            QVERIFY(button->x() >= 0 && button->x() + button->width() <= browseColumn->width());
        }
        QVERIFY(viewFile->width() >= viewFile->sizeHint().width());
        QVERIFY(viewFile->x() + viewFile->width() <= form->width());

        // The command buttons: each fits its caption, 20 pixels apart, centred in a row as wide as
        // the form, none past its edges.
        QCOMPARE(buttonRow->width(), form->width());
        std::sort(rowButtons.begin(), rowButtons.end(),
                  [](QPushButton *a, QPushButton *b) { return a->x() < b->x(); });
        for (qsizetype i = 0; i < rowButtons.size(); ++i) {
            QVERIFY2(rowButtons[i]->width() >= captionNeed(*buttonRow, rowButtons[i]),
                     qPrintable(rowButtons[i]->text()));
            if (i > 0)
                QCOMPARE(rowButtons[i]->x(), rowButtons[i - 1]->x() + rowButtons[i - 1]->width() + 20);
        }
        const int leftMargin = rowButtons.first()->x();
        const int rightMargin = buttonRow->width() - (rowButtons.last()->x() + rowButtons.last()->width());
        QVERIFY(leftMargin >= 0 && rightMargin >= 0);
        QVERIFY(qAbs(leftMargin - rightMargin) <= 1);

        QTest::mouseClick(child<QPushButton>(*form, "CloseBtn"), Qt::LeftButton);
        QVERIFY(!form->isVisible());
        QCOMPARE(form->result(), int(QDialog::Rejected));
    }
};

QTEST_MAIN(MainDialogLayoutTest)
#include "tst_mainlayout.moc"
