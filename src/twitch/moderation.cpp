#include "twitch/moderation.h"

#include "common/json.h"
#include "common/obs_json.h"
#include "twitch/helix.h"

#include <cstdint>
#include <vector>

namespace vanteo {

namespace {

const char kHelpText[] = "Available commands: /ban /unban /timeout /untimeout /clear /slow /slowoff /followers "
			 "/followersoff /subscribers /subscribersoff /emoteonly /emoteonlyoff /uniquechat "
			 "/uniquechatoff /mod /unmod /mods /vip /unvip /vips /color /block /unblock /raid "
			 "/unraid /announce /shoutout /marker /commercial";

std::string okReply()
{
	return "{\"ok\":true}";
}

std::string noticeReply(const std::string &text)
{
	return "{\"ok\":true,\"notice\":" + jsonQuote(text) + "}";
}

// One Helix request accepting the statuses in `accepted`; errors as
// helixCall reports them.
bool helixExpect(const HelixContext &ctx, const char *method, const std::string &path, const std::string &body,
		 std::initializer_list<uint32_t> accepted, std::string &errorOut)
{
	std::string reply;
	uint32_t status = 0;
	if (!helixRequest(ctx, method, path, body, reply, status)) {
		errorOut = "Twitch unreachable";
		return false;
	}
	for (uint32_t ok : accepted) {
		if (status == ok)
			return true;
	}
	errorOut = helixError(reply, static_cast<long>(status));
	return false;
}

bool isSpace(char c)
{
	return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::vector<std::string> splitWords(const std::string &text)
{
	std::vector<std::string> words;
	size_t i = 0;
	while (i < text.size()) {
		while (i < text.size() && isSpace(text[i]))
			++i;
		size_t start = i;
		while (i < text.size() && !isSpace(text[i]))
			++i;
		if (i > start)
			words.push_back(text.substr(start, i - start));
	}
	return words;
}

std::string lower(std::string text)
{
	for (char &c : text) {
		if (c >= 'A' && c <= 'Z')
			c = static_cast<char>(c - 'A' + 'a');
	}
	return text;
}

// Words from `first` on, joined with single spaces.
std::string joinFrom(const std::vector<std::string> &words, size_t first)
{
	std::string joined;
	for (size_t i = first; i < words.size(); ++i) {
		if (!joined.empty())
			joined += ' ';
		joined += words[i];
	}
	return joined;
}

// The value of a number argument, or fallback when it is below 1.
long long atLeastOne(const std::string &word, long long fallback)
{
	const long long value = jsonNumber(word);
	return value >= 1 ? value : fallback;
}

// One run of the command runner; the parsed words and the gate's values.
struct Command {
	const HelixContext &ctx;
	const std::string &bid; // ctx.broadcasterId
	std::string name;
	std::vector<std::string> words; // words[0] is the command itself

	const std::string &arg(size_t index) const
	{
		static const std::string none;
		return index < words.size() ? words[index] : none;
	}
	const std::string &mid() const { return ctx.account.userId; }

	// A Helix call of the table; reply on success, error reply otherwise.
	std::string call(const char *method, const std::string &path, const std::string &body,
			 const std::string &success) const
	{
		std::string reply;
		std::string error;
		if (!helixCall(ctx, method, path, body, reply, error))
			return errorReply(error);
		return success;
	}

	std::string settings(const std::string &json) const
	{
		std::string error;
		if (!updateChatSettings(ctx, json, error))
			return errorReply(error);
		return okReply();
	}

	// Runs `then` with the id of the user in word 1, or answers
	// "User not found" before any other call.
	template <typename Then> std::string withUser(Then then) const
	{
		std::string uid;
		if (!resolveUser(ctx, arg(1), uid))
			return errorReply("User not found: " + arg(1));
		return then(uid);
	}

	std::string list(const std::string &path, const std::string &prefix, const std::string &empty) const
	{
		std::string reply;
		std::string error;
		if (!helixCall(ctx, "GET", path, std::string(), reply, error))
			return errorReply(error);
		const std::string names = joinNames(reply);
		return noticeReply(names.empty() ? empty : prefix + names);
	}
};

std::string runModeration(const Command &c)
{
	const std::string &cmd = c.name;
	if (cmd == "ban" || cmd == "timeout") {
		// Reason words are accepted after the user (and a duration) but the
		// ban request only carries the user and the duration.
		const long long duration = cmd == "ban" ? 0 : atLeastOne(c.arg(2), 600);
		return c.withUser([&](const std::string &uid) {
			std::string error;
			if (!banUser(c.ctx, uid, duration, error))
				return errorReply(error);
			return okReply();
		});
	}
	if (cmd == "unban" || cmd == "untimeout") {
		return c.withUser([&](const std::string &uid) {
			std::string error;
			if (!unbanUser(c.ctx, uid, error))
				return errorReply(error);
			return okReply();
		});
	}
	if (cmd == "clear") {
		std::string error;
		if (!clearChat(c.ctx, error))
			return errorReply(error);
		return okReply();
	}
	return std::string();
}

std::string runChatModes(const Command &c)
{
	const std::string &cmd = c.name;
	if (cmd == "slow")
		return c.settings(
		    "{\"slow_mode\":true,\"slow_mode_wait_time\":" + std::to_string(atLeastOne(c.arg(1), 30)) + "}");
	if (cmd == "slowoff")
		return c.settings("{\"slow_mode\":false}");
	if (cmd == "followers")
		return c.settings(
		    "{\"follower_mode\":true,\"follower_mode_duration\":" + std::to_string(jsonNumber(c.arg(1))) + "}");
	if (cmd == "followersoff")
		return c.settings("{\"follower_mode\":false}");
	if (cmd == "subscribers")
		return c.settings("{\"subscriber_mode\":true}");
	if (cmd == "subscribersoff")
		return c.settings("{\"subscriber_mode\":false}");
	if (cmd == "emoteonly")
		return c.settings("{\"emote_mode\":true}");
	if (cmd == "emoteonlyoff")
		return c.settings("{\"emote_mode\":false}");
	if (cmd == "uniquechat")
		return c.settings("{\"unique_chat_mode\":true}");
	if (cmd == "uniquechatoff")
		return c.settings("{\"unique_chat_mode\":false}");
	return std::string();
}

std::string runRoles(const Command &c)
{
	const std::string &cmd = c.name;
	const std::string &who = c.arg(1);
	if (cmd == "mods")
		return c.list("/helix/moderation/moderators?first=100&broadcaster_id=" + c.bid,
			      "Channel moderators: ", "This channel has no moderators.");
	if (cmd == "vips")
		return c.list("/helix/channels/vips?first=100&broadcaster_id=" + c.bid,
			      "Channel VIPs: ", "This channel has no VIPs.");
	if (cmd == "mod" || cmd == "unmod") {
		return c.withUser([&](const std::string &uid) {
			return c.call(
			    cmd == "mod" ? "POST" : "DELETE",
			    "/helix/moderation/moderators?broadcaster_id=" + c.bid + "&user_id=" + uid, std::string(),
			    noticeReply(who + (cmd == "mod" ? " is now a moderator." : " is no longer a moderator.")));
		});
	}
	if (cmd == "vip" || cmd == "unvip") {
		return c.withUser([&](const std::string &uid) {
			return c.call(cmd == "vip" ? "POST" : "DELETE",
				      "/helix/channels/vips?broadcaster_id=" + c.bid + "&user_id=" + uid, std::string(),
				      noticeReply(who + (cmd == "vip" ? " is now a VIP." : " is no longer a VIP.")));
		});
	}
	if (cmd == "color") {
		if (who.empty())
			return errorReply("Usage: /color <color>, for example /color blue or /color #FF0000");
		std::string color;
		for (char ch : who)
			color += ch == '#' ? std::string("%23") : std::string(1, ch);
		return c.call("PUT", "/helix/chat/color?user_id=" + c.mid() + "&color=" + color, std::string(),
			      noticeReply("Name color changed to " + who + "."));
	}
	if (cmd == "block" || cmd == "unblock") {
		return c.withUser([&](const std::string &uid) {
			return c.call(cmd == "block" ? "PUT" : "DELETE", "/helix/users/blocks?target_user_id=" + uid,
				      std::string(), noticeReply(who + (cmd == "block" ? " blocked." : " unblocked.")));
		});
	}
	return std::string();
}

std::string runChannel(const Command &c)
{
	const std::string &cmd = c.name;
	const std::string &who = c.arg(1);
	if (cmd == "raid") {
		return c.withUser([&](const std::string &uid) {
			return c.call("POST", "/helix/raids?from_broadcaster_id=" + c.bid + "&to_broadcaster_id=" + uid,
				      std::string(),
				      noticeReply("Raid to " + who + " started: it goes out in 90 seconds."));
		});
	}
	if (cmd == "unraid")
		return c.call("DELETE", "/helix/raids?broadcaster_id=" + c.bid, std::string(),
			      noticeReply("Raid cancelled."));
	if (cmd == "announce" || cmd == "announceblue" || cmd == "announcegreen" || cmd == "announceorange" ||
	    cmd == "announcepurple") {
		const std::string message = joinFrom(c.words, 1);
		if (message.empty())
			return errorReply("Usage: /announce <message>");
		const std::string color = cmd == "announce" ? std::string("primary") : cmd.substr(8);
		return c.call("POST", "/helix/chat/announcements?broadcaster_id=" + c.bid + "&moderator_id=" + c.mid(),
			      "{\"message\":" + quoteSimple(message) + ",\"color\":\"" + color + "\"}", okReply());
	}
	if (cmd == "shoutout") {
		return c.withUser([&](const std::string &uid) {
			return c.call("POST",
				      "/helix/chat/shoutouts?from_broadcaster_id=" + c.bid +
					  "&to_broadcaster_id=" + uid + "&moderator_id=" + c.mid(),
				      std::string(), noticeReply("Shoutout a " + who + " sent."));
		});
	}
	if (cmd == "marker")
		return c.call("POST", "/helix/streams/markers",
			      "{\"user_id\":\"" + c.bid + "\",\"description\":" + quoteSimple(joinFrom(c.words, 1)) +
				  "}",
			      noticeReply("Stream marker added."));
	if (cmd == "commercial")
		return c.call("POST", "/helix/channels/commercial",
			      "{\"broadcaster_id\":\"" + c.bid +
				  "\",\"length\":" + std::to_string(atLeastOne(who, 30)) + "}",
			      noticeReply("Ad started."));
	if (cmd == "help")
		return noticeReply(kHelpText);
	if (cmd == "me")
		return errorReply("The Twitch API does not accept /me; send a normal message instead");
	return std::string();
}

// "broadcaster_id=<id>&moderator_id=<the account's id>": the channel a
// moderation call acts on, and as whom.
std::string moderatorQuery(const HelixContext &ctx)
{
	return "broadcaster_id=" + ctx.broadcasterId + "&moderator_id=" + ctx.account.userId;
}

// "duration" as the pages send it: a decimal string, or a plain number.
std::string durationField(const std::string &body)
{
	std::string text = jsonField(body, "duration");
	if (text.empty()) {
		DataRef root(DataRef::parse(body));
		if (root && obs_data_has_user_value(root.get(), "duration"))
			text = std::to_string(obs_data_get_int(root.get(), "duration"));
	}
	return text;
}

} // namespace

std::string runChatCommand(const HelixContext &ctx, const std::string &text)
{
	Command command{ctx, ctx.broadcasterId, std::string(), splitWords(text)};
	if (command.words.empty())
		return errorReply("Empty command");
	command.name = lower(command.words[0].substr(1));

	// The families are tried in the order of the command table.
	for (auto family : {runModeration, runChatModes, runRoles, runChannel}) {
		std::string reply = family(command);
		if (!reply.empty())
			return reply;
	}
	return errorReply("Unknown command: /" + command.name);
}

bool banUser(const HelixContext &ctx, const std::string &uid, long long durationSeconds, std::string &errorOut)
{
	if (uid.empty()) {
		errorOut = "Unknown user";
		return false;
	}
	DataRef inner(obs_data_create());
	obs_data_set_string(inner.get(), "user_id", uid.c_str());
	if (durationSeconds > 0)
		obs_data_set_int(inner.get(), "duration", durationSeconds);
	DataRef request(obs_data_create());
	obs_data_set_obj(request.get(), "data", inner.get());
	return helixExpect(ctx, "POST", "/helix/moderation/bans?" + moderatorQuery(ctx), request.json(), {200},
			   errorOut);
}

bool unbanUser(const HelixContext &ctx, const std::string &uid, std::string &errorOut)
{
	// The id may come straight from a page: encoded, so that it stays one
	// query value (Twitch's numeric ids are unchanged by this).
	return helixExpect(ctx, "DELETE",
			   "/helix/moderation/bans?" + moderatorQuery(ctx) + "&user_id=" + urlEncode(uid),
			   std::string(), {200, 204}, errorOut);
}

bool updateChatSettings(const HelixContext &ctx, const std::string &settingsJson, std::string &errorOut)
{
	return helixExpect(ctx, "PATCH", "/helix/chat/settings?" + moderatorQuery(ctx), settingsJson, {200}, errorOut);
}

bool clearChat(const HelixContext &ctx, std::string &errorOut)
{
	return helixExpect(ctx, "DELETE", "/helix/moderation/chat?" + moderatorQuery(ctx), std::string(), {200, 204},
			   errorOut);
}

bool deleteMessage(const HelixContext &ctx, const std::string &messageId, std::string &errorOut)
{
	return helixExpect(ctx, "DELETE",
			   "/helix/moderation/chat?" + moderatorQuery(ctx) + "&message_id=" + urlEncode(messageId),
			   std::string(), {200, 204}, errorOut);
}

bool warnUser(const HelixContext &ctx, const std::string &uid, const std::string &reason, std::string &errorOut)
{
	DataRef inner(obs_data_create());
	obs_data_set_string(inner.get(), "user_id", uid.c_str());
	obs_data_set_string(inner.get(), "reason", reason.empty() ? "Please follow the chat rules" : reason.c_str());
	DataRef request(obs_data_create());
	obs_data_set_obj(request.get(), "data", inner.get());
	std::string reply;
	return helixCall(ctx, "POST", "/helix/moderation/warnings?" + moderatorQuery(ctx), request.json(), reply,
			 errorOut);
}

bool resolveUser(const HelixContext &ctx, const std::string &name, std::string &idOut)
{
	const std::string login = !name.empty() && name[0] == '@' ? name.substr(1) : name;
	if (login.empty())
		return false;
	return lookupUserId(ctx, login, idOut);
}

std::string joinNames(const std::string &responseBody)
{
	DataRef root(DataRef::parse(responseBody));
	if (!root)
		return std::string();
	ArrayRef list(obs_data_get_array(root.get(), "data"));
	std::string joined;
	for (size_t i = 0; i < list.size(); ++i) {
		DataRef entry(list.item(i));
		const std::string name = dataString(entry.get(), "user_name");
		if (name.empty())
			continue;
		if (!joined.empty())
			joined += ", ";
		joined += name;
	}
	return joined;
}

std::string quoteSimple(const std::string &text)
{
	std::string out = "\"";
	for (char c : text) {
		if (c != '"' && c != '\\')
			out += c;
	}
	return out + "\"";
}

std::string moderateAction(const HelixContext &ctx, const std::string &body)
{
	const std::string platform = jsonField(body, "platform");
	if (platform == "kick")
		return errorReply(
		    "Kick moderation is available only on Kick; Vanteo reads its chat without an account");
	if (platform == "youtube")
		return errorReply(
		    "YouTube moderation is available only on YouTube; Vanteo reads its chat without an account");
	if (platform != "twitch")
		return errorReply("TikTok moderation is available only in the app; no API exists");
	const std::string action = jsonField(body, "action");
	const std::string userId = jsonField(body, "userId");
	std::string error;
	bool done = false;
	if (action == "delete") {
		// Without a message id Twitch's delete call clears the whole chat.
		const std::string id = jsonField(body, "id");
		if (id.empty())
			return errorReply("Unknown message");
		done = deleteMessage(ctx, id, error);
	} else if (action == "unban")
		done = unbanUser(ctx, userId, error);
	else if (action == "warn")
		done = warnUser(ctx, userId, jsonField(body, "reason"), error);
	else if (action == "ban")
		done = banUser(ctx, userId, 0, error);
	else if (action == "timeout")
		done = banUser(ctx, userId, atLeastOne(durationField(body), 600), error);
	else
		return errorReply("Unknown moderation action");
	return done ? okReply() : errorReply(error);
}

} // namespace vanteo
