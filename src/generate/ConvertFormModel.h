#pragma once

#include "GenerationPipeline.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace zandrel {

namespace settings {
class RegistryStore;
}

// The main dialog's state without its widgets: the settings read at creation, the style sheet
// list, and what is written back at close. Batch mode reads the same settings through it.
class ConvertFormModel {
public:
    // Reads the settings and fills the style sheet list, as the dialog's creation does.
    // applicationFolder is searched first for the text file viewer.
    void create(const settings::RegistryStore &store, const QString &applicationFolder = {});

    // The source file as the edit box holds it.
    QString sourceFile;
    bool viewGeneratedFile = false;
    int sourceFilterIndex = 1;
    QString outputFileName;
    // How documents load their white space; read only, never written back.
    bool preserveWhiteSpace = false;
    quint32 transformationMemoryLimitMB = 0; // 0: automatic

    const QString &styleSheetFolder() const { return m_styleSheetFolder; }
    const QString &styleSheetPath() const { return m_styleSheetPath; }
    void setStyleSheetPath(const QString &path) { m_styleSheetPath = path; }
    const QString &textFileViewer() const { return m_textFileViewer; }

    // The list of output formats, sorted without regard to case, the Dexmor entry always there.
    const QStringList &entries() const { return m_entries; }
    int selectedEntry() const { return m_selectedEntry; }

    // The user picked an entry: the style sheet path follows it.
    void selectEntry(int index);
    // The user chose another style sheet folder: the list is filled again.
    void setStyleSheetFolder(const QString &folder);
    // The path of the selected entry's style sheet: ".xsl" when that file exists, else ".xslt".
    QString selectedStyleSheetFile() const;

    // What a generation is given, from the dialog's state and the settings: the one place where
    // both the dialog and batch mode fill it.
    GenerationInputs generationInputs() const;

    // Writes the source file, the style sheet, the check box and the filter index.
    bool save(settings::RegistryStore &store, QString *error = nullptr) const;

private:
    void readUserSettings(const settings::RegistryStore &store);
    void fillStyleSheetList();

    QString m_styleSheetFolder;
    QString m_styleSheetPath;
    QString m_textFileViewer;
    QStringList m_entries;
    int m_selectedEntry = -1;
};

// The style sheet entries of a folder: the file names of its ".xsl" and ".xslt" files without
// extension, sorted without regard to case, with "Dexmor" added unless an entry is one already.
QStringList styleSheetEntries(const QString &folder);

// True when the viewer is found: a path that exists, or a name on the search path.
bool isViewerFound(const QString &viewer, const QString &applicationFolder);

} // namespace zandrel
