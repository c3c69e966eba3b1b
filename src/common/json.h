#pragma once

#include <string>

// JSON is written by concatenation in compact form and read through libobs
// data objects; these three helpers are shared by every writer and reader.
namespace vanteo {

// Escaped body of a JSON string (no quotes). Bytes >= 32 pass unchanged, so
// UTF-8 stays UTF-8 and "/" is not escaped.
std::string jsonEscape(const std::string &text);
void appendJsonEscaped(std::string &out, const char *p, size_t n);

// '"' + jsonEscape(text) + '"'
std::string jsonQuote(const std::string &text);

// {"error":<text>}: the failure reply of the control API.
std::string errorReply(const std::string &text);

// Value of a top-level key read as a string the way obs_data_get_string reads
// it: "" when the body does not parse, the key is missing or not a string.
std::string jsonField(const std::string &body, const char *key);

// Leading decimal digits (with an optional "-") as a number; 0 otherwise.
long long jsonNumber(const std::string &text);

// Raw search used for the pages' on/off flags: true only for "on":true
// written without blanks.
bool jsonFlagOn(const std::string &body);

} // namespace vanteo
