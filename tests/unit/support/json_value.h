#pragma once

#include <QJsonValue>

#include <string>
#include <utility>
#include <vector>

// Read access to JSON for tests (the fakes' replies, JSON the module writes),
// over Qt's parser. Missing keys and out-of-range indexes read as null, so
// chains like v["sessions"][0]["lines"] never throw.
namespace vanteo::test {

class JsonValue {
public:
	JsonValue() = default;
	explicit JsonValue(QJsonValue value) : m_value(std::move(value)) {}

	// The parsed value; null (and *ok false) when the text is not JSON.
	static JsonValue parse(const std::string &text, bool *ok = nullptr);

	bool isNull() const { return m_value.isNull() || m_value.isUndefined(); }

	JsonValue operator[](const std::string &key) const;
	JsonValue operator[](const char *key) const { return (*this)[std::string(key)]; }
	JsonValue operator[](size_t index) const;
	JsonValue operator[](int index) const { return (*this)[static_cast<size_t>(index)]; }
	bool has(const std::string &key) const;

	// Elements of an array, members of an object; 0 otherwise.
	size_t size() const;
	std::vector<JsonValue> items() const;
	std::vector<std::pair<std::string, JsonValue>> members() const;

	// The value when it has that type; "", 0 or false otherwise.
	std::string str() const { return m_value.toString().toStdString(); }
	long long integer() const { return static_cast<long long>(m_value.toDouble()); }
	bool boolean() const { return m_value.toBool(); }

	// Compact JSON with object keys sorted: two texts that differ only in
	// key order or spacing give the same result. Not-JSON gives "invalid".
	static std::string canonical(const std::string &text);

private:
	QJsonValue m_value;
};

} // namespace vanteo::test
