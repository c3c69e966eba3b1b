#include "common/obs_json.h"

namespace vanteo {

obs_data_t *DataRef::parse(const std::string &json)
{
	const size_t first = json.find_first_not_of(" \t\r\n");
	if (first == std::string::npos || json[first] != '{')
		return nullptr;
	return obs_data_create_from_json(json.c_str());
}

std::string DataRef::json() const
{
	const char *text = m_data ? obs_data_get_json(m_data) : nullptr;
	return text ? text : "{}";
}

obs_data_t *firstDataItem(const std::string &body)
{
	DataRef root(DataRef::parse(body));
	if (!root)
		return nullptr;
	ArrayRef list(obs_data_get_array(root.get(), "data"));
	return list.item(0);
}

std::string dataString(obs_data_t *data, const char *key)
{
	const char *value = data ? obs_data_get_string(data, key) : nullptr;
	return value ? value : "";
}

} // namespace vanteo
