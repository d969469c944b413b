#include "net/SocketMessages.h"

#include <netdb.h>

#include <cerrno>
#include <unordered_map>

namespace qlk {

namespace {

const std::unordered_map<int, const char*>& LayerTexts() {
    static const std::unordered_map<int, const char*> texts = {
        {smTimedOut, "Operation timed out"},
        {smCanceled, "Operation has been canceled"},
        {smServerRequired, "Server property is required"},
        {smInvalidWinsockVersion, "Invalid Winsock version"},
        {smErrorResolving, "Error resolving remote host"},
        {smServiceRequired, "Service name is required"},
        {smProxyPortRequired, "Proxy port is required"},
        {smInvalidUrl, "Invalid URL"},
        {smNotConnected, "You have to connect to the server first"},
        {smServerBusy, "Server is busy"},
        {smFunctionNotFound, "Function %s not found"},
        {smWinsockNotLoaded, "Winsock is not loaded"},
        {smWinsockNotFound, "Winsock not found"},
        {smMailMessageRequired, "MailMessage property must be assigned"},
        {smUserNameRequired, "UserName property is required"},
        {smPasswordRequired, "Password property is required"},
    };
    return texts;
}

// Winsock texts; the full message is "[code] text".
const std::unordered_map<int, const char*>& WinsockTexts() {
    static const std::unordered_map<int, const char*> texts = {
        {10004, "Interrupted function call"},
        {10009, "Bad file number"},
        {10013, "Permission denied."},
        {10014, "Bad address"},
        {10022, "Invalid argument"},
        {10024, "Too many open files"},
        {10035, "Resource temporarily not available"},
        {10036, "Operation now in progress"},
        {10037, "Operation already in progress"},
        {10038, "Socket operation on non-socket"},
        {10039, "Destination address required"},
        {10040, "Message too long"},
        {10041, "Protocol wrong type for socket"},
        {10042, "Bad protocol option"},
        {10043, "Protocol not supported"},
        {10044, "Socket type not supported"},
        {10045, "Operation not supported"},
        {10046, "Protocol family not supported"},
        {10047, "Address family not supported by protocol family"},
        {10048, "Address already in use"},
        {10049, "Cannot assign requested address"},
        {10050, "Network is down"},
        {10051, "Network is unreachable"},
        {10052, "Network dropped connection or reset"},
        {10053, "Software caused connection abort"},
        {10054, "Connection reset by peer"},
        {10055, "No buffer space available"},
        {10056, "Socket is already connected"},
        {10057, "Socket is not connected"},
        {10058, "Can't send after socket shutdown"},
        {10059, "Too many references, can't splice"},
        {10060, "Connection timed out"},
        {10061, "Connection refused"},
        {10062, "Too many levels of symbolic links"},
        {10063, "File name too long"},
        {10064, "Host is down"},
        {10065, "No Route to Host"},
        {10066, "Directory not empty"},
        {10067, "Too many processes"},
        {10068, "Too many users"},
        {10069, "Disc Quota Exceeded"},
        {10070, "Stale NFS file handle"},
        {10071, "Too many levels of remote in path"},
        {10091, "Network subsystem is unavailable"},
        {10092, "WINSOCK DLL Version out of range"},
        {10093, "Successful WSAStartup() not yet performed"},
        {10094, "Graceful shutdown in progress"},
        {11001, "Host not found"},
        {11002, "Non-Authoritative Host not found"},
        {11003, "Non-Recoverable errors: FORMERR, REFUSED, NOTIMP"},
        {11004, "Valid name, no data record of requested type"},
    };
    return texts;
}

}  // namespace

ErrorKind SocketErrorKind(int code) {
    switch (code) {
        case wsaENETRESET:
        case wsaECONNABORTED:
        case wsaECONNRESET:
        case wsaENOTCONN:
        case wsaESHUTDOWN:
            return ErrorKind::ConnectionLost;
        case smCanceled:
            return ErrorKind::Cancelled;
        case smServerRequired:
        case smInvalidWinsockVersion:
        case smServiceRequired:
        case smProxyPortRequired:
        case smInvalidUrl:
        case smNotConnected:
        case smFunctionNotFound:
        case smWinsockNotLoaded:
        case smWinsockNotFound:
        case smMailMessageRequired:
        case smUserNameRequired:
        case smPasswordRequired:
            return ErrorKind::General;
        default:
            return ErrorKind::Transient;
    }
}

std::string SocketMessageText(int code) {
    if (code == 10000) return "[0] No Error";
    if (auto it = LayerTexts().find(code); it != LayerTexts().end()) return it->second;
    if (auto it = WinsockTexts().find(code); it != WinsockTexts().end()) {
        return "[" + std::to_string(code) + "] " + it->second;
    }
    return "Error #" + std::to_string(code);
}

int WinsockCodeFromErrno(int errnoValue) {
    switch (errnoValue) {
        case EINTR:
            return wsaEINTR;
        case EBADF:
            return wsaEBADF;
        case EACCES:
        case EPERM:
            return wsaEACCES;
        case EFAULT:
            return wsaEFAULT;
        case EINVAL:
            return wsaEINVAL;
        case EMFILE:
        case ENFILE:
            return wsaEMFILE;
        case EAGAIN:
            return wsaEWOULDBLOCK;
        case EINPROGRESS:
            return wsaEINPROGRESS;
        case EALREADY:
            return wsaEALREADY;
        case ENOTSOCK:
            return wsaENOTSOCK;
        case EDESTADDRREQ:
            return wsaEDESTADDRREQ;
        case EMSGSIZE:
            return wsaEMSGSIZE;
        case EPROTOTYPE:
            return wsaEPROTOTYPE;
        case ENOPROTOOPT:
            return wsaENOPROTOOPT;
        case EPROTONOSUPPORT:
            return wsaEPROTONOSUPPORT;
        case ESOCKTNOSUPPORT:
            return wsaESOCKTNOSUPPORT;
        case EOPNOTSUPP:
            return wsaEOPNOTSUPP;
        case EPFNOSUPPORT:
            return wsaEPFNOSUPPORT;
        case EAFNOSUPPORT:
            return wsaEAFNOSUPPORT;
        case EADDRINUSE:
            return wsaEADDRINUSE;
        case EADDRNOTAVAIL:
            return wsaEADDRNOTAVAIL;
        case ENETDOWN:
            return wsaENETDOWN;
        case ENETUNREACH:
            return wsaENETUNREACH;
        case ENETRESET:
            return wsaENETRESET;
        case ECONNABORTED:
            return wsaECONNABORTED;
        case ECONNRESET:
        case EPIPE:
            return wsaECONNRESET;
        case ENOBUFS:
        case ENOMEM:
            return wsaENOBUFS;
        case EISCONN:
            return wsaEISCONN;
        case ENOTCONN:
            return wsaENOTCONN;
        case ESHUTDOWN:
            return wsaESHUTDOWN;
        case ETOOMANYREFS:
            return wsaETOOMANYREFS;
        case ETIMEDOUT:
            return wsaETIMEDOUT;
        case ECONNREFUSED:
            return wsaECONNREFUSED;
        case ELOOP:
            return wsaELOOP;
        case ENAMETOOLONG:
            return wsaENAMETOOLONG;
        case EHOSTDOWN:
            return wsaEHOSTDOWN;
        case EHOSTUNREACH:
            return wsaEHOSTUNREACH;
        case ENOTEMPTY:
            return wsaENOTEMPTY;
        case EUSERS:
            return wsaEUSERS;
        case EDQUOT:
            return wsaEDQUOT;
        case ESTALE:
            return wsaESTALE;
        case EREMOTE:
            return wsaEREMOTE;
        default:
            return errnoValue;
    }
}

int WinsockCodeFromResolver(int eaiValue, int errnoValue) {
    switch (eaiValue) {
        case EAI_NONAME:
            return wsaHOST_NOT_FOUND;
        case EAI_AGAIN:
            return wsaTRY_AGAIN;
        case EAI_FAIL:
            return wsaNO_RECOVERY;
#ifdef EAI_NODATA
        case EAI_NODATA:
            return wsaNO_DATA;
#endif
#ifdef EAI_ADDRFAMILY
        case EAI_ADDRFAMILY:
            return wsaNO_DATA;
#endif
        case EAI_FAMILY:
            return wsaEAFNOSUPPORT;
        case EAI_MEMORY:
            return wsaENOBUFS;
        case EAI_SYSTEM:
            return WinsockCodeFromErrno(errnoValue);
        default:
            return wsaNO_RECOVERY;
    }
}

}  // namespace qlk
