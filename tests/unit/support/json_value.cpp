#include "support/json_value.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace vanteo::test {

namespace {
const JsonValue &nullValue()
{
	static const JsonValue value;
	return value;
}
} // namespace

class JsonParser {
public:
	explicit JsonParser(const std::string &text) : m_text(text) {}

	bool parseDocument(JsonValue *out)
	{
		if (!value(out, 0))
			return false;
		skipSpace();
		return m_pos == m_text.size();
	}

private:
	const std::string &m_text;
	size_t m_pos = 0;

	void skipSpace()
	{
		while (m_pos < m_text.size() && (m_text[m_pos] == ' ' || m_text[m_pos] == '\t' ||
						 m_text[m_pos] == '\n' || m_text[m_pos] == '\r'))
			++m_pos;
	}

	bool literal(const char *word)
	{
		size_t n = std::char_traits<char>::length(word);
		if (m_text.compare(m_pos, n, word) != 0)
			return false;
		m_pos += n;
		return true;
	}

	bool value(JsonValue *out, int depth)
	{
		if (depth > 200)
			return false;
		skipSpace();
		if (m_pos >= m_text.size())
			return false;
		char c = m_text[m_pos];
		if (c == '{')
			return object(out, depth);
		if (c == '[')
			return array(out, depth);
		if (c == '"') {
			out->m_type = JsonValue::Type::String;
			return string(&out->m_text);
		}
		if (literal("true")) {
			out->m_type = JsonValue::Type::Bool;
			out->m_bool = true;
			return true;
		}
		if (literal("false")) {
			out->m_type = JsonValue::Type::Bool;
			return true;
		}
		if (literal("null"))
			return true;
		const char *start = m_text.c_str() + m_pos;
		char *end = nullptr;
		double number = std::strtod(start, &end);
		if (end == start)
			return false;
		m_pos += static_cast<size_t>(end - start);
		out->m_type = JsonValue::Type::Number;
		out->m_number = number;
		return true;
	}

	bool object(JsonValue *out, int depth)
	{
		out->m_type = JsonValue::Type::Object;
		++m_pos;
		skipSpace();
		if (m_pos < m_text.size() && m_text[m_pos] == '}') {
			++m_pos;
			return true;
		}
		for (;;) {
			skipSpace();
			std::string key;
			if (m_pos >= m_text.size() || m_text[m_pos] != '"' || !string(&key))
				return false;
			skipSpace();
			if (m_pos >= m_text.size() || m_text[m_pos] != ':')
				return false;
			++m_pos;
			JsonValue item;
			if (!value(&item, depth + 1))
				return false;
			out->m_members.emplace_back(std::move(key), std::move(item));
			skipSpace();
			if (m_pos < m_text.size() && m_text[m_pos] == ',') {
				++m_pos;
				continue;
			}
			if (m_pos < m_text.size() && m_text[m_pos] == '}') {
				++m_pos;
				return true;
			}
			return false;
		}
	}

	bool array(JsonValue *out, int depth)
	{
		out->m_type = JsonValue::Type::Array;
		++m_pos;
		skipSpace();
		if (m_pos < m_text.size() && m_text[m_pos] == ']') {
			++m_pos;
			return true;
		}
		for (;;) {
			JsonValue item;
			if (!value(&item, depth + 1))
				return false;
			out->m_items.push_back(std::move(item));
			skipSpace();
			if (m_pos < m_text.size() && m_text[m_pos] == ',') {
				++m_pos;
				continue;
			}
			if (m_pos < m_text.size() && m_text[m_pos] == ']') {
				++m_pos;
				return true;
			}
			return false;
		}
	}

	static void appendUtf8(std::string *out, unsigned long code)
	{
		if (code < 0x80) {
			out->push_back(static_cast<char>(code));
		} else if (code < 0x800) {
			out->push_back(static_cast<char>(0xC0 | (code >> 6)));
			out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
		} else if (code < 0x10000) {
			out->push_back(static_cast<char>(0xE0 | (code >> 12)));
			out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
			out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
		} else {
			out->push_back(static_cast<char>(0xF0 | (code >> 18)));
			out->push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
			out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
			out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
		}
	}

	bool hex4(unsigned long *code)
	{
		if (m_pos + 4 > m_text.size())
			return false;
		std::string digits = m_text.substr(m_pos, 4);
		char *end = nullptr;
		*code = std::strtoul(digits.c_str(), &end, 16);
		if (end != digits.c_str() + 4)
			return false;
		m_pos += 4;
		return true;
	}

	bool string(std::string *out)
	{
		++m_pos; // opening quote
		while (m_pos < m_text.size()) {
			char c = m_text[m_pos++];
			if (c == '"')
				return true;
			if (c != '\\') {
				out->push_back(c);
				continue;
			}
			if (m_pos >= m_text.size())
				return false;
			char e = m_text[m_pos++];
			switch (e) {
			case '"':
				out->push_back('"');
				break;
			case '\\':
				out->push_back('\\');
				break;
			case '/':
				out->push_back('/');
				break;
			case 'b':
				out->push_back('\b');
				break;
			case 'f':
				out->push_back('\f');
				break;
			case 'n':
				out->push_back('\n');
				break;
			case 'r':
				out->push_back('\r');
				break;
			case 't':
				out->push_back('\t');
				break;
			case 'u': {
				unsigned long code = 0;
				if (!hex4(&code))
					return false;
				if (code >= 0xD800 && code < 0xDC00 && m_text.compare(m_pos, 2, "\\u") == 0) {
					m_pos += 2;
					unsigned long low = 0;
					if (!hex4(&low))
						return false;
					code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
				}
				appendUtf8(out, code);
				break;
			}
			default:
				return false;
			}
		}
		return false;
	}
};

JsonValue JsonValue::parse(const std::string &text, bool *ok)
{
	JsonValue result;
	JsonParser parser(text);
	bool parsed = parser.parseDocument(&result);
	if (!parsed)
		result = JsonValue();
	if (ok)
		*ok = parsed;
	return result;
}

const JsonValue &JsonValue::operator[](const std::string &key) const &
{
	for (const auto &member : m_members) {
		if (member.first == key)
			return member.second;
	}
	return nullValue();
}

const JsonValue &JsonValue::operator[](size_t index) const &
{
	return index < m_items.size() ? m_items[index] : nullValue();
}

bool JsonValue::has(const std::string &key) const
{
	for (const auto &member : m_members) {
		if (member.first == key)
			return true;
	}
	return false;
}

size_t JsonValue::size() const
{
	return m_type == Type::Array ? m_items.size() : m_type == Type::Object ? m_members.size() : 0;
}

std::vector<std::string> JsonValue::strings() const
{
	std::vector<std::string> out;
	for (const JsonValue &item : m_items)
		out.push_back(item.str());
	return out;
}

namespace {

void writeString(const std::string &text, std::string &out)
{
	char escaped[8];
	out += '"';
	for (unsigned char c : text) {
		if (c == '"' || c == '\\') {
			out += '\\';
			out += static_cast<char>(c);
		} else if (c < 0x20) {
			snprintf(escaped, sizeof(escaped), "\\u%04x", c);
			out += escaped;
		} else {
			out += static_cast<char>(c);
		}
	}
	out += '"';
}

void writeCanonical(const JsonValue &v, std::string &out)
{
	char number[64];
	switch (v.type()) {
	case JsonValue::Type::Null:
		out += "null";
		break;
	case JsonValue::Type::Bool:
		out += v.boolean() ? "true" : "false";
		break;
	case JsonValue::Type::Number:
		snprintf(number, sizeof(number), "%.17g", v.number());
		out += number;
		break;
	case JsonValue::Type::String:
		writeString(v.str(), out);
		break;
	case JsonValue::Type::Array:
		out += '[';
		for (size_t i = 0; i < v.items().size(); ++i) {
			if (i)
				out += ',';
			writeCanonical(v.items()[i], out);
		}
		out += ']';
		break;
	case JsonValue::Type::Object: {
		std::vector<std::pair<std::string, JsonValue>> members = v.members();
		std::stable_sort(members.begin(), members.end(),
				 [](const auto &a, const auto &b) { return a.first < b.first; });
		out += '{';
		for (size_t i = 0; i < members.size(); ++i) {
			if (i)
				out += ',';
			writeString(members[i].first, out);
			out += ':';
			writeCanonical(members[i].second, out);
		}
		out += '}';
		break;
	}
	}
}

} // namespace

std::string JsonValue::canonical(const std::string &text)
{
	bool ok = false;
	JsonValue value = parse(text, &ok);
	if (!ok)
		return "invalid";
	std::string out;
	writeCanonical(value, out);
	return out;
}

} // namespace vanteo::test
