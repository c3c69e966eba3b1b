#include "platform/restart.h"

#include "platform/restart_command.h"

#include <QProcess>
#include <QStringList>

namespace vanteo::platform {

bool startRestartHelper(int64_t pid, const std::string &exe, const std::string &dir,
			const std::vector<std::string> &args)
{
	const DetachedCommand command = restartCommand(pid, exe, dir, args);
	QStringList list;
	for (const std::string &arg : command.arguments)
		list << QString::fromStdString(arg);
	return QProcess::startDetached(QString::fromStdString(command.program), list);
}

} // namespace vanteo::platform
