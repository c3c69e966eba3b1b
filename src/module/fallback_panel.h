#pragma once

#include <QWidget>

#include <map>
#include <string>

class QVBoxLayout;

namespace vanteo {

// What a dock shows when OBS Studio can show none of the plug-in's pages:
// one sentence and a button that opens the dock's page in the default
// browser. An empty url (the server did not start) disables the button and
// says so. Pages the plug-in would have opened by itself (Setup at the first
// start, Updates when one is ready) are offered here with a button and the
// reason, since no browser window opens without the user asking. GUI thread
// only.
class FallbackPanel : public QWidget {
public:
	FallbackPanel(QWidget *parent, const std::string &pageTitle, const std::string &url);

	// Shows a line saying `why` and a button `button` that opens `url`; a
	// later offer under the same `key` replaces it.
	void offer(const std::string &key, const QString &why, const QString &button, const std::string &url);
	void withdraw(const std::string &key);

private:
	QVBoxLayout *m_layout;
	std::map<std::string, QWidget *> m_offers; // children, by key
};

} // namespace vanteo
