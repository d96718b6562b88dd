// The folder browser driven under the offscreen platform: each test acts inside the open dialog
// through the component's initialized event and closes it with its own buttons or keys.

#include "browsefolder/BrowseFolder.h"
#include "browsefolder/FolderTreeModel.h"
#include "browsefolder/ShortenPath.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include <functional>
#include <utility>

using namespace zandrel;
using zandrel::browse::TBrowseInfoFlag;
using zandrel::browse::TSHFolders;

namespace {

QTreeView *folderTree(QDialog *dialog)
{
    return dialog->findChild<QTreeView *>(QStringLiteral("FolderTree"));
}

FolderTreeModel *folderModel(QDialog *dialog)
{
    return qobject_cast<FolderTreeModel *>(folderTree(dialog)->model());
}

QPushButton *dialogButton(QDialog *dialog, const char *name)
{
    return dialog->findChild<QPushButton *>(QLatin1String(name));
}

QString currentPath(QDialog *dialog)
{
    return folderModel(dialog)->pathOf(folderTree(dialog)->currentIndex());
}

// Selects the folder's item in the open dialog as a click would.
void selectFolder(QDialog *dialog, const QString &path)
{
    const QModelIndex index = folderModel(dialog)->indexOfPath(path);
    QVERIFY2(index.isValid(), qPrintable(path));
    folderTree(dialog)->setCurrentIndex(index);
}

// While it lives, `action` takes place in the browser's dialog each time that runs; a dialog the
// action leaves open is cancelled, so that a failed check cannot leave the test waiting.
class WhileOpen {
public:
    WhileOpen(TBrowseFolder &browser, std::function<void(QDialog *)> action) : m_action(std::move(action))
    {
        m_connection = QObject::connect(&browser, &TBrowseFolder::OnInitialized,
                                        [this](TBrowseFolder *, QDialog *dialog) { runWhenShown(dialog); });
    }
    ~WhileOpen() { QObject::disconnect(m_connection); }
    WhileOpen(const WhileOpen &) = delete;
    WhileOpen &operator=(const WhileOpen &) = delete;

private:
    void runWhenShown(QDialog *dialog)
    {
        QMetaObject::invokeMethod(
            dialog,
            [this, dialog] {
                m_action(dialog);
                if (dialog->isVisible())
                    dialog->reject();
            },
            Qt::QueuedConnection);
    }

    std::function<void(QDialog *)> m_action;
    QMetaObject::Connection m_connection;
};

bool executeWith(TBrowseFolder &browser, const std::function<void(QDialog *)> &action)
{
    const WhileOpen whileOpen(browser, action);
    return browser.Execute();
}

} // namespace

class BrowseFolderTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_root;
    QString m_styles;

    QString folder(const QString &relative) const { return QDir(m_root.path()).filePath(relative); }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_root.isValid());
        const QDir root(m_root.path());
        for (const char *path : {"styles/export", "styles/reports", ".hidden/inner", "Desktop", "gone"})
            QVERIFY(root.mkpath(QString::fromLatin1(path)));
        for (int i = 0; i < 60; ++i)
            QVERIFY(root.mkpath(QStringLiteral("many/f%1").arg(i, 2, 10, QLatin1Char('0'))));
        QVERIFY(root.mkpath(QStringLiteral("many/f59/deep")));
        m_styles = folder(QStringLiteral("styles"));
        // The test's folder is the home folder, so the default tree offers it as a place.
        qputenv("HOME", QFile::encodeName(m_root.path()));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(folder(QStringLiteral(".config"))));
    }

    void defaults()
    {
        TBrowseFolder browser;
        QCOMPARE(browser.Directory(), QString());
        QCOMPARE(browser.Title(), QString());
        QCOMPARE(browser.Flags(), browse::TBrowseInfoFlagSet());
        QCOMPARE(browser.ShowPathInStatusArea(), false);
        QCOMPARE(browser.RootFolder(), TSHFolders::foDesktopExpanded);
        QCOMPARE(browser.CustomButtonVisible(), false);
        QCOMPARE(browser.CustomButtonEnabled(), true);
        QCOMPARE(browser.CustomButtonCaption(), QString());
        QCOMPARE(browser.CustomButtonWidth(), 75);
        QCOMPARE(browser.SyncCustomButton(), false);
        QCOMPARE(browser.DialogHandle(), nullptr);
        QCOMPARE(browser.property("RootFolder").value<TSHFolders>(), TSHFolders::foDesktopExpanded);
    }

    void customButtonWidth_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("stored");
        QTest::newRow("zero") << 0 << 75;
        QTest::newRow("negative") << -20 << 75;
        QTest::newRow("one") << 1 << 1;
        QTest::newRow("wide") << 140 << 140;
    }
    void customButtonWidth()
    {
        QFETCH(int, width);
        QFETCH(int, stored);
        TBrowseFolder browser;
        browser.setCustomButtonWidth(width);
        QCOMPARE(browser.CustomButtonWidth(), stored);
    }

    void presetIsSelectedAndScrolledTo_data()
    {
        QTest::addColumn<QString>("preset");
        QTest::newRow("deep among many") << "many/f59/deep";
        QTest::newRow("style sheets") << "styles";
        QTest::newRow("inside a hidden folder") << ".hidden/inner";
        QTest::newRow("written with a trailing slash") << "styles/export/";
    }
    void presetIsSelectedAndScrolledTo()
    {
        QFETCH(QString, preset);
        const QString directory = folder(preset);
        TBrowseFolder browser;
        browser.setTitle(QStringLiteral("Select folder containing style sheet files"));
        browser.setDirectory(directory);
        bool checked = false;
        const bool chosen = executeWith(browser, [&](QDialog *dialog) {
            QTreeView *tree = folderTree(dialog);
            QCOMPARE(currentPath(dialog), QDir::cleanPath(directory));
            QVERIFY(tree->viewport()->rect().intersects(tree->visualRect(tree->currentIndex())));
            QVERIFY(dialogButton(dialog, "OKBtn")->isEnabled());
            QCOMPARE(browser.CurrentPath(), QDir::cleanPath(directory));
            QCOMPARE(dialog->findChild<QLabel *>(QStringLiteral("TitleLabel"))->text(), browser.Title());
            // Below the home folder the tree reaches it through the home place, not through "/".
            QModelIndex place = tree->currentIndex();
            while (place.parent().isValid() && place.parent().parent().isValid())
                place = place.parent();
            QCOMPARE(folderModel(dialog)->pathOf(place), m_root.path());
            checked = true;
        });
        QVERIFY(checked);
        QVERIFY(!chosen);
        QCOMPARE(browser.Directory(), directory);
        QCOMPARE(browser.DialogHandle(), nullptr);
    }

    void missingPresetOpensAtTheTop()
    {
        TBrowseFolder browser;
        browser.setDirectory(folder(QStringLiteral("no such folder")));
        bool checked = false;
        executeWith(browser, [&](QDialog *dialog) {
            QCOMPARE(folderTree(dialog)->currentIndex(), folderModel(dialog)->index(0, 0));
            QVERIFY(folderTree(dialog)->isExpanded(folderModel(dialog)->index(0, 0)));
            // The top of the default tree is this computer, which is no folder.
            QVERIFY(!dialogButton(dialog, "OKBtn")->isEnabled());
            QCOMPARE(browser.CurrentPath(), QString());
            checked = true;
        });
        QVERIFY(checked);
    }

    void cancelLeavesDirectory_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("Cancel button") << "cancel";
        QTest::newRow("Escape") << "escape";
        QTest::newRow("window closed") << "close";
    }
    void cancelLeavesDirectory()
    {
        QFETCH(QString, how);
        TBrowseFolder browser;
        browser.setDirectory(m_styles);
        const bool chosen = executeWith(browser, [&](QDialog *dialog) {
            selectFolder(dialog, folder(QStringLiteral("styles/reports")));
            if (how == QLatin1String("cancel"))
                QTest::mouseClick(dialogButton(dialog, "CancelBtn"), Qt::LeftButton);
            else if (how == QLatin1String("escape"))
                QTest::keyClick(folderTree(dialog), Qt::Key_Escape);
            else
                dialog->close();
            QVERIFY(!dialog->isVisible());
        });
        QVERIFY(!chosen);
        QCOMPARE(browser.Directory(), m_styles);
        QCOMPARE(browser.DisplayName(), QString());
    }

    void choose_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("OK button") << "ok";
        QTest::newRow("Enter") << "enter";
        QTest::newRow("arrow key, then Enter") << "keys";
    }
    void choose()
    {
        QFETCH(QString, how);
        const QString reports = folder(QStringLiteral("styles/reports"));
        TBrowseFolder browser;
        browser.setDirectory(folder(QStringLiteral("styles/export")));
        const bool chosen = executeWith(browser, [&](QDialog *dialog) {
            QTreeView *tree = folderTree(dialog);
            if (how == QLatin1String("keys")) {
                QTest::keyClick(tree, Qt::Key_Down); // the next folder: export, reports
                QCOMPARE(currentPath(dialog), reports);
                QTest::keyClick(tree, Qt::Key_Return);
            } else {
                selectFolder(dialog, reports);
                if (how == QLatin1String("ok"))
                    QTest::mouseClick(dialogButton(dialog, "OKBtn"), Qt::LeftButton);
                else
                    QTest::keyClick(tree, Qt::Key_Enter);
            }
            QVERIFY(!dialog->isVisible());
        });
        QVERIFY(chosen);
        QCOMPARE(browser.Directory(), reports);
        QCOMPARE(browser.CurrentPath(), reports);
        QCOMPARE(browser.DisplayName(), QStringLiteral("reports"));
    }

    void okAndCustomButtonInStep_data()
    {
        QTest::addColumn<bool>("sync");
        QTest::newRow("in step") << true;
        QTest::newRow("independent") << false;
    }
    void okAndCustomButtonInStep()
    {
        QFETCH(bool, sync);
        const QString gone = folder(QStringLiteral("gone"));
        TBrowseFolder browser;
        browser.setDirectory(m_styles);
        browser.setCustomButtonVisible(true);
        browser.setCustomButtonCaption(QStringLiteral("&New folder"));
        browser.setSyncCustomButton(sync);
        bool checked = false;
        const bool chosen = executeWith(browser, [&](QDialog *dialog) {
            QPushButton *ok = dialogButton(dialog, "OKBtn");
            QPushButton *extra = dialogButton(dialog, "CustomBtn");
            QVERIFY(extra);
            QVERIFY(ok->isEnabled() && extra->isEnabled());

            folderTree(dialog)->setCurrentIndex(folderModel(dialog)->index(0, 0)); // this computer
            QVERIFY(!ok->isEnabled());
            QCOMPARE(extra->isEnabled(), !sync);
            QCOMPARE(browser.CustomButtonEnabled(), !sync);
            QCOMPARE(browser.CurrentPath(), QString());

            selectFolder(dialog, m_styles);
            QVERIFY(ok->isEnabled() && extra->isEnabled());

            // A folder removed while the dialog is open is no folder any more.
            const QPersistentModelIndex goneItem = folderModel(dialog)->indexOfPath(gone);
            QVERIFY(goneItem.isValid());
            QVERIFY(QDir(gone).removeRecursively());
            folderTree(dialog)->setCurrentIndex(goneItem);
            QVERIFY(!ok->isEnabled());
            QCOMPARE(extra->isEnabled(), !sync);
            QTest::keyClick(folderTree(dialog), Qt::Key_Return); // OK is off: nothing happens
            QVERIFY(dialog->isVisible());
            checked = true;
        });
        QVERIFY(checked);
        QVERIFY(!chosen);
        QVERIFY(QDir().mkpath(gone));
    }

    void customButton()
    {
        TBrowseFolder browser;
        browser.setCustomButtonVisible(true);
        browser.setCustomButtonCaption(QStringLiteral("&Defaults"));
        browser.setCustomButtonWidth(123);
        int clicks = 0;
        connect(&browser, &TBrowseFolder::OnCustomButtonClick, this, [&](TBrowseFolder *sender, QDialog *dialog) {
            ++clicks;
            QCOMPARE(sender, &browser);
            QCOMPARE(dialog, browser.DialogHandle());
        });
        bool checked = false;
        executeWith(browser, [&](QDialog *dialog) {
            QPushButton *extra = dialogButton(dialog, "CustomBtn");
            QVERIFY(extra);
            QCOMPARE(extra->text(), QStringLiteral("&Defaults"));
            QCOMPARE(extra->width(), 123);
            QVERIFY(extra->mapTo(dialog, QPoint()).x() < dialogButton(dialog, "OKBtn")->mapTo(dialog, QPoint()).x());
            QTest::mouseClick(extra, Qt::LeftButton);
            QCOMPARE(clicks, 1);
            QVERIFY(dialog->isVisible()); // the extra button does not close the dialog
            checked = true;
        });
        QVERIFY(checked);

        browser.setCustomButtonVisible(false);
        checked = false;
        executeWith(browser, [&](QDialog *dialog) {
            QCOMPARE(dialogButton(dialog, "CustomBtn"), nullptr);
            checked = true;
        });
        QVERIFY(checked);
    }

    void settersReachTheOpenDialog()
    {
        TBrowseFolder browser;
        browser.setCustomButtonVisible(true);
        browser.setCustomButtonCaption(QStringLiteral("First"));
        QPushButton *extraSeen = nullptr;
        connect(&browser, &TBrowseFolder::OnInitialized, this, [&](TBrowseFolder *sender, QDialog *dialog) {
            // Set from within the event, before the dialog shows.
            sender->setCustomButtonCaption(QStringLiteral("Second"));
            sender->setCustomButtonEnabled(false);
            extraSeen = dialogButton(dialog, "CustomBtn");
        });
        bool checked = false;
        executeWith(browser, [&](QDialog *dialog) {
            QPushButton *extra = dialogButton(dialog, "CustomBtn");
            QCOMPARE(extra, extraSeen);
            QCOMPARE(extra->text(), QStringLiteral("Second"));
            QVERIFY(!extra->isEnabled());
            browser.setCustomButtonEnabled(true);
            QVERIFY(extra->isEnabled());
            browser.setCustomButtonWidth(200); // stored, but the button keeps its width
            QCOMPARE(extra->width(), 75);
            QCOMPARE(browser.CustomButtonWidth(), 200);
            checked = true;
        });
        QVERIFY(checked);
        // Without a dialog the setters only store.
        browser.setCustomButtonCaption(QStringLiteral("Third"));
        browser.setCustomButtonEnabled(false);
        QCOMPARE(browser.CustomButtonCaption(), QStringLiteral("Third"));
        QCOMPARE(browser.CustomButtonEnabled(), false);
    }

    void selectionEvents()
    {
        TBrowseFolder browser;
        browser.setDirectory(m_styles);
        QStringList directories;
        connect(&browser, &TBrowseFolder::OnSelectionChanged, this,
                [&](TBrowseFolder *sender, QDialog *dialog, const QModelIndex &item, const QString &directory) {
                    QCOMPARE(sender, &browser);
                    QCOMPARE(dialog, browser.DialogHandle());
                    QCOMPARE(item, folderTree(dialog)->currentIndex());
                    directories.append(directory);
                });
        executeWith(browser, [&](QDialog *dialog) {
            QCOMPARE(directories, QStringList{m_styles}); // the preset, before the dialog showed
            selectFolder(dialog, folder(QStringLiteral("styles/export")));
            folderTree(dialog)->setCurrentIndex(folderModel(dialog)->index(0, 0));
        });
        QCOMPARE(directories, QStringList({m_styles, folder(QStringLiteral("styles/export")), QString()}));
    }

    void statusLine_data()
    {
        QTest::addColumn<bool>("statusFlag");
        QTest::addColumn<bool>("showPath");
        QTest::addColumn<QString>("preset");
        QTest::newRow("long path shortened") << true << true << "many/f59/deep";
        QTest::newRow("short path whole") << true << true << "";
        QTest::newRow("status line without the path") << true << false << "many/f59/deep";
        QTest::newRow("path asked for without a status line") << false << true << "many/f59/deep";
    }
    void statusLine()
    {
        QFETCH(bool, statusFlag);
        QFETCH(bool, showPath);
        QFETCH(QString, preset);
        const QString directory = preset.isEmpty() ? m_root.path() : folder(preset);
        TBrowseFolder browser;
        browser.setDirectory(directory);
        browser.setShowPathInStatusArea(showPath);
        if (statusFlag)
            browser.setFlags(TBrowseInfoFlag::bfStatusText | TBrowseInfoFlag::bfFileSysDirsOnly);
        bool checked = false;
        executeWith(browser, [&](QDialog *dialog) {
            auto *status = dialog->findChild<QLabel *>(QStringLiteral("StatusLabel"));
            QCOMPARE(status != nullptr, statusFlag);
            checked = true;
            if (!status)
                return;
            if (!showPath) {
                QCOMPARE(status->text(), QString());
                return;
            }
            const QString expected = ShortenPath(directory, QStringLiteral("/"), QStringLiteral("..."), 35);
            QCOMPARE(status->text(), expected);
            QCOMPARE(expected == directory, directory.size() <= 35);
            QVERIFY(expected.startsWith(QStringLiteral("/...")) || expected == directory);
        });
        QVERIFY(checked);
    }

    void placedOverTheActiveWindow_data()
    {
        QTest::addColumn<QRect>("window");
        QTest::newRow("ordinary window") << QRect(400, 300, 600, 400);
        QTest::newRow("small window near the screen's corner") << QRect(5000, 4000, 200, 100);
        QTest::newRow("window partly off the screen") << QRect(-300, -200, 201, 121);
    }
    void placedOverTheActiveWindow()
    {
        QFETCH(QRect, window);
        QWidget foreground;
        foreground.setGeometry(window);
        foreground.show();
        QApplication::setActiveWindow(&foreground);
        QCOMPARE(QApplication::activeWindow(), &foreground);
        const QRect frame = foreground.frameGeometry();

        TBrowseFolder browser;
        bool checked = false;
        executeWith(browser, [&](QDialog *dialog) {
            const QRect placed = dialog->frameGeometry();
            QCOMPARE(placed.left(), frame.left() + frame.width() / 2 - placed.width() / 2);
            QCOMPARE(placed.top(), frame.top() + frame.height() / 4);
            QCOMPARE(dialog->parentWidget(), &foreground);
            checked = true;
        });
        QVERIFY(checked);
    }

    void ownerWindow()
    {
        QWidget owner;
        QWidget form;
        auto *onForm = new QWidget(&form);
        TBrowseFolder byParent(onForm);
        bool checked = false;
        executeWith(byParent, [&](QDialog *dialog) {
            QCOMPARE(dialog->parentWidget(), &form);
            checked = true;
        });
        QVERIFY(checked);
        byParent.setOwnerWindow(&owner);
        checked = false;
        executeWith(byParent, [&](QDialog *dialog) {
            QCOMPARE(dialog->parentWidget(), &owner);
            checked = true;
        });
        QVERIFY(checked);
    }

    // The dialog as the user sees it, with every optional part; ZANDREL_RENDER_DIR keeps a picture.
    void wholeDialog()
    {
        TBrowseFolder browser;
        browser.setTitle(QStringLiteral("Select folder containing style sheet files"));
        browser.setDirectory(folder(QStringLiteral("many/f59/deep")));
        browser.setFlags(TBrowseInfoFlag::bfStatusText);
        browser.setShowPathInStatusArea(true);
        browser.setCustomButtonVisible(true);
        browser.setCustomButtonCaption(QStringLiteral("&New folder"));
        browser.setCustomButtonWidth(100);
        bool checked = false;
        executeWith(browser, [&](QDialog *dialog) {
            const QList<QWidget *> parts{dialog->findChild<QLabel *>(QStringLiteral("TitleLabel")),
                                         dialog->findChild<QLabel *>(QStringLiteral("StatusLabel")),
                                         folderTree(dialog), dialogButton(dialog, "CustomBtn"),
                                         dialogButton(dialog, "OKBtn"), dialogButton(dialog, "CancelBtn")};
            for (QWidget *part : parts) {
                QVERIFY(part);
                QVERIFY(part->isVisible());
                QVERIFY(dialog->rect().contains(QRect(part->mapTo(dialog, QPoint()), part->size())));
            }
            if (qEnvironmentVariableIsSet("ZANDREL_RENDER_DIR"))
                QVERIFY(dialog->grab().save(
                    QDir(qEnvironmentVariable("ZANDREL_RENDER_DIR")).filePath(QStringLiteral("folder-browser.png"))));
            checked = true;
        });
        QVERIFY(checked);
    }

    void styleSheetFolderChoice_data()
    {
        QTest::addColumn<QString>("current"); // below the test's folder
        QTest::addColumn<QString>("earlier"); // what the browser held from before; empty for nothing
        QTest::addColumn<bool>("confirm");
        QTest::addColumn<QString>("opensAt");
        QTest::addColumn<QString>("result"); // empty when nothing was chosen
        QTest::newRow("opens on the current folder") << "styles/" << "many" << true << "styles" << "styles/";
        QTest::newRow("cancelled") << "styles/" << "" << false << "styles" << "";
        QTest::newRow("current folder gone") << "no such folder/" << "many" << true << "many" << "many/";
    }
    void styleSheetFolderChoice()
    {
        QFETCH(QString, current);
        QFETCH(QString, earlier);
        QFETCH(bool, confirm);
        QFETCH(QString, opensAt);
        QFETCH(QString, result);
        TBrowseFolder browser;
        if (!earlier.isEmpty())
            browser.setDirectory(folder(earlier));
        QString openedAt;
        const WhileOpen press(browser, [&](QDialog *dialog) {
            openedAt = currentPath(dialog);
            QTest::mouseClick(dialogButton(dialog, confirm ? "OKBtn" : "CancelBtn"), Qt::LeftButton);
        });
        const QString chosen = ChooseStyleSheetFolder(browser, folder(current));
        QCOMPARE(openedAt, folder(opensAt));
        QCOMPARE(chosen, result.isEmpty() ? QString() : folder(result));
    }

    void rootFolder_data()
    {
        QTest::addColumn<TSHFolders>("root");
        QTest::addColumn<QString>("top"); // below the test's home folder; "/" as it is
        QTest::addColumn<QString>("preset");
        QTest::addColumn<QString>("selected");
        QTest::newRow("desktop, preset outside it") << TSHFolders::foDesktop << "Desktop" << "styles" << "Desktop";
        QTest::newRow("my computer") << TSHFolders::foMyComputer << "/" << "styles/export" << "styles/export";
        QTest::newRow("no counterpart") << TSHFolders::foPrinters << "/" << "" << "/";
    }
    void rootFolder()
    {
        QFETCH(TSHFolders, root);
        QFETCH(QString, top);
        QFETCH(QString, preset);
        QFETCH(QString, selected);
        const auto inHome = [&](const QString &path) {
            return path == QLatin1String("/") ? path : folder(path);
        };
        TBrowseFolder browser;
        browser.setRootFolder(root);
        if (!preset.isEmpty())
            browser.setDirectory(folder(preset));
        bool checked = false;
        executeWith(browser, [&](QDialog *dialog) {
            FolderTreeModel *model = folderModel(dialog);
            QCOMPARE(model->rowCount(), 1);
            QCOMPARE(model->pathOf(model->index(0, 0)), inHome(top));
            QCOMPARE(currentPath(dialog), inHome(selected));
            QVERIFY(dialogButton(dialog, "OKBtn")->isEnabled());
            checked = true;
        });
        QVERIFY(checked);
    }
};

QTEST_MAIN(BrowseFolderTest)
#include "tst_browsefolder.moc"
