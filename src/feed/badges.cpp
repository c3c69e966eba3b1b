#include "feed/badges.h"

#include <QBuffer>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <cmath>
#include <map>
#include <mutex>

namespace vanteo {

namespace {

enum class Glyph { Camera, Sword, Diamond, Star };

struct BadgeStyle {
	const char *setId;
	const char *background;
	const char *title; // nullptr: the set id is the title
	Glyph glyph;
};

const BadgeStyle kBadgeStyles[] = {
    {"broadcaster", "#e91916", "Streamer", Glyph::Camera},
    {"moderator", "#00ad03", "Moderatore", Glyph::Sword},
    {"vip", "#e005b9", "VIP", Glyph::Diamond},
    {"subscriber", "#6441a5", "Subscriber", Glyph::Star},
    {"founder", "#a35df2", "Fondatore", Glyph::Star},
    {"premium", "#009cdc", "Prime", Glyph::Star},
    {"turbo", "#59399a", nullptr, Glyph::Star},
    {"partner", "#9147ff", nullptr, Glyph::Star},
    {"staff", "#575260", nullptr, Glyph::Star},
    {"admin", "#faaf19", nullptr, Glyph::Star},
};

const BadgeStyle *findStyle(const std::string &setId)
{
	for (const BadgeStyle &style : kBadgeStyles)
		if (setId == style.setId)
			return &style;
	return nullptr;
}

struct BadgeCatalog {
	std::mutex lock; // guards titles, urls and broadcasterId
	std::map<std::string, std::string, std::less<>> titles;
	std::map<std::string, std::string, std::less<>> urls;
	std::string broadcasterId;
};

// "setId/version" in a per-thread buffer, so a lookup allocates nothing.
const std::string &catalogKey(const std::string &setId, const std::string &version)
{
	thread_local std::string key;
	key.assign(setId);
	key += '/';
	key += version;
	return key;
}

BadgeCatalog &catalog()
{
	static BadgeCatalog instance;
	return instance;
}

std::string lookup(const std::map<std::string, std::string, std::less<>> &map, const std::string &key)
{
	auto it = map.find(key);
	return it == map.end() ? std::string() : it->second;
}

} // namespace

const std::vector<std::string> &builtInBadgeIds()
{
	static const std::vector<std::string> ids = [] {
		std::vector<std::string> list;
		for (const BadgeStyle &style : kBadgeStyles)
			list.emplace_back(style.setId);
		return list;
	}();
	return ids;
}

bool hasBuiltInBadge(const std::string &setId)
{
	return findStyle(setId) != nullptr;
}

std::string badgeTitle(const std::string &setId)
{
	const BadgeStyle *style = findStyle(setId);
	return style && style->title ? style->title : setId;
}

QImage renderBadgeImage(const std::string &setId)
{
	const BadgeStyle *style = findStyle(setId);
	if (!style)
		return QImage();

	QImage image(54, 54, QImage::Format_ARGB32_Premultiplied);
	image.fill(Qt::transparent);
	QPainter p(&image);
	p.setRenderHint(QPainter::Antialiasing);
	p.setPen(Qt::NoPen);
	p.setBrush(QColor(style->background));
	p.drawRoundedRect(QRectF(0, 0, 54, 54), 9, 9);
	p.setBrush(QColor("#ffffff"));

	switch (style->glyph) {
	case Glyph::Sword:
		p.drawRect(QRectF(24.6, 9, 4.8, 24));
		p.drawRect(QRectF(18, 31.8, 18, 4.5));
		p.drawRect(QRectF(24.6, 36, 4.8, 9));
		break;
	case Glyph::Diamond:
		p.drawPolygon(QPolygonF({{27, 10.5}, {43.5, 27}, {27, 43.5}, {10.5, 27}}));
		break;
	case Glyph::Camera:
		p.drawRoundedRect(QRectF(10.5, 18, 24, 18), 3.6, 3.6);
		p.drawPolygon(QPolygonF({{36, 24}, {43.5, 18}, {43.5, 36}, {36, 30}}));
		break;
	case Glyph::Star: {
		QPolygonF star;
		for (int i = 0; i < 10; ++i) {
			double angle = i * M_PI / 5 - M_PI / 2;
			double radius = (i % 2 == 0) ? 18.6 : 8.1;
			star << QPointF(27 + radius * std::cos(angle), 27 + radius * std::sin(angle));
		}
		p.drawPolygon(star);
		break;
	}
	}
	p.end();
	return image;
}

std::vector<std::pair<std::string, std::string>> builtInBadgePngs()
{
	std::vector<std::pair<std::string, std::string>> result;
	for (const BadgeStyle &style : kBadgeStyles) {
		QImage image = renderBadgeImage(style.setId);
		if (image.isNull())
			continue;
		QImage scaled = image.scaled(36, 36, Qt::KeepAspectRatio, Qt::SmoothTransformation);
		QByteArray bytes;
		QBuffer buffer(&bytes);
		buffer.open(QIODevice::WriteOnly);
		if (!scaled.save(&buffer, "PNG"))
			continue;
		result.emplace_back(style.setId, std::string(bytes.constData(), bytes.size()));
	}
	return result;
}

std::string catalogBadgeTitle(const std::string &setId, const std::string &version)
{
	BadgeCatalog &c = catalog();
	const std::string &key = catalogKey(setId, version);
	std::lock_guard<std::mutex> guard(c.lock);
	return lookup(c.titles, key);
}

std::string catalogBadgeUrl(const std::string &setId, const std::string &version)
{
	BadgeCatalog &c = catalog();
	const std::string &key = catalogKey(setId, version);
	std::lock_guard<std::mutex> guard(c.lock);
	return lookup(c.urls, key);
}

bool catalogBadge(const std::string &setId, const std::string &version, std::string &title, std::string &url)
{
	BadgeCatalog &c = catalog();
	const std::string &key = catalogKey(setId, version);
	std::lock_guard<std::mutex> guard(c.lock);
	auto u = c.urls.find(key);
	auto t = c.titles.find(key);
	// Assigned in place, so that a caller's reused strings keep their room.
	if (t == c.titles.end())
		title.clear();
	else
		title.assign(t->second);
	if (u == c.urls.end())
		url.clear();
	else
		url.assign(u->second);
	return u != c.urls.end() || t != c.titles.end();
}

void catalogSetBadge(const std::string &setId, const std::string &version, const std::string &title,
		     const std::string &url)
{
	BadgeCatalog &c = catalog();
	std::lock_guard<std::mutex> guard(c.lock);
	c.titles[setId + "/" + version] = title;
	c.urls[setId + "/" + version] = url;
}

void catalogSetBroadcaster(const std::string &broadcasterId)
{
	BadgeCatalog &c = catalog();
	std::lock_guard<std::mutex> guard(c.lock);
	c.broadcasterId = broadcasterId;
}

std::string catalogBroadcaster()
{
	BadgeCatalog &c = catalog();
	std::lock_guard<std::mutex> guard(c.lock);
	return c.broadcasterId;
}

} // namespace vanteo
