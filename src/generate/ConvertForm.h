#pragma once

#include "ConvertFormModel.h"
#include "GenerationPipeline.h"
#include "QtInteraction.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace zandrel {

class FramePlacement;
class TBrowseFolder;
class TStaticText;

namespace settings {
class RegistryStore;
}

// The main dialog: the source file, the output format, whether to view the result, and OK,
// Close and Help. It stays open after OK, so that any number of files can be generated.
class TConvertForm : public QDialog {
    Q_OBJECT

public:
    TConvertForm(settings::RegistryStore &settings, const QString &applicationFolder,
                 QWidget *parent = nullptr);

    ConvertFormModel &model() { return m_model; }
    QString sourceFile() const;
    void setSourceFile(const QString &path);

    // Runs one generation. Batch mode is the run without the OK button as sender.
    GenerationOutcome OKBtnClick(bool batchMode = false);

    // Where the window's frame stands without a stored position.
    static constexpr QPoint defaultPosition() { return {292, 210}; }

    void done(int result) override;

Q_SIGNALS:
    // A Job file could not be converted: the program ends at once with this exit code.
    void programEnded(int exitCode);

protected:
    void showEvent(QShowEvent *event) override;
    bool event(QEvent *event) override;

private:
    void buildControls();
    void setCaptions();
    void fillStyleSheetCombo();
    void FormShow();
    void FormClose();
    void FormHelp();
    void XMLBrowseBtnClick();
    void XSLBrowseBtnClick();
    void StyleSheetComboChange(int index);

    settings::RegistryStore &m_settings;
    ConvertFormModel m_model;
    QtInteraction m_interaction;
    bool m_saveOnClose = true;
    FramePlacement *m_placement;

    TStaticText *m_sourceLabel;
    TStaticText *m_formatLabel;
    TBrowseFolder *m_folderBrowser;
    QLineEdit *m_sourceEdit;
    QComboBox *m_styleSheetCombo;
    QPushButton *m_sourceBrowseButton;
    QPushButton *m_folderBrowseButton;
    QCheckBox *m_viewCheckBox;
    QPushButton *m_okButton;
    QPushButton *m_closeButton;
    QPushButton *m_helpButton;
};

} // namespace zandrel
