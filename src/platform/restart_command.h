#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The commands that relaunch the host after an update: a detached helper
// waits for the old process to end (up to 120 seconds) and then starts the
// same program, in its folder, with the same arguments. Pure text building,
// so both forms are checked on every platform.
namespace vanteo::platform {

struct DetachedCommand {
	std::string program;
	std::vector<std::string> arguments;
};

// "'" + text with every single quotation mark PowerShell knows ("'" and
// U+2018 to U+201B, text being UTF-8) doubled + "'".
std::string powerShellQuote(const std::string &text);

// The PowerShell script for Windows: waits for `pid` (120000 ms), then
// Start-Process of exe in dir. Each argument containing a blank is wrapped in
// double quotes first; every argument is then quoted for PowerShell and the
// list follows " -ArgumentList " joined by ",". No arguments: no list.
std::string powerShellRestartScript(int64_t pid, const std::string &exe, const std::string &dir,
				    const std::vector<std::string> &args);
// powershell.exe -NoProfile -NonInteractive -WindowStyle Hidden -Command <script>
DetachedCommand powerShellRestart(int64_t pid, const std::string &exe, const std::string &dir,
				  const std::vector<std::string> &args);

// The POSIX form: /bin/sh -c <fixed script> vanteo-restart pid exe dir args...
// The script never contains the values; each one reaches it as its own
// positional parameter, so no argument is ever parsed by the shell.
// `waitTicks` counts 100 ms polls of the old process (1200: 120 seconds).
DetachedCommand shellRestart(int64_t pid, const std::string &exe, const std::string &dir,
			     const std::vector<std::string> &args, int waitTicks = 1200);

// The form of the platform being built: shellRestart, or powerShellRestart
// on Windows (restart_posix.cpp, restart_win.cpp).
DetachedCommand restartCommand(int64_t pid, const std::string &exe, const std::string &dir,
			       const std::vector<std::string> &args);

} // namespace vanteo::platform
