#include "module/fallback_panel.h"

#include "platform/open_url.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace vanteo {

QWidget *createFallbackPanel(QWidget *parent, const std::string &pageTitle, const std::string &url)
{
	auto *panel = new QWidget(parent);
	panel->setObjectName("vanteoFallbackPanel");
	auto *layout = new QVBoxLayout(panel);
	layout->setContentsMargins(12, 12, 12, 12);

	const QString title = QString::fromStdString(pageTitle);
	auto *label = new QLabel(panel);
	label->setWordWrap(true);
	if (url.empty())
		label->setText(QObject::tr("The %1 page is unavailable: Vanteo's local server could not start. "
					   "See the OBS log for details.")
				       .arg(title));
	else
		label->setText(QObject::tr("This OBS Studio has no embedded browser, so the %1 opens in your "
					   "web browser.")
				       .arg(title));
	layout->addWidget(label);

	auto *button = new QPushButton(QObject::tr("Open %1 in browser").arg(title), panel);
	button->setEnabled(!url.empty());
	button->setToolTip(QString::fromStdString(url));
	// The handler starts a detached process and returns at once.
	QObject::connect(button, &QPushButton::clicked, panel, [url] { platform::openUrl(url); });
	layout->addWidget(button);
	layout->addStretch(1);
	return panel;
}

} // namespace vanteo
