#!/usr/bin/env python3
"""Writes irc_lines.txt: a fixed, seeded mix of chat lines in the form Twitch
sends them (tags in Twitch's order, escaped values, emote ranges counted in
code points), for the IRC benchmarks. Run it again only to change the mix."""

import os
import random
import uuid

rng = random.Random(20240611)
CHANNEL = "somechannel"
ROOM = "71092938"

NAMES = ["Quinn_Ray", "lena", "NightOwl42", "pixelpusher", "Mira_Lune", "bob_the_builder",
         "xXSniperXx", "cozycat", "Terra_Nova", "deadbeef", "ChatterBox", "Väinö", "小明",
         "sleepy_sloth", "GGWP_Gary", "moonlight", "ZedZ", "frostbyte", "Kiwi_Kid", "echo"]
EMOTES = {"Kappa": "25", "Keepo": "1902", "PogChamp": "305954156", "LUL": "425618",
          "BibleThump": "86", "Kreygasm": "41", "SeemsGood": "64138", "HeyGuys": "30259",
          "NotLikeThis": "58765", "catJAM": "emotesv2_9d3b2f7a4c1e4b7e8a9f0c1d2e3f4a5b",
          "modsHype": "emotesv2_0a1b2c3d4e5f60718293a4b5c6d7e8f9"}
WORDS = ("gg wp that was close nice play lol omg what is happening chat is wild today "
         "hello everyone first time here love the stream clip it please no way again "
         "let's go boss fight time one more run who else is hyped check the settings "
         "how long have you been streaming the music is great can you show the build").split()
TAILS = ["!", "?", "", "", "", " :)", " <3", " 😂", " 🔥🔥", " ;)", " :D", " ...", " \\o/"]
COLORS = ["#1E90FF", "#FF0000", "#8A2BE2", "#00FF7F", "#DAA520", "#FF69B4", "#2E8B57", ""]


def escape(value):
    return (value.replace("\\", "\\\\").replace(";", "\\:").replace(" ", "\\s")
            .replace("\r", "\\r").replace("\n", "\\n"))


def user(i):
    name = NAMES[i % len(NAMES)]
    login = name.lower() if name.isascii() else "user%d" % (1000 + i)
    return name, login, str(10000000 + i * 7919)


def text_with_emotes():
    parts = []
    for _ in range(rng.randint(1, 14)):
        if rng.random() < 0.22:
            parts.append(rng.choice(list(EMOTES)))
        else:
            parts.append(rng.choice(WORDS))
    text = " ".join(parts) + rng.choice(TAILS)
    found = {}
    pos = 0
    for word in parts:
        if word in EMOTES:
            found.setdefault(EMOTES[word], []).append("%d-%d" % (pos, pos + len(word) - 1))
        pos += len(word) + 1
    emotes = "/".join("%s:%s" % (eid, ",".join(r)) for eid, r in found.items())
    return text, emotes


def badges_for(kind, months):
    badges, info = [], []
    if kind == "mod":
        badges.append("moderator/1")
    if kind == "vip":
        badges.append("vip/1")
    if months:
        tier = max(m for m in (0, 3, 6, 12, 24, 36) if m <= months)
        badges.append("subscriber/%d" % tier)
        info.append("subscriber/%d" % months)
    if rng.random() < 0.2:
        badges.append(rng.choice(["bits/100", "bits/1000", "premium/1", "glhf-pledge/1",
                                  "sub-gifter/5", "no_audio/1"]))
    return ",".join(badges), ",".join(info)


def ts():
    return str(1718100000000 + rng.randint(0, 3600000))


def tag_string(tags):
    return "@" + ";".join("%s=%s" % (k, escape(v)) for k, v in tags)


def privmsg(i):
    name, login, uid = user(rng.randrange(400))
    kind = rng.choice(["", "", "", "", "mod", "vip"])
    months = rng.choice([0, 0, 0, 1, 2, 5, 13, 27, 40])
    badges, info = badges_for(kind, months)
    text, emotes = text_with_emotes()
    bits = None
    if rng.random() < 0.05:
        bits = rng.choice(["1", "100", "500", "1000"])
        text = "Cheer%s %s" % (bits, text)
        emotes = ""
    action = rng.random() < 0.05
    tags = [("badge-info", info), ("badges", badges)]
    if bits:
        tags.append(("bits", bits))
    tags += [("client-nonce", uuid.UUID(int=rng.getrandbits(128)).hex),
             ("color", rng.choice(COLORS)), ("display-name", name), ("emotes", emotes),
             ("first-msg", "1" if rng.random() < 0.04 else "0"), ("flags", ""),
             ("id", str(uuid.UUID(int=rng.getrandbits(128)))), ("mod", "1" if kind == "mod" else "0")]
    if rng.random() < 0.12:
        pname, plogin, puid = user(rng.randrange(400))
        parent = str(uuid.UUID(int=rng.getrandbits(128)))
        body, _ = text_with_emotes()
        tags += [("reply-parent-display-name", pname), ("reply-parent-msg-body", body),
                 ("reply-parent-msg-id", parent), ("reply-parent-user-id", puid),
                 ("reply-parent-user-login", plogin), ("reply-thread-parent-display-name", pname),
                 ("reply-thread-parent-msg-id", parent), ("reply-thread-parent-user-id", puid),
                 ("reply-thread-parent-user-login", plogin)]
        text = "@%s %s" % (pname, text)
        emotes = ""
        tags[5] = ("emotes", "")
    if rng.random() < 0.02:
        tags.append(("custom-reward-id", str(uuid.UUID(int=rng.getrandbits(128)))))
    tags += [("returning-chatter", "1" if rng.random() < 0.03 else "0"), ("room-id", ROOM),
             ("subscriber", "1" if months else "0"), ("tmi-sent-ts", ts()), ("turbo", "0"),
             ("user-id", uid), ("user-type", "mod" if kind == "mod" else "")]
    if kind == "vip":
        tags.append(("vip", "1"))
    body = "\x01ACTION %s\x01" % text if action else text
    return "%s :%s!%s@%s.tmi.twitch.tv PRIVMSG #%s :%s" % (tag_string(tags), login, login, login,
                                                          CHANNEL, body)


def usernotice(i):
    name, login, uid = user(rng.randrange(400))
    kind = rng.choice(["sub", "resub", "resub", "subgift", "submysterygift", "raid",
                       "announcement"])
    months = rng.choice([1, 3, 7, 14, 30])
    badges, info = badges_for("", months)
    plan = rng.choice(["1000", "1000", "2000", "3000", "Prime"])
    tier = "Prime" if plan == "Prime" else "Tier %s" % plan[0]
    params, system, text = [], "", ""
    if kind in ("sub", "resub"):
        params = [("msg-param-cumulative-months", str(months)), ("msg-param-months", "0"),
                  ("msg-param-multimonth-duration", "1"), ("msg-param-multimonth-tenure", "0"),
                  ("msg-param-should-share-streak", "0"),
                  ("msg-param-sub-plan-name", "Channel Subscription (%s)" % CHANNEL),
                  ("msg-param-sub-plan", plan), ("msg-param-was-gifted", "false")]
        system = "%s subscribed with %s." % (name, tier) if kind == "sub" else \
            "%s subscribed at %s. They've subscribed for %d months!" % (name, tier, months)
        if kind == "resub" and rng.random() < 0.7:
            text, _ = text_with_emotes()
    elif kind == "subgift":
        rname, rlogin, ruid = user(rng.randrange(400))
        params = [("msg-param-gift-months", "1"), ("msg-param-months", str(months)),
                  ("msg-param-origin-id", uuid.UUID(int=rng.getrandbits(128)).hex),
                  ("msg-param-recipient-display-name", rname), ("msg-param-recipient-id", ruid),
                  ("msg-param-recipient-user-name", rlogin), ("msg-param-sender-count", "0"),
                  ("msg-param-sub-plan-name", "Channel Subscription (%s)" % CHANNEL),
                  ("msg-param-sub-plan", plan if plan != "Prime" else "1000")]
        system = "%s gifted a %s sub to %s!" % (name, tier, rname)
    elif kind == "submysterygift":
        count = rng.choice([1, 5, 10, 20, 50])
        params = [("msg-param-mass-gift-count", str(count)),
                  ("msg-param-origin-id", uuid.UUID(int=rng.getrandbits(128)).hex),
                  ("msg-param-sender-count", str(count * rng.randint(1, 9))),
                  ("msg-param-sub-plan", "1000")]
        system = "%s is gifting %d Tier 1 Subs to %s's community!" % (name, count, CHANNEL)
    elif kind == "raid":
        viewers = rng.randint(3, 4000)
        params = [("msg-param-displayName", name), ("msg-param-login", login),
                  ("msg-param-profileImageURL",
                   "https://static-cdn.jtvnw.net/jtv_user_pictures/%s-profile_image-70x70.png" % uid),
                  ("msg-param-viewerCount", str(viewers))]
        system = "%d raiders from %s have joined!" % (viewers, name)
    else:
        if rng.random() < 0.7:
            params = [("msg-param-color", rng.choice(["PRIMARY", "BLUE", "GREEN", "ORANGE",
                                                      "PURPLE"]))]
        text, _ = text_with_emotes()
        badges = "moderator/1"
    tags = [("badge-info", info), ("badges", badges), ("color", rng.choice(COLORS)),
            ("display-name", name), ("emotes", ""), ("flags", ""),
            ("id", str(uuid.UUID(int=rng.getrandbits(128)))), ("login", login), ("mod", "0"),
            ("msg-id", kind)] + params + [
            ("room-id", ROOM), ("subscriber", "1"), ("system-msg", system),
            ("tmi-sent-ts", ts()), ("user-id", uid), ("user-type", "")]
    line = "%s :tmi.twitch.tv USERNOTICE #%s" % (tag_string(tags), CHANNEL)
    return line + (" :" + text if text else "")


def other(i):
    name, login, uid = user(rng.randrange(400))
    kind = rng.choice(["clearmsg", "clearmsg", "clearchat", "clearchat", "ban", "ping"])
    if kind == "clearmsg":
        return "@login=%s;room-id=;target-msg-id=%s;tmi-sent-ts=%s :tmi.twitch.tv CLEARMSG #%s :%s" % (
            login, uuid.UUID(int=rng.getrandbits(128)), ts(), CHANNEL, " ".join(rng.sample(WORDS, 4)))
    if kind == "clearchat":
        return "@ban-duration=%d;room-id=%s;target-user-id=%s;tmi-sent-ts=%s :tmi.twitch.tv CLEARCHAT #%s :%s" % (
            rng.choice([1, 60, 600]), ROOM, uid, ts(), CHANNEL, login)
    if kind == "ban":
        return "@room-id=%s;target-user-id=%s;tmi-sent-ts=%s :tmi.twitch.tv CLEARCHAT #%s :%s" % (
            ROOM, uid, ts(), CHANNEL, login)
    return "PING :tmi.twitch.tv"


lines = []
for i in range(400):
    r = rng.random()
    lines.append(privmsg(i) if r < 0.86 else usernotice(i) if r < 0.96 else other(i))
out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "irc_lines.txt")
with open(out, "w", encoding="utf-8", newline="\n") as f:
    for line in lines:
        assert "\r" not in line and "\n" not in line
        f.write(line + "\n")
print("%d lines, %d bytes" % (len(lines), sum(len(l.encode()) + 1 for l in lines)))
