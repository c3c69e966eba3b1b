#pragma once

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

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

	// The parsed value; null (and *ok false) when the text is not JSON. Qt 5
	// reads only an object or an array at the top, so the text is read as
	// the one element of an array.
	static JsonValue parse(const std::string &text, bool *ok = nullptr)
	{
		QJsonParseError error{};
		const QJsonArray doc =
		    QJsonDocument::fromJson("[" + QByteArray::fromStdString(text) + "]", &error).array();
		const bool parsed = error.error == QJsonParseError::NoError && doc.size() == 1;
		if (ok)
			*ok = parsed;
		return parsed ? JsonValue(doc.at(0)) : JsonValue();
	}

	bool isNull() const { return m_value.isNull() || m_value.isUndefined(); }

	JsonValue operator[](const std::string &key) const
	{
		return JsonValue(m_value.toObject().value(QString::fromStdString(key)));
	}
	JsonValue operator[](const char *key) const { return (*this)[std::string(key)]; }
	// Qt reads an index out of range as undefined.
	JsonValue operator[](size_t index) const { return JsonValue(m_value.toArray().at(static_cast<int>(index))); }
	JsonValue operator[](int index) const { return (*this)[static_cast<size_t>(index)]; }

	// Elements of an array, members of an object; 0 otherwise.
	size_t size() const
	{
		return static_cast<size_t>(m_value.isArray() ? m_value.toArray().size() : m_value.toObject().size());
	}
	std::vector<JsonValue> items() const
	{
		std::vector<JsonValue> out;
		for (const QJsonValue &item : m_value.toArray())
			out.emplace_back(item);
		return out;
	}
	std::vector<std::pair<std::string, JsonValue>> members() const
	{
		std::vector<std::pair<std::string, JsonValue>> out;
		const QJsonObject object = m_value.toObject();
		for (auto it = object.begin(); it != object.end(); ++it)
			out.emplace_back(it.key().toStdString(), JsonValue(it.value()));
		return out;
	}

	// The value when it has that type; "", 0 or false otherwise.
	std::string str() const { return m_value.toString().toStdString(); }
	long long integer() const { return static_cast<long long>(m_value.toDouble()); }
	bool boolean() const { return m_value.toBool(); }

	// Compact JSON with object keys sorted (QJsonObject keeps them so): two
	// texts that differ only in key order or spacing give the same result.
	// Not-JSON gives "invalid".
	static std::string canonical(const std::string &text)
	{
		bool ok = false;
		const JsonValue value = parse(text, &ok);
		return ok ? QJsonDocument(QJsonArray{value.m_value}).toJson(QJsonDocument::Compact).toStdString()
			  : "invalid";
	}

private:
	QJsonValue m_value;
};

} // namespace vanteo::test
