#pragma once

#include <obs-data.h>

#include <string>

// Owning handles for libobs data objects and arrays, the JSON reader and
// writer of the module.
namespace vanteo {

class DataRef {
public:
	explicit DataRef(obs_data_t *data = nullptr) : m_data(data) {}
	~DataRef()
	{
		if (m_data)
			obs_data_release(m_data);
	}
	DataRef(const DataRef &) = delete;
	DataRef &operator=(const DataRef &) = delete;

	obs_data_t *get() const { return m_data; }
	explicit operator bool() const { return m_data != nullptr; }

	// The object of a JSON text; empty for anything that is not an object
	// (libobs would log an error for arrays and junk).
	static obs_data_t *parse(const std::string &json);

	// Compact JSON of the object, keys in the order they were set.
	std::string json() const;

private:
	obs_data_t *m_data;
};

class ArrayRef {
public:
	explicit ArrayRef(obs_data_array_t *array = nullptr) : m_array(array) {}
	~ArrayRef()
	{
		if (m_array)
			obs_data_array_release(m_array);
	}
	ArrayRef(const ArrayRef &) = delete;
	ArrayRef &operator=(const ArrayRef &) = delete;

	obs_data_array_t *get() const { return m_array; }
	size_t size() const { return m_array ? obs_data_array_count(m_array) : 0; }
	// The element at index (a new reference), or null.
	obs_data_t *item(size_t index) const { return index < size() ? obs_data_array_item(m_array, index) : nullptr; }

private:
	obs_data_array_t *m_array;
};

// The first element of the top-level "data" array of a Helix reply (a new
// reference), or null when the body does not parse or the list is empty.
obs_data_t *firstDataItem(const std::string &body);

// A string member, "" when missing.
std::string dataString(obs_data_t *data, const char *key);

} // namespace vanteo
