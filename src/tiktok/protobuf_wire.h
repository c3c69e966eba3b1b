#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

// The protobuf wire format, read and written by hand: TikTok's push frames,
// their payloads and the signing answer are protobuf, and we need a dozen
// field numbers of them, so no schema and no library. Every lookup scans the
// message from its start and stops at the first malformed field; nothing
// here throws or allocates more than the input it copies out.
//
// Pure functions; any thread.
namespace vanteo {

// What one reading step yields. `bytes` views into the message being read
// (wire type 2 only, else empty); `varint` is the value of a wire type 0
// field, else 0.
struct FieldView {
	uint32_t field = 0;
	uint32_t wireType = 0;
	std::string_view bytes;
	uint64_t varint = 0;
};

void writeVarint(std::string &out, uint64_t value);
// Key (field × 8) and the value; 0 is written too.
void writeVarintField(std::string &out, uint32_t field, uint64_t value);
// Key (field × 8 + 2), length and bytes; empty bytes are written too.
void writeBytesField(std::string &out, uint32_t field, std::string_view bytes);

// Reads the field at `position` and moves past it. False at the end of the
// message and at the first malformed field (over-long varint, a length or a
// fixed-size value running past the end, wire types 3, 4, 6 and 7).
bool nextField(std::string_view message, size_t &position, FieldView &out);

// First wire-type-2 field with that number; `out` is untouched when none.
bool getBytesField(std::string_view message, uint32_t field, std::string &out);
// The same as a view into `message` (for readers that only look).
bool findBytesField(std::string_view message, uint32_t field, std::string_view &out);
// First wire-type-0 field with that number; `out` is untouched when none.
bool getVarintField(std::string_view message, uint32_t field, uint64_t &out);
// Every wire-type-2 field with that number, in order.
std::vector<std::string> getRepeatedField(std::string_view message, uint32_t field);

// The first occurrence of each of up to eight fields, found in one walk: what
// the separate lookups above would find (the walk stops at the first malformed
// field all the same), at the cost of one. Views point into the message.
class FieldScan {
public:
	FieldScan(std::string_view message, std::initializer_list<uint32_t> fields);
	// First wire-type-2 / wire-type-0 occurrence of a field named above.
	bool bytes(uint32_t field, std::string_view &out) const;
	bool varint(uint32_t field, uint64_t &out) const;
	std::string_view bytesOr(uint32_t field, std::string_view fallback = std::string_view()) const;
	uint64_t varintOr(uint32_t field, uint64_t fallback) const;

private:
	struct Slot {
		uint32_t field = 0;
		bool hasBytes = false;
		bool hasVarint = false;
		std::string_view bytes;
		uint64_t varint = 0;
	};
	const Slot *find(uint32_t field) const;
	Slot m_slots[8];
	size_t m_count = 0;
};

// Leading decimal digits as an unsigned number, as the room id and the log id
// are written into frames; 0 for text without a leading digit or a value past
// 64 bits.
uint64_t decimalToUint64(std::string_view text);

} // namespace vanteo
