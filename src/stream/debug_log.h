// The viewer's diagnostic log: one time-stamped line per event, appended to a plain file.
// The motion-setup module keeps no log.
#pragma once

#include <ctime>
#include <string>
#include <string_view>

namespace kv {

inline constexpr std::size_t kMaxLogLine = 247;  // formatted line, newline included

// "YYYY/MM/DD hh:mm:ss message\n", cut so that the whole line holds at most 247 characters.
std::string FormatLogLine(const std::tm& localTime, std::string_view message);

// Opens the log, appends one line stamped with the local time, closes it. Silent when the
// file cannot be opened.
void WriteLogLine(std::string_view message);

// Writes the line when toFile is not 0 and this module keeps a log.
void DebugMessage(std::string_view message, int toFile);

// The module-wide log path: errlog.txt in the per-user state folder unless set.
void SetLogPath(std::string path);
std::string LogPath();

// The URL as it may appear in a log line: any user name or password is removed.
std::string RedactUrlCredentials(std::string_view url);

} // namespace kv
