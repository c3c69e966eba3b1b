#include "replaynotify/banner.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QPropertyAnimation>

#include <algorithm>
#include <cmath>

namespace vanteo::replaynotify {

namespace {

const QColor kCardBackground(18, 19, 22, 245);
const QColor kCardBorder(255, 255, 255, 36);
const QColor kSubtitleColour(255, 255, 255, 112);
const QColor kTitleColour(255, 255, 255);

// Bar 4 + gap 18 + icon 30 + gap 15 before the text; 22 + 2 after it.
const qreal kTextLeft = 67;
const qreal kTextRightRoom = 22 + 2;
const int kMinCardWidth = 280;
const int kCardHeight = 62;

const BannerStyle kStyles[] = {
    {QColor(118, 185, 0), "Replay Saved", "Clip saved to disk", "Replay salvato", "Clip salvata sul disco"},
    {QColor(61, 139, 255), "Replay Buffer On", "Recording in the background", "Replay buffer attivato",
     "Registrazione in background"},
    {QColor(224, 82, 82), "Replay Buffer Off", "Recording paused", "Replay buffer disattivato",
     "Registrazione sospesa"},
};

QString titleOf(const BannerStyle &style, bool italian)
{
	return QString::fromUtf8(italian ? style.titleIt : style.title);
}

QString subtitleOf(const BannerStyle &style, bool italian)
{
	return QString::fromUtf8(italian ? style.subtitleIt : style.subtitle);
}

QPen roundPen(const QColor &colour, qreal width)
{
	QPen pen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
	return pen;
}

void drawSavedIcon(QPainter &p, const QColor &accent)
{
	p.setBrush(Qt::NoBrush);
	p.setPen(roundPen(accent, 1.9));
	p.drawRoundedRect(QRectF(2.15, 6.75, 10.7, 8.5), 2.6, 2.6);

	p.setPen(roundPen(accent, 1.8));
	p.setBrush(accent);
	QPainterPath lens;
	lens.moveTo(15.8, 9.4);
	lens.lineTo(20.8, 6.8);
	lens.lineTo(20.8, 15.0);
	lens.lineTo(15.8, 12.4);
	lens.closeSubpath();
	p.drawPath(lens);

	// A ring of card colour cuts the badge out of the camera.
	p.setPen(Qt::NoPen);
	p.setBrush(kCardBackground);
	p.drawEllipse(QRectF(12.2, 12.2, 13.8, 13.8));
	p.setBrush(accent);
	p.drawEllipse(QRectF(14, 14, 10.2, 10.2));

	p.setBrush(Qt::NoBrush);
	p.setPen(roundPen(kTitleColour, 1.8));
	QPainterPath tick;
	tick.moveTo(16.5, 19.1);
	tick.lineTo(18.3, 20.9);
	tick.lineTo(21.7, 17.3);
	p.drawPath(tick);
}

void drawOnIcon(QPainter &p, const QColor &accent)
{
	QColor faint = accent;
	faint.setAlphaF(0.45);
	QPen dotted = roundPen(faint, 1.4);
	dotted.setDashPattern({0.1, 2.6});
	p.setBrush(Qt::NoBrush);
	p.setPen(dotted);
	p.drawEllipse(QRectF(2.3, 2.3, 21.4, 21.4));

	p.setPen(roundPen(accent, 2.0));
	p.drawEllipse(QRectF(6.6, 6.6, 12.8, 12.8));

	p.setPen(Qt::NoPen);
	p.setBrush(accent);
	p.drawEllipse(QRectF(9.6, 9.6, 6.8, 6.8));
}

void drawOffIcon(QPainter &p, const QColor &accent)
{
	p.setBrush(Qt::NoBrush);
	p.setPen(roundPen(accent, 2.1));
	QPainterPath arc;
	arc.moveTo(18.7, 7.9);
	arc.arcTo(QRectF(4.9, 5.555, 16.2, 16.2), 45.3, -270.6);
	p.drawPath(arc);
	p.drawLine(QPointF(13.0, 2.9), QPointF(13.0, 11.6));
}

} // namespace

const BannerStyle &styleFor(BannerKind kind)
{
	switch (static_cast<int32_t>(kind)) {
	case 0:
		return kStyles[0];
	case 1:
		return kStyles[1];
	default:
		return kStyles[2];
	}
}

QFont bannerTitleFont()
{
	QFont font(QStringLiteral("Segoe UI"));
	font.setPointSizeF(10.875);
	font.setWeight(QFont::DemiBold);
	return font;
}

QFont bannerSubtitleFont()
{
	QFont font(QStringLiteral("Segoe UI"));
	font.setPointSizeF(8.25);
	return font;
}

QSize bannerContentSize(const BannerStyle &style, bool italian)
{
	const QFontMetricsF title(bannerTitleFont());
	const QFontMetricsF subtitle(bannerSubtitleFont());
	const qreal text = std::max(title.horizontalAdvance(titleOf(style, italian)),
				    subtitle.horizontalAdvance(subtitleOf(style, italian)));
	const int width = static_cast<int>(std::ceil(text + kTextLeft + kTextRightRoom));
	return QSize(std::max(kMinCardWidth, width), kCardHeight);
}

void drawBannerIcon(QPainter &painter, BannerKind kind, const QColor &accent, const QRectF &box)
{
	painter.save();
	painter.translate(box.topLeft());
	painter.scale(box.width() / 26.0, box.height() / 26.0);
	painter.setRenderHint(QPainter::Antialiasing, true);
	switch (static_cast<int32_t>(kind)) {
	case 0:
		drawSavedIcon(painter, accent);
		break;
	case 1:
		drawOnIcon(painter, accent);
		break;
	default:
		drawOffIcon(painter, accent);
		break;
	}
	painter.restore();
}

Banner::Banner(BannerKind kind, bool italian) : QWidget(nullptr), m_kind(static_cast<int32_t>(kind)), m_italian(italian)
{
	// Seen over a full-screen game without disturbing it: on top, never
	// focused, clicks pass through to the window below.
	setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowTransparentForInput |
		       Qt::WindowDoesNotAcceptFocus);
	setAttribute(Qt::WA_TranslucentBackground);
	setAttribute(Qt::WA_ShowWithoutActivating);
	setAttribute(Qt::WA_DeleteOnClose);
}

Banner::~Banner() = default;

void Banner::paintEvent(QPaintEvent *)
{
	const BannerStyle &style = styleFor(kind());
	const QRectF card(kBannerMargin, kBannerMargin, width() - 2 * kBannerMargin, height() - 2 * kBannerMargin);
	QPainter p(this);

	// Soft shadow: 16 growing rounded rectangles, 3 px low, fading out.
	p.setRenderHint(QPainter::Antialiasing, true);
	p.setPen(Qt::NoPen);
	for (int i = 16; i >= 1; --i) {
		const double fall = 1.0 - i / 17.0;
		p.setBrush(QColor(0, 0, 0, static_cast<int>(fall * fall * 114.75 / 6)));
		p.drawRoundedRect(card.adjusted(-i, 3 - i, i, i + 3), i, i, Qt::AbsoluteSize);
	}

	p.setRenderHint(QPainter::Antialiasing, false);
	p.fillRect(card, kCardBackground);
	p.fillRect(QRectF(card.left(), card.top(), 4, card.height()), style.accent);
	p.setPen(QPen(kCardBorder, 1, Qt::SolidLine));
	p.setBrush(Qt::NoBrush);
	p.drawRect(card.adjusted(0.5, 0.5, -0.5, -0.5));

	drawBannerIcon(p, kind(), style.accent, QRectF(card.left() + 22, card.top() + 16, 30, 30));

	p.setRenderHint(QPainter::TextAntialiasing, true);
	const QFont titleFont = bannerTitleFont();
	const QFont subtitleFont = bannerSubtitleFont();
	const QFontMetricsF title(titleFont);
	const QFontMetricsF subtitle(subtitleFont);
	const qreal x = card.left() + kTextLeft;
	const qreal top = card.center().y() - (title.height() + 1 + subtitle.height()) / 2;
	p.setFont(titleFont);
	p.setPen(kTitleColour);
	p.drawText(QPointF(x, top + title.ascent()), titleOf(style, m_italian));
	p.setFont(subtitleFont);
	p.setPen(kSubtitleColour);
	p.drawText(QPointF(x, top + title.height() + 1 + subtitle.ascent()), subtitleOf(style, m_italian));
}

QPropertyAnimation *fadeTo(QWidget *widget, qreal target, int durationMs)
{
	auto *animation = new QPropertyAnimation(widget, QByteArrayLiteral("windowOpacity"), widget);
	animation->setDuration(durationMs);
	animation->setStartValue(widget->windowOpacity());
	animation->setEndValue(target);
	animation->start(QAbstractAnimation::DeleteWhenStopped);
	return animation;
}

} // namespace vanteo::replaynotify
