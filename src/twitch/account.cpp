#include "twitch/account.h"

namespace vanteo {

const char kBuiltInClientId[] = "q3vd8kz0rj5mxw2nb7ty4hc9pl6sa1";

std::string effectiveClientId(const std::string &configured)
{
	return kBuiltInClientId[0] ? std::string(kBuiltInClientId) : configured;
}

} // namespace vanteo
