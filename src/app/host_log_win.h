// The host's diagnostic log: host.log in the user-data folder, for whoever supports a player.
// One UTF-8 line per event, each beginning with the UTC time. It holds what the host decided and
// what it found (versions, modes, failures and their codes, the exit code), never the page's
// messages or the content of any file. A folder that cannot be written leaves the run as it is:
// the lines are dropped without a box and without waiting.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The log's file name in the user-data folder, and the name its older part moves to.
inline constexpr char kHostLogName[] = "host.log";
inline constexpr char kHostLogOlderName[] = "host.log.1";
// The most host.log holds: a line that would make it longer first moves it to host.log.1
// (replacing an earlier one), so both together never pass twice this.
inline constexpr std::uint64_t kHostLogLimit = 1024 * 1024;

// The longest event text a line holds; a longer one is cut.
inline constexpr size_t kHostLogEventLimit = 4096;

// Makes the folder if needed (not its parents) and directs the following lines to its host.log.
// Called again with another folder, it moves the log there.
void OpenHostLog(const std::string& userDataFolderUtf8);
// Appends one line; line breaks inside `event` become spaces, and it is cut after
// kHostLogEventLimit bytes. Does nothing before OpenHostLog.
void WriteHostLog(const std::string& event);

// The line for a start that failed: the text of the box the user saw and the result code,
// `start failed: "TEXT" (HRESULT 0x80070002)`.
void WriteStartFailureToHostLog(const std::string& boxText, long result);
// "0x80070002": a result code as the log writes it.
std::string HResultText(long result);
// The result code of the platform call that just failed (GetLastError as an HRESULT); E_FAIL
// when it left no error code, never 0, which would read as success.
long LastErrorResult();

// The line WriteHostLog writes for `event` at the given UTC time (broken down as SYSTEMTIME has
// it): "YYYY-MM-DDTHH:MM:SS.mmmZ event\r\n".
std::string FormatHostLogLine(const std::string& event, int year, int month, int day, int hour,
                              int minute, int second, int millisecond);
