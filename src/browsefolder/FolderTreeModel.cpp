#include "FolderTreeModel.h"

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStyle>
#include <QSysInfo>

namespace zandrel {

namespace {

QString cleanAbsolute(const QString &path)
{
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

// True when `path` is `folder` or lies below it.
bool isWithin(const QString &path, const QString &folder)
{
    if (path == folder)
        return true;
    const QString prefix = folder.endsWith(u'/') ? folder : folder + u'/';
    return path.startsWith(prefix);
}

QString folderDisplayName(const QString &path)
{
    const QString name = QFileInfo(path).fileName();
    return name.isEmpty() ? path : name;
}

} // namespace

FolderTreeModel::FolderTreeModel(const QString &rootFolder, QObject *parent) : QStandardItemModel(parent)
{
    QStandardItem *top = invisibleRootItem();
    if (!rootFolder.isEmpty()) {
        const QString root = cleanAbsolute(rootFolder);
        addFolderItem(top, root, folderDisplayName(root));
        return;
    }

    QString hostName = QSysInfo::machineHostName();
    if (hostName.isEmpty())
        hostName = QStringLiteral("localhost");
    auto *computer = new QStandardItem(hostName);
    computer->setEditable(false);
    computer->setData(QApplication::style()->standardIcon(QStyle::SP_ComputerIcon), Qt::DecorationRole);
    computer->setData(true, PopulatedRole);
    top->appendRow(computer);

    const QString home = cleanAbsolute(QDir::homePath());
    addFolderItem(computer, home, QStandardPaths::displayName(QStandardPaths::HomeLocation));
    for (const auto location : {QStandardPaths::DesktopLocation, QStandardPaths::DocumentsLocation}) {
        const QString folder = QStandardPaths::writableLocation(location);
        if (!folder.isEmpty() && QFileInfo(folder).isDir() && cleanAbsolute(folder) != home)
            addFolderItem(computer, cleanAbsolute(folder), QStandardPaths::displayName(location));
    }
    addFolderItem(computer, QStringLiteral("/"), QStringLiteral("/"));
}

QStandardItem *FolderTreeModel::addFolderItem(QStandardItem *parent, const QString &path, const QString &name)
{
    auto *item = new QStandardItem(name);
    item->setEditable(false);
    item->setData(path, PathRole);
    item->setData(QApplication::style()->standardIcon(QStyle::SP_DirIcon), Qt::DecorationRole);
    parent->appendRow(item);
    return item;
}

QString FolderTreeModel::pathOf(const QModelIndex &index) const
{
    return index.isValid() ? index.data(PathRole).toString() : QString();
}

bool FolderTreeModel::hasFolder(const QModelIndex &index) const
{
    const QString path = pathOf(index);
    return !path.isEmpty() && QFileInfo(path).isDir();
}

bool FolderTreeModel::hasChildren(const QModelIndex &parent) const
{
    const QStandardItem *item = parent.isValid() ? itemFromIndex(parent) : nullptr;
    if (!item || item->data(PopulatedRole).toBool())
        return QStandardItemModel::hasChildren(parent);
    // Not read yet: offer to open it when it holds at least one folder.
    return holdsFolders(pathOf(parent));
}

bool FolderTreeModel::holdsFolders(const QString &path) const
{
    const auto known = m_holdsFolders.constFind(path);
    if (known != m_holdsFolders.constEnd())
        return *known;
    const bool holds = QDirIterator(path, QDir::Dirs | QDir::NoDotAndDotDot).hasNext();
    m_holdsFolders.insert(path, holds);
    return holds;
}

bool FolderTreeModel::canFetchMore(const QModelIndex &parent) const
{
    const QStandardItem *item = parent.isValid() ? itemFromIndex(parent) : nullptr;
    return item && !item->data(PopulatedRole).toBool();
}

void FolderTreeModel::fetchMore(const QModelIndex &parent)
{
    if (QStandardItem *item = parent.isValid() ? itemFromIndex(parent) : nullptr)
        populate(item);
}

void FolderTreeModel::populate(QStandardItem *item)
{
    if (item->data(PopulatedRole).toBool())
        return;
    item->setData(true, PopulatedRole);
    const QDir folder(item->data(PathRole).toString());
    // Hidden folders are left out, as file managers do; one on the way to a preset folder is
    // added when it is asked for (indexOfPath).
    const QFileInfoList entries = folder.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot,
                                                       QDir::Name | QDir::IgnoreCase | QDir::LocaleAware);
    for (const QFileInfo &entry : entries)
        addFolderItem(item, cleanAbsolute(entry.absoluteFilePath()), entry.fileName());
}

QStandardItem *FolderTreeModel::childNamed(QStandardItem *parent, const QString &name)
{
    for (int row = 0; row < parent->rowCount(); ++row) {
        QStandardItem *child = parent->child(row);
        if (QFileInfo(child->data(PathRole).toString()).fileName() == name)
            return child;
    }
    return nullptr;
}

QModelIndex FolderTreeModel::indexOfPath(const QString &path)
{
    if (path.isEmpty() || !QFileInfo(path).isDir())
        return {};
    const QString target = cleanAbsolute(path);

    // The folder item that holds the target most closely: in the default tree a place under the
    // home folder wins over the file-system root.
    QStandardItem *best = nullptr;
    const auto consider = [&](QStandardItem *item) {
        const QString folder = item->data(PathRole).toString();
        if (!folder.isEmpty() && isWithin(target, folder) &&
            (!best || folder.size() > best->data(PathRole).toString().size()))
            best = item;
    };
    QStandardItem *top = invisibleRootItem();
    for (int row = 0; row < top->rowCount(); ++row) {
        consider(top->child(row));
        for (int inner = 0; inner < top->child(row)->rowCount(); ++inner) {
            if (top->child(row)->data(PathRole).toString().isEmpty())
                consider(top->child(row)->child(inner));
        }
    }
    if (!best)
        return {};

    QStandardItem *item = best;
    QString current = item->data(PathRole).toString();
    const QStringList names = target.mid(current.size()).split(u'/', Qt::SkipEmptyParts);
    for (const QString &name : names) {
        populate(item);
        const QString childPath = QDir(current).filePath(name);
        QStandardItem *child = childNamed(item, name);
        if (!child)
            child = addFolderItem(item, childPath, name);
        item = child;
        current = childPath;
    }
    return indexFromItem(item);
}

} // namespace zandrel
