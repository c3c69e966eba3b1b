#pragma once

#include "platform/sha256.h"
#include "support/fake_services.h"
#include "support/test_host.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <utility>
#include <vector>

// A temporary plug-in tree (".../<name>/bin/64bit/...") and the fake GitHub
// release that the updater tests work with.
namespace vanteo::test {

using FileMap = std::map<std::string, std::string>; // relative path -> content

inline std::string readFile(const std::filesystem::path &path)
{
	std::ifstream in(path, std::ios::binary);
	return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeFile(const std::filesystem::path &path, const std::string &content)
{
	std::filesystem::create_directories(path.parent_path());
	std::ofstream(path, std::ios::binary) << content;
}

// Every regular file below root with its content.
inline FileMap treeFiles(const std::string &root)
{
	FileMap out;
	for (const auto &entry : std::filesystem::recursive_directory_iterator(root))
		if (entry.is_regular_file())
			out[std::filesystem::relative(entry.path(), root).generic_string()] = readFile(entry.path());
	return out;
}

inline std::string makePluginTree(const FileMap &files, const std::string &name = "vanteo")
{
	const std::string root = makeTempDir() + "/" + name;
	std::filesystem::create_directories(root);
	for (const auto &[path, content] : files)
		writeFile(root + "/" + path, content);
	return root;
}

// A manifest naming `files` with the digests of their contents.
inline std::string manifestFor(const std::string &version, const FileMap &files,
			       const std::string &notes = R"([{"version":"0.4.0","text":"Faster chat"}])")
{
	std::string list;
	for (const auto &[path, content] : files)
		list += std::string(list.empty() ? "" : ",") + "{\"path\":" + jsonQuote(path) +
			",\"sha256\":" + jsonQuote(platform::sha256Hex(content)) + "}";
	return "{\"version\":" + jsonQuote(version) + ",\"files\":[" + list + "],\"notes\":" + notes + "}";
}

// Publishes a manifest text and the files served under "<version>/".
inline void publish(const std::string &manifest, const std::string &version, const FileMap &files)
{
	std::string list;
	for (const auto &[path, content] : files)
		list +=
		    std::string(list.empty() ? "" : ",") + jsonQuote(version + "/" + path) + ":" + jsonQuote(content);
	FakeServices::instance().command("github", "publish",
					 "{\"manifest\":" + jsonQuote(manifest) + ",\"files\":{" + list + "}}");
}

// Paths of the file downloads the fake received.
inline std::vector<std::string> fileRequests()
{
	std::vector<std::string> out;
	JsonValue reply = FakeServices::instance().command("github", "requests");
	for (const JsonValue &r : reply["requests"].items())
		if (r["host"].str() == "github-raw" && r["path"].str().find("manifest.json") == std::string::npos)
			out.push_back(r["path"].str());
	return out;
}

} // namespace vanteo::test
