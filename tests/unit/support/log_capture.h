#pragma once

#include <string>

// Captures libobs log lines during tests (they are also echoed to stderr
// when VANTEO_TEST_LOG is set).
namespace vanteo::test {

void installLogCapture();
void clearLog();
// How many captured lines contain `text`.
size_t logCount(const std::string &text);

} // namespace vanteo::test
