#pragma once

#include <string>
#include <utility>
#include <vector>

// A small JSON reader for tests: replies of the fake services and JSON that
// the module writes. Missing keys and out-of-range indexes read as null, so
// chains like v["sessions"][0]["lines"] never throw.
namespace vanteo::test {

class JsonValue {
public:
	enum class Type { Null, Bool, Number, String, Array, Object };

	// The parsed value; null (and *ok false) when the text is not JSON.
	static JsonValue parse(const std::string &text, bool *ok = nullptr);

	Type type() const { return m_type; }
	bool isNull() const { return m_type == Type::Null; }
	bool isString() const { return m_type == Type::String; }

	// On a temporary these return copies, so that a range-for over
	// fetch()["list"].items() does not walk a destroyed value.
	const JsonValue &operator[](const std::string &key) const &;
	const JsonValue &operator[](const char *key) const & { return (*this)[std::string(key)]; }
	const JsonValue &operator[](size_t index) const &;
	const JsonValue &operator[](int index) const & { return (*this)[static_cast<size_t>(index)]; }
	JsonValue operator[](const std::string &key) && { return (*this)[key]; }
	JsonValue operator[](const char *key) && { return (*this)[std::string(key)]; }
	JsonValue operator[](size_t index) && { return (*this)[index]; }
	JsonValue operator[](int index) && { return (*this)[static_cast<size_t>(index)]; }
	bool has(const std::string &key) const;

	// Elements of an array, members of an object; 0 otherwise.
	size_t size() const;
	const std::vector<JsonValue> &items() const & { return m_items; }
	std::vector<JsonValue> items() && { return std::move(m_items); }
	const std::vector<std::pair<std::string, JsonValue>> &members() const & { return m_members; }
	std::vector<std::pair<std::string, JsonValue>> members() && { return std::move(m_members); }

	// The value when it has that type; "", 0 or false otherwise.
	const std::string &str() const { return m_text; }
	double number() const { return m_number; }
	long long integer() const { return static_cast<long long>(m_number); }
	bool boolean() const { return m_bool; }

	// An array of strings as a vector (non-strings become "").
	std::vector<std::string> strings() const;

	// Compact JSON with object keys sorted: two texts that differ only in
	// key order or spacing give the same result. Not-JSON gives "invalid".
	static std::string canonical(const std::string &text);

private:
	friend class JsonParser;
	Type m_type = Type::Null;
	bool m_bool = false;
	double m_number = 0;
	std::string m_text;
	std::vector<JsonValue> m_items;
	std::vector<std::pair<std::string, JsonValue>> m_members;
};

} // namespace vanteo::test
