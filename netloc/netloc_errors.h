// The exceptions of the network install location and the texts they carry.
// Most are "decorated": the text is followed by the name of the last
// internet error, the server and the server's last answer (see
// TCustomNetInstallLocation). The plain ones carry their text alone.
#pragma once

#include "framework/exception.h"

namespace brimwell {

BRIMWELL_EXCEPTION(ENIL_OpenSession, ENIL);
BRIMWELL_EXCEPTION(ENIL_OpenService, ENIL);
BRIMWELL_EXCEPTION(ENIL_FailDataQuery, ENIL);
BRIMWELL_EXCEPTION(ENIL_ReadFile, ENIL);
BRIMWELL_EXCEPTION(ENIL_FileNotFound, ENIL);
BRIMWELL_EXCEPTION(ENIL_WriteDestFile, Exception);    // plain
BRIMWELL_EXCEPTION(ENIL_FailLoadWININET, Exception);  // plain
BRIMWELL_EXCEPTION(ENIL_FailLoadDLLProc, Exception);  // plain
BRIMWELL_EXCEPTION(ENIL_FTP, ENIL);
BRIMWELL_EXCEPTION(ENIL_FTPSetDir, ENIL_FTP);
BRIMWELL_EXCEPTION(ENIL_FTPOpenFile, ENIL_FTP);
BRIMWELL_EXCEPTION(ENIL_FTPCloseFile, ENIL_FTP);
BRIMWELL_EXCEPTION(ENIL_HTTP, ENIL);
BRIMWELL_EXCEPTION(ENIL_HTTPOpenFile, ENIL_HTTP);
BRIMWELL_EXCEPTION(ENIL_HTTPSendRequest, ENIL_HTTP);
BRIMWELL_EXCEPTION(IENetList, ENIL);

inline constexpr char kFailLoadWininet[] =
    "Failed to load the Wininet.dll. If this is a hybrid installation, you might want to include the "
    "WININET.DLL file in the PresetupFiles property of the TInstall component";
inline constexpr char kFailLoadProcedure[] = "Failed to load the procedure %s from WININET.DLL";
inline constexpr char kCannotOpenInternet[] = "Cannot open internet connection";
inline constexpr char kCannotConnectToHost[] = "Cannot connect to host %s";
inline constexpr char kCannotSetDirectory[] = "Cannot set directory on server to %s";
inline constexpr char kCannotOpenFileOnServer[] = "Cannot open file %s on server";
inline constexpr char kCannotSendRequest[] = "Cannot send request for file %s to the server";
inline constexpr char kCannotCloseFile[] = "Cannot close the file %s on the server";
inline constexpr char kCouldNotQueryFile[] = "Could not query file %s on server";
inline constexpr char kCouldNotReadFile[] = "Could not read from file %s on the server";
inline constexpr char kCouldNotFindFile[] = "Could not find the file %s on the server";
inline constexpr char kCouldNotWriteDest[] = "%s could not write to the local dest file %s";
inline constexpr char kDecoratedError[] = "%s. Error message %s. Server %s. Response from server %s";
inline constexpr char kNoServerResponse[] = "No server response";
inline constexpr char kBlankLocation[] = "Cannot add a blank location to the global net location list";

}  // namespace brimwell
