#include "BrowseFolder.h"

#include "BrowseFolderDialog.h"
#include "FolderTreeModel.h"
#include "ShortenPath.h"

#include <QApplication>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QScopeGuard>
#include <QTreeView>

namespace zandrel {

TBrowseFolder::TBrowseFolder(QObject *parent) : QObject(parent)
{}

TBrowseFolder::~TBrowseFolder() = default;

QDialog *TBrowseFolder::DialogHandle() const
{
    return m_dialog;
}

void TBrowseFolder::setCustomButtonEnabled(bool enabled)
{
    m_customButtonEnabled = enabled;
    if (m_customButton)
        m_customButton->setEnabled(enabled);
}

void TBrowseFolder::setCustomButtonCaption(const QString &caption)
{
    m_customButtonCaption = caption;
    if (m_customButton)
        m_customButton->setText(caption);
}

void TBrowseFolder::setCustomButtonWidth(int width)
{
    m_customButtonWidth = width > 0 ? width : DefaultCustomButtonWidth;
}

void TBrowseFolder::SetOkEnabled(bool enable)
{
    if (m_dialog)
        m_dialog->okButton()->setEnabled(enable);
    if (m_syncCustomButton)
        setCustomButtonEnabled(enable);
}

QWidget *TBrowseFolder::dialogOwner() const
{
    if (m_ownerWindow)
        return m_ownerWindow->window();
    if (auto *widget = qobject_cast<QWidget *>(parent()))
        return widget->window();
    return QApplication::activeWindow();
}

void TBrowseFolder::selectionChanged(const QModelIndex &current)
{
    if (!m_dialog)
        return;
    const bool isFolder = m_dialog->model()->hasFolder(current);
    m_currentPath = isFolder ? m_dialog->model()->pathOf(current) : QString();
    if (m_showPathInStatusArea && m_dialog->statusLabel())
        m_dialog->statusLabel()->setText(
            ShortenPath(m_currentPath, QStringLiteral("/"), QStringLiteral("..."), StatusPathLimit));
    SetOkEnabled(isFolder);
    Q_EMIT OnSelectionChanged(this, m_dialog, current, m_currentPath);
}

void TBrowseFolder::createCustomButton()
{
    auto *button = new QPushButton(m_customButtonCaption, m_dialog);
    button->setObjectName(QStringLiteral("CustomBtn"));
    button->setFixedWidth(m_customButtonWidth);
    button->setAutoDefault(false);
    button->setEnabled(m_customButtonEnabled);
    connect(button, &QPushButton::clicked, this, [this] { Q_EMIT OnCustomButtonClick(this, m_dialog); });
    m_dialog->addExtraButton(button);
    m_customButton = button;
}

bool TBrowseFolder::Execute()
{
    // The active window is taken before the dialog exists, which may become the active one.
    QPointer<QWidget> foreground = QApplication::activeWindow();

    BrowseFolderDialog dialog(browse::rootFolderPath(m_rootFolder), m_title,
                              m_flags.testFlag(browse::TBrowseInfoFlag::bfStatusText), dialogOwner());
    m_dialog = &dialog;
    const auto forgetDialog = qScopeGuard([this] {
        m_dialog = nullptr;
        m_customButton = nullptr;
    });

    connect(dialog.tree()->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex &current) { selectionChanged(current); });

    // The tree's size is known only once the layout has run; scrolling to the preset needs it.
    dialog.ensurePolished();
    dialog.layout()->activate();
    if (foreground && foreground != &dialog)
        dialog.placeOver(foreground);

    const QModelIndex preset = dialog.model()->indexOfPath(m_directory);
    const QModelIndex top = dialog.model()->index(0, 0);
    dialog.tree()->expand(top);
    dialog.selectItem(preset.isValid() ? preset : top);

    if (m_customButtonVisible)
        createCustomButton();
    Q_EMIT OnInitialized(this, &dialog);

    if (dialog.exec() != QDialog::Accepted)
        return false;
    const QModelIndex chosen = dialog.tree()->currentIndex();
    // OK is disabled for items that are no folder; a dialog accepted otherwise chose nothing.
    if (!dialog.model()->hasFolder(chosen))
        return false;
    m_directory = dialog.model()->pathOf(chosen);
    m_currentPath = m_directory;
    m_displayName = chosen.data(Qt::DisplayRole).toString();
    return true;
}

QString ChooseStyleSheetFolder(TBrowseFolder &browser, const QString &styleSheetFolder)
{
    if (!styleSheetFolder.isEmpty() && QFileInfo(styleSheetFolder).isDir())
        browser.setDirectory(styleSheetFolder);
    if (!browser.Execute())
        return QString();
    const QString chosen = browser.Directory();
    return chosen.endsWith(u'/') ? chosen : chosen + u'/';
}

} // namespace zandrel
