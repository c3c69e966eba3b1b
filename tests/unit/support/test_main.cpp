#include "common/endpoints.h"
#include "support/log_capture.h"

#include <gtest/gtest.h>

#include <QApplication>

#include <cstdlib>
#include <string>

int main(int argc, char **argv)
{
	setenv("QT_QPA_PLATFORM", "offscreen", 0);
	QApplication app(argc, argv);
	vanteo::test::installLogCapture();
	// Nothing in a test may reach a real remote host: until a test starts the
	// fakes, every endpoint points at a closed loopback port.
	std::string closed;
	for (const char *name : {"twitch-chat", "twitch-eventsub", "twitch-helix", "twitch-id", "twitch-web",
				 "twitch-emote-cdn", "tiktok-web", "tiktok-signer", "streamelements", "youtube", "kick",
				 "kick-pusher", "kick-files", "github-api", "github-raw", "github-web"})
		closed += std::string(closed.empty() ? "" : ",") + name + "=127.0.0.1:9";
	vanteo::setEndpointOverrides(closed, "");
	::testing::InitGoogleTest(&argc, argv);
	return RUN_ALL_TESTS();
}
