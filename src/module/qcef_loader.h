#pragma once

#include "webview/qcef.h"

#include <string>

// Where the page views come from: obs-browser when OBS Studio has it, the
// plug-in's own Qt WebEngine library otherwise. GUI thread only.
namespace vanteo {

// Asks the loaded obs-browser module for a factory: the module by name, its
// library, the exported symbol, then the call. nullptr when any step yields
// nothing (distribution builds of OBS Studio ship no obs-browser) or when no
// libobs core is running in this process.
QCef *loadBrowserFactory();

// The plug-in's own page views over Qt WebEngine, for an OBS Studio without
// obs-browser: the library beside the module file (vanteo-webview.so) is
// loaded once and stays loaded. `storageFolder` holds the pages' local
// storage ("" keeps it in memory). nullptr when the library is missing or
// cannot load (no Qt WebEngine on the system).
QCef *loadWebViewFactory(const std::string &storageFolder);

} // namespace vanteo
