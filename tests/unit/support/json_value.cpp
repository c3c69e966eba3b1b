#include "support/json_value.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace vanteo::test {

namespace {

// Qt 5 reads only an object or an array at the top, so the text is read as
// the one element of an array.
bool parseAny(const std::string &text, QJsonValue *value)
{
	QJsonParseError error{};
	QByteArray wrapped = "[" + QByteArray::fromStdString(text) + "]";
	QJsonDocument doc = QJsonDocument::fromJson(wrapped, &error);
	if (error.error != QJsonParseError::NoError || doc.array().size() != 1)
		return false;
	*value = doc.array().at(0);
	return true;
}

} // namespace

JsonValue JsonValue::parse(const std::string &text, bool *ok)
{
	QJsonValue value;
	bool parsed = parseAny(text, &value);
	if (ok)
		*ok = parsed;
	return parsed ? JsonValue(value) : JsonValue();
}

JsonValue JsonValue::operator[](const std::string &key) const
{
	return JsonValue(m_value.toObject().value(QString::fromStdString(key)));
}

JsonValue JsonValue::operator[](size_t index) const
{
	QJsonArray array = m_value.toArray();
	return index < static_cast<size_t>(array.size()) ? JsonValue(array.at(static_cast<int>(index))) : JsonValue();
}

bool JsonValue::has(const std::string &key) const
{
	return m_value.toObject().contains(QString::fromStdString(key));
}

size_t JsonValue::size() const
{
	if (m_value.isArray())
		return static_cast<size_t>(m_value.toArray().size());
	return m_value.isObject() ? static_cast<size_t>(m_value.toObject().size()) : 0;
}

std::vector<JsonValue> JsonValue::items() const
{
	std::vector<JsonValue> out;
	for (const QJsonValue &item : m_value.toArray())
		out.emplace_back(item);
	return out;
}

std::vector<std::pair<std::string, JsonValue>> JsonValue::members() const
{
	std::vector<std::pair<std::string, JsonValue>> out;
	QJsonObject object = m_value.toObject();
	for (auto it = object.begin(); it != object.end(); ++it)
		out.emplace_back(it.key().toStdString(), JsonValue(it.value()));
	return out;
}

std::string JsonValue::canonical(const std::string &text)
{
	QJsonValue value;
	if (!parseAny(text, &value))
		return "invalid";
	// QJsonObject keeps its keys sorted.
	QJsonDocument doc(QJsonArray{value});
	return doc.toJson(QJsonDocument::Compact).toStdString();
}

} // namespace vanteo::test
