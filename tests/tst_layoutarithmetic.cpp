// The arithmetic of the sizing panels, the button row, alignment and anchors and the code-page
// character set, without widgets.

#include "layout/LayoutArithmetic.h"
#include "layout/MbcsUtils.h"
#include "layout/PlacementArithmetic.h"

#include <QTest>

using namespace zandrel::layout;

Q_DECLARE_METATYPE(ControlMetrics)
Q_DECLARE_METATYPE(RowButton)
Q_DECLARE_METATYPE(AlignedControl)

namespace {

ControlMetrics control(ControlKind kind, int left, int width, int captionWidth, int captionMargin = 0)
{
    ControlMetrics metrics;
    metrics.kind = kind;
    metrics.left = left;
    metrics.width = width;
    metrics.captionWidth = captionWidth;
    metrics.captionMargin = captionMargin;
    return metrics;
}

ControlMetrics label(int left, int width, int captionWidth, bool wordWrap, bool autoSize)
{
    ControlMetrics metrics = control(ControlKind::Label, left, width, captionWidth);
    metrics.wordWrap = wordWrap;
    metrics.autoSize = autoSize;
    return metrics;
}

ControlMetrics staticText(int left, int width, int captionWidth, bool wordWrap, bool autoSize)
{
    ControlMetrics metrics = label(left, width, captionWidth, wordWrap, autoSize);
    metrics.kind = ControlKind::StaticText;
    return metrics;
}

ControlMetrics pushButton(int width, int captionWidth)
{
    return control(ControlKind::PushButton, 0, width, captionWidth, PushButtonCaptionMargin);
}

// A control that keeps its width when the panel grows.
ControlMetrics fixedWidth(ControlMetrics metrics, int left)
{
    metrics.followsPanel = false;
    metrics.left = left;
    return metrics;
}

ControlMetrics radioGroup(int width, int captionWidth, const QList<int> &items)
{
    ControlMetrics metrics = control(ControlKind::RadioGroup, 0, width, captionWidth, RadioGroupCaptionMargin);
    metrics.itemWidths = items;
    metrics.itemMargin = RadioGroupItemMargin;
    return metrics;
}

QList<RowButton> buttonsOfWidth(const QList<int> &lefts, int width = 75, int required = 40)
{
    QList<RowButton> buttons;
    for (int left : lefts)
        buttons.append({left, width, required});
    return buttons;
}

} // namespace

class LayoutArithmeticTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void captionMeasureText_data()
    {
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("measured");
        QTest::newRow("access key") << "&File" << "File";
        QTest::newRow("browse button") << "&Browse..." << "Browse...";
        QTest::newRow("mark inside a word") << "B&rowse..." << "Browse...";
        QTest::newRow("doubled kept as two") << "A && B" << "A && B";
        QTest::newRow("save and close") << "Save && Close" << "Save && Close";
        QTest::newRow("pair then single") << "&&&x" << "&&x";
        QTest::newRow("single then pair") << "&x&&" << "x&&";
        QTest::newRow("two pairs") << "&&&&" << "&&&&";
        QTest::newRow("five in a row") << "a&&&&&b" << "a&&&&b";
        QTest::newRow("trailing mark") << "Help&" << "Help";
        QTest::newRow("lone mark") << "&" << "";
        QTest::newRow("empty") << "" << "";
        QTest::newRow("no marks") << "OK" << "OK";
        QTest::newRow("non-ASCII") << QStringLiteral("[&Söûŕçé ~]") << QStringLiteral("[Söûŕçé ~]");
        // A BEL character in a caption is text like any other, never turned into ampersands.
        QTest::newRow("bell characters stay") << QStringLiteral("a\a\ab&c") << QStringLiteral("a\a\abc");
    }
    void captionMeasureText()
    {
        QFETCH(QString, caption);
        QFETCH(QString, measured);
        QCOMPARE(zandrel::layout::captionMeasureText(caption), measured);
    }

    void requiredWidth_data()
    {
        QTest::addColumn<ControlMetrics>("control");
        QTest::addColumn<int>("panelWidth");
        QTest::addColumn<int>("required");

        QTest::newRow("word-wrapping label keeps its width") << label(0, 50, 400, true, false) << 100 << 50;
        QTest::newRow("word wrap wins over auto-size") << label(90, 50, 400, true, true) << 100 << 50;
        QTest::newRow("auto-size label inside") << label(10, 50, 400, false, true) << 100 << 50;
        QTest::newRow("auto-size label ending at the edge") << label(50, 50, 400, false, true) << 100 << 50;
        QTest::newRow("auto-size label past the edge") << label(140, 10, 400, false, true) << 145 << 15;
        QTest::newRow("auto-size label beyond the panel") << label(160, 20, 0, false, true) << 150 << 50;
        QTest::newRow("plain label needs its caption") << label(0, 100, 120, false, false) << 300 << 120;
        QTest::newRow("plain label needing less") << label(0, 100, 80, false, false) << 300 << 80;
        QTest::newRow("static text ignores word wrap") << staticText(0, 20, 120, true, false) << 300 << 120;
        QTest::newRow("auto-size static text past the edge") << staticText(140, 10, 400, true, true) << 145 << 15;
        QTest::newRow("auto-size static text inside") << staticText(0, 30, 400, false, true) << 145 << 30;
        QTest::newRow("button caption 70") << pushButton(75, 70) << 100 << 86;
        QTest::newRow("button caption fits") << pushButton(75, 40) << 100 << 75;
        QTest::newRow("button caption 100") << pushButton(75, 100) << 100 << 116;
        QTest::newRow("check box") << control(ControlKind::CheckBox, 0, 100, 90, CheckBoxCaptionMargin) << 100 << 109;
        QTest::newRow("radio button")
            << control(ControlKind::RadioButton, 0, 100, 90, RadioButtonCaptionMargin) << 100 << 108;
        QTest::newRow("radio group item decides") << radioGroup(100, 90, {60, 80}) << 100 << 113;
        QTest::newRow("radio group caption decides") << radioGroup(100, 110, {60, 80}) << 100 << 125;
        QTest::newRow("radio group fits") << radioGroup(200, 110, {60, 80}) << 100 << 200;
        QTest::newRow("radio group without items") << radioGroup(50, 40, {}) << 100 << 55;
        QTest::newRow("other control") << control(ControlKind::Other, 0, 42, 500, 16) << 10 << 42;
    }
    void requiredWidth()
    {
        QFETCH(ControlMetrics, control);
        QFETCH(int, panelWidth);
        QFETCH(int, required);
        QCOMPARE(zandrel::layout::requiredWidth(control, panelWidth), required);
    }

    void panelGrowth_data()
    {
        QTest::addColumn<QList<ControlMetrics>>("controls");
        QTest::addColumn<int>("panelWidth");
        QTest::addColumn<int>("growth");
        QTest::newRow("no controls") << QList<ControlMetrics>{} << 100 << 0;
        QTest::newRow("all fit") << QList<ControlMetrics>{pushButton(75, 50), label(0, 60, 60, false, false)} << 100
                                 << 0;
        QTest::newRow("never narrower")
            << QList<ControlMetrics>{pushButton(200, 10), label(0, 100, 5, false, false)} << 300 << 0;
        QTest::newRow("word-wrapping label only") << QList<ControlMetrics>{label(0, 20, 900, true, false)} << 100
                                                  << 0;
        QTest::newRow("other controls only")
            << QList<ControlMetrics>{control(ControlKind::Other, 90, 500, 900)} << 100 << 0;
        QTest::newRow("button short by 11") << QList<ControlMetrics>{pushButton(75, 70)} << 100 << 11;
        QTest::newRow("auto-size label at the edge")
            << QList<ControlMetrics>{label(140, 10, 0, false, true)} << 145 << 5;
        QTest::newRow("largest shortfall, not the sum")
            << QList<ControlMetrics>{pushButton(75, 70), label(0, 100, 130, false, false), pushButton(75, 60)} << 200
            << 30;
        QTest::newRow("largest shortfall last")
            << QList<ControlMetrics>{label(0, 100, 130, false, false), pushButton(75, 100)} << 200 << 41;

        // Controls that keep their width need room inside the panel, not growth for ever.
        QTest::newRow("fixed button at the edge") << QList<ControlMetrics>{fixedWidth(pushButton(75, 70), 25)} << 100
                                                  << 11;
        QTest::newRow("fixed button after growing for it")
            << QList<ControlMetrics>{fixedWidth(pushButton(75, 70), 25)} << 111 << 0;
        QTest::newRow("fixed button with room beside it")
            << QList<ControlMetrics>{fixedWidth(pushButton(75, 70), 0)} << 100 << 0;
        QTest::newRow("fixed button partly covered by room")
            << QList<ControlMetrics>{fixedWidth(pushButton(75, 70), 20)} << 100 << 6;
        QTest::newRow("fixed label") << QList<ControlMetrics>{fixedWidth(label(0, 100, 130, false, false), 40)} << 150
                                     << 20;
        QTest::newRow("fixed button sticking out whose caption fits")
            << QList<ControlMetrics>{fixedWidth(pushButton(75, 40), 90)} << 100 << 0;
        QTest::newRow("fixed word-wrapping label sticking out")
            << QList<ControlMetrics>{fixedWidth(label(90, 50, 400, true, false), 90)} << 100 << 0;
        QTest::newRow("fixed self-sizing label keeps its rule")
            << QList<ControlMetrics>{fixedWidth(label(140, 10, 0, false, true), 140)} << 145 << 5;
        QTest::newRow("fixed self-sizing static text keeps its rule")
            << QList<ControlMetrics>{fixedWidth(staticText(140, 10, 0, false, true), 140)} << 145 << 5;
        QTest::newRow("fixed and following, largest wins")
            << QList<ControlMetrics>{fixedWidth(pushButton(75, 70), 25), pushButton(75, 80)} << 100 << 21;
    }
    void panelGrowth()
    {
        QFETCH(QList<ControlMetrics>, controls);
        QFETCH(int, panelWidth);
        QFETCH(int, growth);
        QCOMPARE(zandrel::layout::panelGrowth(controls, panelWidth), growth);
    }

    void panelWidthChange_data()
    {
        QTest::addColumn<int>("panelWidth");
        QTest::addColumn<int>("newWidth");
        QTest::addColumn<bool>("canSizeForm");
        QTest::addColumn<bool>("ownedByForm");
        QTest::addColumn<bool>("changes");
        QTest::addColumn<int>("formGrowth");
        QTest::addColumn<int>("resultWidth");
        QTest::newRow("grows with its form") << 100 << 111 << true << true << true << 11 << 111;
        QTest::newRow("may size a form it has not") << 100 << 111 << true << false << false << 0 << 100;
        QTest::newRow("grows alone") << 100 << 111 << false << true << true << 0 << 111;
        QTest::newRow("grows alone without a form") << 100 << 111 << false << false << true << 0 << 111;
        QTest::newRow("narrowed on request, form stays") << 100 << 90 << true << true << true << 0 << 90;
        QTest::newRow("narrowed without a form") << 100 << 90 << true << false << true << 0 << 90;
        QTest::newRow("same width") << 100 << 100 << true << true << false << 0 << 100;
    }
    void panelWidthChange()
    {
        QFETCH(int, panelWidth);
        QFETCH(int, newWidth);
        QFETCH(bool, canSizeForm);
        QFETCH(bool, ownedByForm);
        QFETCH(bool, changes);
        QFETCH(int, formGrowth);
        QFETCH(int, resultWidth);
        const PanelWidthChange change =
            zandrel::layout::panelWidthChange(panelWidth, newWidth, canSizeForm, ownedByForm);
        QCOMPARE(change.changes, changes);
        QCOMPARE(change.formGrowth, formGrowth);
        QCOMPARE(change.panelWidth, resultWidth);
    }

    void buttonOrder_data()
    {
        QTest::addColumn<QList<int>>("lefts");
        QTest::addColumn<QList<qsizetype>>("order");
        QTest::newRow("already in order") << QList<int>{112, 207, 302} << QList<qsizetype>{0, 1, 2};
        QTest::newRow("reversed") << QList<int>{300, 200, 100} << QList<qsizetype>{2, 1, 0};
        QTest::newRow("mixed") << QList<int>{300, 100, 200} << QList<qsizetype>{1, 2, 0};
        QTest::newRow("equal edges keep child order") << QList<int>{50, 50, 10} << QList<qsizetype>{2, 0, 1};
        QTest::newRow("all equal") << QList<int>{5, 5, 5} << QList<qsizetype>{0, 1, 2};
        QTest::newRow("negative edges") << QList<int>{0, -30, 10} << QList<qsizetype>{1, 0, 2};
        QTest::newRow("none") << QList<int>{} << QList<qsizetype>{};
    }
    void buttonOrder()
    {
        QFETCH(QList<int>, lefts);
        QFETCH(QList<qsizetype>, order);
        QCOMPARE(zandrel::layout::buttonOrder(lefts), order);
    }

    void layoutButtonRow_data()
    {
        QTest::addColumn<QList<RowButton>>("buttons");
        QTest::addColumn<int>("rowWidth");
        QTest::addColumn<int>("spacing");
        QTest::addColumn<GroupAlignment>("alignment");
        // Left edge and width of each button, by its place in the input list.
        QTest::addColumn<QList<int>>("lefts");
        QTest::addColumn<QList<int>>("widths");

        QTest::newRow("main dialog at design width")
            << buttonsOfWidth({0, 100, 200}) << 489 << 20 << GroupAlignment::Center << QList<int>{112, 207, 302}
            << QList<int>{75, 75, 75};
        QTest::newRow("one button centred") << buttonsOfWidth({40}) << 200 << 8 << GroupAlignment::Center
                                            << QList<int>{62} << QList<int>{75};
        QTest::newRow("centred group 3 wider than the row")
            << buttonsOfWidth({0, 100, 200}) << 262 << 20 << GroupAlignment::Center << QList<int>{-1, 94, 189}
            << QList<int>{75, 75, 75};
        QTest::newRow("centred group far wider than the row")
            << buttonsOfWidth({0, 100}) << 100 << 10 << GroupAlignment::Center << QList<int>{-30, 55}
            << QList<int>{75, 75};
        QTest::newRow("left starts at the spacing")
            << buttonsOfWidth({300, 400}) << 489 << 8 << GroupAlignment::LeftJustify << QList<int>{8, 91}
            << QList<int>{75, 75};
        QTest::newRow("right ends a spacing before the edge")
            << buttonsOfWidth({0, 10}) << 300 << 10 << GroupAlignment::RightJustify << QList<int>{130, 215}
            << QList<int>{75, 75};
        QTest::newRow("right, wider than the row")
            << buttonsOfWidth({0, 10}) << 100 << 10 << GroupAlignment::RightJustify << QList<int>{-70, 15}
            << QList<int>{75, 75};
        QTest::newRow("placed by left edge, not by list order")
            << buttonsOfWidth({300, 10, 100}) << 489 << 8 << GroupAlignment::LeftJustify << QList<int>{174, 8, 91}
            << QList<int>{75, 75, 75};
        QTest::newRow("equal left edges keep list order")
            << buttonsOfWidth({50, 50}) << 489 << 8 << GroupAlignment::LeftJustify << QList<int>{8, 91}
            << QList<int>{75, 75};
        QTest::newRow("100-pixel caption widens its button and pushes the next")
            << QList<RowButton>{{0, 75, 116}, {100, 75, 40}, {200, 75, 40}} << 489 << 20 << GroupAlignment::Center
            << QList<int>{91, 227, 322} << QList<int>{116, 75, 75};
        QTest::newRow("no common width")
            << QList<RowButton>{{0, 75, 90}, {100, 60, 40}} << 300 << 10 << GroupAlignment::LeftJustify
            << QList<int>{10, 110} << QList<int>{90, 60};
        QTest::newRow("never narrower") << QList<RowButton>{{0, 120, 20}} << 300 << 10
                                        << GroupAlignment::LeftJustify << QList<int>{10} << QList<int>{120};
        QTest::newRow("no buttons") << QList<RowButton>{} << 300 << 10 << GroupAlignment::Center << QList<int>{}
                                    << QList<int>{};
    }
    void layoutButtonRow()
    {
        QFETCH(QList<RowButton>, buttons);
        QFETCH(int, rowWidth);
        QFETCH(int, spacing);
        QFETCH(GroupAlignment, alignment);
        QFETCH(QList<int>, lefts);
        QFETCH(QList<int>, widths);

        const QList<PlacedButton> placed = zandrel::layout::layoutButtonRow(buttons, rowWidth, spacing, alignment);
        QCOMPARE(placed.size(), buttons.size());
        QList<int> actualLefts(buttons.size(), 0);
        QList<int> actualWidths(buttons.size(), 0);
        for (const PlacedButton &button : placed) {
            actualLefts[button.index] = button.left;
            actualWidths[button.index] = button.width;
        }
        QCOMPARE(actualLefts, lefts);
        QCOMPARE(actualWidths, widths);
    }

    void alignControls_data()
    {
        QTest::addColumn<QList<AlignedControl>>("controls");
        QTest::addColumn<QRect>("client");
        QTest::addColumn<QList<QRect>>("geometries");

        const QRect client(0, 0, 487, 80);
        QTest::newRow("left, client, right") << QList<AlignedControl>{{ControlAlign::Left, QRect(5, 5, 170, 10)},
                                                                      {ControlAlign::Client, QRect(0, 0, 1, 1)},
                                                                      {ControlAlign::Right, QRect(0, 0, 92, 3)}}
                                             << client
                                             << QList<QRect>{QRect(0, 0, 170, 80), QRect(170, 0, 225, 80),
                                                             QRect(395, 0, 92, 80)};
        QTest::newRow("top and bottom before the sides")
            << QList<AlignedControl>{{ControlAlign::Left, QRect(0, 0, 50, 1)},
                                     {ControlAlign::Bottom, QRect(0, 0, 10, 30)},
                                     {ControlAlign::Top, QRect(0, 0, 10, 20)},
                                     {ControlAlign::Client, QRect()}}
            << QRect(0, 0, 200, 100)
            << QList<QRect>{QRect(0, 20, 50, 50), QRect(0, 70, 200, 30), QRect(0, 0, 200, 20),
                            QRect(50, 20, 150, 50)};
        QTest::newRow("two on the left, in list order")
            << QList<AlignedControl>{{ControlAlign::Left, QRect(0, 0, 30, 1)},
                                     {ControlAlign::Left, QRect(0, 0, 40, 1)}}
            << QRect(0, 0, 200, 100) << QList<QRect>{QRect(0, 0, 30, 100), QRect(30, 0, 40, 100)};
        QTest::newRow("hidden control keeps its place and takes no room")
            << QList<AlignedControl>{{ControlAlign::Left, QRect(7, 7, 30, 9), false},
                                     {ControlAlign::Left, QRect(0, 0, 40, 1)}}
            << QRect(0, 0, 200, 100) << QList<QRect>{QRect(7, 7, 30, 9), QRect(0, 0, 40, 100)};
        QTest::newRow("unaligned control stays") << QList<AlignedControl>{{ControlAlign::None, QRect(8, 85, 471, 17)}}
                                                 << client << QList<QRect>{QRect(8, 85, 471, 17)};
        QTest::newRow("inside a frame") << QList<AlignedControl>{{ControlAlign::Right, QRect(0, 0, 20, 1)}}
                                        << QRect(2, 2, 96, 46) << QList<QRect>{QRect(78, 2, 20, 46)};
        QTest::newRow("sides wider than the client")
            << QList<AlignedControl>{{ControlAlign::Left, QRect(0, 0, 80, 1)},
                                     {ControlAlign::Right, QRect(0, 0, 80, 1)},
                                     {ControlAlign::Client, QRect()}}
            << QRect(0, 0, 100, 10) << QList<QRect>{QRect(0, 0, 80, 10), QRect(20, 0, 80, 10), QRect(80, 0, 0, 10)};
    }
    void alignControls()
    {
        QFETCH(QList<AlignedControl>, controls);
        QFETCH(QRect, client);
        QFETCH(QList<QRect>, geometries);
        QCOMPARE(zandrel::layout::alignControls(controls, client), geometries);
    }

    void anchoredGeometry_data()
    {
        QTest::addColumn<int>("anchors");
        QTest::addColumn<QSize>("newSize");
        QTest::addColumn<QRect>("geometry");
        const auto flags = [](Anchors anchors) { return int(anchors); };
        // Every row starts from a control at (10, 10) sized 50 x 20 in a container of 100 x 50.
        QTest::newRow("left and top stay") << flags(DefaultAnchors) << QSize(130, 70) << QRect(10, 10, 50, 20);
        QTest::newRow("left and right stretch")
            << flags(Anchor::Left | Anchor::Top | Anchor::Right) << QSize(130, 70) << QRect(10, 10, 80, 20);
        QTest::newRow("right only moves") << flags(Anchor::Right | Anchor::Top) << QSize(130, 70)
                                          << QRect(40, 10, 50, 20);
        QTest::newRow("all four stretch both ways")
            << flags(Anchor::Left | Anchor::Top | Anchor::Right | Anchor::Bottom) << QSize(130, 70)
            << QRect(10, 10, 80, 40);
        QTest::newRow("bottom only moves down") << flags(Anchor::Left | Anchor::Bottom) << QSize(100, 60)
                                                << QRect(10, 20, 50, 20);
        QTest::newRow("no anchors keep the middle") << flags({}) << QSize(131, 71) << QRect(25, 20, 50, 20);
        QTest::newRow("no anchors, shrinking truncates toward zero")
            << flags({}) << QSize(97, 47) << QRect(9, 9, 50, 20);
        QTest::newRow("stretching never gives a negative width")
            << flags(Anchor::Left | Anchor::Right) << QSize(20, 50) << QRect(10, 10, 0, 20);
    }
    void anchoredGeometry()
    {
        QFETCH(int, anchors);
        QFETCH(QSize, newSize);
        QFETCH(QRect, geometry);
        QCOMPARE(zandrel::layout::anchoredGeometry(QRect(10, 10, 50, 20), Anchors::fromInt(anchors), QSize(100, 50),
                                                   newSize),
                 geometry);
    }

    void charsetForCodePage_data()
    {
        QTest::addColumn<int>("codePage");
        QTest::addColumn<int>("charset");
        QTest::newRow("western") << 1252 << 1;
        QTest::newRow("Shift-JIS") << 932 << 128;
        QTest::newRow("GB2312") << 936 << 134;
        QTest::newRow("Hangeul") << 949 << 129;
        QTest::newRow("Big5") << 950 << 136;
        QTest::newRow("Cyrillic") << 1251 << 1;
        QTest::newRow("UTF-8") << 65001 << 1;
        QTest::newRow("not a number") << 0 << 1;
    }
    void charsetForCodePage()
    {
        QFETCH(int, codePage);
        QFETCH(int, charset);
        QCOMPARE(int(zandrel::layout::charsetForCodePage(codePage)), charset);
    }

    void ansiCodePageForLocale_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<int>("codePage");
        QTest::newRow("Japanese UTF-8") << "ja_JP.UTF-8" << 932;
        QTest::newRow("simplified Chinese") << "zh_CN.UTF-8" << 936;
        QTest::newRow("Singapore Chinese") << "zh_SG" << 936;
        QTest::newRow("Taiwan Chinese") << "zh_TW.UTF-8" << 950;
        QTest::newRow("Hong Kong Big5-HKSCS") << "zh_HK.Big5-HKSCS" << 950;
        QTest::newRow("Korean EUC-KR") << "ko_KR.EUC-KR" << 949;
        QTest::newRow("Korean UTF-8") << "ko_KR.utf8" << 949;
        QTest::newRow("German") << "de_DE.UTF-8" << 1252;
        QTest::newRow("German euro") << "de_DE@euro" << 1252;
        QTest::newRow("Polish") << "pl_PL.UTF-8" << 1250;
        QTest::newRow("Russian KOI8-R") << "ru_RU.KOI8-R" << 1251;
        QTest::newRow("Serbian Cyrillic") << "sr_RS" << 1251;
        QTest::newRow("Serbian Latin") << "sr_RS@latin" << 1250;
        QTest::newRow("Greek") << "el_GR.UTF-8" << 1253;
        QTest::newRow("Thai") << "th_TH.UTF-8" << 874;
        QTest::newRow("encoding decides over language") << "en_US.SJIS" << 932;
        QTest::newRow("GBK encoding") << "en_US.GBK" << 936;
        QTest::newRow("explicit code page") << "de_DE.CP1252" << 1252;
        QTest::newRow("explicit windows code page") << "ja_JP.windows-31j" << 932;
        QTest::newRow("C") << "C" << 1252;
        QTest::newRow("C.UTF-8") << "C.UTF-8" << 1252;
        QTest::newRow("POSIX") << "POSIX" << 1252;
        QTest::newRow("unknown language") << "xx_YY" << 1252;
        QTest::newRow("empty") << "" << 1252;
    }
    void ansiCodePageForLocale()
    {
        QFETCH(QString, locale);
        QFETCH(int, codePage);
        QCOMPARE(zandrel::layout::ansiCodePageForLocale(locale), codePage);
    }

    void systemCharsetFromEnvironment_data()
    {
        QTest::addColumn<QString>("lcAll");
        QTest::addColumn<QString>("lcCtype");
        QTest::addColumn<QString>("lang");
        QTest::addColumn<int>("charset");
        QTest::newRow("LC_ALL first") << "ja_JP.UTF-8" << "de_DE.UTF-8" << "ko_KR.UTF-8" << 128;
        QTest::newRow("then LC_CTYPE") << "" << "ko_KR.UTF-8" << "ja_JP.UTF-8" << 129;
        QTest::newRow("then LANG") << "" << "" << "zh_TW.UTF-8" << 136;
        QTest::newRow("western LC_ALL over an East Asian LANG") << "de_DE.UTF-8" << "" << "zh_CN.UTF-8" << 1;
        QTest::newRow("nothing set") << "" << "" << "" << 1;
    }
    void systemCharsetFromEnvironment()
    {
        QFETCH(QString, lcAll);
        QFETCH(QString, lcCtype);
        QFETCH(QString, lang);
        QFETCH(int, charset);
        const QByteArray savedAll = qgetenv("LC_ALL");
        const QByteArray savedCtype = qgetenv("LC_CTYPE");
        const QByteArray savedLang = qgetenv("LANG");
        const auto setOrUnset = [](const char *name, const QString &value) {
            if (value.isEmpty())
                qunsetenv(name);
            else
                qputenv(name, value.toUtf8());
        };
        setOrUnset("LC_ALL", lcAll);
        setOrUnset("LC_CTYPE", lcCtype);
        setOrUnset("LANG", lang);
        const int actual = zandrel::layout::SystemCharset();
        setOrUnset("LC_ALL", QString::fromUtf8(savedAll));
        setOrUnset("LC_CTYPE", QString::fromUtf8(savedCtype));
        setOrUnset("LANG", QString::fromUtf8(savedLang));
        QCOMPARE(actual, charset);
    }
};

QTEST_APPLESS_MAIN(LayoutArithmeticTest)
#include "tst_layoutarithmetic.moc"
