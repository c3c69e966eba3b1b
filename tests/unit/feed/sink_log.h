#pragma once

// What a chat connection (Twitch reader, TikTok, YouTube client) reported
// through its sinks, in order, for the connection tests of each platform.
#include "feed/chat_sinks.h"

#include <algorithm>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace vanteo::test {

struct SinkLog {
	using Clock = std::chrono::steady_clock;
	struct Report {
		LinkState state;
		std::string detail;
		Clock::time_point at;
	};

	std::mutex lock; // guards everything below
	std::vector<Report> statuses;
	std::vector<ChatMessage> messages;
	std::vector<std::vector<std::string>> clears;       // id, userId, name, duration
	std::function<void(const ChatMessage &)> onMessage; // called before the message is logged

	ChatSinks sinks()
	{
		ChatSinks s;
		s.message = [this](const ChatMessage &m) {
			if (onMessage)
				onMessage(m);
			std::lock_guard<std::mutex> g(lock);
			messages.push_back(m);
		};
		s.status = [this](Platform, const LinkStatus &status) {
			std::lock_guard<std::mutex> g(lock);
			statuses.push_back({status.state, status.detail, Clock::now()});
		};
		s.clear = [this](Platform, const std::string &id, const std::string &userId, const std::string &name,
				 const std::string &duration) {
			std::lock_guard<std::mutex> g(lock);
			clears.push_back({id, userId, name, duration});
		};
		return s;
	}
	std::vector<std::string> details()
	{
		std::lock_guard<std::mutex> g(lock);
		std::vector<std::string> out;
		for (const Report &r : statuses)
			out.push_back(r.detail);
		return out;
	}
	size_t count(const std::string &detail)
	{
		const std::vector<std::string> all = details();
		return std::count(all.begin(), all.end(), detail);
	}
	// The length of one of the lists above, read under the lock.
	template <typename List> size_t size(const List &list)
	{
		std::lock_guard<std::mutex> g(lock);
		return list.size();
	}
	// Time from the n-th report with `from` to the next report with `to`;
	// -1 ms when there is none.
	std::chrono::milliseconds gap(const std::string &from, const std::string &to, size_t n = 0)
	{
		std::lock_guard<std::mutex> g(lock);
		for (size_t i = 0; i < statuses.size(); ++i) {
			if (statuses[i].detail != from || n-- != 0)
				continue;
			for (size_t j = i + 1; j < statuses.size(); ++j)
				if (statuses[j].detail == to)
					return std::chrono::duration_cast<std::chrono::milliseconds>(statuses[j].at -
												     statuses[i].at);
		}
		return std::chrono::milliseconds(-1);
	}
};

} // namespace vanteo::test
