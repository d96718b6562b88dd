#include "ConvertFormModel.h"

#include "base/PathPieces.h"
#include "settings/RegistryStore.h"
#include "settings/SettingsKeys.h"
#include "uservalue/UserValue.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>

namespace zandrel {

namespace {

using settings::RegistryHive;
using settings::RegistryValue;

QString withTrailingSeparator(const QString &folder)
{
    return folder.endsWith(u'/') ? folder : folder + u'/';
}

} // namespace

void ConvertFormModel::create(const settings::RegistryStore &store, const QString &applicationFolder)
{
    m_styleSheetFolder.clear();
    m_styleSheetPath.clear();
    sourceFilterIndex = settings::defaultSourceFilterIndex;
    readUserSettings(store);

    if (m_styleSheetPath.isEmpty()) {
        if (const auto machine = store.openKey(RegistryHive::LocalMachine, settings::programKey)) {
            if (const auto folder = machine->readString(settings::machineStyleSheetFolderValue))
                m_styleSheetPath = withTrailingSeparator(*folder);
        }
    }
    if (!QFileInfo(sourceFile).isFile())
        sourceFile.clear();
    if (!IsDexmorEntry(m_styleSheetPath) && !QFileInfo(m_styleSheetPath).isFile() &&
        !QFileInfo(path::folderPart(m_styleSheetPath)).isDir())
        m_styleSheetPath.clear();
    m_styleSheetFolder = withTrailingSeparator(path::folderPart(m_styleSheetPath));
    fillStyleSheetList();

    if (m_textFileViewer.isEmpty() || !isViewerFound(m_textFileViewer, applicationFolder))
        m_textFileViewer = settings::defaultTextFileViewer;
    outputFileName.clear();
}

void ConvertFormModel::readUserSettings(const settings::RegistryStore &store)
{
    sourceFile.clear();
    m_textFileViewer.clear();
    viewGeneratedFile = settings::defaultViewGeneratedFile;
    preserveWhiteSpace = settings::defaultPreserveWhiteSpace;
    transformationMemoryLimitMB = settings::defaultTransformationMemoryLimit;
    const std::optional<settings::RegistryKey> key =
        store.openKey(RegistryHive::CurrentUser, settings::programKey);
    if (!key)
        return;
    // Read on their own: they are no part of the dialog's settings, whose order follows.
    if (const std::optional<quint32> preserve = key->readDword(settings::preserveWhiteSpaceValue))
        preserveWhiteSpace = *preserve != 0;
    if (const std::optional<quint32> limit = key->readDword(settings::transformationMemoryLimitValue))
        transformationMemoryLimitMB = *limit;
    // In this order; a value of the wrong type ends the reading, as the values after it are
    // then taken to be unreliable too.
    auto readString = [&key](const QString &name, QString &target) {
        const RegistryValue *value = key->find(name);
        if (!value)
            return true;
        if (!value->isString())
            return false;
        target = value->text;
        return true;
    };
    if (!readString(settings::sourceFileValue, sourceFile) ||
        !readString(settings::styleSheetFileValue, m_styleSheetPath) ||
        !readString(settings::textFileViewerValue, m_textFileViewer))
        return;
    if (const RegistryValue *view = key->find(settings::viewGeneratedFileValue)) {
        if (view->isString())
            return;
        viewGeneratedFile = view->dword != 0;
    }
    if (const RegistryValue *index = key->find(settings::sourceFilterIndexValue)) {
        if (index->isString())
            return;
        sourceFilterIndex = int(index->dword);
    }
}

void ConvertFormModel::fillStyleSheetList()
{
    m_entries = styleSheetEntries(m_styleSheetFolder);
    m_selectedEntry = -1;
    const QString wanted = trimmedText(path::namePart(m_styleSheetPath)).toUpper();
    for (int i = 0; i < m_entries.size(); ++i)
        if (trimmedText(m_entries.at(i)).toUpper() == wanted)
            m_selectedEntry = i;
    if (m_selectedEntry < 0)
        selectEntry(0);
}

void ConvertFormModel::selectEntry(int index)
{
    if (index < 0 || index >= m_entries.size())
        return;
    m_selectedEntry = index;
    m_styleSheetPath = selectedStyleSheetFile();
}

void ConvertFormModel::setStyleSheetFolder(const QString &folder)
{
    m_styleSheetFolder = withTrailingSeparator(folder);
    fillStyleSheetList();
}

QString ConvertFormModel::selectedStyleSheetFile() const
{
    if (m_selectedEntry < 0)
        return {};
    const QString base = m_styleSheetFolder + m_entries.at(m_selectedEntry);
    const QString xsl = base + QStringLiteral(".xsl");
    return QFileInfo::exists(xsl) ? xsl : base + QStringLiteral(".xslt");
}

bool ConvertFormModel::save(settings::RegistryStore &store, QString *error) const
{
    return store.writeValues(
        RegistryHive::CurrentUser, settings::programKey,
        {RegistryValue::string(settings::sourceFileValue, sourceFile),
         RegistryValue::string(settings::styleSheetFileValue, selectedStyleSheetFile()),
         RegistryValue::number(settings::viewGeneratedFileValue, viewGeneratedFile ? 1 : 0),
         RegistryValue::number(settings::sourceFilterIndexValue, quint32(sourceFilterIndex))},
        error);
}

QStringList styleSheetEntries(const QString &folder)
{
    QStringList entries;
    const QDir directory(folder);
    const QFileInfoList files =
        directory.entryInfoList({QStringLiteral("*.xsl"), QStringLiteral("*.xslt")},
                                QDir::Files | QDir::Hidden | QDir::System, QDir::NoSort);
    for (const QFileInfo &file : files) {
        // Name filters match without regard to case here; keep the two extensions only.
        const QString extension = path::extension(file.fileName()).toLower();
        if (extension == QLatin1String(".xsl") || extension == QLatin1String(".xslt"))
            entries << path::withoutExtension(file.fileName());
    }
    if (std::none_of(entries.cbegin(), entries.cend(),
                     [](const QString &entry) { return IsDexmorEntry(entry); }))
        entries << QStringLiteral("Dexmor");
    std::stable_sort(entries.begin(), entries.end(), [](const QString &a, const QString &b) {
        return a.compare(b, Qt::CaseInsensitive) < 0;
    });
    return entries;
}

GenerationInputs ConvertFormModel::generationInputs() const
{
    GenerationInputs inputs;
    inputs.sourceFile = sourceFile;
    inputs.styleSheetPath = m_styleSheetPath;
    inputs.outputFileName = outputFileName;
    inputs.viewGeneratedFile = viewGeneratedFile;
    inputs.textFileViewer = m_textFileViewer;
    inputs.preserveWhiteSpace = preserveWhiteSpace;
    inputs.transformationMemoryLimitMB = transformationMemoryLimitMB;
    return inputs;
}

bool isViewerFound(const QString &viewer, const QString &applicationFolder)
{
    if (viewer.contains(u'/'))
        return QFileInfo::exists(viewer);
    QStringList folders;
    if (!applicationFolder.isEmpty())
        folders << applicationFolder;
    folders << QDir::currentPath();
    return !QStandardPaths::findExecutable(viewer, folders).isEmpty() ||
           !QStandardPaths::findExecutable(viewer).isEmpty();
}

} // namespace zandrel
