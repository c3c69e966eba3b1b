#include "module/fallback_panel.h"

#include "common/host.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace vanteo {

namespace {

QPushButton *openButton(QWidget *parent, const QString &text, const std::string &url)
{
	auto *button = new QPushButton(text, parent);
	button->setEnabled(!url.empty());
	button->setToolTip(QString::fromStdString(url));
	// Starts a detached process and returns at once.
	QObject::connect(button, &QPushButton::clicked, parent, [url] { openInBrowser(url); });
	return button;
}

} // namespace

FallbackPanel::FallbackPanel(QWidget *parent, const std::string &pageTitle, const std::string &url) : QWidget(parent)
{
	setObjectName("vanteoFallbackPanel");
	m_layout = new QVBoxLayout(this);
	m_layout->setContentsMargins(12, 12, 12, 12);

	const QString title = QString::fromStdString(pageTitle);
	auto *label = new QLabel(this);
	label->setWordWrap(true);
	if (url.empty())
		label->setText(tr("The %1 page is unavailable: Vanteo's local server could not start. "
				  "See the OBS log for details.")
				   .arg(title));
	else
		label->setText(tr("This OBS Studio has no embedded browser, so the %1 opens in your "
				  "web browser.")
				   .arg(title));
	m_layout->addWidget(label);
	m_layout->addWidget(openButton(this, tr("Open %1 in browser").arg(title), url));
	m_layout->addStretch(1);
}

void FallbackPanel::offer(const std::string &key, const QString &why, const QString &button, const std::string &url)
{
	withdraw(key);
	auto *row = new QWidget(this);
	row->setObjectName(QString::fromStdString("vanteoOffer-" + key));
	auto *rowLayout = new QVBoxLayout(row);
	rowLayout->setContentsMargins(0, 8, 0, 0);
	auto *label = new QLabel(why, row);
	label->setStyleSheet("font-weight: 600;");
	rowLayout->addWidget(label);
	rowLayout->addWidget(openButton(row, button, url));
	// Above the stretch that closes the layout.
	m_layout->insertWidget(m_layout->count() - 1, row);
	m_offers[key] = row;
}

void FallbackPanel::withdraw(const std::string &key)
{
	auto it = m_offers.find(key);
	if (it == m_offers.end())
		return;
	delete it->second;
	m_offers.erase(it);
}

} // namespace vanteo
