#include "support/fake_browser.h"

namespace vanteo::test {

FakeCefWidget::FakeCefWidget(QWidget *parent, std::string url, std::shared_ptr<BrowserLog> log)
	: QCefWidget(parent), m_url(std::move(url)), m_log(std::move(log))
{
}

void FakeCefWidget::setURL(const std::string &url)
{
	m_url = url;
	m_log->events.push_back("setURL " + url);
}

void FakeCefWidget::closeBrowser()
{
	m_log->events.push_back("close " + m_url);
}

bool FakeCef::init_browser()
{
	m_log->events.push_back("init");
	return true;
}

QCefWidget *FakeCef::create_widget(QWidget *parent, const std::string &url, QCefCookieManager *)
{
	m_log->events.push_back("create " + url);
	return new FakeCefWidget(parent, url, m_log);
}

} // namespace vanteo::test
