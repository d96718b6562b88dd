#pragma once

#include <QDialog>
#include <QPointer>

class QHBoxLayout;
class QLabel;
class QModelIndex;
class QPushButton;
class QTreeView;

namespace zandrel {

class FolderTreeModel;

// The folder browser's window: the title, an optional status line, the folder tree, and a row with
// room for an extra button at the left and OK and Cancel at the right.
class BrowseFolderDialog : public QDialog {
    Q_OBJECT

public:
    // An empty root folder gives the default tree.
    BrowseFolderDialog(const QString &rootFolder, const QString &title, bool withStatusLine,
                       QWidget *parent = nullptr);

    FolderTreeModel *model() const { return m_model; }
    QTreeView *tree() const { return m_tree; }
    QLabel *statusLabel() const { return m_statusLabel; }
    QPushButton *okButton() const { return m_okButton; }

    // Places a button at the left of the button row.
    void addExtraButton(QPushButton *button);
    // Opens the item's parents, makes it the selection and scrolls it into view.
    void selectItem(const QModelIndex &index);
    // Puts the dialog over the window when it shows: the same horizontal centre, its top a quarter
    // of the window's height below the window's top. Not kept on the screen: the user put that
    // window where it is. The dialog's size is final only then.
    void placeOver(QWidget *window) { m_placeOver = window; }

protected:
    void showEvent(QShowEvent *event) override;

private:
    FolderTreeModel *m_model;
    QTreeView *m_tree;
    QLabel *m_statusLabel = nullptr;
    QPushButton *m_okButton;
    QHBoxLayout *m_buttonRow;
    QPointer<QWidget> m_placeOver;
};

} // namespace zandrel
