// The protobuf wire functions, gzip inflation and the push frame. Expected
// bytes are written out by hand (or compressed with zlib's deflate here), not
// produced by the functions under test.
#include "tiktok/gunzip.h"
#include "tiktok/protobuf_wire.h"
#include "tiktok/push_frame.h"

#include <gtest/gtest.h>

#include <zlib.h>

#include <string>
#include <vector>

using namespace vanteo;

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
	    {"varint 300", varint(300), "ac 02"},
	    {"varint max", varint(UINT64_MAX), "ff ff ff ff ff ff ff ff ff 01"},
	    {"field 1 = 0 is written", vfield(1, 0), "08 00"},
	    {"field 16 needs a two-byte key", vfield(16, 1), "80 01 01"},
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
	    {"eleven-byte key", elevenBytes + bytes({0x08, 0x01}), false, 0, false, "", 0},
	    {"ten-byte varint is fine", bytes({0x08, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x01}), true,
	     UINT64_MAX, false, "", 0},
	    {"varint cut at the end", bytes({0x12, 0x00, 0x08, 0x80}), false, 0, true, "", 1},
	    {"length past the end", bytes({0x08, 0x01, 0x12, 0x05, 'a', 'b'}), true, 1, false, "", 0},
	    {"huge length", bytes({0x12, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x7f, 'a'}), false, 0, false,
	     "", 0},
	    {"fixed64 cut short", bytes({0x12, 0x00, 0x19, 1, 2, 3}), false, 0, true, "", 1},
	    {"fixed32 cut short", bytes({0x25, 1, 2, 0x08, 0x01}), false, 0, false, "", 0},
	    {"group wire type 3 stops", bytes({0x08, 0x02, 0x1b, 0x08, 0x03}), true, 2, false, "", 0},
	    {"wire type 4 stops", bytes({0x1c, 0x08, 0x03}), false, 0, false, "", 0},
	    {"wire types 6 and 7 stop", bytes({0x0e, 0x08, 0x01}), false, 0, false, "", 0},
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
	    {"stream without its trailer", gz.substr(0, gz.size() - 4), ""},
	    {"bad checksum", corrupt, ""},
	    {"bad header", badHeader, ""},
	    {"shorter than 3 bytes", gz.substr(0, 2), ""},
	    {"empty", "", ""},
	    {"plain bytes", "hello world, not compressed", ""},
	    {"empty content", compress(""), ""},
	};
	for (const Case &c : cases)
		EXPECT_TRUE(gunzip(c.input) == c.expected) << c.what;

	// The cap: exactly 32 MiB is accepted, one byte more is not.
	const std::string atCap(kGunzipCap, '\0');
	EXPECT_EQ(gunzip(compress(atCap)).size(), kGunzipCap);
	EXPECT_TRUE(gunzip(compress(atCap + "x")).empty());
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
	// Hand-written: response with one chat message "hi", extension "X", ack asked.
	const std::string user = bytes({0x1a, 0x03, 'A', 'n', 'n'});
	std::string chat = bytes({0x12, static_cast<int>(user.size())}) + user + bytes({0x1a, 0x02, 'h', 'i'});
	std::string room =
	    bytes({0x0a, 0x12}) + "WebcastChatMessage" + bytes({0x12, static_cast<int>(chat.size())}) + chat;
	auto response = [&](bool ext, int needAck) {
		std::string r = bytes({0x0a, static_cast<int>(room.size())}) + room;
		if (ext)
			r += bytes({0x2a, 0x01, 'X'});
		if (needAck >= 0)
			r += bytes({0x48, needAck});
		return r;
	};
	auto frame = [](const std::string &encoding, const std::string *payload, int logId) {
		std::string f;
		if (logId >= 0)
			f += bytes({0x10, logId});
		f += bytes({0x32, static_cast<int>(encoding.size())}) + encoding;
		f += bytes({0x3a, 0x03, 'm', 's', 'g'});
		if (payload) {
			std::string length;
			writeVarint(length, payload->size());
			f += "\x42" + length + *payload;
		}
		return f;
	};
	const std::string acked = response(true, 1);
	const std::string noExt = response(false, 1);
	const std::string noAsk = response(true, 0);
	const std::string gz = compress(acked);
	// Far more than the first inflation buffer: the buffer grows (and moves)
	// while inflating.
	std::string many;
	for (int i = 0; i < 3000; ++i)
		many += bytes({0x0a, static_cast<int>(room.size())}) + room;
	many += bytes({0x2a, 0x01, 'X', 0x48, 0x01});
	const std::string manyGz = compress(many);
	const std::string badGz = gz.substr(0, gz.size() - 3);
	const std::string magicOnly = bytes({0x1f, 0x8b});
	const std::string empty;
	std::string garbage = "\x1f\x8b" + std::string("\x08\x00\x00\x00\x00\x00", 6) + "junkjunk";

	struct Case {
		const char *what;
		std::string frame;
		bool accepted;
		std::string logId;
		size_t messages;
	};
	const Case cases[] = {
	    {"plain, acknowledgement asked", frame("pb", &acked, 5), true, "5", 1},
	    {"gzip payload", frame("pb", &gz, 6), true, "6", 1},
	    {"gzip payload inflating to 100 KiB", frame("pb", &manyGz, 9), true, "9", 3000},
	    {"need-ack without the extension: no acknowledgement", frame("pb", &noExt, 7), true, "", 1},
	    {"need-ack 0", frame("pb", &noAsk, 8), true, "", 1},
	    {"no log id", frame("pb", &acked, -1), true, "", 1},
	    {"json encoding", frame("json", &acked, 5), false, "", 0},
	    {"no encoding", frame("", &acked, 5), false, "", 0},
	    {"no payload", frame("pb", nullptr, 5), false, "", 0},
	    {"empty payload", frame("pb", &empty, 5), false, "", 0},
	    {"broken gzip", frame("pb", &badGz, 5), false, "", 0},
	    {"gzip garbage", frame("pb", &garbage, 5), false, "", 0},
	    {"two bytes 1f 8b are not inflated", frame("pb", &magicOnly, 5), true, "", 0},
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
			EXPECT_EQ(d.messages[0].platform, Platform::TikTok) << c.what;
		}
	}
}
