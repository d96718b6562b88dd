#pragma once

#include <QString>

// The settings' keys and value names, with their defaults beside them.
namespace zandrel::settings {

inline const QString programKey = QStringLiteral("Software\\Veltrix\\Zandrel");

// Per-user values of programKey.
inline const QString sourceFileValue = QStringLiteral("JobOrDexmorFile");
inline const QString styleSheetFileValue = QStringLiteral("StyleSheetFile");
inline const QString textFileViewerValue = QStringLiteral("TextFileViewer");
inline const QString viewGeneratedFileValue = QStringLiteral("ViewGeneratedFile");
inline const QString sourceFilterIndexValue = QStringLiteral("DefaultFileExtensionIndex");
inline const QString mainDialogPositionValue = QStringLiteral("MainDialogPosition");
inline const QString helpDialogPositionValue = QStringLiteral("HelpDialogPosition");
// DWORD: not 0 keeps every white space text node of the job and the style sheet, for style
// sheets written for standard XSLT processors; 0 drops it as the original platform did.
inline const QString preserveWhiteSpaceValue = QStringLiteral("PreserveWhiteSpace");
// DWORD: the memory in MB that a transformation may take beyond the loaded documents; 0 lets
// it take three quarters of what the system has available when it starts.
inline const QString transformationMemoryLimitValue = QStringLiteral("TransformationMemoryLimit");

inline constexpr bool defaultViewGeneratedFile = false;
inline constexpr int defaultSourceFilterIndex = 1;
inline constexpr bool defaultPreserveWhiteSpace = false;
inline constexpr quint32 defaultTransformationMemoryLimit = 0;
// Stands for the desktop's own application for plain text.
inline const QString defaultTextFileViewer = QStringLiteral("Notepad.exe");

// Machine-wide value of programKey: the default style sheet folder.
inline const QString machineStyleSheetFolderValue = QStringLiteral("StyleSheetFile");

} // namespace zandrel::settings
