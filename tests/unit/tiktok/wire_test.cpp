// The protobuf wire functions, gzip inflation, the push frame, what each room
// message becomes, and the requests sent to TikTok with the judgement of their
// answers. The wire functions' expected bytes are written out by hand (or
// compressed with zlib's deflate here); frames and message bodies are built
// with the wire writer, which has its own table.
#include "feed/record_summary.h"
#include "tiktok/gunzip.h"
#include "tiktok/protobuf_wire.h"
#include "tiktok/push_frame.h"
#include "tiktok/room_lookup.h"
#include "tiktok/signing.h"
#include "tiktok/webcast_mapping.h"

#include <gtest/gtest.h>

#include <zlib.h>

#include <string>
#include <vector>

using namespace vanteo;
using vanteo::test::recordSummary;

namespace {

std::string bytes(std::initializer_list<int> list)
{
	std::string out;
	for (int b : list)
		out += static_cast<char>(b);
	return out;
}

std::string hex(const std::string &data)
{
	static const char digits[] = "0123456789abcdef";
	std::string out;
	for (unsigned char c : data) {
		if (!out.empty())
			out += ' ';
		out += digits[c >> 4];
		out += digits[c & 15];
	}
	return out;
}

// gzip (windowBits 31) or zlib (15) with zlib's own deflate.
std::string compress(const std::string &data, int windowBits = 31)
{
	z_stream z{};
	deflateInit2(&z, Z_BEST_SPEED, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY);
	std::string out(deflateBound(&z, data.size()) + 32, '\0');
	z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.data()));
	z.avail_in = static_cast<uInt>(data.size());
	z.next_out = reinterpret_cast<Bytef *>(&out[0]);
	z.avail_out = static_cast<uInt>(out.size());
	deflate(&z, Z_FINISH);
	out.resize(z.total_out);
	deflateEnd(&z);
	return out;
}

struct Pb {
	std::string data;
	Pb &v(uint32_t field, uint64_t value)
	{
		writeVarintField(data, field, value);
		return *this;
	}
	Pb &b(uint32_t field, const std::string &value)
	{
		writeBytesField(data, field, value);
		return *this;
	}
	Pb &m(uint32_t field, const Pb &value) { return b(field, value.data); }
};

Pb common(uint64_t id)
{
	return Pb().b(1, "method").v(2, id);
}
Pb user(const std::string &nick, const std::string &uniqueId = "u1", const std::string &idText = "111")
{
	Pb u;
	u.v(1, 42);
	if (!nick.empty())
		u.b(3, nick);
	if (!uniqueId.empty())
		u.b(38, uniqueId);
	if (!idText.empty())
		u.b(1028, idText);
	return u;
}
Pb identity(bool subscriber, bool moderator, bool host)
{
	return Pb().v(2, subscriber).v(5, moderator).v(6, host);
}
Pb emote(const std::string &url)
{
	return Pb().b(1, "id").m(2, Pb().b(1, url));
}
Pb social(const std::string &key)
{
	return Pb().m(1, common(9).m(8, Pb().b(1, key))).m(2, user("Sam"));
}
Pb gift(uint64_t repeat, uint64_t end, uint64_t type, uint64_t diamonds)
{
	Pb details;
	details.m(1, Pb().b(1, "https://img/rose.png").b(1, "https://img/second.png")).v(11, type).v(12, diamonds);
	details.b(16, "Rose");
	return Pb().m(1, common(5)).v(5, repeat).m(7, user("Gia")).v(9, end).m(15, details);
}

} // namespace

TEST(TikTokWire, WritesTheWireFormat)
{
	// Varints at the one-byte edge and at their largest; a field 1 of 0 and
	// empty bytes are written; field 1028 needs a two-byte key.
	std::string s;
	for (uint64_t v : {uint64_t(127), uint64_t(128), UINT64_MAX})
		writeVarint(s, v);
	writeVarintField(s, 1, 0);
	writeVarintField(s, 1028, 5);
	writeBytesField(s, 6, "pb");
	writeBytesField(s, 3, "");
	EXPECT_EQ(hex(s), "7f 80 01 ff ff ff ff ff ff ff ff ff 01 08 00 a0 40 05 32 02 70 62 1a 00");
}

TEST(TikTokWire, ReadsFieldsAndStopsAtTheFirstMalformedOne)
{
	// 1: varint 150, 2: "hi", 3: fixed64, 4: fixed32, 1 again, 2 again.
	const std::string good = bytes({0x08, 0x96, 0x01, 0x12, 0x02, 'h', 'i', 0x19, 1,    2,    3,    4,    5,
					6,    7,    8,    0x25, 1,    2,   3,   4,    0x08, 0x07, 0x12, 0x01, 'z'});
	// Fields 1 (a varint) and 2 (bytes) as the single lookups or the one-walk
	// scan find them: the value, or "-" when not found and left untouched.
	auto find = [](const std::string &m, bool scan) {
		uint64_t v = 99;
		std::string b = "untouched";
		std::string_view view = b;
		const FieldScan fields(m, {2, 1});
		const bool hasV = scan ? fields.varint(1, v) : getVarintField(m, 1, v);
		const bool hasB = scan ? fields.bytes(2, view) : getBytesField(m, 2, b);
		if (scan)
			b = std::string(view);
		return (hasV      ? std::to_string(v)
			: v == 99 ? "-"
				  : "changed") +
		       " " +
		       (hasB               ? "'" + b + "'"
			: b == "untouched" ? "-"
					   : "changed");
	};
	const std::string elevenBytes = bytes({0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x01});
	const std::pair<std::string, std::string> cases[] = {
	    {good, "150 'hi' 2"}, // the first occurrence wins
	    {"", "- - 0"},
	    // An eleven-byte varint ends the reading; ten bytes are fine.
	    {bytes({0x12, 0x01, 'a'}) + "\x08" + elevenBytes + bytes({0x12, 0x01, 'b'}), "- 'a' 1"},
	    {bytes({0x08, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x01}), "18446744073709551615 - 0"},
	    {bytes({0x12, 0x00, 0x08, 0x80}), "- '' 1"},
	    {bytes({0x08, 0x01, 0x12, 0x05, 'a', 'b'}), "1 - 0"},
	    {bytes({0x12, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x7f, 'a'}), "- - 0"},
	    // Groups (wire type 3) and wire types 4 to 7 stop the reading.
	    {bytes({0x08, 0x02, 0x1b, 0x08, 0x03}), "2 - 0"},
	    {bytes({0x1c, 0x08, 0x03}), "- - 0"},
	    // The same number with another wire type is not a match.
	    {bytes({0x0a, 0x01, 'x', 0x10, 0x05}), "- - 0"},
	};
	for (const auto &[message, expected] : cases) {
		EXPECT_EQ(find(message, false) + " " + std::to_string(getRepeatedField(message, 2).size()), expected);
		EXPECT_EQ(find(message, true), find(message, false)) << expected;
	}
	EXPECT_EQ(getRepeatedField(good, 2), (std::vector<std::string>{"hi", "z"}));

	size_t position = 0;
	FieldView view;
	std::vector<uint32_t> order;
	while (nextField(good, position, view))
		order.push_back(view.field * 10 + view.wireType);
	EXPECT_EQ(order, (std::vector<uint32_t>{10, 22, 31, 45, 10, 22}));
	EXPECT_EQ(position, good.size());
}

TEST(TikTokWire, Gunzip)
{
	std::string text;
	for (int i = 0; i < 2000; ++i)
		text += "WebcastChatMessage " + std::to_string(i) + " ";
	const std::string gz = compress(text);
	std::string corrupt = gz;
	corrupt[corrupt.size() - 6] ^= 0x55; // the CRC no longer matches
	std::string badHeader = gz;
	badHeader[2] = 9; // not deflate

	const std::pair<std::string, bool> cases[] = {
	    {gz, true},
	    {compress(text, 15), true},      // a zlib header too
	    {gz + "trailing garbage", true}, // bytes after the stream are ignored
	    // Bytes after it that read as a size too small, or large enough.
	    {gz + std::string("\x01\0\0\0", 4), true},
	    {gz + std::string("\0\0\x10\0", 4), true},
	    {gz.substr(0, gz.size() / 2), false},
	    {corrupt, false},
	    {badHeader, false},
	};
	for (size_t i = 0; i < std::size(cases); ++i)
		EXPECT_EQ(gunzip(cases[i].first), cases[i].second ? text : "") << i;

	// One byte over the cap is refused.
	EXPECT_TRUE(gunzip(compress(std::string(kGunzipCap + 1, '\0'))).empty());
}

TEST(TikTokWire, BuildsPushFrames)
{
	EXPECT_EQ(hex(buildPushFrame("hb", bytes({0x08, 0x2a}))), "32 02 70 62 3a 02 68 62 42 02 08 2a");
	EXPECT_EQ(hex(buildPushFrame("ack", "ext", "5")), "10 05 32 02 70 62 3a 03 61 63 6b 42 03 65 78 74");
	// Enter-room: fields 1 to 9 in order, the empty ones written too.
	EXPECT_EQ(hex(enterRoomPayload("300", 5)),
		  "08 ac 02 12 00 1a 00 20 0c 2a 08 61 75 64 69 65 6e 63 65 32 00 38 00 40 05 4a 01 30");
	EXPECT_EQ(hex(heartbeatPayload("300", 2)), "08 ac 02 10 02");
	for (int i = 0; i < 20; ++i) {
		const uint64_t id = enterRoomRandomId();
		EXPECT_TRUE(id != 0 && id >> 63 == 0) << id;
	}
}

TEST(TikTokWire, DecodesFrames)
{
	// A response with one chat line "hi", the extension "X" and need-ack.
	const Pb room = Pb().b(1, "WebcastChatMessage").m(2, Pb().m(2, user("Ann")).b(3, "hi"));
	auto response = [&](bool ext, uint64_t needAck, int copies = 1) {
		Pb r;
		for (int i = 0; i < copies; ++i)
			r.m(1, room);
		if (ext)
			r.b(5, "X");
		return r.v(9, needAck).data;
	};
	auto frame = [](const std::string &encoding, const std::string &payload, int logId) {
		Pb f;
		if (logId >= 0)
			f.v(2, static_cast<uint64_t>(logId));
		return f.b(6, encoding).b(7, "msg").b(8, payload).data;
	};
	// Accepted or not, the acknowledgement asked for, the messages.
	auto decode = [](const std::string &frame) {
		const DecodedFrame d = decodeFrame(frame);
		std::string out = d.accepted ? "accepted" : "refused";
		if (!d.logId.empty())
			out += " ack " + d.logId + "/" + d.internalExt;
		out += " " + std::to_string(d.messages.size());
		if (!d.messages.empty())
			out += " " + d.messages[0].name + ": " + d.messages[0].text;
		return d.viewerCount == -1 ? out : out + " viewers";
	};
	const std::string acked = response(true, 1);
	const std::string gz = compress(acked);
	const std::pair<std::string, std::string> cases[] = {
	    {decode(frame("pb", acked, 5)), "accepted ack 5/X 1 Ann: hi"},
	    {decode(frame("pb", gz, 6)), "accepted ack 6/X 1 Ann: hi"},
	    // Far more than the first inflation buffer: the buffer grows (and
	    // moves) while inflating.
	    {decode(frame("pb", compress(response(true, 1, 3000)), 9)), "accepted ack 9/X 3000 Ann: hi"},
	    // An acknowledgement needs the extension, need-ack and a log id.
	    {decode(frame("pb", response(false, 1), 7)), "accepted 1 Ann: hi"},
	    {decode(frame("pb", response(true, 0), 8)), "accepted 1 Ann: hi"},
	    {decode(frame("pb", acked, -1)), "accepted 1 Ann: hi"},
	    {decode(frame("json", acked, 5)), "refused 0"},
	    {decode(frame("pb", gz.substr(0, gz.size() - 3), 5)), "refused 0"},
	    {decode(frame("pb", "\x1f\x8b", 5)), "accepted 0"}, // two bytes are not inflated
	    {decode("hello"), "refused 0"},
	};
	for (const auto &[got, expected] : cases)
		EXPECT_EQ(got, expected);
}

TEST(WebcastMapping, EveryMethod)
{
	// The record made, if any, and the viewer count passed on.
	auto map = [](const char *method, const Pb &body) {
		DecodedFrame frame;
		mapRoomMessage(method, body.data, frame);
		std::string out;
		for (const ChatMessage &m : frame.messages)
			out += recordSummary(m) +
			       (m.platform == Platform::TikTok && m.time == 0 ? "" : " (platform, time)");
		if (frame.viewerCount != -1)
			out += (out.empty() ? "" : " ") + std::string("viewers=") + std::to_string(frame.viewerCount);
		return out;
	};
	Pb twoEmotes = Pb().m(1, common(3)).m(2, user("Em")).m(3, emote("https://e/1"));
	twoEmotes.m(3, emote("")).m(3, emote("https://e/2"));
	const struct {
		const char *what;
		std::string got;
		std::string expected;
	} cases[] = {
	    {"chat line", map("WebcastChatMessage", Pb().m(1, common(77)).m(2, user("Ann")).b(3, "hello")),
	     "id=77 user=111 name=Ann text=hello"},
	    {"no nickname: the unique id", map("WebcastChatMessage", Pb().m(2, user("", "abc")).b(3, "x")),
	     "user=111 name=abc text=x"},
	    {"no name at all", map("WebcastChatMessage", Pb().m(2, user("", "", "")).b(3, "x")),
	     "user=42 name=TikTok User text=x"},
	    {"empty text is dropped", map("WebcastChatMessage", Pb().m(2, user("Ann")).b(3, "")), ""},
	    {"host, moderator and subscriber",
	     map("WebcastChatMessage", Pb().m(2, user("Host")).b(3, "hi").m(18, identity(true, true, true))),
	     "user=111 name=Host text=hi badge=broadcaster/tiktok badge=moderator/tiktok badge=subscriber/tiktok"},
	    {"two emotes", map("WebcastEmoteChatMessage", twoEmotes),
	     "id=3 user=111 name=Em text=[emote] [emote] emote=0-6:https://e/1 emote=8-14:https://e/2"},
	    {"emotes without addresses", map("WebcastEmoteChatMessage", Pb().m(2, user("Em")).m(3, emote(""))), ""},
	    {"join", map("WebcastMemberMessage", Pb().m(1, common(4)).m(2, user("Jo")).v(3, 120).v(10, 1)),
	     "id=4 user=111 name=Jo event=join viewers=120"},
	    {"member action 2: only the count", map("WebcastMemberMessage", Pb().m(2, user("Jo")).v(3, 121).v(10, 2)),
	     "viewers=121"},
	    {"join of a nameless user", map("WebcastMemberMessage", Pb().m(2, user("", "", "")).v(10, 1)), ""},
	    {"room user sequence", map("WebcastRoomUserSeqMessage", Pb().m(1, common(1)).v(3, 250)), "viewers=250"},
	    {"room user sequence without count", map("WebcastRoomUserSeqMessage", Pb().v(2, 9)), ""},
	    {"like", map("WebcastLikeMessage", Pb().v(2, 15).v(3, 1200).m(5, user("Li"))),
	     "user=111 name=Li event=like count=15 total=1200"},
	    {"like without counts", map("WebcastLikeMessage", Pb().m(5, user("Li"))),
	     "user=111 name=Li event=like count=1 total=0"},
	    {"follow", map("WebcastSocialMessage", social("pm_mt_msg_viewer_follow")),
	     "id=9 user=111 name=Sam event=follow"},
	    {"share and follow: a follow", map("WebcastSocialMessage", social("share_follow")),
	     "id=9 user=111 name=Sam event=follow"},
	    {"mt_msg: a share", map("WebcastSocialMessage", social("pm_mt_msg_viewer")),
	     "id=9 user=111 name=Sam event=share"},
	    {"case matters", map("WebcastSocialMessage", social("FOLLOW")), ""},
	    {"combo running", map("WebcastGiftMessage", gift(2, 0, 1, 5)), ""},
	    {"combo ended", map("WebcastGiftMessage", gift(3, 1, 1, 5)),
	     "id=5 user=111 name=Gia event=gift what=Rose count=3 total=15 image=https://img/rose.png"},
	    {"plain gift, repeat 0", map("WebcastGiftMessage", gift(0, 0, 0, 1)),
	     "id=5 user=111 name=Gia event=gift what=Rose count=1 total=1 image=https://img/rose.png"},
	    {"gift without details", map("WebcastGiftMessage", Pb().v(5, 4)),
	     "name=TikTok User event=gift count=4 total=0"},
	    {"diamond total in 64 bits", map("WebcastGiftMessage", gift(1000000, 1, 1, 5000000000ull)),
	     "id=5 user=111 name=Gia event=gift what=Rose count=1000000 total=5000000000000000 image=https://img/rose.png"},
	    {"method names are exact", map("webcastchatmessage", Pb().b(3, "x")), ""},
	};
	for (const auto &c : cases)
		EXPECT_EQ(c.got, c.expected) << c.what;
}

TEST(TikTokRequests, RoomLookupJudgement)
{
	// "ok room status", or the error and the status.
	auto judge = [](bool completed, uint32_t status, const std::string &body) {
		const RoomLookup r = judgeRoomLookup(completed, status, body);
		return (r.ok ? "ok " + r.roomId : r.error) + " " + std::to_string(r.liveStatus);
	};
	const std::pair<std::string, std::string> cases[] = {
	    {judge(true, 200, R"({"data":{"user":{"roomId":"7300000000000000001"},"liveRoom":{"status":2}}})"),
	     "ok 7300000000000000001 2"},
	    {judge(true, 200, R"({"data":{"user":{"roomId":"73"}}})"), "ok 73 0"},
	    {judge(true, 200, R"({"data":{"user":{"roomId":7123},"liveRoom":{"status":2}}})"), "ok 7123 2"},
	    {judge(true, 200, R"({"data":{"user":{"roomId":0},"liveRoom":{"status":2}}})"), "TikTok user not found 2"},
	    {judge(true, 200, R"({"data":{"liveRoom":{"status":2}}})"), "TikTok user not found 2"},
	    {judge(true, 200, R"({"message":"user_not_found","statusCode":19881007})"), "ok  0"},
	    {judge(true, 200, R"({"message":"params_error"})"), "TikTok user not found 0"},
	    {judge(true, 200, R"({"data":"x","message":"user_not_found"})"), "ok  0"},
	    // It would go unescaped into the signing path and the frames.
	    {judge(true, 200, R"({"data":{"user":{"roomId":"1/../x?y"}}})"), "TikTok user not found 0"},
	    {judge(true, 200, "<html>blocked</html>"), "Unable to read the TikTok response 0"},
	    {judge(true, 403, "{}"), "TikTok replied 403 0"},
	    {judge(false, 0, ""), "TikTok is unreachable 0"},
	};
	for (const auto &[got, expected] : cases)
		EXPECT_EQ(got, expected);
	EXPECT_EQ(roomLookupPath("some.one_~x y/é"),
		  "/api-live/user/room/?aid=1988&app_language=en-US&app_name=tiktok_web&device_platform=web"
		  "&sourceType=54&uniqueId=some.one_~x%20y%2F%C3%A9");
}

TEST(TikTokRequests, SigningJudgement)
{
	auto judge = [](bool completed, uint32_t status, const char *address) {
		SigningAnswer answer;
		answer.pushAddress = address;
		const SigningVerdict v = judgeSigning(completed, status, answer);
		const char *state = v.state == LinkState::Retry   ? "retry: "
				    : v.state == LinkState::Error ? "error: "
								  : "?: ";
		return v.ok ? "ok" + v.detail : state + v.detail;
	};
	const std::pair<std::string, std::string> cases[] = {
	    {judge(true, 200, "wss://push.example/webcast/im/"), "ok"},
	    {judge(false, 0, "wss://p/"), "retry: Signing service unreachable"},
	    {judge(true, 429, "wss://p/"), "retry: Too many connections to the signing service · retrying"},
	    {judge(true, 402, ""), "error: The signing service requires a paid plan"},
	    {judge(true, 403, "wss://p/"), "retry: Signing failed (403)"},
	    {judge(true, 200, ""), "retry: Incomplete signing response"},
	    // It would land in the WebSocket request line.
	    {judge(true, 200, "wss://push.example/x y"), "retry: Incomplete signing response"},
	};
	for (const auto &[got, expected] : cases)
		EXPECT_EQ(got, expected);
	EXPECT_EQ(signingPath("73"),
		  "/webcast/rooms/73/connect?client=ttlive-node&client_enter=true&platform=web&user_agent="
		  "Mozilla%2F5.0%20%28Windows%20NT%2010.0%3B%20Win64%3B%20x64%29%20AppleWebKit%2F537.36%20%28KHTML%2C"
		  "%20like%20Gecko%29%20Chrome%2F131.0.0.0%20Safari%2F537.36");
}

TEST(TikTokRequests, SigningAnswerToPushRequest)
{
	// A signing body written field by field: route parameters with and
	// without key or value, a repeated push address (the first counts).
	std::string body;
	auto param = [](const std::string &key, const std::string &value) {
		std::string p;
		if (!key.empty())
			writeBytesField(p, 1, key);
		if (!value.empty())
			writeBytesField(p, 2, value);
		return p;
	};
	writeBytesField(body, 2, "c/1");
	writeBytesField(body, 5, "ext|a:b");
	writeBytesField(body, 7, param("wrss", "x_1"));
	writeBytesField(body, 7, param("nokey_value", ""));
	writeBytesField(body, 7, param("", "novalue_key"));
	writeBytesField(body, 7, param("z z", "a&b"));
	writeVarintField(body, 8, 1000);
	writeBytesField(body, 10, "wss://push.example:8443/webcast/im/push/v2/");
	writeBytesField(body, 10, "wss://second/");

	SigningAnswer a = readSigningAnswer(body);
	EXPECT_EQ(a.pushAddress, "wss://push.example:8443/webcast/im/push/v2/");
	EXPECT_EQ(a.cursor, "c/1");
	EXPECT_EQ(a.internalExt, "ext|a:b");
	ASSERT_EQ(a.routeParams.size(), 4u);

	EXPECT_EQ(pushQuery("73", a),
		  "version_code=180800&aid=1988&app_language=en-US&app_name=tiktok_web&browser_platform=Win32"
		  "&browser_language=en-US&browser_name=Mozilla&browser_online=true&cookie_enabled=true"
		  "&device_platform=web&identity=audience&live_id=12&webcast_language=en-US&ws_direct=0"
		  "&sup_ws_ds_opt=1&update_version_code=2.0.0&did_rule=3&screen_height=1080&screen_width=1920"
		  "&heartbeat_duration=0&resp_content_type=protobuf&history_comment_count=6&client_enter=1"
		  "&last_rtt=150&compress=gzip&room_id=73&cursor=c%2F1&internal_ext=ext%7Ca%3Ab&wrss=x_1"
		  "&z%20z=a%26b&version_code=270000");

	struct Split {
		const char *address;
		const char *host;
		const char *path;
	};
	const Split splits[] = {
	    {"wss://push.example/webcast/im/", "push.example", "/webcast/im/?q"},
	    {"wss://push.example:8443/a?b=c", "push.example:8443", "/a?b=c?q"},
	    {"push.example", "push.example", "/?q"},
	    {"a://b://c/d", "b:", "//c/d?q"},
	};
	for (const Split &s : splits) {
		PushTarget t = pushTarget(s.address, "q");
		EXPECT_EQ(t.host, s.host) << s.address;
		EXPECT_EQ(t.path, s.path) << s.address;
	}

	const std::string agent =
	    "User-Agent: Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like "
	    "Gecko) Chrome/131.0.0.0 Safari/537.36\r\n";
	EXPECT_EQ(pushHeaders(""), agent);
	EXPECT_EQ(pushHeaders("ttwid=1%7Cx; a=b"), agent + "Cookie: ttwid=1%7Cx; a=b\r\n");
	EXPECT_EQ(pushHeaders("a=b\rX-Evil: 1"), agent);
}
