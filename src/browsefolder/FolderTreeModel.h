#pragma once

#include <QHash>
#include <QStandardItemModel>

namespace zandrel {

// The folders that the folder browser shows, read from the file system one folder at a time as the
// user opens them, so that opening the dialog costs nothing for folders nobody looks at.
//
// With a root folder the tree holds that folder and everything below it. Without one it is the
// default tree: an item for this computer (named by its host name, with no folder of its own)
// holding the user's places (home, desktop, documents where they are folders of their own) and the
// file-system root.
class FolderTreeModel : public QStandardItemModel {
    Q_OBJECT

public:
    // The item's folder; empty for the computer item.
    static constexpr int PathRole = Qt::UserRole + 1;

    explicit FolderTreeModel(const QString &rootFolder, QObject *parent = nullptr);

    QString pathOf(const QModelIndex &index) const;
    // Whether the item stands for a folder that exists now.
    bool hasFolder(const QModelIndex &index) const;
    // The item of the folder, reading the folders on the way; invalid when the folder does not
    // exist or lies outside the tree.
    QModelIndex indexOfPath(const QString &path);

    bool hasChildren(const QModelIndex &parent = QModelIndex()) const override;
    bool canFetchMore(const QModelIndex &parent) const override;
    void fetchMore(const QModelIndex &parent) override;

private:
    static constexpr int PopulatedRole = Qt::UserRole + 2;

    // Whether a folder not read yet holds folders; asked for each shown row at every painting,
    // so looked up on disk once.
    bool holdsFolders(const QString &path) const;
    mutable QHash<QString, bool> m_holdsFolders;

    QStandardItem *addFolderItem(QStandardItem *parent, const QString &path, const QString &name);
    void populate(QStandardItem *item);
    QStandardItem *childNamed(QStandardItem *parent, const QString &name);
};

} // namespace zandrel
