#include "tiktok/webcast_mapping.h"

#include "tiktok/protobuf_wire.h"
#include "tiktok/push_frame.h"

#include <cstdint>
#include <limits>
#include <string>

namespace vanteo {

namespace {

const char kDefaultName[] = "TikTok User";

int64_t asCount(uint64_t value)
{
	return value > static_cast<uint64_t>(std::numeric_limits<int64_t>::max()) ? std::numeric_limits<int64_t>::max()
										  : static_cast<int64_t>(value);
}

// A TikTok record with the message id of the common part (field 1).
ChatMessage startRecord(const FieldScan &body)
{
	ChatMessage record;
	record.platform = Platform::TikTok;
	std::string_view common;
	uint64_t id = 0;
	if (body.bytes(1, common) && getVarintField(common, 2, id))
		record.id = std::to_string(id);
	return record;
}

// The author from the given field, "TikTok User" when nothing names them.
void authorOrDefault(const FieldScan &body, uint32_t field, ChatMessage &record)
{
	std::string_view user;
	if (body.bytes(field, user))
		fillUser(user, record);
	if (record.name.empty())
		record.name = kDefaultName;
}

void chatLine(std::string_view message, DecodedFrame &frame)
{
	const FieldScan body(message, {1, 2, 3, 18});
	std::string_view text;
	if (!body.bytes(3, text) || text.empty())
		return;
	ChatMessage record = startRecord(body);
	record.text.assign(text.data(), text.size());
	authorOrDefault(body, 2, record);
	std::string_view identity;
	if (body.bytes(18, identity)) {
		const FieldScan who(identity, {2, 5, 6});
		// A version of our own, so that Twitch's badges of the same set
		// (moderator/1, the channel's subscriber/1) never stand in for them.
		if (who.varintOr(6, 0))
			record.badges.push_back({"broadcaster", "tiktok"});
		if (who.varintOr(5, 0))
			record.badges.push_back({"moderator", "tiktok"});
		if (who.varintOr(2, 0))
			record.badges.push_back({"subscriber", "tiktok"});
	}
	frame.messages.push_back(std::move(record));
}

// Each emote becomes the placeholder "[emote]" with a span over it, so the
// pages draw the picture where the text would be.
void emoteLine(std::string_view message, DecodedFrame &frame)
{
	const FieldScan body(message, {1, 2});
	ChatMessage record = startRecord(body);
	int32_t position = 0;
	size_t cursor = 0;
	FieldView field;
	while (nextField(message, cursor, field)) {
		if (field.field != 3 || field.wireType != 2)
			continue;
		std::string_view image;
		std::string_view address;
		if (!findBytesField(field.bytes, 2, image) || !findBytesField(image, 1, address) || address.empty())
			continue;
		if (!record.text.empty()) {
			record.text += ' ';
			position += 1;
		}
		record.emotes.push_back({position, position + 6, std::string(address)});
		record.text += "[emote]";
		position += 7;
	}
	if (record.text.empty())
		return;
	authorOrDefault(body, 2, record);
	frame.messages.push_back(std::move(record));
}

void member(std::string_view message, DecodedFrame &frame)
{
	const FieldScan body(message, {1, 2, 3, 10});
	uint64_t viewers = 0;
	if (body.varint(3, viewers))
		frame.viewerCount = asCount(viewers);
	std::string_view user;
	if (body.varintOr(10, 0) != 1 || !body.bytes(2, user))
		return;
	ChatMessage record = startRecord(body);
	fillUser(user, record);
	if (record.name.empty())
		return;
	record.eventId = "join";
	frame.messages.push_back(std::move(record));
}

void like(std::string_view message, DecodedFrame &frame)
{
	const FieldScan body(message, {1, 2, 3, 5});
	ChatMessage record = startRecord(body);
	authorOrDefault(body, 5, record);
	record.eventId = "like";
	const uint64_t count = body.varintOr(2, 0);
	record.eventCount = count ? std::to_string(count) : "1";
	record.eventTotal = std::to_string(body.varintOr(3, 0));
	frame.messages.push_back(std::move(record));
}

void social(std::string_view message, DecodedFrame &frame)
{
	const FieldScan body(message, {1, 2});
	std::string_view common;
	std::string_view display;
	std::string_view key;
	if (body.bytes(1, common) && findBytesField(common, 8, display))
		findBytesField(display, 1, key);
	const char *kind = key.find("follow") != std::string_view::npos   ? "follow"
			   : key.find("share") != std::string_view::npos  ? "share"
			   : key.find("mt_msg") != std::string_view::npos ? "share"
									  : nullptr;
	if (!kind)
		return;
	ChatMessage record = startRecord(body);
	authorOrDefault(body, 2, record);
	record.eventId = kind;
	frame.messages.push_back(std::move(record));
}

// A combo gift arrives once per tap while the combo runs; only the message
// that ends it is shown, with the final count.
void gift(std::string_view message, DecodedFrame &frame)
{
	const FieldScan body(message, {1, 5, 7, 9, 15});
	uint64_t repeat = body.varintOr(5, 1);
	const uint64_t repeatEnd = body.varintOr(9, 0);
	std::string_view detailBytes;
	const bool hasDetails = body.bytes(15, detailBytes);
	const FieldScan details(hasDetails ? detailBytes : std::string_view(), {1, 11, 12, 16});
	const uint64_t type = details.varintOr(11, 0);
	const uint64_t diamonds = details.varintOr(12, 0);
	if (type == 1 && repeatEnd == 0)
		return;
	ChatMessage record = startRecord(body);
	authorOrDefault(body, 7, record);
	record.eventText = std::string(details.bytesOr(16));
	std::string_view image;
	std::string_view address;
	if (details.bytes(1, image) && findBytesField(image, 1, address))
		record.eventImage.assign(address.data(), address.size());
	if (repeat == 0)
		repeat = 1;
	record.eventId = "gift";
	record.eventCount = std::to_string(repeat);
	record.eventTotal = std::to_string(diamonds * repeat);
	frame.messages.push_back(std::move(record));
}

} // namespace

void fillUser(std::string_view message, ChatMessage &record)
{
	const FieldScan user(message, {1, 3, 38, 1028});
	std::string_view name = user.bytesOr(3);
	if (name.empty())
		name = user.bytesOr(38);
	record.name.assign(name.data(), name.size());
	std::string_view idText;
	uint64_t id = 0;
	if (user.bytes(1028, idText))
		record.userId.assign(idText.data(), idText.size());
	else if (user.varint(1, id))
		record.userId = std::to_string(id);
}

void mapRoomMessage(std::string_view method, std::string_view body, DecodedFrame &frame)
{
	if (method == "WebcastChatMessage") {
		chatLine(body, frame);
	} else if (method == "WebcastEmoteChatMessage") {
		emoteLine(body, frame);
	} else if (method == "WebcastMemberMessage") {
		member(body, frame);
	} else if (method == "WebcastRoomUserSeqMessage") {
		uint64_t viewers = 0;
		if (getVarintField(body, 3, viewers))
			frame.viewerCount = asCount(viewers);
	} else if (method == "WebcastLikeMessage") {
		like(body, frame);
	} else if (method == "WebcastSocialMessage") {
		social(body, frame);
	} else if (method == "WebcastGiftMessage") {
		gift(body, frame);
	}
}

} // namespace vanteo
