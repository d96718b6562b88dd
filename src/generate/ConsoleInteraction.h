#pragma once

#include "base/Interaction.h"

#include <QLocale>

class QIODevice;

namespace zandrel {

// The interaction of batch mode without a display: messages go to the error stream (success
// to the output stream); questions are asked on the terminal when the input is one, otherwise
// the offered answer is taken as pressing OK would.
class ConsoleInteraction : public Interaction {
public:
    ConsoleInteraction(QIODevice &input, QIODevice &output, QIODevice &errors, bool interactive,
                       const QLocale &locale = QLocale::system());

    void showMessage(MessageKind kind, const QString &text) override;
    Answer chooseSaveFile(const SaveFileRequest &request) override;
    Answer chooseOpenFile(const OpenFileRequest &request) override;
    Answer askUserValue(const UserValueRequest &request) override;
    void setBusy(bool) override {}
    void showGeneratedFile(const QString &path, const QString &textFileViewer) override;
    // With progress shown, long work shows one line on the error stream that it keeps up to
    // date, and clears at the end. For a terminal only: a log would fill with such lines.
    bool runLongWork(const LongWork &work) override;
    void setShowsProgress(bool shows) { m_showsProgress = shows; }
    static constexpr int progressDelayMilliseconds = 1000;

protected:
    // One answer line without its line break; nullopt at the end of the input.
    std::optional<QString> ask(const QString &prompt);
    void write(QIODevice &stream, const QString &text);
    QIODevice &errors() { return m_errors; }

private:
    Answer askMenuEntry(const UserValueRequest &request);
    // The answer that pressing OK on the offered value gives, checked as the dialog checks it.
    Answer offeredValue(const UserValueRequest &request);

    QIODevice &m_input;
    QIODevice &m_output;
    QIODevice &m_errors;
    bool m_interactive;
    QLocale m_locale;
    bool m_showsProgress = false;
};

// True when the answer means yes.
bool isYesAnswer(const QString &answer);

} // namespace zandrel
