#pragma once

#include <string>
#include <vector>

namespace vanteo {

// The connected Twitch account. Only the two tokens are stored on disk; the
// rest comes from token validation.
struct TwitchAccount {
	std::string token;
	std::string refreshToken;
	std::string login;
	std::string userId;
	std::vector<std::string> scopes;
};

// The application client id built into the plug-in. Wherever a client id is
// needed it wins over the one the user typed.
extern const char kBuiltInClientId[];

// The built-in id when it is not empty, else the configured one.
std::string effectiveClientId(const std::string &configured);

} // namespace vanteo
