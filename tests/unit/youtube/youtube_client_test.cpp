// The YouTube connection against the fake site: while the chat is read, the
// viewer count follows the live page.
#include "support/fake_services.h"
#include "youtube/youtube_client.h"

#include <gtest/gtest.h>

#include <atomic>

using namespace vanteo;
using namespace vanteo::test;

TEST(YouTubeClientTest, ViewerCountFollowsTheLivePage)
{
	FakeServices &fakes = FakeServices::instance();
	ASSERT_TRUE(fakes.ok()) << fakes.error();
	fakes.reset();
	fakes.command("youtube-live", "live", R"({"name":"ytcount","viewers":7,"timeoutMs":100})");
	std::atomic<int64_t> viewers{-1};
	ChatSinks sinks;
	sinks.viewers = [&](int64_t n) {
		viewers = n;
	};
	YouTubeClient::Timings timings;
	timings.tickMs = 10;
	timings.recheckTicks = 20; // the live page every 200 ms
	timings.minPollMs = 100;
	YouTubeClient client(sinks, timings);
	client.start("ytcount");
	ASSERT_TRUE(waitUntil([&] { return viewers == 7; }));
	fakes.command("youtube-live", "live", R"({"name":"ytcount","viewers":9,"timeoutMs":100})");
	EXPECT_TRUE(waitUntil([&] { return viewers == 9; }));
	client.stop();
}
