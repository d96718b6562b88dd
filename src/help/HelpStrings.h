#pragma once

#include "app/StringTable.h"

namespace zandrel {

// The help window's texts. 10040 (copying a Job file with ActiveSync) is in the table but not in
// the help: the list under step 1 holds only the two ways that follow it.
namespace StringId {
inline constexpr int HelpWindowTitle = 10026;
inline constexpr int HelpWindowCaption = 10027;
inline constexpr int HelpIntroductionHeading = 10028;
inline constexpr int HelpProgramPurpose = 10029;
inline constexpr int HelpHowReportsAreMade = 10030;
inline constexpr int HelpStyleSheetsHeading = 10031;
inline constexpr int HelpStyleSheetSamples = 10032;
inline constexpr int HelpStyleSheetDocumentation = 10033;
inline constexpr int HelpStyleSheetsOnTheInternet = 10034;
inline constexpr int HelpTopicIntroduction = 10035;
inline constexpr int HelpTopicUseTheProgram = 10036;
inline constexpr int HelpTopicViewTheFile = 10037;
inline constexpr int HelpUsingHeading = 10038;
inline constexpr int HelpTwoSourceFormats = 10039;
inline constexpr int HelpDexmorFromController = 10041;
inline constexpr int HelpDexmorFromJobFile = 10042;
inline constexpr int HelpSelectSourceStep = 10043;
inline constexpr int HelpClickSourceBrowse = 10044;
inline constexpr int HelpSetFilesOfType = 10045;
inline constexpr int HelpHighlightAndOpen = 10046;
inline constexpr int HelpSelectOutputFormatStep = 10047;
inline constexpr int HelpFormatNotInTheList = 10048;
inline constexpr int HelpClickFolderBrowse = 10049;
inline constexpr int HelpLocateStyleSheetFolder = 10050;
inline constexpr int HelpSelectAFormat = 10051;
inline constexpr int HelpDexmorFormatAlwaysListed = 10052;
inline constexpr int HelpCompleteVariableDialogs = 10053;
inline constexpr int HelpViewCheckBoxStep = 10054;
inline constexpr int HelpClickOkStep = 10055;
inline constexpr int HelpFileIsCreated = 10056;
inline constexpr int HelpErrorMessages = 10057;
inline constexpr int HelpViewingHeading = 10058;
inline constexpr int HelpFileIsDisplayed = 10059;
inline constexpr int HelpHtmlFileViewer = 10060;
inline constexpr int HelpOtherFileViewer = 10061;
inline constexpr int HelpTextFileViewerSetting = 10062;
inline constexpr int HelpClosingHeading = 10063;
inline constexpr int HelpClickClose = 10064;
} // namespace StringId

} // namespace zandrel
