#include "platform/restart_command.h"

namespace vanteo::platform {

std::string powerShellQuote(const std::string &text)
{
	std::string out = "'";
	for (size_t i = 0; i < text.size(); ++i) {
		const unsigned char c = static_cast<unsigned char>(text[i]);
		// PowerShell ends a single-quoted string at "'" and also at the
		// quotation marks U+2018 to U+201B (UTF-8 E2 80 98 to E2 80 9B);
		// each is written twice to stand for itself.
		if (c == 0xE2 && i + 2 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0x80 &&
		    static_cast<unsigned char>(text[i + 2]) >= 0x98 &&
		    static_cast<unsigned char>(text[i + 2]) <= 0x9B) {
			const std::string mark = text.substr(i, 3);
			out += mark + mark;
			i += 2;
			continue;
		}
		out += text[i];
		if (c == '\'')
			out += '\'';
	}
	out += '\'';
	return out;
}

std::string powerShellRestartScript(int64_t pid, const std::string &exe, const std::string &dir,
				    const std::vector<std::string> &args)
{
	std::string script = "$p = Get-Process -Id " + std::to_string(pid) +
			     " -ErrorAction SilentlyContinue; if ($p -and -not $p.WaitForExit(120000)) { exit }; "
			     "Start-Process -FilePath " +
			     powerShellQuote(exe) + " -WorkingDirectory " + powerShellQuote(dir);
	std::string list;
	for (const std::string &arg : args) {
		std::string one = arg.find(' ') != std::string::npos ? "\"" + arg + "\"" : arg;
		if (!list.empty())
			list += ',';
		list += powerShellQuote(one);
	}
	if (!list.empty())
		script += " -ArgumentList " + list;
	return script;
}

DetachedCommand powerShellRestart(int64_t pid, const std::string &exe, const std::string &dir,
				  const std::vector<std::string> &args)
{
	return {"powershell.exe",
		{"-NoProfile", "-NonInteractive", "-WindowStyle", "Hidden", "-Command",
		 powerShellRestartScript(pid, exe, dir, args)}};
}

DetachedCommand shellRestart(int64_t pid, const std::string &exe, const std::string &dir,
			     const std::vector<std::string> &args, int waitTicks)
{
	// kill -0 tells whether the old process still exists; it gives up
	// (starting nothing) when the process outlives the wait.
	const std::string script = "pid=$1; exe=$2; dir=$3; shift 3; n=0; "
				   "while kill -0 \"$pid\" 2>/dev/null; do "
				   "n=$((n+1)); if [ \"$n\" -gt " +
				   std::to_string(waitTicks) +
				   " ]; then exit 0; fi; sleep 0.1; done; "
				   "cd \"$dir\" && exec \"$exe\" \"$@\"";
	DetachedCommand command{"/bin/sh", {"-c", script, "vanteo-restart", std::to_string(pid), exe, dir}};
	command.arguments.insert(command.arguments.end(), args.begin(), args.end());
	return command;
}

} // namespace vanteo::platform
