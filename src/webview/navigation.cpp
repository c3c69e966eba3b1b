#include "webview/navigation.h"

namespace vanteo::webview {

bool isLocalPage(const QUrl &url, int port)
{
	if (!url.isValid() || url.scheme() != QLatin1String("http") || port <= 0 || url.port() != port)
		return false;
	if (!url.userInfo().isEmpty())
		return false;
	const QString host = url.host();
	return host == QLatin1String("localhost") || host == QLatin1String("127.0.0.1") ||
	       host.endsWith(QLatin1String(".localhost"));
}

Navigation decideNavigation(const QUrl &url, int port, bool page)
{
	if (isLocalPage(url, port))
		return Navigation::Load;
	// Only web addresses leave the plug-in; other schemes could start
	// arbitrary desktop handlers.
	const QString scheme = url.scheme();
	if (page && url.isValid() && !url.host().isEmpty() &&
	    (scheme == QLatin1String("https") || scheme == QLatin1String("http")))
		return Navigation::OpenOutside;
	return Navigation::Refuse;
}

} // namespace vanteo::webview
