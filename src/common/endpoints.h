#pragma once

#include <cstdint>
#include <string>

// Every remote host the module talks to, named once. Callers of the network
// layer (platform/https.h, platform/websocket.h) pass the endpoint's name as
// the host ("twitch-helix"); the layer resolves it here. Literal hosts are
// still accepted where the address comes from a remote reply (a TikTok push
// address, a download link).
//
// Two environment variables, read once on first use, point the module at
// local services (the test fakes and the offline demo) without any other code
// path:
//   VANTEO_ENDPOINTS="name=host:port,name=host:port,..."  replaces the named
//       hosts (":port" may be left out for 443; IPv6 as "[::1]:port");
//   VANTEO_CA_FILE=path  one PEM CA certificate added to the trusted set of
//       both the HTTPS and the WebSocket client. TLS stays on everywhere.
//
// Thread safety: every function may be called from any thread.
namespace vanteo {

struct Endpoint {
	std::string host; // DNS name or IP literal, never with a port
	uint16_t port = 443;

	// "host" for port 443, "host:port" otherwise (IPv6 literals bracketed):
	// the authority part of an https:// address.
	std::string authority() const;
	// "https://" + authority() + "/"
	std::string httpsRoot() const;
};

// Names of the table, for reference (the strings are the names to pass).
namespace endpoint_names {
constexpr const char *kTwitchChat = "twitch-chat";         // IRC over WebSocket
constexpr const char *kTwitchEventSub = "twitch-eventsub"; // EventSub WebSocket
constexpr const char *kTwitchHelix = "twitch-helix";       // Helix REST
constexpr const char *kTwitchId = "twitch-id";             // OAuth identity
constexpr const char *kTwitchWeb = "twitch-web";           // channel pages
constexpr const char *kTwitchEmoteCdn = "twitch-emote-cdn";
constexpr const char *kSevenTvApi = "7tv-api"; // third-party emotes and their images
constexpr const char *kSevenTvCdn = "7tv-cdn";
constexpr const char *kBttvApi = "bttv-api";
constexpr const char *kBttvCdn = "bttv-cdn";
constexpr const char *kFfzApi = "ffz-api";
constexpr const char *kFfzCdn = "ffz-cdn";
constexpr const char *kTikTokWeb = "tiktok-web";
constexpr const char *kTikTokSigner = "tiktok-signer";
constexpr const char *kStreamElements = "streamelements";
constexpr const char *kYouTube = "youtube";
constexpr const char *kKick = "kick";
constexpr const char *kKickPusher = "kick-pusher"; // chat over the Pusher WebSocket
constexpr const char *kKickFiles = "kick-files";   // emote pictures
constexpr const char *kGitHubApi = "github-api";
constexpr const char *kGitHubRaw = "github-raw";
constexpr const char *kGitHubWeb = "github-web";
} // namespace endpoint_names

// The named endpoint with any override applied. A name outside the table is
// returned as a literal host on port 443.
Endpoint endpoint(const char *name);

// The public host name of a table entry, ignoring overrides ("" for a name
// outside the table).
std::string endpointDefaultHost(const char *name);

// What the network layer connects to for a host argument and the caller's
// port: a table name resolves through the table (an override replaces host
// and port; without one the caller's port is kept); a literal "host:port"
// connects to that port; a literal host equal to the public host of an
// overridden entry goes to the override, so addresses that come back inside
// replies (links to www.tiktok.com, github.com) reach the same local service.
Endpoint resolveRemote(const std::string &hostOrName, uint16_t port);

// The extra CA certificate file (VANTEO_CA_FILE), "" when none.
std::string extraCaFile();

// Replaces whatever was read from the environment by the given text (the
// VANTEO_ENDPOINTS format) and CA file; used by tests that start their
// services inside the running process. Malformed entries are skipped.
void setEndpointOverrides(const std::string &endpointsText, const std::string &caFile);

} // namespace vanteo
