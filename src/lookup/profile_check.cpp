#include "lookup/profile_check.h"

namespace vanteo {

std::string checkChannel(const std::string &, const std::string &)
{
	// The per-platform lookups are not built yet; the wizard shows this
	// instead of a made-up result.
	return "{\"ok\":false,\"error\":\"Profile checks are not available yet\"}";
}

} // namespace vanteo
