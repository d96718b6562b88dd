#pragma once

#include "StringTableFormat.h"

#include <QString>

#include <cstddef>

namespace zandrel {

// Ids of the texts that the program fetches by number.
namespace StringId {
inline constexpr int SourceFileFilter = 10000;
inline constexpr int DefinitionError = 10001;
inline constexpr int SaveFilterDescription = 10002;
inline constexpr int FileCreated = 10003;
inline constexpr int SourceFileRequired = 10004;
inline constexpr int JobNotConverted = 10005;
inline constexpr int StyleSheetLoadError = 10006;
inline constexpr int ErrorNumber = 10007;
inline constexpr int Reason = 10008;
inline constexpr int DexmorLoadError = 10009;
inline constexpr int MainDialogTitle = 10010;
inline constexpr int SourceFileCaption = 10011;
inline constexpr int OutputFormatCaption = 10012;
inline constexpr int SourceBrowseButton = 10013;
inline constexpr int StyleSheetFolderBrowseButton = 10014;
inline constexpr int ViewAfterGeneratingCheckBox = 10015;
inline constexpr int OkButton = 10016;
inline constexpr int CloseButton = 10017;
inline constexpr int HelpButton = 10018;
inline constexpr int StyleSheetFolderBrowserTitle = 10019;
inline constexpr int ValueOutsideRealRange = 10022;
inline constexpr int NumericValueRequired = 10023;
inline constexpr int ValueOutsideIntegerRange = 10024;
inline constexpr int IntegerValueRequired = 10025;
inline constexpr int CancelButton = 10065;
inline constexpr int UserValueTitle = 10069;
inline constexpr int OutputIsAnInput = 10100;
inline constexpr int OutputNotWritten = 10101;
inline constexpr int StyleSheetNotApplied = 10102;
inline constexpr int OutputExistsUnconfirmed = 10103;
inline constexpr int DisplayRequired = 10104;
inline constexpr int DexmorNotReadable = 10105;
inline constexpr int ReplaceExistingQuestion = 10106;
inline constexpr int SaveAsQuestion = 10107;
inline constexpr int TemporaryFileFailed = 10108;
inline constexpr int VariableNotANumber = 10109;
inline constexpr int VariableAttributeMissing = 10110;
inline constexpr int AnswersNotSaved = 10111;
inline constexpr int ChooseMenuEntry = 10112;
inline constexpr int FileDoesNotExist = 10114;
inline constexpr int ValueNotXmlText = 10115;
inline constexpr int OutputNotWrittenInTemporaryFolder = 10116;
inline constexpr int OutputIsReadByStyleSheet = 10117;
inline constexpr int DocumentPastMemoryLimit = 10118;
inline constexpr int DocumentOutOfMemory = 10119;
inline constexpr int ExtensionWithFolder = 10120;
// The words that answer yes at the console in the user's language, separated by "|".
inline constexpr int YesAnswers = 10121;
// The locale whose Qt translations go with the table, such as "de".
inline constexpr int QtLocale = 10122;
// The steps of a long generation, how long it has taken and what it has written, and its end.
inline constexpr int ConvertingStep = 10123;
inline constexpr int LoadingStep = 10124;
inline constexpr int TransformingStep = 10125;
inline constexpr int ElapsedTime = 10126;
inline constexpr int WrittenSoFar = 10127;
inline constexpr int GenerationCancelled = 10128;
// The windows program could not be started: its path and the system's reason.
inline constexpr int WindowsProgramMissing = 10129;
// Long work: a work thread refused, the copies, how far the work has come (bytes done, total
// and percentage; nodes examined), a stop that does not come and the end of the program then.
inline constexpr int WorkThreadFailed = 10135;
inline constexpr int CopyingDexmorStep = 10136;
inline constexpr int SavingStep = 10137;
inline constexpr int DoneOfTotal = 10138;
inline constexpr int NodesExamined = 10139;
inline constexpr int WorkNotStopping = 10140;
inline constexpr int EndProgramButton = 10141;
inline constexpr int EndedUnstopped = 10142;
// The style sheet's result was written; the XSLT processor's warnings follow.
inline constexpr int StyleSheetWarnings = 10150;
// How many more of the processor's warnings there were than the box shows.
inline constexpr int MoreWarnings = 10151;
// The answers were not written into the style sheet: it changed after it was read.
inline constexpr int AnswersNotSavedFileChanged = 10143;
// The output would replace a document type or an entity that the source or the style sheet reads.
inline constexpr int OutputIsDocumentPart = 10144;
// The fileExt holds a control or direction-changing character: the style sheet and the extension.
inline constexpr int ExtensionWithControlCharacter = 10145;
// The display that the environment names cannot be opened: its name and the reason.
inline constexpr int DisplayNotOpened = 10146;
} // namespace StringId

// The longest text a lookup gives, in UTF-16 code units.
inline constexpr qsizetype MaxLocalizedLength = 1023;

// One string table: the built-in English table, or the one of a language library.
struct StringTableView {
    const ZandrelStringEntry *entries = nullptr;
    std::size_t count = 0;
    // The text of the id; empty when the table has none.
    QString text(int id) const;
};

StringTableView builtinStringTable();

// The language library: a shared object that exports a string table and nothing else.
// Loaded once at start and unloaded when this object goes.
class LanguageLibrary {
public:
    LanguageLibrary() = default;
    // Tries the file; stays unloaded without a message when it cannot be loaded.
    explicit LanguageLibrary(const QString &path);
    ~LanguageLibrary();
    LanguageLibrary(const LanguageLibrary &) = delete;
    LanguageLibrary &operator=(const LanguageLibrary &) = delete;

    // "ZandrelR.so" beside the executable first, then by the ordinary library search.
    static QString fileName() { return QStringLiteral("ZandrelR.so"); }
    static QString besideExecutable(const QString &applicationDir);

    bool isLoaded() const { return m_handle != nullptr; }
    const StringTableView &table() const { return m_table; }

private:
    void *m_handle = nullptr;
    StringTableView m_table;
};

// The text of a string id: the language library's text where it holds a non-empty one, otherwise
// the built-in English text, otherwise the empty text. Never fails.
QString GetLocalizedString(int id);

// Makes a loaded language library the first source of GetLocalizedString while it lives
// (the program holds one for its whole run; tests hold their own).
class LocalizedStringSource {
public:
    explicit LocalizedStringSource(const LanguageLibrary &library);
    ~LocalizedStringSource();
    LocalizedStringSource(const LocalizedStringSource &) = delete;
    LocalizedStringSource &operator=(const LocalizedStringSource &) = delete;

private:
    const LanguageLibrary *m_previous;
};

// Lookup with an explicit language table, used by GetLocalizedString and by tests.
QString localizedString(const StringTableView *language, int id, bool showStringIds);

} // namespace zandrel
