#include "updater/version.h"

#include "updater/update_types.h"

#include <cstdlib>

namespace vanteo {

const char kCurrentVersion[] = VANTEO_VERSION;

const char *statusWord(updater::Status status)
{
	switch (status) {
	case updater::Status::Latest:
		return "latest";
	case updater::Status::Available:
		return "available";
	case updater::Status::Ready:
		return "ready";
	case updater::Status::Setup:
		return "setup";
	default:
		return "unknown";
	}
}

std::array<long long, 3> versionTriple(const std::string &version)
{
	std::array<long long, 3> out{0, 0, 0};
	size_t index = 0;
	size_t start = 0;
	while (index < out.size()) {
		size_t dot = version.find('.', start);
		std::string piece = version.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
		// strtoll saturates instead of overflowing on absurd pieces.
		out[index++] = std::strtoll(piece.c_str(), nullptr, 10);
		if (dot == std::string::npos)
			break;
		start = dot + 1;
	}
	return out;
}

bool isUpToDate(const std::string &installed, const std::string &latest)
{
	return versionTriple(installed) >= versionTriple(latest);
}

} // namespace vanteo
