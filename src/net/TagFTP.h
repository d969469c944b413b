#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "net/TagFTPDirList.h"
#include "net/TagSocket.h"

namespace qlk {

enum TTransferType { ftBinary, ftASCII };
// How an FTP proxy is told the real host: "USER name@host", or "OPEN host"
// before an ordinary log-in.
enum TFTPProxyType { fpUserNoLogon, fpProxyOpen };

// The FTP client: logs in directly or through an FTP proxy, changes
// directory, lists a directory into DirList and retrieves files. Data
// connections are passive first (EPSV, then PASV: the client connects, which
// works behind NAT), active (the client listens, the server connects back)
// when the server refuses both. Either way the data connection runs only
// to or from the control connection's peer address, whatever address the
// server names, and every wait for it is bounded by TimeOut; a file is
// replaced only by a complete download.
class TagFTP : public TagSocket {
public:
    // Most bytes a listing may have; a server that sends more fails the List.
    static constexpr std::size_t MaxListingBytes = 16 * 1024 * 1024;
    // Bounds of TrasferBufferSize.
    static constexpr unsigned MaxTransferBuffer = 1024 * 1024;

    TagFTP();
    ~TagFTP() override;

    std::string UserName;
    std::string Password;
    TTransferType TransferType = ftBinary;
    TNotifyEvent OnTransferStart, OnTransferEnd;
    // (Sender, -1, bytes received so far) for every chunk of a transfer,
    // (Sender, 0, 0) before it starts.
    TmsProgressEvent OnTransferProgress;
    // The entries of the last listing.
    TagFTPDirList DirList;
    // Bytes per receive call on the data connection (1 .. MaxTransferBuffer).
    unsigned TrasferBufferSize = 2048;
    bool UseProxy = false;
    TFTPProxyType ProxyType = fpUserNoLogon;
    // Passive data connections first; false: active only.
    bool Passive = true;
    // Most bytes Get accepts (-1: no limit); a larger file fails the Get and
    // ends the session, so that a server cannot fill the disk.
    long long MaxGetSize = -1;

    // "host:port" of the FTP proxy.
    const std::string& Proxy() const { return proxy_; }
    // A non-empty value without ":" raises ESocketError "Proxy port is
    // required" and is not stored.
    void SetProxy(const std::string& value);
    TServerType ServerType() const { return DirList.ServerType; }
    void SetServerType(TServerType type) { DirList.ServerType = type; }

    void Reset() override;
    void Open() override;
    // Also closes a data connection and a listener that are still open.
    void Close() override;

    // Opens and logs in unless connected; through the proxy when UseProxy,
    // with Server holding the real host again afterwards on every path.
    void Connect();
    // Logs out and closes while connected.
    void Disconnect();
    void Login();
    void Logout();
    void ChangeDir(const std::string& dir);
    // Lists the current directory into DirList.
    void List();
    // Copies a remote file into LocalName. The old LocalName stays as it was
    // unless the transfer and the server's final reply both succeeded.
    void Get(const std::string& remoteName, const std::string& localName);

private:
    using Sink = std::function<void(std::string_view bytes)>;

    // TYPE, the data connection, `command` and its replies; the data goes to
    // `sink`.
    void Transfer(const std::string& type, const std::string& command, const Sink& sink);
    // Connects the data connection the passive way; false when the server
    // refuses it (a refusal is remembered for the rest of the session).
    bool OpenPassiveData();
    // The port of a passive reply to `command`; 0 when refused or unusable.
    std::uint16_t AskPassivePort(const std::string& command, int code);
    void ConnectData(std::uint16_t port);
    void ListenForData();
    void SendDataAddress();
    void AcceptData();
    bool FromControlPeer(const sockaddr_storage& address) const;
    void ReceiveData(const Sink& sink);
    void CloseListener() noexcept;
    void CloseData() noexcept;
    void FireTransferProgress(int perc, long long transferred);
    [[noreturn]] void RaiseTransferFailure();

    int listener_ = -1;
    int data_ = -1;
    std::string proxy_;
    std::string realHost_;
    bool listingBusy_ = false;
    bool fileTransferBusy_ = false;
    bool dataClosed_ = false;
    bool epsvRefused_ = false;
    bool pasvRefused_ = false;
};

}  // namespace qlk
