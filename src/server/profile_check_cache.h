#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <utility>

// Successful profile checks of the setup wizard are kept for 10 minutes, so
// that typing, pasting and re-opening the wizard does not ask the same site
// again and again. Failures are never kept: the next check retries.
//
// Thread safety: any server connection thread may call `check`; the lookup
// itself runs outside the lock, so two threads may check the same name at
// once and the later reply wins.
namespace vanteo {

class ProfileCheckCache {
public:
	using Checker = std::function<std::string(const std::string &platform, const std::string &name)>;
	// Monotonic nanoseconds.
	using Clock = std::function<uint64_t()>;

	static constexpr uint64_t kLifetimeNs = 600ull * 1000 * 1000 * 1000;

	explicit ProfileCheckCache(Clock clock);

	// The stored reply for platform:name when younger than 600 s, else the
	// checker's reply (stored when it begins with {"ok":true).
	std::string check(const std::string &platform, const std::string &name, const Checker &checker);

private:
	const Clock m_clock;
	std::mutex m_lock;                                                 // guards m_entries
	std::map<std::string, std::pair<uint64_t, std::string>> m_entries; // key -> (time, reply)
};

} // namespace vanteo
