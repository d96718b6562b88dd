#include "MainDialogLayout.h"

#include "app/StringTable.h"
#include "layout/ButtonRow.h"
#include "layout/CaptionLabels.h"
#include "layout/ControlPlacement.h"
#include "layout/SizingPanels.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

namespace zandrel::test {

namespace {

// The main dialog's captions in the string table.
constexpr int TitleText = 10010;
constexpr int SourceFileCaption = 10011;
constexpr int OutputFormatCaption = 10012;
constexpr int SourceBrowseCaption = 10013;
constexpr int FolderBrowseCaption = 10014;
constexpr int ViewFileCaption = 10015;
constexpr int OkCaption = 10016;
constexpr int CloseCaption = 10017;
constexpr int HelpCaption = 10018;

const layout::Anchors LeftTopRight = layout::Anchor::Left | layout::Anchor::Top | layout::Anchor::Right;

template <typename Widget>
Widget *named(Widget *widget, const char *name)
{
    widget->setObjectName(QLatin1String(name));
    return widget;
}

QPushButton *button(QWidget *parent, const char *name, int caption, const QRect &geometry)
{
    auto *result = named(new QPushButton(GetLocalizedString(caption), parent), name);
    result->setGeometry(geometry);
    return result;
}

} // namespace

std::unique_ptr<QDialog> buildMainDialogLayout()
{
    auto form = std::make_unique<QDialog>();
    form->setObjectName(QStringLiteral("ConvertForm"));
    form->setWindowTitle(GetLocalizedString(TitleText));
    form->setFixedSize(DesignWidth, DesignHeight);

    // Made first, as it comes first in the tab order; it lays itself out again after the panels
    // have widened the form.
    auto *buttonRow = named(new TButtonRow(form.get()), "ButtonRow1");
    buttonRow->setGeometry(0, 113, DesignWidth, 40);
    buttonRow->setButtonSpacing(20);
    buttonRow->setGroupAlignment(layout::GroupAlignment::Center);
    layout::setAnchors(buttonRow, LeftTopRight);
    QPushButton *okButton = button(buttonRow, "OKBtn", OkCaption, QRect(0, 8, 75, 25));
    okButton->setDefault(true);
    QPushButton *closeButton = button(buttonRow, "CloseBtn", CloseCaption, QRect(100, 8, 75, 25));
    QObject::connect(closeButton, &QPushButton::clicked, form.get(), &QDialog::reject);
    QPushButton *helpButton = button(buttonRow, "HelpBtn", HelpCaption, QRect(200, 8, 75, 25));

    // The fields: captions at the left, edit box and list in the middle, browse buttons at the right.
    auto *fields = named(new QWidget(form.get()), "FieldsPanel");
    fields->resize(DesignWidth, 80);
    layout::setAlign(fields, layout::ControlAlign::Top);

    auto *captions = named(new TSizingPanel(fields), "SizingPanel1");
    captions->setCanSizeForm(true);
    captions->resize(170, 80);
    layout::setAlign(captions, layout::ControlAlign::Left);

    auto *middle = named(new QWidget(fields), "Panel1");
    layout::setAlign(middle, layout::ControlAlign::Client);
    auto *sourceEdit = named(new QLineEdit(middle), "DexmorFileEditBox");
    sourceEdit->setGeometry(0, 14, 225, 23);
    auto *formatCombo = named(new QComboBox(middle), "StyleSheetCombo");
    formatCombo->setGeometry(0, 48, 225, 23);

    auto *browseColumn = named(new TSizingPanel(middle), "SizingPanel2");
    browseColumn->setCanSizeForm(true);
    browseColumn->resize(92, 80);
    layout::setAlign(browseColumn, layout::ControlAlign::Right);
    QPushButton *sourceBrowse = button(browseColumn, "XMLBrowseBtn", SourceBrowseCaption, QRect(8, 13, 75, 25));
    layout::setAnchors(sourceBrowse, LeftTopRight);
    QPushButton *folderBrowse = button(browseColumn, "XSLBrowseBtn", FolderBrowseCaption, QRect(8, 47, 75, 25));
    layout::setAnchors(folderBrowse, LeftTopRight);

    auto *sourceLabel = named(new TStaticText(captions), "JobOrDexmorLbl");
    sourceLabel->move(8, 18);
    sourceLabel->setBuddy(sourceEdit);
    sourceLabel->setText(GetLocalizedString(SourceFileCaption));
    auto *formatLabel = named(new TStaticText(captions), "FormatLbl");
    formatLabel->move(8, 52);
    formatLabel->setBuddy(formatCombo);
    formatLabel->setText(GetLocalizedString(OutputFormatCaption));

    auto *viewFile = named(new QCheckBox(GetLocalizedString(ViewFileCaption), form.get()), "ViewFileCheckBox");
    viewFile->setGeometry(8, 85, DesignWidth - 16, 20);
    layout::setAnchors(viewFile, LeftTopRight);

    QWidget::setTabOrder(okButton, closeButton);
    QWidget::setTabOrder(closeButton, helpButton);
    QWidget::setTabOrder(helpButton, sourceEdit);
    QWidget::setTabOrder(sourceEdit, formatCombo);
    QWidget::setTabOrder(formatCombo, sourceBrowse);
    QWidget::setTabOrder(sourceBrowse, folderBrowse);
    QWidget::setTabOrder(folderBrowse, viewFile);
    return form;
}

} // namespace zandrel::test
