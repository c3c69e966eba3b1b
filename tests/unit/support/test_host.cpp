#include "support/test_host.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace vanteo::test {

std::string makeTempDir()
{
	// No "vanteo" in the root: the legacy rule replaces the first one.
	char pattern[] = "/tmp/vtest.XXXXXX";
	const char *dir = mkdtemp(pattern);
	return dir ? dir : "";
}

TestHost::TestHost()
{
	m_root = makeTempDir();
	// The folder name carries "vanteo" like the real one, so the legacy
	// fallback has something to replace.
	m_configDir = m_root + "/plugin_config/vanteo";
	const char *source = std::getenv("VANTEO_SOURCE_DIR");
	m_webDir = std::string(source ? source : ".") + "/web";
	setHost(this);
}

TestHost::~TestHost()
{
	if (host() == this)
		setHost(nullptr);
	std::error_code ec;
	std::filesystem::remove_all(m_root, ec);
}

std::string TestHost::configPath(const std::string &file) const
{
	return file.empty() ? m_configDir : m_configDir + "/" + file;
}

std::string TestHost::dataPath(const std::string &file) const
{
	return file == "web" ? m_webDir : std::string();
}

bool TestHost::openUrl(const std::string &url) const
{
	std::lock_guard<std::mutex> guard(m_openedLock);
	m_opened.push_back(url);
	return true;
}

std::vector<std::string> TestHost::openedUrls() const
{
	std::lock_guard<std::mutex> guard(m_openedLock);
	return m_opened;
}

std::string TestHost::readConfigFile(const std::string &name) const
{
	std::ifstream in(m_configDir + "/" + name, std::ios::binary);
	return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void TestHost::writeConfigFile(const std::string &name, const std::string &text) const
{
	std::filesystem::create_directories(std::filesystem::path(m_configDir + "/" + name).parent_path());
	std::ofstream out(m_configDir + "/" + name, std::ios::binary | std::ios::trunc);
	out << text;
}

} // namespace vanteo::test
