#pragma once

#include <QColor>
#include <QFont>
#include <QSize>
#include <QWidget>

#include <cstdint>

class QPainter;
class QPropertyAnimation;
class QRectF;

// The replay buffer banner: a small dark card with a coloured accent bar, a
// vector icon, a bold title and a dimmer subtitle, painted on a transparent
// top-level window that never takes focus and lets clicks through.
// Widgets: GUI thread only.
namespace vanteo::replaynotify {

enum class BannerKind : int32_t { Saved = 0, On = 1, Off = 2 };

struct BannerStyle {
	QColor accent;
	const char *title; // UTF-8
	const char *subtitle;
	const char *titleIt; // Italian pair
	const char *subtitleIt;
};

// The fixed row of a kind; any value other than Saved or On gets Off's.
const BannerStyle &styleFor(BannerKind kind);

// Transparent margin around the card, room for the shadow.
constexpr int kBannerMargin = 22;

// The card's size for the style's texts in the chosen language: at least
// 280 wide, 62 high; the window is kBannerMargin larger on every side.
QSize bannerContentSize(const BannerStyle &style, bool italian);

QFont bannerTitleFont();
QFont bannerSubtitleFont();

// The kind's icon on a 26 x 26 grid scaled into `box`.
void drawBannerIcon(QPainter &painter, BannerKind kind, const QColor &accent, const QRectF &box);

class Banner : public QWidget {
public:
	// A parentless tool window: frameless, on top, transparent for input,
	// never focused, translucent, deleted when closed. Not shown yet.
	Banner(BannerKind kind, bool italian);
	~Banner() override;

	BannerKind kind() const { return static_cast<BannerKind>(m_kind); }
	bool italian() const { return m_italian; }

protected:
	void paintEvent(QPaintEvent *event) override;

private:
	int32_t m_kind;
	bool m_italian;
};

// Animates the widget's window opacity from its current value to `target`.
// The animation belongs to the widget and deletes itself when it stops.
QPropertyAnimation *fadeTo(QWidget *widget, qreal target, int durationMs);

} // namespace vanteo::replaynotify
