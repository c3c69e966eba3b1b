#pragma once

// The fake Twitch API with the streamer's account signed in, for the tests of
// everything that calls Helix.
#include "support/fake_services.h"
#include "twitch/helix.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vanteo::test {

inline const char kClientId[] = "q3vd8kz0rj5mxw2nb7ty4hc9pl6sa1";

// "METHOD path" and the body, if any, in a key-order-blind form: libobs'
// JSON writer orders keys its own way.
inline std::string normalRequest(const std::string &request)
{
	const size_t body = request.find(" {");
	return body == std::string::npos
		   ? request
		   : request.substr(0, body) + " " + JsonValue::canonical(request.substr(body + 1));
}

class HelixFixture : public FakesTest {
protected:
	void SetUp() override
	{
		FakesTest::SetUp();
		m_account.token = "tok-streamer";
		m_account.userId = "1001";
		m_account.login = "streamer";
	}
	// Every request since the last look, as normalRequest() writes it;
	// `header` names a header of the first one to put in `value`.
	std::vector<std::string> calls(const std::string &header = "", std::string *value = nullptr)
	{
		std::vector<std::string> out;
		JsonValue records = m_fakes.command("twitch-api", "requests", "{\"clear\":true}");
		for (const JsonValue &r : records["requests"].items()) {
			const std::string body = r["body"].str();
			out.push_back(normalRequest(r["method"].str() + " " + r["path"].str() +
						    (body.empty() ? "" : " " + body)));
			for (const JsonValue &pair : r["headers"].items())
				if (value && out.size() == 1 && pair[0].str() == header)
					*value = pair[1].str();
		}
		return out;
	}
	void configure(const std::string &json) { m_fakes.command("twitch-api", "configure", json); }
	void script(const std::string &method, const std::string &path, int status, const std::string &bodyJson,
		    bool once = false)
	{
		m_fakes.command("twitch-api", "script",
				"{\"method\":" + jsonQuote(method) + ",\"path\":" + jsonQuote(path) +
				    ",\"status\":" + std::to_string(status) + ",\"body\":" + bodyJson +
				    (once ? ",\"once\":true}" : "}"));
	}
	// The account acting on the channel with id `bid`.
	HelixContext helix(const std::string &bid = "1001") const { return {m_account, kClientId, bid}; }

	TwitchAccount m_account;
};

} // namespace vanteo::test
