#include "platform/open_url.h"

#include <QDesktopServices>
#include <QUrl>

namespace vanteo::platform {

bool openUrl(const std::string &url)
{
	// Qt hands the address to the desktop's handler (xdg-open) as a single
	// argument of a detached process.
	return QDesktopServices::openUrl(QUrl(QString::fromStdString(url), QUrl::StrictMode));
}

} // namespace vanteo::platform
