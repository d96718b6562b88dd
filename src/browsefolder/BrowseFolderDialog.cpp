#include "BrowseFolderDialog.h"

#include "FolderTreeModel.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

namespace zandrel {

BrowseFolderDialog::BrowseFolderDialog(const QString &rootFolder, const QString &title, bool withStatusLine,
                                       QWidget *parent)
    : QDialog(parent), m_model(new FolderTreeModel(rootFolder, this))
{
    setObjectName(QStringLiteral("BrowseFolderDialog"));
    auto *column = new QVBoxLayout(this);

    auto *titleLabel = new QLabel(title, this);
    titleLabel->setObjectName(QStringLiteral("TitleLabel"));
    titleLabel->setWordWrap(true);
    column->addWidget(titleLabel);

    if (withStatusLine) {
        m_statusLabel = new QLabel(this);
        m_statusLabel->setObjectName(QStringLiteral("StatusLabel"));
        column->addWidget(m_statusLabel);
    }

    m_tree = new QTreeView(this);
    m_tree->setObjectName(QStringLiteral("FolderTree"));
    m_tree->setModel(m_model);
    m_tree->setHeaderHidden(true);
    m_tree->setUniformRowHeights(true);
    m_tree->setSelectionMode(QAbstractItemView::SingleSelection);
    m_tree->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_tree->header()->setStretchLastSection(false);
    column->addWidget(m_tree, 1);

    m_buttonRow = new QHBoxLayout;
    m_buttonRow->addStretch(1);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_okButton = buttons->button(QDialogButtonBox::Ok);
    m_okButton->setObjectName(QStringLiteral("OKBtn"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("CancelBtn"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    m_buttonRow->addWidget(buttons);
    column->addLayout(m_buttonRow);

    resize(380, 440);
}

void BrowseFolderDialog::addExtraButton(QPushButton *button)
{
    m_buttonRow->insertWidget(0, button);
}

void BrowseFolderDialog::selectItem(const QModelIndex &index)
{
    for (QModelIndex parent = index.parent(); parent.isValid(); parent = parent.parent())
        m_tree->expand(parent);
    m_tree->setCurrentIndex(index);
    m_tree->scrollTo(index);
}

void BrowseFolderDialog::showEvent(QShowEvent *event)
{
    if (m_placeOver) {
        const QRect over = m_placeOver->frameGeometry();
        const QSize size = frameGeometry().size();
        move(over.left() + over.width() / 2 - size.width() / 2, over.top() + over.height() / 4);
        m_placeOver = nullptr;
    }
    QDialog::showEvent(event);
    // The tree has its final size only now. Its rows were laid out while it was hidden, where
    // their height is not known yet; with those, Qt 6.8's arrow keys lose the current item
    // instead of moving from it.
    m_tree->doItemsLayout();
    if (m_tree->currentIndex().isValid())
        m_tree->scrollTo(m_tree->currentIndex());
}

} // namespace zandrel
