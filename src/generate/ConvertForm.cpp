#include "ConvertForm.h"

#include "FileFilter.h"
#include "Settings.h"
#include "app/StringTable.h"
#include "app/Startup.h"
#include "help/HelpForm.h"
#include "platform/RegistryStore.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QWhatsThis>

namespace zandrel {

namespace {

constexpr int clientWidth = 487;
constexpr int clientHeight = 153;

QRect virtualDesktop()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    return screen ? screen->virtualGeometry() : QRect();
}

template <typename Widget> Widget *named(Widget *widget, const char *name)
{
    widget->setObjectName(QLatin1String(name));
    return widget;
}

} // namespace

TConvertForm::TConvertForm(platform::RegistryStore &settings, const QString &applicationFolder, QWidget *parent)
    : QDialog(parent), m_settings(settings), m_interaction(this)
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
    setObjectName(QStringLiteral("ConvertForm"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                   | Qt::WindowContextHelpButtonHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(clientWidth, clientHeight);

    m_leftPanel = named(new QWidget(this), "SizingPanel1");
    m_leftPanel->setGeometry(0, 0, 150, 80);
    m_middlePanel = named(new QWidget(this), "Panel1");
    m_middlePanel->setGeometry(150, 0, 246, 80);
    m_rightPanel = named(new QWidget(this), "SizingPanel2");
    m_rightPanel->setGeometry(396, 0, 91, 80);
    m_buttonRow = named(new QWidget(this), "ButtonRow1");
    m_buttonRow->setGeometry(0, 116, clientWidth, 37);

    m_sourceLabel = named(new QLabel(m_leftPanel), "JobOrDexmorLbl");
    m_sourceLabel->move(8, 17);
    m_formatLabel = named(new QLabel(m_leftPanel), "FormatLbl");
    m_formatLabel->move(8, 51);
    m_sourceEdit = named(new QLineEdit(m_middlePanel), "DexmorFileEditBox");
    m_sourceEdit->setGeometry(8, 14, 225, 21);
    m_styleSheetCombo = named(new QComboBox(m_middlePanel), "StyleSheetCombo");
    m_styleSheetCombo->setGeometry(8, 48, 225, 21);
    m_sourceLabel->setBuddy(m_sourceEdit);
    m_formatLabel->setBuddy(m_styleSheetCombo);
    m_sourceBrowseButton = named(new QPushButton(m_rightPanel), "XMLBrowseBtn");
    m_sourceBrowseButton->setGeometry(8, 12, 75, 25);
    m_folderBrowseButton = named(new QPushButton(m_rightPanel), "XSLBrowseBtn");
    m_folderBrowseButton->setGeometry(8, 46, 75, 25);
    m_viewCheckBox = named(new QCheckBox(this), "ViewFileCheckBox");
    m_viewCheckBox->move(8, 85);

    m_okButton = named(new QPushButton(m_buttonRow), "OKBtn");
    m_closeButton = named(new QPushButton(m_buttonRow), "CloseBtn");
    m_helpButton = named(new QPushButton(m_buttonRow), "HelpBtn");
    m_okButton->setDefault(true);
    m_okButton->setAutoDefault(true);
    const int rowWidth = 3 * 75 + 2 * 20;
    int left = (clientWidth - rowWidth) / 2;
    for (QPushButton *button : {m_okButton, m_closeButton, m_helpButton}) {
        button->setGeometry(left, 6, 75, 25);
        left += 75 + 20;
    }

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
    connect(m_viewCheckBox, &QCheckBox::toggled, this, [this](bool checked) { m_model.viewGeneratedFile = checked; });
    auto *help = new QShortcut(QKeySequence::HelpContents, this);
    connect(help, &QShortcut::activated, this, &TConvertForm::FormHelp);
}

void TConvertForm::setCaptions()
{
    setWindowTitle(GetLocalizedString(StringId::MainDialogTitle));
    m_sourceLabel->setText(GetLocalizedString(10011));
    m_formatLabel->setText(GetLocalizedString(10012));
    m_sourceBrowseButton->setText(GetLocalizedString(10013));
    m_folderBrowseButton->setText(GetLocalizedString(10014));
    m_viewCheckBox->setText(GetLocalizedString(10015));
    m_okButton->setText(GetLocalizedString(StringId::OkButton));
    m_closeButton->setText(GetLocalizedString(StringId::CloseButton));
    m_helpButton->setText(GetLocalizedString(10018));
    for (QWidget *widget : {static_cast<QWidget *>(m_sourceLabel), static_cast<QWidget *>(m_formatLabel),
                            static_cast<QWidget *>(m_viewCheckBox)})
        widget->adjustSize();
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
    GenerationInputs inputs;
    inputs.sourceFile = m_sourceEdit->text();
    inputs.styleSheetPath = m_model.styleSheetPath();
    inputs.outputFileName = m_model.outputFileName;
    inputs.viewGeneratedFile = m_viewCheckBox->isChecked();
    inputs.textFileViewer = m_model.textFileViewer();
    inputs.preserveWhiteSpace = m_model.preserveWhiteSpace;
    GenerationPipeline pipeline(m_interaction);
    const GenerationOutcome outcome = runGeneration(pipeline, inputs, batchMode, m_interaction);
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
    const auto key = m_settings.openKey(platform::RegistryHive::CurrentUser, settings::programKey);
    if (!key)
        return;
    const std::optional<QPoint> stored =
        parseWindowPosition(key->readString(settings::mainDialogPositionValue).value_or(QString()));
    if (!stored)
        return;
    move(placeOnDesktop(stored->y(), stored->x(), virtualDesktop()));
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
    m_settings.writeValues(platform::RegistryHive::CurrentUser, settings::programKey,
                           {platform::RegistryValue::string(settings::mainDialogPositionValue,
                                                            formatWindowPosition(y(), x()))});
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
    auto *help = new THelpForm(m_settings, this);
    help->move(frameGeometry().topRight() + QPoint(8, 0));
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
    const QString start = QFileInfo(m_model.styleSheetFolder()).isDir() ? m_model.styleSheetFolder() : QString();
    const QString folder = QFileDialog::getExistingDirectory(this, GetLocalizedString(10019), start);
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
