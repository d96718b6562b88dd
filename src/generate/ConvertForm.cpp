#include "ConvertForm.h"

#include "FileFilter.h"
#include "app/StringTable.h"
#include "browsefolder/BrowseFolder.h"
#include "help/HelpForm.h"
#include "layout/ButtonRow.h"
#include "layout/CaptionLabels.h"
#include "layout/ControlPlacement.h"
#include "layout/FramePlacement.h"
#include "layout/SizingPanels.h"
#include "layout/WindowPosition.h"
#include "processor/FreeMemory.h"
#include "settings/RegistryStore.h"
#include "settings/SettingsKeys.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QWhatsThis>

namespace zandrel {

namespace {

constexpr int clientWidth = 487;
constexpr int clientHeight = 153;

template <typename Widget> Widget *named(Widget *widget, const char *name)
{
    widget->setObjectName(QLatin1String(name));
    return widget;
}

} // namespace

TConvertForm::TConvertForm(settings::RegistryStore &settings, const QString &applicationFolder,
                           QWidget *parent)
    : QDialog(parent), m_settings(settings), m_interaction(this), m_placement(new FramePlacement(this))
{
    buildControls();
    setCaptions();
    m_model.create(settings, applicationFolder);
    m_sourceEdit->setText(m_model.sourceFile);
    m_viewCheckBox->setChecked(m_model.viewGeneratedFile);
    fillStyleSheetCombo();
    move(defaultPosition());
}

void TConvertForm::buildControls()
{
    using layout::Anchor;
    const layout::Anchors leftTopRight = Anchor::Left | Anchor::Top | Anchor::Right;
    setObjectName(QStringLiteral("ConvertForm"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowContextHelpButtonHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(clientWidth, clientHeight);

    // Made first, as it comes first in the tab order; it places its buttons again whenever the
    // panels have widened the form.
    auto *buttonRow = named(new TButtonRow(this), "ButtonRow1");
    buttonRow->setGeometry(0, 113, clientWidth, 40);
    buttonRow->setButtonSpacing(20);
    buttonRow->setGroupAlignment(layout::GroupAlignment::Center);
    layout::setAnchors(buttonRow, leftTopRight);
    m_okButton = named(new QPushButton(buttonRow), "OKBtn");
    m_okButton->setGeometry(0, 8, 75, 25);
    m_okButton->setDefault(true);
    m_closeButton = named(new QPushButton(buttonRow), "CloseBtn");
    m_closeButton->setGeometry(100, 8, 75, 25);
    m_helpButton = named(new QPushButton(buttonRow), "HelpBtn");
    m_helpButton->setGeometry(200, 8, 75, 25);

    // The captions at the left, the edit box and the list in the middle, the browse buttons at
    // the right; both sizing panels may widen the form until every caption fits.
    auto *fields = named(new QWidget(this), "FieldsPanel");
    fields->resize(clientWidth, 80);
    layout::setAlign(fields, layout::ControlAlign::Top);
    auto *captions = named(new TSizingPanel(fields), "SizingPanel1");
    captions->setCanSizeForm(true);
    captions->resize(170, 80);
    layout::setAlign(captions, layout::ControlAlign::Left);
    auto *middle = named(new QWidget(fields), "Panel1");
    layout::setAlign(middle, layout::ControlAlign::Client);
    m_sourceEdit = named(new QLineEdit(middle), "DexmorFileEditBox");
    m_sourceEdit->setGeometry(0, 14, 225, 23);
    m_styleSheetCombo = named(new QComboBox(middle), "StyleSheetCombo");
    m_styleSheetCombo->setGeometry(0, 48, 225, 23);
    auto *browseColumn = named(new TSizingPanel(middle), "SizingPanel2");
    browseColumn->setCanSizeForm(true);
    browseColumn->resize(92, 80);
    layout::setAlign(browseColumn, layout::ControlAlign::Right);
    m_sourceBrowseButton = named(new QPushButton(browseColumn), "XMLBrowseBtn");
    m_sourceBrowseButton->setGeometry(8, 13, 75, 25);
    layout::setAnchors(m_sourceBrowseButton, leftTopRight);
    m_folderBrowseButton = named(new QPushButton(browseColumn), "XSLBrowseBtn");
    m_folderBrowseButton->setGeometry(8, 47, 75, 25);
    layout::setAnchors(m_folderBrowseButton, leftTopRight);
    m_sourceLabel = named(new TStaticText(captions), "JobOrDexmorLbl");
    m_sourceLabel->move(8, 18);
    m_sourceLabel->setBuddy(m_sourceEdit);
    m_formatLabel = named(new TStaticText(captions), "FormatLbl");
    m_formatLabel->move(8, 52);
    m_formatLabel->setBuddy(m_styleSheetCombo);

    m_viewCheckBox = named(new QCheckBox(this), "ViewFileCheckBox");
    m_viewCheckBox->setGeometry(8, 85, clientWidth - 16, 20);
    layout::setAnchors(m_viewCheckBox, leftTopRight);

    m_folderBrowser = new TBrowseFolder(this);
    m_folderBrowser->setObjectName(QStringLiteral("StyleSheetFldr"));

    setTabOrder(m_okButton, m_closeButton);
    setTabOrder(m_closeButton, m_helpButton);
    setTabOrder(m_helpButton, m_sourceEdit);
    setTabOrder(m_sourceEdit, m_styleSheetCombo);
    setTabOrder(m_styleSheetCombo, m_sourceBrowseButton);
    setTabOrder(m_sourceBrowseButton, m_folderBrowseButton);
    setTabOrder(m_folderBrowseButton, m_viewCheckBox);

    connect(m_okButton, &QPushButton::clicked, this, [this] { OKBtnClick(false); });
    connect(m_closeButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_helpButton, &QPushButton::clicked, this, &TConvertForm::FormHelp);
    connect(m_sourceBrowseButton, &QPushButton::clicked, this, &TConvertForm::XMLBrowseBtnClick);
    connect(m_folderBrowseButton, &QPushButton::clicked, this, &TConvertForm::XSLBrowseBtnClick);
    connect(m_styleSheetCombo, &QComboBox::activated, this, &TConvertForm::StyleSheetComboChange);
    connect(m_viewCheckBox, &QCheckBox::toggled, this,
            [this](bool checked) { m_model.viewGeneratedFile = checked; });
    auto *help = new QShortcut(QKeySequence::HelpContents, this);
    connect(help, &QShortcut::activated, this, &TConvertForm::FormHelp);
}

void TConvertForm::setCaptions()
{
    setWindowTitle(GetLocalizedString(StringId::MainDialogTitle));
    m_sourceLabel->setText(GetLocalizedString(StringId::SourceFileCaption));
    m_formatLabel->setText(GetLocalizedString(StringId::OutputFormatCaption));
    m_sourceBrowseButton->setText(GetLocalizedString(StringId::SourceBrowseButton));
    m_folderBrowseButton->setText(GetLocalizedString(StringId::StyleSheetFolderBrowseButton));
    m_viewCheckBox->setText(GetLocalizedString(StringId::ViewAfterGeneratingCheckBox));
    m_okButton->setText(GetLocalizedString(StringId::OkButton));
    m_closeButton->setText(GetLocalizedString(StringId::CloseButton));
    m_helpButton->setText(GetLocalizedString(StringId::HelpButton));
    m_folderBrowser->setTitle(GetLocalizedString(StringId::StyleSheetFolderBrowserTitle));
}

void TConvertForm::fillStyleSheetCombo()
{
    m_styleSheetCombo->clear();
    m_styleSheetCombo->addItems(m_model.entries());
    m_styleSheetCombo->setCurrentIndex(m_model.selectedEntry());
}

QString TConvertForm::sourceFile() const
{
    return m_sourceEdit->text();
}

void TConvertForm::setSourceFile(const QString &path)
{
    m_sourceEdit->setText(path);
}

GenerationOutcome TConvertForm::OKBtnClick(bool batchMode)
{
    m_model.sourceFile = m_sourceEdit->text();
    m_model.viewGeneratedFile = m_viewCheckBox->isChecked();
    GenerationInputs inputs = m_model.generationInputs();
    GenerationPipeline pipeline(m_interaction);
    const GenerationOutcome outcome = pipeline.run(inputs, batchMode);
    // The window stays open for the next job: a large job's memory should not stay with it.
    if (!batchMode)
        processor::returnFreeMemoryToSystem();
    m_model.outputFileName = inputs.outputFileName;
    if (outcome == GenerationOutcome::EndProgram) {
        // The dialog does not close in the ordinary way, so nothing is saved.
        m_saveOnClose = false;
        Q_EMIT programEnded(1);
    }
    return outcome;
}

void TConvertForm::showEvent(QShowEvent *event)
{
    FormShow();
    QDialog::showEvent(event);
}

void TConvertForm::FormShow()
{
    // The frame goes where it stood when the dialog was closed, or to the default place; the
    // size is the dialog's own.
    QRect frame(defaultPosition(), m_placement->outerSizeFor(size()));
    if (const auto key = m_settings.openKey(settings::RegistryHive::CurrentUser, settings::programKey)) {
        const std::optional<QPoint> stored = layout::parseWindowPosition(
            key->readString(settings::mainDialogPositionValue).value_or(QString()));
        if (stored)
            frame = m_placement->restored(*stored, frame.size(), size());
    }
    m_placement->place(QRect(frame.topLeft(), size()), false);
}

void TConvertForm::done(int result)
{
    FormClose();
    QDialog::done(result);
}

void TConvertForm::FormClose()
{
    if (!m_saveOnClose)
        return;
    m_model.sourceFile = m_sourceEdit->text();
    m_model.viewGeneratedFile = m_viewCheckBox->isChecked();
    // Settings never stop the program: what cannot be saved is passed over.
    m_settings.writeValues(settings::RegistryHive::CurrentUser, settings::programKey,
                           {settings::RegistryValue::string(
                               settings::mainDialogPositionValue,
                               layout::formatWindowPosition(frameGeometry().top(), frameGeometry().left()))});
    m_model.save(m_settings);
}

bool TConvertForm::event(QEvent *event)
{
    // The title bar's help button asks for help on a control; the help notes answer it all.
    if (event->type() == QEvent::EnterWhatsThisMode) {
        QWhatsThis::leaveWhatsThisMode();
        FormHelp();
        return true;
    }
    return QDialog::event(event);
}

void TConvertForm::FormHelp()
{
    // It opens where it was last closed, or at its own default place.
    auto *help = new THelpForm(m_settings, this);
    help->show();
}

void TConvertForm::XMLBrowseBtnClick()
{
    QFileDialog dialog(this);
    dialog.setObjectName(QStringLiteral("XMLOpenDialog"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    const QStringList filters = qtNameFilters(GetLocalizedString(StringId::SourceFileFilter));
    dialog.setNameFilters(filters);
    if (m_model.sourceFilterIndex >= 1 && m_model.sourceFilterIndex <= filters.size())
        dialog.selectNameFilter(filters.at(m_model.sourceFilterIndex - 1));
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
        m_sourceEdit->setText(dialog.selectedFiles().constFirst());
    m_model.sourceFilterIndex = int(filters.indexOf(dialog.selectedNameFilter())) + 1;
}

void TConvertForm::XSLBrowseBtnClick()
{
    const QString folder = ChooseStyleSheetFolder(*m_folderBrowser, m_model.styleSheetFolder());
    if (folder.isEmpty())
        return;
    m_model.setStyleSheetFolder(folder);
    fillStyleSheetCombo();
}

void TConvertForm::StyleSheetComboChange(int index)
{
    m_model.selectEntry(index);
}

} // namespace zandrel
