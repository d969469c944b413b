#pragma once

#include <string>

#include "platform/Exception.h"

namespace qlk {

// Numbers of the socket layer's and the mail clients' own messages; the
// socket error numbers (10000 and up) share the same table.
enum SocketMessage : int {
    smTimedOut = 57000,
    smCanceled = 57001,
    smServerRequired = 57002,
    smInvalidWinsockVersion = 57003,
    smErrorResolving = 57004,
    smServiceRequired = 57005,
    smProxyPortRequired = 57006,
    smInvalidUrl = 57007,
    smNotConnected = 57008,
    smServerBusy = 57009,
    smFunctionNotFound = 57010,
    smWinsockNotLoaded = 57011,
    smWinsockNotFound = 57012,
    smMailMessageRequired = 57102,
    smUserNameRequired = 57103,
    smPasswordRequired = 57104,
};

// Winsock numbering of the errors the operating system and the resolver
// report, kept so that every stored and displayed text stays as it was.
enum WinsockError : int {
    wsaEINTR = 10004,
    wsaEBADF = 10009,
    wsaEACCES = 10013,
    wsaEFAULT = 10014,
    wsaEINVAL = 10022,
    wsaEMFILE = 10024,
    wsaEWOULDBLOCK = 10035,
    wsaEINPROGRESS = 10036,
    wsaEALREADY = 10037,
    wsaENOTSOCK = 10038,
    wsaEDESTADDRREQ = 10039,
    wsaEMSGSIZE = 10040,
    wsaEPROTOTYPE = 10041,
    wsaENOPROTOOPT = 10042,
    wsaEPROTONOSUPPORT = 10043,
    wsaESOCKTNOSUPPORT = 10044,
    wsaEOPNOTSUPP = 10045,
    wsaEPFNOSUPPORT = 10046,
    wsaEAFNOSUPPORT = 10047,
    wsaEADDRINUSE = 10048,
    wsaEADDRNOTAVAIL = 10049,
    wsaENETDOWN = 10050,
    wsaENETUNREACH = 10051,
    wsaENETRESET = 10052,
    wsaECONNABORTED = 10053,
    wsaECONNRESET = 10054,
    wsaENOBUFS = 10055,
    wsaEISCONN = 10056,
    wsaENOTCONN = 10057,
    wsaESHUTDOWN = 10058,
    wsaETOOMANYREFS = 10059,
    wsaETIMEDOUT = 10060,
    wsaECONNREFUSED = 10061,
    wsaELOOP = 10062,
    wsaENAMETOOLONG = 10063,
    wsaEHOSTDOWN = 10064,
    wsaEHOSTUNREACH = 10065,
    wsaENOTEMPTY = 10066,
    wsaEPROCLIM = 10067,
    wsaEUSERS = 10068,
    wsaEDQUOT = 10069,
    wsaESTALE = 10070,
    wsaEREMOTE = 10071,
    wsaHOST_NOT_FOUND = 11001,
    wsaTRY_AGAIN = 11002,
    wsaNO_RECOVERY = 11003,
    wsaNO_DATA = 11004,
};

// The text of a table entry; a number without an entry reads "Error #" and
// the number.
std::string SocketMessageText(int code);

// What a failure with this number is: ConnectionLost for a connection the
// peer or the network ended (10052, 10053, 10054, 10057, 10058); Cancelled
// for 57001; General for a missing or invalid setting (57002, 57003, 57005
// to 57008, 57010 to 57012, 57102 to 57104); Transient for everything else
// (a time-out, a refused connection, a name not found, a network down).
ErrorKind SocketErrorKind(int code);

// An errno value as its Winsock number; an errno without a Winsock
// counterpart comes back unchanged and so reads "Error #" and the errno.
int WinsockCodeFromErrno(int errnoValue);

// A getaddrinfo failure (EAI_* and, for EAI_SYSTEM, errno) as its Winsock number.
int WinsockCodeFromResolver(int eaiValue, int errnoValue);

}  // namespace qlk
