#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/Exception.h"

namespace qlk {

// One reply of a line-protocol server (POP3, SMTP, FTP) with the command it
// answers. Replies are read into it by the socket layer, and a refusal
// carries it in EServerError, so that callers decide on the code and never
// on the text.
//
//   const ServerReply& reply = error.Reply();
//   reply.Command()   "PASS ****" (secrets masked), "" for a greeting
//   reply.Code()      550; for POP3 1 ("+OK"), -1 ("-ERR"), 0 (neither)
//   reply.Class()     5 (the code's first digit; 0 for POP3 or no code)
//   reply.Lines()     every line, continuation lines included
//   reply.Kind()      what a failure with this reply is (Exception.h)
class ServerReply {
public:
    // How the protocol marks a reply: a three-digit code, continuation
    // lines with "-" after it (SMTP, FTP), or a status indicator on one
    // line, "+OK" or "-ERR" (POP3).
    enum class Form { Numeric, Status };

    ServerReply() = default;
    ServerReply(Form form, std::string command) : form_(form), command_(std::move(command)) {}

    // The code of a line as the form reads it: the first three characters as
    // a decimal number, -1 when they are not one (Numeric); 1 for "+", -1
    // for "-", 0 for anything else (Status).
    static int NumericCode(std::string_view line);
    static int StatusCode(std::string_view line);
    int CodeOf(std::string_view line) const;

    // Adds a line as read, without its line end; the first line gives the code.
    void AddLine(std::string line);
    // The server closed the connection before the reply's last line.
    void MarkCut() { cut_ = true; }

    const std::string& Command() const { return command_; }
    int Code() const { return code_; }
    int Class() const { return form_ == Form::Numeric && code_ > 0 ? code_ / 100 : 0; }
    const std::vector<std::string>& Lines() const { return lines_; }
    // The reply came whole: at least one line, and not cut short.
    bool Complete() const { return !lines_.empty() && !cut_; }
    // The last line of a complete reply; "" when the reply was cut short or
    // never came (what the reply checks report then).
    const std::string& LastLine() const;
    // What a failure with this reply is: ConnectionLost when it was cut
    // short or never came; Transient for 4xx and for the POP3 response codes
    // [IN-USE], [LOGIN-DELAY] and [SYS/TEMP]; Permanent for 5xx and every
    // other "-ERR"; Transient for anything else a check did not expect (a
    // reply in the wrong class, a line without a code).
    ErrorKind Kind() const;

private:
    bool Pop3Temporary() const;

    Form form_ = Form::Numeric;
    std::string command_;
    int code_ = -1;
    std::vector<std::string> lines_;
    bool cut_ = false;
};

}  // namespace qlk
