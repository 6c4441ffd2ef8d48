#pragma once
// The RCI client: TMainForm::SendRciRequest (Button28) posts the content of the file
// named by RciFileName to the LAN module at Edit4's address, port RciPort
// (RciSettings.h), with HTTP Basic authorization; it logs the exchange to
// "logfilex.txt", puts the reply's decoded body (at most 3999 characters, up to its
// first zero byte) into RciReply and enables Timer4 when any body byte arrived.
// Failures end the request with one status text in the status bar; the connection
// and every wait are bounded (RciSocket.h), a time-out showing as error 10060.
//
// Window thread only: the exchange holds the thread until it ends.
#include <cstddef>
#include <string>

namespace tool {

// The request head, every line ended by CR LF, the last line empty. The
// "Content-Length: " line is present only for a body that is not empty.
std::string BuildRciHeader(const std::string& requestLine, size_t bodyLength,
                           const std::string& address, const std::string& credentials);

// Base64 (RFC 4648, "=" padding) of user ":" password.
std::string EncodeCredentials(const std::string& user, const std::string& password);

// The log file that every request creates anew in the working directory.
constexpr const char* RciLogFileName = "logfilex.txt";
// Request files longer than this are refused.
constexpr size_t RciMaxRequest = 1500;

} // namespace tool
