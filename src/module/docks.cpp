#include "module/docks.h"

#include "common/persisted_switch.h"
#include "common/host.h"

#include <QDockWidget>
#include <QMainWindow>

#include <dlfcn.h>

namespace vanteo {

DockApi resolveDockApi()
{
	DockApi api;
	api.addDockById =
	    reinterpret_cast<decltype(api.addDockById)>(dlsym(RTLD_DEFAULT, "obs_frontend_add_dock_by_id"));
	api.removeDock = reinterpret_cast<decltype(api.removeDock)>(dlsym(RTLD_DEFAULT, "obs_frontend_remove_dock"));
	api.addDock = reinterpret_cast<decltype(api.addDock)>(dlsym(RTLD_DEFAULT, "obs_frontend_add_dock"));
	return api;
}

bool DockRegistry::add(const std::string &id, const std::string &title, QWidget *widget)
{
	if (usesIdApi())
		return m_api.addDockById(id.c_str(), title.c_str(), widget);
	if (!m_api.addDock || !m_main)
		return false;
	auto *dock = new QDockWidget(m_main);
	dock->setObjectName(QString::fromStdString(id));
	dock->setWindowTitle(QString::fromStdString(title));
	dock->setWidget(widget);
	dock->setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable |
			  QDockWidget::DockWidgetFloatable);
	if (!m_api.addDock(dock)) {
		dock->setWidget(nullptr);
		widget->setParent(nullptr);
		delete dock;
		return false;
	}
	m_wrapped[id] = dock;
	return true;
}

void DockRegistry::remove(const std::string &id)
{
	if (usesIdApi()) {
		m_api.removeDock(id.c_str());
		return;
	}
	auto it = m_wrapped.find(id);
	if (it == m_wrapped.end())
		return;
	QPointer<QDockWidget> dock = it->second;
	m_wrapped.erase(it);
	if (!dock)
		return; // the host already destroyed it
	if (m_main)
		m_main->removeDockWidget(dock);
	delete dock.data();
}

void showDockOnce(QMainWindow *mainWindow, const std::string &dockId, const std::string &marker)
{
	if (!mainWindow || configFilePath(marker).empty() || switchFileExists(marker))
		return;
	auto *dock = mainWindow->findChild<QDockWidget *>(QString::fromStdString(dockId));
	if (!dock)
		return;
	// Qt re-docks a floating dock only when it already has a dock area, so
	// the area comes first.
	mainWindow->addDockWidget(Qt::RightDockWidgetArea, dock);
	dock->setFloating(false);
	dock->setVisible(true);
	writeSwitchFile(marker, true);
}

} // namespace vanteo
