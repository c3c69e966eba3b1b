// The protobuf wire functions, gzip inflation, the push frame and what each
// room message becomes. The wire functions' expected bytes are written out by
// hand (or compressed with zlib's deflate here); frames and message bodies are
// built with the wire writer, which has its own table.
#include "feed/record_summary.h"
#include "tiktok/gunzip.h"
#include "tiktok/protobuf_wire.h"
#include "tiktok/push_frame.h"
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
	struct Case {
		const char *what;
		std::string written;
		const char *expected;
	};
	auto varint = [](uint64_t v) {
		std::string s;
		writeVarint(s, v);
		return s;
	};
	auto vfield = [](uint32_t f, uint64_t v) {
		std::string s;
		writeVarintField(s, f, v);
		return s;
	};
	auto bfield = [](uint32_t f, std::string b) {
		std::string s;
		writeBytesField(s, f, b);
		return s;
	};
	const Case cases[] = {
	    {"varint 0", varint(0), "00"},
	    {"varint 127", varint(127), "7f"},
	    {"varint 128", varint(128), "80 01"},
	    {"varint max", varint(UINT64_MAX), "ff ff ff ff ff ff ff ff ff 01"},
	    {"field 1 = 0 is written", vfield(1, 0), "08 00"},
	    {"field 1028", vfield(1028, 5), "a0 40 05"},
	    {"bytes field 6 pb", bfield(6, "pb"), "32 02 70 62"},
	    {"empty bytes are written", bfield(3, ""), "1a 00"},
	};
	for (const Case &c : cases)
		EXPECT_EQ(hex(c.written), c.expected) << c.what;
	EXPECT_EQ(bfield(2, std::string(200, 'x')).substr(0, 3), bytes({0x12, 0xc8, 0x01}));
}

TEST(TikTokWire, ReadsFieldsAndStopsAtTheFirstMalformedOne)
{
	// 1: varint 150, 2: "hi", 3: fixed64, 4: fixed32, 1 again, 2 again.
	const std::string good = bytes({0x08, 0x96, 0x01, 0x12, 0x02, 'h', 'i', 0x19, 1,    2,    3,    4,    5,
					6,    7,    8,    0x25, 1,    2,   3,   4,    0x08, 0x07, 0x12, 0x01, 'z'});
	struct Case {
		const char *what;
		std::string message;
		bool hasVarint1;
		uint64_t varint1;
		bool hasBytes2;
		std::string bytes2;
		size_t repeated2;
	};
	const std::string elevenBytes = bytes({0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x01});
	const Case cases[] = {
	    {"first occurrence wins", good, true, 150, true, "hi", 2},
	    {"empty message", "", false, 0, false, "", 0},
	    {"eleven-byte varint value ends the reading",
	     bytes({0x12, 0x01, 'a'}) + "\x08" + elevenBytes + bytes({0x12, 0x01, 'b'}), false, 0, true, "a", 1},
	    {"ten-byte varint is fine", bytes({0x08, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x01}), true,
	     UINT64_MAX, false, "", 0},
	    {"varint cut at the end", bytes({0x12, 0x00, 0x08, 0x80}), false, 0, true, "", 1},
	    {"length past the end", bytes({0x08, 0x01, 0x12, 0x05, 'a', 'b'}), true, 1, false, "", 0},
	    {"huge length", bytes({0x12, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x7f, 'a'}), false, 0, false,
	     "", 0},
	    {"fixed64 cut short", bytes({0x12, 0x00, 0x19, 1, 2, 3}), false, 0, true, "", 1},
	    {"group wire type 3 stops", bytes({0x08, 0x02, 0x1b, 0x08, 0x03}), true, 2, false, "", 0},
	    {"wire types 4 to 7 stop", bytes({0x1c, 0x08, 0x03}), false, 0, false, "", 0},
	    {"same number, other wire type, is not a match", bytes({0x0a, 0x01, 'x', 0x10, 0x05}), false, 0, false, "",
	     0},
	};
	for (const Case &c : cases) {
		uint64_t v = 99;
		EXPECT_EQ(getVarintField(c.message, 1, v), c.hasVarint1) << c.what;
		EXPECT_EQ(v, c.hasVarint1 ? c.varint1 : 99u) << c.what;
		std::string b = "untouched";
		EXPECT_EQ(getBytesField(c.message, 2, b), c.hasBytes2) << c.what;
		EXPECT_EQ(b, c.hasBytes2 ? c.bytes2 : "untouched") << c.what;
		EXPECT_EQ(getRepeatedField(c.message, 2).size(), c.repeated2) << c.what;
		// The one-walk scan finds exactly what the single lookups find.
		const FieldScan scan(c.message, {2, 1});
		uint64_t sv = 99;
		std::string_view sb = "untouched";
		EXPECT_EQ(scan.varint(1, sv), c.hasVarint1) << c.what;
		EXPECT_EQ(sv, c.hasVarint1 ? c.varint1 : 99u) << c.what;
		EXPECT_EQ(scan.bytes(2, sb), c.hasBytes2) << c.what;
		EXPECT_EQ(sb, c.hasBytes2 ? c.bytes2 : "untouched") << c.what;
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
	std::string concatenated = gz + "trailing garbage";
	std::string corrupt = gz;
	corrupt[corrupt.size() - 6] ^= 0x55; // the CRC no longer matches
	std::string badHeader = gz;
	badHeader[2] = 9; // not deflate

	struct Case {
		const char *what;
		std::string input;
		std::string expected;
	};
	const Case cases[] = {
	    {"gzip", gz, text},
	    {"zlib header too", compress(text, 15), text},
	    {"bytes after the stream are ignored", concatenated, text},
	    {"bytes after it that read as a size too small", gz + std::string("\x01\0\0\0", 4), text},
	    {"bytes after it that read as a size large enough", gz + std::string("\0\0\x10\0", 4), text},
	    {"truncated stream", gz.substr(0, gz.size() / 2), ""},
	    {"bad checksum", corrupt, ""},
	    {"bad header", badHeader, ""},
	    {"empty content", compress(""), ""},
	};
	for (const Case &c : cases)
		EXPECT_TRUE(gunzip(c.input) == c.expected) << c.what;

	// One byte over the cap is refused.
	EXPECT_TRUE(gunzip(compress(std::string(kGunzipCap + 1, '\0'))).empty());
}

TEST(TikTokWire, BuildsPushFrames)
{
	std::string payload = bytes({0x08, 0x2a});
	EXPECT_EQ(hex(buildPushFrame("hb", payload)), "32 02 70 62 3a 02 68 62 42 02 08 2a");
	EXPECT_EQ(hex(buildPushFrame("ack", "ext", "5")), "10 05 32 02 70 62 3a 03 61 63 6b 42 03 65 78 74");
	EXPECT_EQ(hex(buildPushFrame("ack", "", "7300000000000000001")).substr(0, 30),
		  "10 81 80 e8 e2 aa ea b3 a7 65 ");
	// Enter-room: fields 1 to 9 in order, the empty ones written too.
	EXPECT_EQ(hex(enterRoomPayload("300", 5)),
		  "08 ac 02 12 00 1a 00 20 0c 2a 08 61 75 64 69 65 6e 63 65 32 00 38 00 40 05 4a 01 30");
	EXPECT_EQ(hex(heartbeatPayload("300", 2)), "08 ac 02 10 02");
	for (int i = 0; i < 20; ++i) {
		uint64_t id = enterRoomRandomId();
		EXPECT_NE(id, 0u);
		EXPECT_EQ(id >> 63, 0u);
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
	const std::string acked = response(true, 1);
	const std::string gz = compress(acked);

	struct Case {
		const char *what;
		std::string frame;
		bool accepted;
		std::string logId;
		size_t messages;
	};
	const Case cases[] = {
	    {"plain, acknowledgement asked", frame("pb", acked, 5), true, "5", 1},
	    {"gzip payload", frame("pb", gz, 6), true, "6", 1},
	    // Far more than the first inflation buffer: the buffer grows (and
	    // moves) while inflating.
	    {"gzip payload inflating to 100 KiB", frame("pb", compress(response(true, 1, 3000)), 9), true, "9", 3000},
	    {"need-ack without the extension: no acknowledgement", frame("pb", response(false, 1), 7), true, "", 1},
	    {"need-ack 0", frame("pb", response(true, 0), 8), true, "", 1},
	    {"no log id", frame("pb", acked, -1), true, "", 1},
	    {"json encoding", frame("json", acked, 5), false, "", 0},
	    {"broken gzip", frame("pb", gz.substr(0, gz.size() - 3), 5), false, "", 0},
	    {"two bytes 1f 8b are not inflated", frame("pb", "\x1f\x8b", 5), true, "", 0},
	    {"not protobuf at all", "hello", false, "", 0},
	};
	for (const Case &c : cases) {
		DecodedFrame d = decodeFrame(c.frame);
		EXPECT_EQ(d.accepted, c.accepted) << c.what;
		EXPECT_EQ(d.logId, c.logId) << c.what;
		EXPECT_EQ(d.messages.size(), c.messages) << c.what;
		EXPECT_EQ(d.viewerCount, -1) << c.what;
		if (!c.logId.empty())
			EXPECT_EQ(d.internalExt, "X") << c.what;
		if (c.messages) {
			EXPECT_EQ(d.messages[0].text, "hi") << c.what;
			EXPECT_EQ(d.messages[0].name, "Ann") << c.what;
		}
	}
}

TEST(WebcastMapping, EveryMethod)
{
	struct Case {
		const char *what;
		const char *method;
		Pb body;
		const char *record; // nullptr: no record
		int64_t viewers;
	};
	const Case cases[] = {
	    {"chat line", "WebcastChatMessage", Pb().m(1, common(77)).m(2, user("Ann")).b(3, "hello"),
	     "id=77 user=111 name=Ann text=hello", -1},
	    {"no nickname: the unique id", "WebcastChatMessage", Pb().m(2, user("", "abc")).b(3, "x"),
	     "user=111 name=abc text=x", -1},
	    {"no name at all", "WebcastChatMessage", Pb().m(2, user("", "", "")).b(3, "x"),
	     "user=42 name=TikTok User text=x", -1},
	    {"empty text is dropped", "WebcastChatMessage", Pb().m(2, user("Ann")).b(3, ""), nullptr, -1},
	    {"host, moderator and subscriber", "WebcastChatMessage",
	     Pb().m(2, user("Host")).b(3, "hi").m(18, identity(true, true, true)),
	     "user=111 name=Host text=hi badge=broadcaster/1 badge=moderator/1 badge=subscriber/1", -1},
	    {"two emotes", "WebcastEmoteChatMessage",
	     Pb().m(1, common(3)).m(2, user("Em")).m(3, emote("https://e/1")).m(3, emote("")).m(3, emote("https://e/2")),
	     "id=3 user=111 name=Em text=[emote] [emote] emote=0-6:https://e/1 emote=8-14:https://e/2", -1},
	    {"emotes without addresses", "WebcastEmoteChatMessage", Pb().m(2, user("Em")).m(3, emote("")), nullptr, -1},
	    {"join", "WebcastMemberMessage", Pb().m(1, common(4)).m(2, user("Jo")).v(3, 120).v(10, 1),
	     "id=4 user=111 name=Jo event=join", 120},
	    {"member action 2: only the count", "WebcastMemberMessage", Pb().m(2, user("Jo")).v(3, 121).v(10, 2),
	     nullptr, 121},
	    {"join of a nameless user", "WebcastMemberMessage", Pb().m(2, user("", "", "")).v(10, 1), nullptr, -1},
	    {"room user sequence", "WebcastRoomUserSeqMessage", Pb().m(1, common(1)).v(3, 250), nullptr, 250},
	    {"room user sequence without count", "WebcastRoomUserSeqMessage", Pb().v(2, 9), nullptr, -1},
	    {"like", "WebcastLikeMessage", Pb().v(2, 15).v(3, 1200).m(5, user("Li")),
	     "user=111 name=Li event=like count=15 total=1200", -1},
	    {"like without counts", "WebcastLikeMessage", Pb().m(5, user("Li")),
	     "user=111 name=Li event=like count=1 total=0", -1},
	    {"follow", "WebcastSocialMessage", social("pm_mt_msg_viewer_follow"), "id=9 user=111 name=Sam event=follow",
	     -1},
	    {"share and follow: a follow", "WebcastSocialMessage", social("share_follow"),
	     "id=9 user=111 name=Sam event=follow", -1},
	    {"mt_msg: a share", "WebcastSocialMessage", social("pm_mt_msg_viewer"),
	     "id=9 user=111 name=Sam event=share", -1},
	    {"case matters", "WebcastSocialMessage", social("FOLLOW"), nullptr, -1},
	    {"combo running", "WebcastGiftMessage", gift(2, 0, 1, 5), nullptr, -1},
	    {"combo ended", "WebcastGiftMessage", gift(3, 1, 1, 5),
	     "id=5 user=111 name=Gia event=gift what=Rose count=3 total=15 image=https://img/rose.png", -1},
	    {"plain gift, repeat 0", "WebcastGiftMessage", gift(0, 0, 0, 1),
	     "id=5 user=111 name=Gia event=gift what=Rose count=1 total=1 image=https://img/rose.png", -1},
	    {"gift without details", "WebcastGiftMessage", Pb().v(5, 4), "name=TikTok User event=gift count=4 total=0",
	     -1},
	    {"diamond total in 64 bits", "WebcastGiftMessage", gift(1000000, 1, 1, 5000000000ull),
	     "id=5 user=111 name=Gia event=gift what=Rose count=1000000 total=5000000000000000 "
	     "image=https://img/rose.png",
	     -1},
	    {"unknown method", "WebcastRankUpdateMessage", Pb().v(3, 99).b(3, "x"), nullptr, -1},
	    {"method names are exact", "webcastchatmessage", Pb().b(3, "x"), nullptr, -1},
	};
	for (const Case &c : cases) {
		DecodedFrame frame;
		mapRoomMessage(c.method, c.body.data, frame);
		ASSERT_EQ(frame.messages.size(), c.record ? 1u : 0u) << c.what;
		if (c.record) {
			EXPECT_EQ(recordSummary(frame.messages[0]), c.record) << c.what;
			EXPECT_EQ(frame.messages[0].platform, Platform::TikTok) << c.what;
			EXPECT_EQ(frame.messages[0].time, 0) << c.what;
		}
		EXPECT_EQ(frame.viewerCount, c.viewers) << c.what;
	}
}
