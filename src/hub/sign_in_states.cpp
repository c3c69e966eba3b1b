#include "hub/sign_in_states.h"

#include "platform/random.h"

#include <algorithm>

namespace vanteo {

SignInStates::SignInStates(std::chrono::milliseconds lifetime) : m_lifetime(lifetime) {}

std::string SignInStates::issue()
{
	const std::string state = platform::secureRandomHex(16);
	if (state.empty())
		return state;
	const Clock::time_point now = Clock::now();
	std::lock_guard<std::mutex> guard(m_lock);
	for (auto it = m_pending.begin(); it != m_pending.end();)
		it = now - it->second > m_lifetime ? m_pending.erase(it) : std::next(it);
	if (m_pending.size() >= kMaxPending) {
		auto oldest = std::min_element(m_pending.begin(), m_pending.end(),
					       [](const auto &a, const auto &b) { return a.second < b.second; });
		m_pending.erase(oldest);
	}
	m_pending[state] = now;
	return state;
}

bool SignInStates::redeem(const std::string &state)
{
	std::lock_guard<std::mutex> guard(m_lock);
	auto it = m_pending.find(state);
	if (it == m_pending.end())
		return false;
	const bool fresh = Clock::now() - it->second <= m_lifetime;
	m_pending.erase(it);
	return fresh;
}

} // namespace vanteo
