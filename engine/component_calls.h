// The numbers of the two notification paths of the component tree.
//
// Component calls (negative) travel down: a container hands them, with a
// parameter object, to its own helpers of type 9000 (dialogs, dialog
// managers, TGrabCall). Information events (positive) travel up: a file or
// sub-container reports to its container, which handles them while it is
// busy and passes them on to its own container.
#pragma once

namespace brimwell {

// --- Component calls --------------------------------------------------------
inline constexpr int kCallInstallTypeDialog = -999;   // in Process, after -990, with Include
inline constexpr int kCallProgress = -998;            // file progress (TFileStatusParameter)
inline constexpr int kCallReplacing = -997;           // a file is being replaced (the file)
inline constexpr int kCallPassDone = -996;            // end of a compress, install or copy pass
inline constexpr int kCallGoodInstall = -995;         // good-install notification
inline constexpr int kCallBadInstall = -994;          // bad-install notification
inline constexpr int kCallNewDisk = -993;             // next disk needed (TList [file, TDiskParameter])
inline constexpr int kCallBeforeInstallObjects = -992;  // before a file container's helpers install
inline constexpr int kCallBeforeLinks = -991;         // before a link group makes its links
inline constexpr int kCallBeforeProcess = -990;
inline constexpr int kCallAfterProcess = -989;
inline constexpr int kCallDownloadProgress = -988;    // TDownloadStatusParameter
inline constexpr int kCallRebootNeeded = -987;
inline constexpr int kCallRunStart1 = -986;           // start of a run, free for projects
inline constexpr int kCallBeforeReadArchiveInfo = -984;
inline constexpr int kCallAfterReadArchiveInfo = -983;
inline constexpr int kCallWelcome = -982;
inline constexpr int kCallLicense = -981;
inline constexpr int kCallBeforeInstallManager = -980;  // the dmBeforeInstall dialog managers
inline constexpr int kCallGoodInstallManager = -979;
inline constexpr int kCallBadInstallManager = -978;
inline constexpr int kCallReadme = -977;
inline constexpr int kCallRunStart2 = -976;           // start of a run, free for projects
inline constexpr int kCallRunStart3 = -975;           // start of a run, free for projects
inline constexpr int kCallShowStatus = -974;          // TMessageParameter
inline constexpr int kCallHideStatus = -973;

// --- Information events -----------------------------------------------------
inline constexpr int kEventInstalled = 1001;
inline constexpr int kEventInstallStarting = 1002;
inline constexpr int kEventReplacing = 1003;
inline constexpr int kEventCompressStarting = 1004;
inline constexpr int kEventCompressed = 1005;
inline constexpr int kEventCopyStarting = 1006;
inline constexpr int kEventCopied = 1007;
inline constexpr int kEventInstallProgress = 1008;
inline constexpr int kEventCompressProgress = 1009;
inline constexpr int kEventCopyProgress = 1010;
inline constexpr int kEventNewDisk = 1011;
inline constexpr int kEventContainerStarting = 1012;
inline constexpr int kEventContainerEnding = 1013;
inline constexpr int kEventDownloadProgress = 1014;
inline constexpr int kEventInstallCancelled = 1015;
inline constexpr int kEventSkippedByOverwriteRule = 1016;

// The component type numbers; they fix the order in which a container
// processes its helpers.
inline constexpr int kTypeFileContainer = 1000;
inline constexpr int kTypeInstallFile = 2000;
inline constexpr int kTypeIniFile = 4000;
inline constexpr int kTypeShellLinkGroup = 7000;
inline constexpr int kTypeShellLink = 8000;
inline constexpr int kTypeRegistry = 8500;
inline constexpr int kTypeCallReceiver = 9000;

}  // namespace brimwell
