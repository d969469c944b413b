#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qlk::test {

// An in-process TCP server on 127.0.0.1 and a random free port that plays a
// script to the client connecting to it and records what it received. The
// script runs on its own thread; build it, then Start().
//
//   ScriptServer server;
//   server.Send("+OK ready\r\n").Line().Send("+OK\r\n");
//   server.Start();
//   ... client connects to server.Address() ...
//   server.Join();
//   EXPECT_EQ(server.Lines(), (std::vector<std::string>{"USER u"}));
class ScriptServer {
public:
    enum class Family { IPv4, IPv6 };
    // Listens on 127.0.0.1, or on ::1.
    explicit ScriptServer(Family family = Family::IPv4);
    ~ScriptServer();
    ScriptServer(const ScriptServer&) = delete;
    ScriptServer& operator=(const ScriptServer&) = delete;

    std::uint16_t Port() const { return port_; }
    // "127.0.0.1:PORT" or "[::1]:PORT", ready for a client's Server property.
    std::string Address() const;

    // Sends bytes in one write.
    ScriptServer& Send(std::string bytes);
    // Sends each piece as its own TCP segment, with a short pause between.
    ScriptServer& SendSplit(std::vector<std::string> pieces);
    // Reads one line (through LF) and records it without its line end.
    ScriptServer& Line();
    // Reads a data block through the line "." and records it whole.
    ScriptServer& Data();
    // Reads `count` bytes and records them as a data block.
    ScriptServer& Bytes(std::size_t count);
    // Closes the connection (the client sees the end of the stream).
    ScriptServer& Drop();
    // Closes the connection with a reset.
    ScriptServer& Abort();
    // Does nothing for a while.
    ScriptServer& Stall(std::chrono::milliseconds time);
    // Sends `bytes` again and again, `every` apart, until the client closes
    // or `limit` has passed: a server that trickles.
    ScriptServer& Trickle(std::string bytes, std::chrono::milliseconds every,
                          std::chrono::milliseconds limit);
    // The port of a second listener on the same address, for a connection
    // the client opens itself (an FTP passive data connection).
    std::uint16_t DataPort();
    // Accepts the client's connection to DataPort() and hands it to `serve`,
    // which closes it.
    ScriptServer& ServeData(std::function<void(int fd)> serve);
    // Closes the current connection and waits for the next one.
    ScriptServer& Accept();
    // Runs a step of the test's own (on the server's thread), e.g. opening a
    // second connection the protocol asks for.
    ScriptServer& Do(std::function<void()> step);

    // Starts playing: the first step runs once a client has connected.
    void Start();
    // Waits for the end of the script; after the last step the server keeps
    // reading until the client closes (at most a few seconds).
    void Join();

    // What the client sent, once Join returned.
    std::vector<std::string> ReceivedLines() const;
    std::vector<std::string> ReceivedData() const;
    // Every byte the client sent, in order.
    std::string ReceivedBytes() const;
    // Connections accepted.
    int Connections() const;

private:
    struct Step;
    void Add(std::function<void()> run);
    void Run();
    void AcceptOne();
    void CloseConnection(bool reset);
    bool ReadMore();
    std::string TakeLine();

    int listener_ = -1;
    int dataListener_ = -1;
    std::uint16_t dataPort_ = 0;
    int connection_ = -1;
    std::uint16_t port_ = 0;
    Family family_;
    std::vector<Step> steps_;
    std::thread thread_;
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
    std::vector<std::string> data_;
    std::string bytes_;
    std::string pending_;
    int connections_ = 0;
};

// A port on 127.0.0.1 that was free a moment ago, for servers started as
// separate processes.
std::uint16_t FreeLoopbackPort();

}  // namespace qlk::test
