#include "tiktok/protobuf_wire.h"

namespace vanteo {

namespace {

// A varint of at most ten bytes (the tenth may only carry the top bit of a
// 64-bit value, but like other readers we accept and drop the excess). Most
// keys and lengths are one byte, so that case comes first.
inline bool readVarint(const uint8_t *&p, const uint8_t *end, uint64_t &out)
{
	if (p < end && *p < 0x80) {
		out = *p++;
		return true;
	}
	uint64_t value = 0;
	for (unsigned shift = 0; shift <= 63; shift += 7) {
		if (p >= end)
			return false;
		const uint8_t byte = *p++;
		value |= static_cast<uint64_t>(byte & 0x7f) << shift;
		if (!(byte & 0x80)) {
			out = value;
			return true;
		}
	}
	return false;
}

} // namespace

void writeVarint(std::string &out, uint64_t value)
{
	while (value >= 0x80) {
		out += static_cast<char>(static_cast<uint8_t>(value) | 0x80);
		value >>= 7;
	}
	out += static_cast<char>(value);
}

void writeVarintField(std::string &out, uint32_t field, uint64_t value)
{
	writeVarint(out, static_cast<uint64_t>(field) << 3);
	writeVarint(out, value);
}

void writeBytesField(std::string &out, uint32_t field, std::string_view bytes)
{
	writeVarint(out, (static_cast<uint64_t>(field) << 3) | 2);
	writeVarint(out, bytes.size());
	out.append(bytes.data(), bytes.size());
}

bool nextField(std::string_view message, size_t &position, FieldView &out)
{
	if (position >= message.size())
		return false;
	const uint8_t *const begin = reinterpret_cast<const uint8_t *>(message.data());
	const uint8_t *const end = begin + message.size();
	const uint8_t *p = begin + position;
	uint64_t key = 0;
	if (!readVarint(p, end, key))
		return false;
	// Field numbers above 32 bits do not exist in valid data; keep the low
	// bits as the wire does not forbid them.
	out.field = static_cast<uint32_t>(key >> 3);
	out.wireType = static_cast<uint32_t>(key & 7);
	out.bytes = std::string_view();
	out.varint = 0;
	switch (out.wireType) {
	case 0:
		if (!readVarint(p, end, out.varint))
			return false;
		break;
	case 1:
		if (end - p < 8)
			return false;
		p += 8;
		break;
	case 2: {
		uint64_t length = 0;
		if (!readVarint(p, end, length) || length > static_cast<uint64_t>(end - p))
			return false;
		out.bytes = std::string_view(reinterpret_cast<const char *>(p), static_cast<size_t>(length));
		p += length;
		break;
	}
	case 5:
		if (end - p < 4)
			return false;
		p += 4;
		break;
	default:
		return false;
	}
	position = static_cast<size_t>(p - begin);
	return true;
}

bool findBytesField(std::string_view message, uint32_t field, std::string_view &out)
{
	size_t position = 0;
	FieldView view;
	while (nextField(message, position, view)) {
		if (view.field == field && view.wireType == 2) {
			out = view.bytes;
			return true;
		}
	}
	return false;
}

bool getBytesField(std::string_view message, uint32_t field, std::string &out)
{
	std::string_view found;
	if (!findBytesField(message, field, found))
		return false;
	out.assign(found.data(), found.size());
	return true;
}

bool getVarintField(std::string_view message, uint32_t field, uint64_t &out)
{
	size_t position = 0;
	FieldView view;
	while (nextField(message, position, view)) {
		if (view.field == field && view.wireType == 0) {
			out = view.varint;
			return true;
		}
	}
	return false;
}

std::vector<std::string> getRepeatedField(std::string_view message, uint32_t field)
{
	std::vector<std::string> out;
	size_t position = 0;
	FieldView view;
	while (nextField(message, position, view)) {
		if (view.field == field && view.wireType == 2)
			out.emplace_back(view.bytes);
	}
	return out;
}

FieldScan::FieldScan(std::string_view message, std::initializer_list<uint32_t> fields)
{
	for (uint32_t field : fields) {
		if (m_count < 8)
			m_slots[m_count++].field = field;
	}
	size_t position = 0;
	FieldView view;
	while (nextField(message, position, view)) {
		if (view.wireType != 0 && view.wireType != 2)
			continue;
		for (size_t i = 0; i < m_count; ++i) {
			Slot &slot = m_slots[i];
			if (slot.field != view.field)
				continue;
			if (view.wireType == 2 && !slot.hasBytes) {
				slot.hasBytes = true;
				slot.bytes = view.bytes;
			} else if (view.wireType == 0 && !slot.hasVarint) {
				slot.hasVarint = true;
				slot.varint = view.varint;
			}
			break;
		}
	}
}

const FieldScan::Slot *FieldScan::find(uint32_t field) const
{
	for (size_t i = 0; i < m_count; ++i) {
		if (m_slots[i].field == field)
			return &m_slots[i];
	}
	return nullptr;
}

bool FieldScan::bytes(uint32_t field, std::string_view &out) const
{
	const Slot *slot = find(field);
	if (!slot || !slot->hasBytes)
		return false;
	out = slot->bytes;
	return true;
}

bool FieldScan::varint(uint32_t field, uint64_t &out) const
{
	const Slot *slot = find(field);
	if (!slot || !slot->hasVarint)
		return false;
	out = slot->varint;
	return true;
}

std::string_view FieldScan::bytesOr(uint32_t field, std::string_view fallback) const
{
	bytes(field, fallback);
	return fallback;
}

uint64_t FieldScan::varintOr(uint32_t field, uint64_t fallback) const
{
	varint(field, fallback);
	return fallback;
}

uint64_t decimalToUint64(std::string_view text)
{
	uint64_t value = 0;
	for (char c : text) {
		if (c < '0' || c > '9')
			break;
		const uint64_t digit = static_cast<uint64_t>(c - '0');
		if (value > (UINT64_MAX - digit) / 10)
			return 0;
		value = value * 10 + digit;
	}
	return value;
}

} // namespace vanteo
