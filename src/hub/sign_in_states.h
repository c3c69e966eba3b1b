#pragma once

#include <chrono>
#include <map>
#include <mutex>
#include <string>

// The states of the Twitch sign-ins this plug-in started. "/api/account" puts
// a fresh one into Twitch's authorize address; Twitch hands it back beside
// the token, and "/api/token" takes a token only with a state of ours. A
// state is random (128 bits), works once, and expires.
//
// Threads: any; one lock guards the table.
namespace vanteo {

class SignInStates {
public:
	using Clock = std::chrono::steady_clock;

	explicit SignInStates(std::chrono::milliseconds lifetime = std::chrono::minutes(10));

	// A new state, "" when the system has no secure random source.
	std::string issue();
	// True once for a state issued here that has not expired; it is spent
	// either way.
	bool redeem(const std::string &state);

private:
	// Sign-ins started and not finished; the oldest go first beyond this.
	static constexpr size_t kMaxPending = 16;

	const std::chrono::milliseconds m_lifetime;
	std::mutex m_lock;                                  // guards m_pending
	std::map<std::string, Clock::time_point> m_pending; // state -> when issued
};

} // namespace vanteo
