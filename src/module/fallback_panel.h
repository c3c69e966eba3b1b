#pragma once

#include <string>

class QWidget;

namespace vanteo {

// What a dock shows when the host has no embedded browser: one sentence and
// a button that opens the dock's page in the default browser. An empty url
// (the server did not start) disables the button and says so.
QWidget *createFallbackPanel(QWidget *parent, const std::string &pageTitle, const std::string &url);

} // namespace vanteo
