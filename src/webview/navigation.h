#pragma once

#include <QUrl>

// Where a view may go. A view shows only pages of the plug-in's local server
// (http://<view>.localhost:<port>/...); a web address elsewhere that a page
// goes to (a link, a new window) belongs in the default browser, and
// anything else (other schemes, frames inside a page) is refused, so a view
// never leaves the local server.
namespace vanteo::webview {

enum class Navigation {
	Load,        // a page of the local server: the view shows it
	OpenOutside, // an http(s) address a page went to: the default browser
	Refuse,      // neither: nothing happens
};

// True for http://localhost, http://<name>.localhost and http://127.0.0.1 on
// `port`, the local server's port.
bool isLocalPage(const QUrl &url, int port);

// `page` is true for the page itself or a new window, false for a frame in
// it.
Navigation decideNavigation(const QUrl &url, int port, bool page);

} // namespace vanteo::webview
