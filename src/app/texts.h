// Every text the desktop program shows or opens, once. The windows take
// their captions, tips and messages from here, so a wording is changed in
// one place and a test can look a text up by name. Constants only.
#pragma once

namespace cs::app::texts {

// The maker's web address; the links and the Instructions page are built
// from it (a reserved name: the program has no site of its own yet).
#define CS_SITE L"https://clonesifter.example"
inline constexpr wchar_t kSiteRoot[] = CS_SITE L"/";
inline constexpr wchar_t kSiteAbout[] = CS_SITE L"/clonesifter/about.php";
inline constexpr wchar_t kSiteHelp[] = CS_SITE L"/clonesifter/";
inline constexpr wchar_t kSiteStartScan[] = CS_SITE L"/clonesifter/#start_scan";
// The site link shows the address itself; with "Powered by" before it the
// text wraps in the pane's 170 pixels and its second line is cut off.
inline constexpr wchar_t kSiteLink[] = L"<a>clonesifter.example</a>";
#undef CS_SITE
inline constexpr wchar_t kVersionLink[] = L"Version <a>1.0.0.0</a>";
inline constexpr wchar_t kHelpLink[] = L"Go to the <a>online help</a>";

// Main window.
inline constexpr wchar_t kMainClass[] = L"CLONESIFTER_WND";
inline constexpr wchar_t kMainTitle[] = L"Clonesifter";
inline constexpr wchar_t kScanSection[] = L"1 - Scan: ";
inline constexpr wchar_t kStartScan[] = L"Start a new scan";
inline constexpr wchar_t kStartScanTip[] = L"Setup and start a new search for duplicate files";
inline constexpr wchar_t kAnalyzeSection[] = L"2 - Analyze and select:";
inline constexpr wchar_t kFindPlaceholder[] = L"Find in the list (Ctrl+F)";
inline constexpr wchar_t kFindNext[] = L"Find next (F3)";
inline constexpr wchar_t kFindNextTip[] = L"Find the next row that holds the text of the find box";
inline constexpr wchar_t kOpenLocation[] = L"Open location";
inline constexpr wchar_t kOpenLocationTip[] = L"Open the location of the highlighted file";
inline constexpr wchar_t kSelect[] = L"Select...";
inline constexpr wchar_t kSelectTip[] = L"Select items based on the desired criteria";
inline constexpr wchar_t kRemovalSection[] = L"3 - Removal options:";
inline constexpr wchar_t kRecycle[] = L"Move to the recycle bin";
inline constexpr wchar_t kDeletePermanently[] = L"Delete permanently";
inline constexpr wchar_t kDeleteTicked[] = L"Delete ticked files";
inline constexpr wchar_t kDeleteTickedTip[] = L"Delete all the files that are checked in the list";
inline constexpr wchar_t kColumnHeadings[] = L" Full path\n File name\n Size";
inline constexpr wchar_t kFolderSection[] = L"Duplicate folder names";
inline constexpr wchar_t kFileSection[] = L"Duplicate files";
inline constexpr wchar_t kZeroByteSection[] = L"Empty (zero-byte) files";
inline constexpr wchar_t kStartTip[] =
    L"To get started, click 'Start a new scan' and then indicate the scan's\r\nroot folder, file "
    L"matching criteria and other scan options.";

// Find, copy path.
inline constexpr wchar_t kFindReachedEnd[] = L"Find reached the end of the list";
inline constexpr wchar_t kPathCopied[] = L"The selected path was copied to the clipboard.";
inline constexpr wchar_t kShellCannotName[] =
    L"Windows cannot open this item by its name: a name ends with a dot or a space, is a device "
    L"name, or the path is 260 characters or longer.";

// The "Select..." menu, in its order.
inline constexpr wchar_t kKeepFirst[] = L"Keep the first item in each match group\tCtrl+B";
inline constexpr wchar_t kKeepLast[] = L"Keep the last item in each match group\tAlt+B";
inline constexpr wchar_t kKeepSmallest[] =
    L"Compare path/file name length, keep the smallest\tCtrl+L";
inline constexpr wchar_t kKeepBiggest[] = L"Compare path/file name length, keep the biggest\tAlt+L";
inline constexpr wchar_t kTickFolder[] = L"Tick all files inside this folder\tCtrl+I";
inline constexpr wchar_t kUntickFolder[] = L"Untick all files inside this folder\tAlt+I";
inline constexpr wchar_t kTickAll[] = L"Tick all\tCtrl+A";
inline constexpr wchar_t kUntickAll[] = L"Untick all\tCtrl+N";
inline constexpr wchar_t kKeepOldest[] = L"Compare file age, keep the oldest\tCtrl+G";
inline constexpr wchar_t kKeepNewest[] = L"Compare file age, keep the newest\tAlt+G";

// Context menu of the list.
inline constexpr wchar_t kMenuOpenLocation[] = L"Open path location\tDouble-click";
inline constexpr wchar_t kMenuCopyPath[] = L"Copy path\tCtrl+C";
inline constexpr wchar_t kMenuPreview[] = L"Preview selected file\tAlt+Enter";
inline constexpr wchar_t kMenuCompare[] = L"Compare\tAlt+C";

// Scan.
inline constexpr wchar_t kScanning[] = L"Currently scanning...";
inline constexpr wchar_t kNoDuplicates[] =
    L"We could not find any duplicate files using the selected criteria.\r\nTry performing the "
    L"scan again using a different criteria.";
inline constexpr wchar_t kDuplicatesFound[] =
    L"The list below shows groups of identical files, acording to the selected criteria.\r\nUse "
    L"the buttons in the right pane to easily select the desired items to delete.\r\nRight-click "
    L"any item in the list for more options (preview, compare, and more).";
// The end tip when the root folder itself could not be listed.
inline constexpr wchar_t kRootNotListed[] =
    L"The folder to scan could not be opened, so nothing was searched.\r\nChoose another "
    L"folder, or check that you may read this one.";
// The end tip of a cancelled scan, whatever the rows: "no duplicates" would
// be told about places nobody looked at.
inline constexpr wchar_t kScanCancelled[] =
    L"The scan was cancelled. The list shows only the duplicates found before that.";
// A second scan while one runs, or while a removal does, would rewrite the
// options and results the running worker reads.
inline constexpr wchar_t kScanAlreadyRunning[] =
    L"A scan or a removal is running. Please wait for it to end, or cancel it, before starting a "
    L"new scan.";
inline constexpr wchar_t kScanNotStarted[] =
    L"The scan could not be started: Windows could not create its worker thread. Please try "
    L"again.";
// The end tip of a scan whose worker ended in an unexpected error.
inline constexpr wchar_t kScanFailed[] =
    L"The scan stopped on an unexpected error. The list shows only the duplicates found before "
    L"that.";
// The line the end tip gains when the scan could not look everywhere;
// %llu are the folders that could not be listed and the files that could
// not be read.
inline constexpr wchar_t kSkippedLine[] =
    L"\r\nNot checked: %llu folder(s) could not be opened, %llu file(s) could not be read.";

// Removal. The report after a removal is the removal engine's own
// sentence (removal::RemovalReport), the one the command line prints too.
inline constexpr wchar_t kNothingTicked[] =
    L"Please tick at least one item for removal before using this option.";
inline constexpr wchar_t kConfirmDelete[] = L"Are you sure you want to delete the selected files?";
inline constexpr wchar_t kPreparingToDelete[] = L"Preparing to delete...";
inline constexpr wchar_t kDeletingFiles[] = L"Deleting the selected files...";
// Asked before the question above when ticked items have no copy that stays
// and was proven to hold the same bytes; %d is how many.
inline constexpr wchar_t kUnverifiedOne[] =
    L"1 ticked item could not be verified: no copy of it that stays was proven to hold the same "
    L"contents.\r\nDelete it anyway? \"No\" keeps it and deletes only the verified items.";
inline constexpr wchar_t kUnverifiedMany[] =
    L"%d ticked items could not be verified: no copy of them that stays was proven to hold the "
    L"same contents.\r\nDelete them anyway? \"No\" keeps them and deletes only the verified "
    L"items.";
inline constexpr wchar_t kRemovalNotStarted[] =
    L"The removal could not be started, so nothing was deleted. The ticked items are still "
    L"checked in the list.";
// A removal worker (checking or deleting) ended in an unexpected error;
// the rows of what went are gone already, so the ticked ones still stand.
inline constexpr wchar_t kRemovalFailed[] =
    L"The removal stopped on an unexpected error. The items still checked in the list were not "
    L"deleted.";
// The report after a cancel that left ticked items unhandled: the engine's
// sentence would count only the failures and call the rest deleted.
inline constexpr wchar_t kCancelledOne[] =
    L"The removal was cancelled: 1 item was not deleted. It is still checked in the list.";
inline constexpr wchar_t kCancelledMany[] =
    L"The removal was cancelled: %d items were not deleted. Those are still checked in the list.";
// The report's first line when every item not deleted was kept by the
// user's own answer, then one line per reason, each ending in its count.
inline constexpr wchar_t kDeletedExceptBelow[] =
    L"The selected files have been deleted, except those listed below.";
inline constexpr wchar_t kReasonEveryCopyTicked[] =
    L"Not deleted because every copy of it was ticked: ";
inline constexpr wchar_t kReasonChangedOnDisk[] =
    L"Not deleted because it changed on disk after the scan: ";
inline constexpr wchar_t kReasonKeeperChanged[] =
    L"Not deleted because the copy to keep changed or is gone: ";
inline constexpr wchar_t kReasonUnreadable[] =
    L"Not deleted because it could not be read to compare: ";
inline constexpr wchar_t kReasonLinkOrOtherDrive[] =
    L"Not deleted because it is a link or on another drive: ";
inline constexpr wchar_t kReasonWindowsRefused[] =
    L"Not deleted because Windows refused (in use, no permission, or not taken by the recycle "
    L"bin): ";
inline constexpr wchar_t kReasonKeptByChoice[] =
    L"Kept, as you chose, because no copy was proven identical: ";
inline constexpr wchar_t kReasonHoldsLastCopy[] =
    L"Not deleted because it is a folder holding a file whose every copy would go: ";
inline constexpr wchar_t kReasonShellName[] =
    L"Not deleted because the recycle bin cannot take its name (a name ends with a dot or a "
    L"space, is a device name, or the path is too long): ";
inline constexpr wchar_t kReasonNotListed[] =
    L"Not deleted because it is no longer the item this scan listed: ";
// Said before the question when groups have every copy ticked; %d is how
// many groups.
inline constexpr wchar_t kEveryCopyTickedOne[] =
    L"In 1 group every copy is ticked; one copy of it will be kept.";
inline constexpr wchar_t kEveryCopyTickedMany[] =
    L"In %d groups every copy is ticked; one copy of each will be kept.";
// The preparing step before the question: %d checked of %d ticked items;
// the second form adds the bytes compared of those to compare.
inline constexpr wchar_t kPreparingItems[] = L"Preparing to delete...\r\nChecked %d of %d items";
inline constexpr wchar_t kPreparingBytes[] =
    L"Preparing to delete...\r\nChecked %d of %d items, %ls of %ls compared";
// A cancel while preparing: %d checked of %d ticked items.
inline constexpr wchar_t kPreparingCancelled[] =
    L"Nothing was deleted.\r\nThe preparation was cancelled after %d of %d ticked items had been "
    L"checked.";

// "Preview selected file" on a type Windows would execute; %ls is the
// item's name.
inline constexpr wchar_t kWouldRun[] =
    L"%ls is a program or a shortcut. Opening it will run it. Open it anyway?";

// A removal while a scan rebuilds the list would work on rows that change
// under it.
inline constexpr wchar_t kWaitForScan[] =
    L"A scan is still running. Please wait for it to end, or cancel it, before deleting files.";

// Scan setup window.
inline constexpr wchar_t kSetupClass[] = L"_CLONESIFTER_ROOT_WND";
inline constexpr wchar_t kSetupTitle[] = L"Duplicate files scan";
inline constexpr wchar_t kRootSection[] = L"Indicate the scan's root folder:";
inline constexpr wchar_t kBrowse[] = L"Browse";
inline constexpr wchar_t kRecursive[] = L"Recursively scan sub-folders";
inline constexpr wchar_t kSimilarFolders[] = L"Also match similar folder names";
inline constexpr wchar_t kPresetSection[] = L"Select the desired preset:";
inline constexpr wchar_t kNamesSection[] = L"Size and file name matching:";
inline constexpr wchar_t kSameSize[] =
    L"Match only same size files (recommended with another criteria)";
inline constexpr wchar_t kSimilarNames[] =
    L"Match files having similar file names ('a.jpg' matches 'a - copy.jpg' and 'a (2).jpg)'";
inline constexpr wchar_t kExactNames[] = L"Match only files having the same exact file names";
inline constexpr wchar_t kSameExtension[] = L"Match only files having the same file extension";
inline constexpr wchar_t kNoNames[] = L"Do not compare any file names";
inline constexpr wchar_t kContentsSection[] = L"File contents matching:";
inline constexpr wchar_t kSimilarContents[] =
    L"Match files with similar file contents (only a portion of the contents are checked)";
inline constexpr wchar_t kExactContents[] = L"Match only files with the same exact contents";
inline constexpr wchar_t kNoContents[] = L"Do not compare any file contents (much faster)";
inline constexpr wchar_t kTypesSection[] = L"File types to scan:";
inline constexpr wchar_t kAllFiles[] = L"All files";
inline constexpr wchar_t kExtensionsLabel[] =
    L"Additional file extensions to scan, coma separated:";
inline constexpr wchar_t kStartSection[] = L"Start the scan:";
inline constexpr wchar_t kListZeroByte[] = L"Also list all zero-byte files";
inline constexpr wchar_t kCancel[] = L"Cancel";
inline constexpr wchar_t kInstructions[] = L"Instructions";
inline constexpr wchar_t kStartNow[] = L"Start the scan now";
inline constexpr wchar_t kInvalidRoot[] =
    L"The root path you specified is not valid. To easily indicate a valid path, click the "
    L"'Browse' button.";
inline constexpr wchar_t kPickerTitle[] = L"Indicate the root folder to scan";

// Preview window.
inline constexpr wchar_t kPreviewClass[] = L"_CLONESIFTER_PREVIEW_WND";
inline constexpr wchar_t kPreviewTitle[] = L"Duplicate files preview";
inline constexpr wchar_t kPreviewNotAvailable[] = L"\r\nPreview\r\n\r\nnot\r\n\r\navailable";
inline constexpr wchar_t kListItemIndex[] = L"List item index: ";
inline constexpr wchar_t kCheckedForRemoval[] = L"Checked for removal";
inline constexpr wchar_t kFileSizeLabel[] = L"File size:";
inline constexpr wchar_t kParentFolderLabel[] = L"Parent folder:";
inline constexpr wchar_t kFileNameLabel[] = L"File name:";
// Compare without a highlighted row.
inline constexpr wchar_t kCompareNeedsRow[] =
    L"Please highlight a row of the list first: Compare shows the files of that row's group "
    L"side by side.";

}  // namespace cs::app::texts
