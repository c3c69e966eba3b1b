#include "webview/page_view.h"
#include "webview/webview_api.h"

#include <exception>
#include <memory>
#include <type_traits>

// The library's factory: what obs-browser's factory is for obs-browser, over
// Qt WebEngine. Every factory made in the process shares one profile.
namespace vanteo::webview {

namespace {

class Factory : public QCef {
public:
	explicit Factory(std::shared_ptr<Shared> shared) : m_shared(std::move(shared)) {}

	// Qt WebEngine starts with the first view; there is nothing to wait for.
	bool init_browser(void) override { return true; }
	bool initialized(void) override { return true; }
	bool wait_for_browser_init(void) override { return true; }

	QCefWidget *create_widget(QWidget *parent, const std::string &url, QCefCookieManager *) override
	{
		return new PageView(parent, m_shared, url);
	}

private:
	std::shared_ptr<Shared> m_shared;
};

// The profile in use while any factory or view holds it. GUI thread only.
std::weak_ptr<Shared> g_shared;

} // namespace

} // namespace vanteo::webview

extern "C" __attribute__((visibility("default"))) QCef *vanteo_webview_create_qcef(const VanteoWebViewHooks *hooks)
{
	using namespace vanteo::webview;
	try {
		std::shared_ptr<Shared> shared = g_shared.lock();
		if (!shared) {
			const char *folder = hooks ? hooks->storageFolder : nullptr;
			shared = std::make_shared<Shared>(folder ? folder : "", hooks ? hooks->log : nullptr,
							  hooks ? hooks->openExternal : nullptr);
			g_shared = shared;
		}
		return new Factory(std::move(shared));
	} catch (const std::exception &) {
		return nullptr; // the module falls back to its own panel
	}
}

static_assert(std::is_same<decltype(&vanteo_webview_create_qcef), VanteoWebViewCreate>::value,
	      "the entry point must match what the module looks up");
