#pragma once

#include <QWidget>

class QLabel;
class QPushButton;
class QTextEdit;

namespace zandrel {

class FramePlacement;

namespace settings {
class RegistryStore;
}

// The help notes in a read-only rich-text window that does not block the main dialog. It
// remembers its place and size per user.
class THelpForm : public QWidget {
    Q_OBJECT

public:
    THelpForm(settings::RegistryStore &settings, QWidget *parent = nullptr);

    // The window's default place and outer size, frame included.
    static constexpr QRect defaultGeometry() { return {290, 150, 696, 485}; }
    // The least client area: the Close button stays off the text.
    static constexpr QSize minimumClientSize() { return {320, 220}; }

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void FormCreate();
    void FormShow();
    void FormClose();

    settings::RegistryStore &m_settings;
    QLabel *m_label;
    QTextEdit *m_helpText;
    QPushButton *m_closeButton;
    FramePlacement *m_placement;
};

} // namespace zandrel
