#pragma once

#include "BrowseFolderTypes.h"

#include <QDialog>
#include <QModelIndex>
#include <QObject>
#include <QPointer>

class QPushButton;

namespace zandrel {

class BrowseFolderDialog;

// Lets the user pick a folder in a dialog of its own: a title above a folder tree, an optional
// status line and an optional extra button beside OK and Cancel. The preset Directory is selected
// and scrolled to when the dialog opens, OK is enabled only while the selection is an existing
// folder, and the dialog opens over the active window: centred on it horizontally, a quarter of its
// height below its top, wherever that puts it.
//
// The dialog's controls are named TitleLabel, StatusLabel (only with bfStatusText), FolderTree,
// CustomBtn (only with CustomButtonVisible), OKBtn and CancelBtn.
class TBrowseFolder : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString Directory READ Directory WRITE setDirectory)
    Q_PROPERTY(QString Title READ Title WRITE setTitle)
    Q_PROPERTY(zandrel::browse::TBrowseInfoFlagSet Flags READ Flags WRITE setFlags)
    Q_PROPERTY(bool ShowPathInStatusArea READ ShowPathInStatusArea WRITE setShowPathInStatusArea)
    Q_PROPERTY(zandrel::browse::TSHFolders RootFolder READ RootFolder WRITE setRootFolder)
    Q_PROPERTY(bool CustomButtonVisible READ CustomButtonVisible WRITE setCustomButtonVisible)
    Q_PROPERTY(bool CustomButtonEnabled READ CustomButtonEnabled WRITE setCustomButtonEnabled)
    Q_PROPERTY(QString CustomButtonCaption READ CustomButtonCaption WRITE setCustomButtonCaption)
    Q_PROPERTY(int CustomButtonWidth READ CustomButtonWidth WRITE setCustomButtonWidth)
    Q_PROPERTY(bool SyncCustomButton READ SyncCustomButton WRITE setSyncCustomButton)

public:
    static constexpr int DefaultCustomButtonWidth = 75;
    // Longest path the status line shows unshortened.
    static constexpr int StatusPathLimit = 35;

    explicit TBrowseFolder(QObject *parent = nullptr);
    ~TBrowseFolder() override;

    // Shows the dialog modally. True when the user chose a folder with OK; Directory and
    // CurrentPath then name it. False when the dialog was cancelled; Directory stays as it was.
    bool Execute();

    QString Directory() const { return m_directory; }
    void setDirectory(const QString &directory) { m_directory = directory; }
    QString Title() const { return m_title; }
    void setTitle(const QString &title) { m_title = title; }
    browse::TBrowseInfoFlagSet Flags() const { return m_flags; }
    void setFlags(browse::TBrowseInfoFlagSet flags) { m_flags = flags; }
    bool ShowPathInStatusArea() const { return m_showPathInStatusArea; }
    void setShowPathInStatusArea(bool show) { m_showPathInStatusArea = show; }
    browse::TSHFolders RootFolder() const { return m_rootFolder; }
    void setRootFolder(browse::TSHFolders root) { m_rootFolder = root; }
    bool CustomButtonVisible() const { return m_customButtonVisible; }
    void setCustomButtonVisible(bool visible) { m_customButtonVisible = visible; }
    bool SyncCustomButton() const { return m_syncCustomButton; }
    void setSyncCustomButton(bool sync) { m_syncCustomButton = sync; }

    // These reach an open dialog's extra button at once.
    bool CustomButtonEnabled() const { return m_customButtonEnabled; }
    void setCustomButtonEnabled(bool enabled);
    QString CustomButtonCaption() const { return m_customButtonCaption; }
    void setCustomButtonCaption(const QString &caption);

    // A width of 0 or less stands for the default; an existing button keeps its width.
    int CustomButtonWidth() const { return m_customButtonWidth; }
    void setCustomButtonWidth(int width);

    // The window that owns the dialog when set and still there; otherwise the window of the widget
    // this component belongs to, otherwise the active window.
    QWidget *OwnerWindow() const { return m_ownerWindow; }
    void setOwnerWindow(QWidget *window) { m_ownerWindow = window; }

    // The path of the item selected last; empty for an item that is no folder.
    QString CurrentPath() const { return m_currentPath; }
    // The chosen item's name as the tree shows it, after a successful Execute.
    QString DisplayName() const { return m_displayName; }
    // The open dialog, or none.
    QDialog *DialogHandle() const;

    // Enables OK for the selection and, with SyncCustomButton, the extra button too.
    void SetOkEnabled(bool enable);

Q_SIGNALS:
    // The dialog exists, with its preset selection and extra button, and is about to be shown.
    void OnInitialized(zandrel::TBrowseFolder *sender, QDialog *dialog);
    // The selection changed; directory is the new item's folder, empty when it is none.
    void OnSelectionChanged(zandrel::TBrowseFolder *sender, QDialog *dialog, const QModelIndex &item,
                            const QString &directory);
    void OnCustomButtonClick(zandrel::TBrowseFolder *sender, QDialog *dialog);

private:
    QWidget *dialogOwner() const;
    void selectionChanged(const QModelIndex &current);
    void createCustomButton();

    QString m_directory;
    QString m_title;
    browse::TBrowseInfoFlagSet m_flags;
    bool m_showPathInStatusArea = false;
    browse::TSHFolders m_rootFolder = browse::TSHFolders::foDesktopExpanded;
    bool m_customButtonVisible = false;
    bool m_customButtonEnabled = true;
    QString m_customButtonCaption;
    int m_customButtonWidth = DefaultCustomButtonWidth;
    bool m_syncCustomButton = false;
    QPointer<QWidget> m_ownerWindow;

    QString m_currentPath;
    QString m_displayName;
    QPointer<BrowseFolderDialog> m_dialog;
    QPointer<QPushButton> m_customButton;
};

// The main dialog's choice of its style sheet folder: the browser opens on the current folder when
// that exists, and a folder chosen with OK comes back ending in "/". Empty when cancelled.
QString ChooseStyleSheetFolder(TBrowseFolder &browser, const QString &styleSheetFolder);

} // namespace zandrel
