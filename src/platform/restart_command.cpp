#include "platform/restart_command.h"

namespace vanteo::platform
{

std::string powerShellQuote(const std::string &text)
{
	std::string out = "'";
	for (char c : text) {
		out += c;
		if (c == '\'')
			out += '\'';
	}
	out += '\'';
	return out;
}

std::string powerShellRestartScript(int64_t pid, const std::string &exe, const std::string &dir,
				    const std::vector<std::string> &args)
{
	std::string script =
	    "$p = Get-Process -Id " + std::to_string(pid) +
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
	DetachedCommand command{"/bin/sh",
				{"-c", script, "vanteo-restart", std::to_string(pid), exe, dir}};
	command.arguments.insert(command.arguments.end(), args.begin(), args.end());
	return command;
}

} // namespace vanteo::platform
