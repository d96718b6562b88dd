// Sizing panels built as real widgets under the offscreen platform.

#include "support/SizingPanelTesting.h"

#include "layout/CaptionLabels.h"

#include <QApplication>
#include <QCheckBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyleFactory>
#include <QTest>

#include <functional>
#include <memory>

using namespace zandrel;
using namespace zandrel::layout;
using namespace zandrel::test;

namespace {

// A control on a panel, sized `shortfall` pixels narrower than its caption needs.
struct ControlSpec {
    QString kind;
    int shortfall = 0;
    bool hidden = false;
};

QWidget *addControl(TSizingPanel *panel, const ControlSpec &spec)
{
    QWidget *control = nullptr;
    int need = 0;
    if (spec.kind == QLatin1String("button")) {
        control = new QPushButton(longCaption, panel);
        need = captionNeed(*panel, control);
    } else if (spec.kind == QLatin1String("check box")) {
        control = new QCheckBox(longCaption, panel);
        need = captionNeed(*panel, control);
    } else if (spec.kind == QLatin1String("radio button")) {
        control = new QRadioButton(longCaption, panel);
        need = captionNeed(*panel, control);
    } else if (spec.kind == QLatin1String("label") || spec.kind == QLatin1String("wrapping label")) {
        auto *label = new QLabel(longCaption, panel);
        label->setWordWrap(spec.kind == QLatin1String("wrapping label"));
        control = label;
        need = panel->GetCaptionWidth(label->text(), label->font());
    } else if (spec.kind == QLatin1String("wrapping static text")) {
        auto *text = new TStaticText(longCaption, panel);
        text->setAutoSize(false);
        text->setWordWrap(true);
        control = text;
        need = panel->GetCaptionWidth(text->text(), text->font());
    } else if (spec.kind == QLatin1String("radio group")) {
        auto *group = new QGroupBox(QStringLiteral("Units"), panel);
        auto *metres = new QRadioButton(QStringLiteral("&Metres"), group);
        auto *feet = new QRadioButton(QStringLiteral("US survey &feet"), group);
        control = group;
        need = std::max(panel->GetCaptionWidth(group->title(), group->font()) + RadioGroupCaptionMargin,
                        std::max(panel->GetCaptionWidth(metres->text(), metres->font()),
                                 panel->GetCaptionWidth(feet->text(), feet->font())) +
                            RadioGroupItemMargin);
    } else {
        control = new QLineEdit(panel);
        need = 1000; // far wider than the panel: a control without a caption never asks for room
    }
    control->setGeometry(0, 0, need - spec.shortfall, 25);
    control->setHidden(spec.hidden);
    setAnchors(control, Anchor::Left | Anchor::Top | Anchor::Right);
    return control;
}

} // namespace

Q_DECLARE_METATYPE(ControlSpec)

class SizingPanelsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion"))); }

    void captionWidth_data()
    {
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("shown");
        QTest::newRow("access key") << "&File" << "File";
        QTest::newRow("doubled ampersand measured twice") << "A && B" << "A && B";
        QTest::newRow("pair then mark") << "&&&x" << "&&x";
        QTest::newRow("pseudo-locale") << QStringLiteral("[&Bŕöŵšé... ~]") << QStringLiteral("[Bŕöŵšé... ~]");
    }
    void captionWidth()
    {
        QFETCH(QString, caption);
        QFETCH(QString, shown);
        TCustomSizingPanel panel;
        QFont small = panel.font();
        small.setPixelSize(10);
        QFont large = small;
        large.setPixelSize(30);
        const auto extent = [&](const QFont &font) {
            return QFontMetrics(font, &panel).size(Qt::TextSingleLine, shown).width();
        };
        QCOMPARE(panel.GetCaptionWidth(caption, small), extent(small));
        // Measured in the font given, not in the panel's own.
        QCOMPARE(panel.GetCaptionWidth(caption, large), extent(large));
        QVERIFY(panel.GetCaptionWidth(caption, large) > panel.GetCaptionWidth(caption, small));
    }

    void captionMarginsFollowTheStyle()
    {
        TSizingPanel panel;
        auto *button = new QPushButton(longCaption, &panel);
        auto *checkBox = new QCheckBox(longCaption, &panel);
        // Fusion puts exactly the described 16 pixels beside a button's text ...
        QCOMPARE(panel.MetricsOf(button).captionMargin, PushButtonCaptionMargin);
        // ... and more than the described 19 beside a check box's; the caption must still fit.
        QVERIFY(panel.MetricsOf(checkBox).captionMargin >= CheckBoxCaptionMargin);
        QVERIFY(captionNeed(panel, checkBox) >= checkBox->sizeHint().width());
        QVERIFY(captionNeed(panel, button) >= panel.GetCaptionWidth(longCaption, button->font()) + 16);
    }

    void growthByControlKind_data()
    {
        QTest::addColumn<QList<ControlSpec>>("controls");
        QTest::addColumn<int>("growth");
        QTest::newRow("button short by 11") << QList<ControlSpec>{{"button", 11}} << 11;
        QTest::newRow("button that fits") << QList<ControlSpec>{{"button", -5}} << 0;
        QTest::newRow("check box short by 7") << QList<ControlSpec>{{"check box", 7}} << 7;
        QTest::newRow("radio button short by 4") << QList<ControlSpec>{{"radio button", 4}} << 4;
        QTest::newRow("plain label short by 30") << QList<ControlSpec>{{"label", 30}} << 30;
        QTest::newRow("word-wrapping label never grows") << QList<ControlSpec>{{"wrapping label", 100}} << 0;
        QTest::newRow("static text has no word-wrap test") << QList<ControlSpec>{{"wrapping static text", 12}} << 12;
        QTest::newRow("radio group short by 9") << QList<ControlSpec>{{"radio group", 9}} << 9;
        QTest::newRow("control without a caption") << QList<ControlSpec>{{"edit", 0}} << 0;
        QTest::newRow("largest shortfall")
            << QList<ControlSpec>{{"button", 11}, {"label", 30}, {"check box", 7}} << 30;
        QTest::newRow("hidden controls count too") << QList<ControlSpec>{{"button", 9, true}} << 9;
        QTest::newRow("never narrower") << QList<ControlSpec>{{"button", -40}, {"label", -20}} << 0;
        QTest::newRow("empty panel") << QList<ControlSpec>{} << 0;
    }
    void growthByControlKind()
    {
        QFETCH(QList<ControlSpec>, controls);
        QFETCH(int, growth);
        const auto form = makeForm();
        auto *panel = new TSizingPanel(form.get());
        panel->setGeometry(0, 0, 300, 60);
        QList<QWidget *> widgets;
        for (const ControlSpec &spec : controls)
            widgets.append(addControl(panel, spec));
        QList<int> widths;
        for (QWidget *control : widgets)
            widths.append(control->width());

        form->show();
        QCOMPARE(panel->width(), 300 + growth);
        QCOMPARE(panel->height(), 60);
        QCOMPARE(form->width(), 400); // CanSizeForm is off
        for (qsizetype i = 0; i < widgets.size(); ++i) {
            QCOMPARE(widgets[i]->width(), widths[i] + growth); // only by following the panel
            QVERIFY(panel->GetRequiredWidth(widgets[i]) <= widgets[i]->width());
        }
        panel->AdjustLayout(); // once room is made, adjusting again changes nothing
        QCOMPARE(panel->width(), 300 + growth);
    }

    void fixedWidthControlsNeedRoomOnce_data()
    {
        QTest::addColumn<int>("left");
        QTest::addColumn<int>("roomBeside"); // between the button's right edge and the panel's
        QTest::addColumn<int>("growth");
        QTest::newRow("at the edge") << 25 << 0 << 11;
        QTest::newRow("with room beside it") << 0 << 20 << 0;
        QTest::newRow("partly covered by room") << 20 << 5 << 6;
    }
    void fixedWidthControlsNeedRoomOnce()
    {
        QFETCH(int, left);
        QFETCH(int, roomBeside);
        QFETCH(int, growth);
        TAutoSizeForm form; // adjusts before showing and once more on the size change of showing
        form.resize(400, 100);
        auto *panel = new TSizingPanel(&form);
        auto *button = new QPushButton(QStringLiteral("&Browse..."), panel);
        button->setGeometry(left, 4, captionNeed(*panel, button) - 11, 25);
        const int buttonWidth = button->width();
        const int panelWidth = left + buttonWidth + roomBeside;
        panel->setGeometry(0, 0, panelWidth, 40);
        QVERIFY(!panel->FollowsPanelWidth(button));
        form.show();
        QCOMPARE(panel->width(), panelWidth + growth);
        QCOMPARE(button->width(), buttonWidth);
        form.hide();
        form.show();
        QCOMPARE(panel->width(), panelWidth + growth);
    }

    void followingThePanel()
    {
        TSizingPanel panel;
        auto *layoutHost = new TSizingPanel(&panel);
        auto *row = new QHBoxLayout(layoutHost);
        auto *stretched = new QPushButton(QStringLiteral("A"));
        auto *fixed = new QPushButton(QStringLiteral("B"));
        fixed->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        row->addWidget(stretched);
        row->addWidget(fixed);
        QVERIFY(layoutHost->FollowsPanelWidth(stretched));
        QVERIFY(!layoutHost->FollowsPanelWidth(fixed));

        auto *plain = new QPushButton(&panel);
        QVERIFY(!panel.FollowsPanelWidth(plain));
        setAnchors(plain, Anchor::Right);
        QVERIFY(!panel.FollowsPanelWidth(plain));
        setAnchors(plain, Anchor::Left | Anchor::Right);
        QVERIFY(panel.FollowsPanelWidth(plain));
        setAlign(plain, ControlAlign::Left);
        QVERIFY(!panel.FollowsPanelWidth(plain));
        setAlign(plain, ControlAlign::Top);
        QVERIFY(panel.FollowsPanelWidth(plain));
    }

    void selfSizingCaptionAtThePanelEdge_data()
    {
        QTest::addColumn<bool>("staticText");
        QTest::addColumn<int>("left");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("panelWidth");
        QTest::addColumn<int>("newPanelWidth");
        QTest::newRow("label past the edge grows the panel to its right edge") << false << 140 << 10 << 145 << 150;
        QTest::newRow("static text past the edge") << true << 140 << 10 << 145 << 150;
        QTest::newRow("label wholly beyond the panel") << false << 160 << 20 << 150 << 180;
        QTest::newRow("label ending at the edge") << false << 135 << 10 << 145 << 145;
        QTest::newRow("label inside") << true << 10 << 50 << 145 << 145;
    }
    void selfSizingCaptionAtThePanelEdge()
    {
        QFETCH(bool, staticText);
        QFETCH(int, left);
        QFETCH(int, width);
        QFETCH(int, panelWidth);
        QFETCH(int, newPanelWidth);
        const auto form = makeForm();
        auto *panel = new TSizingPanel(form.get());
        panel->setGeometry(0, 0, panelWidth, 60);
        TLabel *label = staticText ? new TStaticText(longCaption, panel) : new TLabel(longCaption, panel);
        label->setGeometry(left, 10, width, 20);
        form->show();
        QCOMPARE(label->width(), width);
        QCOMPARE(panel->width(), newPanelWidth);
    }

    void captionLabelsFitTheirText()
    {
        QLineEdit buddy;
        TStaticText label(QStringLiteral("&Output format:"));
        QCOMPARE(label.size(), label.sizeHint());
        label.setBuddy(&buddy); // the mark now shows as an underline and takes no room
        QCOMPARE(label.size(), label.sizeHint());
        label.setText(QStringLiteral("[&Oûţþûţ ƒöŕɱåţ: ~~~]"));
        QCOMPARE(label.width(), label.sizeHint().width());
        QVERIFY(label.width() >= QFontMetrics(label.font()).horizontalAdvance(QStringLiteral("[Oûţþûţ ƒöŕɱåţ: ~~~]")));

        label.setAutoSize(false);
        label.setText(QStringLiteral("OK"));
        QVERIFY(label.width() > label.sizeHint().width()); // keeps the longer text's width

        TLabel wrapping(QStringLiteral("A caption long enough to wrap over several lines of this label"));
        wrapping.setAutoSize(false);
        wrapping.setWordWrap(true);
        wrapping.resize(80, 10);
        wrapping.setAutoSize(true);
        QCOMPARE(wrapping.width(), 80);
        QCOMPARE(wrapping.height(), wrapping.heightForWidth(80));
    }

    void canSizeForm_data()
    {
        QTest::addColumn<bool>("canSizeForm");
        QTest::addColumn<QString>("placement");
        QTest::addColumn<int>("panelGrowth");
        QTest::addColumn<int>("formGrowth");
        QTest::newRow("widens its form") << true << "form" << 11 << 11;
        QTest::newRow("widens a form of fixed size") << true << "fixed form" << 11 << 11;
        QTest::newRow("widens its form from inside a container") << true << "container" << 11 << 11;
        QTest::newRow("grows alone without CanSizeForm") << false << "form" << 11 << 0;
        QTest::newRow("without a form it stays") << true << "no form" << 0 << 0;
        QTest::newRow("without a form and CanSizeForm it grows") << false << "no form" << 11 << 0;
    }
    void canSizeForm()
    {
        QFETCH(bool, canSizeForm);
        QFETCH(QString, placement);
        QFETCH(int, panelGrowth);
        QFETCH(int, formGrowth);

        const auto form = makeForm();
        if (placement == QLatin1String("fixed form"))
            form->setFixedSize(400, 200);
        std::unique_ptr<TSizingPanel> ownedPanel;
        TSizingPanel *panel = nullptr;
        if (placement == QLatin1String("no form")) {
            ownedPanel = std::make_unique<TSizingPanel>();
            panel = ownedPanel.get();
        } else if (placement == QLatin1String("container")) {
            auto *container = new QWidget(form.get());
            container->setGeometry(10, 10, 300, 100);
            panel = new TSizingPanel(container);
        } else {
            panel = new TSizingPanel(form.get());
        }
        panel->setCanSizeForm(canSizeForm);
        panel->setGeometry(0, 0, 120, 40);
        shortButton(panel, 11);

        QCOMPARE(panel->OwnerForm(), placement == QLatin1String("no form") ? nullptr : form.get());
        (ownedPanel ? static_cast<QWidget *>(panel) : form.get())->show();
        QCOMPARE(panel->width(), 120 + panelGrowth);
        QCOMPARE(form->width(), 400 + formGrowth);
        QCOMPARE(form->height(), 200);
    }

    void setPanelWidthDirectly()
    {
        const auto form = makeForm();
        auto *panel = new TSizingPanel(form.get());
        panel->setCanSizeForm(true);
        panel->setGeometry(0, 0, 100, 40);
        panel->SetPanelWidth(130);
        QCOMPARE(panel->width(), 130);
        QCOMPARE(form->width(), 430);
        panel->SetPanelWidth(90); // narrowing on request leaves the form alone
        QCOMPARE(panel->width(), 90);
        QCOMPARE(form->width(), 430);
    }

    // The main dialog's right-hand column: a right-aligned panel in a client-aligned container.
    // The form grows first, so the panel grows to the left and the edit box beside it keeps its width.
    void alignedNeighboursKeepTheirWidths()
    {
        const auto form = makeForm(300, 80);
        form->setFixedSize(300, 80);
        auto *middle = new QWidget(form.get());
        setAlign(middle, ControlAlign::Client);
        auto *edit = new QLineEdit(middle);
        edit->setGeometry(0, 14, 180, 22);
        auto *column = new TSizingPanel(middle);
        column->setCanSizeForm(true);
        column->resize(90, 80);
        setAlign(column, ControlAlign::Right);
        QPushButton *browse = shortButton(column, 11);
        browse->setGeometry(8, 12, 75, 25);
        setAnchors(browse, Anchor::Left | Anchor::Top | Anchor::Right);
        const int growth = captionNeed(*column, browse) - 75;
        QVERIFY(growth > 0);

        form->show();
        QCOMPARE(form->width(), 300 + growth);
        QCOMPARE(middle->geometry(), QRect(0, 0, 300 + growth, 80));
        QCOMPARE(column->geometry(), QRect(210, 0, 90 + growth, 80));
        QCOMPARE(edit->geometry(), QRect(0, 14, 180, 22));
        QCOMPARE(browse->geometry(), QRect(8, 12, 75 + growth, 25));
    }

    void layoutManagedPanelKeepsItsWidth()
    {
        const auto form = makeForm(300, 60);
        auto *row = new QHBoxLayout(form.get());
        auto *panel = new TSizingPanel;
        panel->setCanSizeForm(true);
        panel->setFixedWidth(100);
        auto *edit = new QLineEdit;
        edit->setFixedWidth(150);
        row->addWidget(panel);
        row->addWidget(edit);
        row->addStretch(1);
        QPushButton *button = shortButton(panel, 11);
        button->move(0, 0);

        form->show();
        form->layout()->activate();
        QCOMPARE(panel->width(), 111);
        QCOMPARE(form->width(), 311);
        QCOMPARE(edit->width(), 150);
    }

    // While one panel adjusts, a size change of another panel does not start its adjustment inside;
    // that panel adjusts once the first is done.
    void adjustingFlagHoldsOtherPanelsBack()
    {
        const auto form = makeForm(400, 200);
        auto *first = new RecordingPanel(QStringLiteral("first"), nullptr, form.get());
        first->setCanSizeForm(true);
        first->setGeometry(0, 0, 100, 50);
        QPushButton *firstButton = shortButton(first, -10, QStringLiteral("OK"));
        auto *second = new RecordingPanel(QStringLiteral("second"), nullptr, form.get());
        second->setGeometry(0, 100, 400, 50);
        setAnchors(second, Anchor::Left | Anchor::Top | Anchor::Right);
        QPushButton *secondButton = shortButton(second, -10, QStringLiteral("OK"));
        form->show();
        QCOMPARE(form->width(), 400);

        firstButton->setText(longCaption);
        firstButton->resize(75, 25);
        const int firstGrowth = captionNeed(*first, firstButton) - 75;
        secondButton->setText(longCaption + longCaption);
        secondButton->resize(75, 25);
        const int secondGrowth = captionNeed(*second, secondButton) - 75;
        first->adjustments = second->adjustments = 0;
        int secondAdjustmentsInside = -1;
        first->afterAdjust = [&] { secondAdjustmentsInside = second->adjustments; };

        first->resize(100, 51); // any size change starts an adjustment
        QCOMPARE(first->adjustments, 1);
        QVERIFY(first->sawAdjusting);
        QCOMPARE(secondAdjustmentsInside, 0);
        QCOMPARE(second->adjustments, 1);
        QVERIFY(second->sawAdjusting);
        QVERIFY(!TCustomSizingPanel::IsAdjusting());
        QCOMPARE(form->width(), 400 + firstGrowth);
        // The second panel followed the form, which gave its button part of the room it lacked,
        // and then grew by the rest.
        QVERIFY(secondGrowth > firstGrowth);
        QCOMPARE(second->width(), 400 + secondGrowth);
        QCOMPARE(secondButton->width(), 75 + secondGrowth);
    }

    void directAdjustmentDoesNotSetTheFlag()
    {
        const auto form = makeForm();
        auto *panel = new RecordingPanel(QStringLiteral("panel"), nullptr, form.get());
        panel->AdjustLayout();
        QVERIFY(!panel->sawAdjusting);
        panel->resize(panel->width() + 1, panel->height());
        QCOMPARE(panel->adjustments, 1); // hidden: the size change reaches it when it is shown
        form->show();
        QCOMPARE(panel->adjustments, 2);
        QVERIFY(panel->sawAdjusting);
    }

};

QTEST_MAIN(SizingPanelsTest)
#include "tst_sizingpanels.moc"
