#pragma once

#include <cstddef>
#include <cstdint>

#if defined(__SSE2__) || defined(_M_X64) || defined(_M_AMD64)
#include <emmintrin.h>
#define VANTEO_SCAN_SSE2 1
#endif

// Finding the separators of a chat line a block at a time. A line's tag
// section holds some forty separators in a few hundred bytes; testing 64
// bytes at once and walking the hits as bits avoids a branch per byte and a
// call per piece. The caller must be able to read 64 bytes from p even near
// the end of its text (pad the buffer) and masks off the bits past the end.
namespace vanteo::scan {

constexpr size_t kBlock = 64;

// Bit i is set when p[i] is one of a, b, c, d (i < 64).
inline uint64_t matchMask(const char *p, char a, char b, char c, char d)
{
#if defined(VANTEO_SCAN_SSE2)
	const __m128i va = _mm_set1_epi8(a);
	const __m128i vb = _mm_set1_epi8(b);
	const __m128i vc = _mm_set1_epi8(c);
	const __m128i vd = _mm_set1_epi8(d);
	uint64_t mask = 0;
	for (int i = 0; i < 4; ++i) {
		__m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 16 * i));
		__m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(x, va), _mm_cmpeq_epi8(x, vb)),
					   _mm_or_si128(_mm_cmpeq_epi8(x, vc), _mm_cmpeq_epi8(x, vd)));
		mask |= static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(hit)) & 0xffffu) << (16 * i);
	}
	return mask;
#else
	uint64_t mask = 0;
	for (size_t i = 0; i < kBlock; ++i) {
		char ch = p[i];
		mask |= static_cast<uint64_t>(ch == a || ch == b || ch == c || ch == d) << i;
	}
	return mask;
#endif
}

// Mask of the first n bits (n <= 64).
inline uint64_t firstBits(size_t n)
{
	return n >= 64 ? ~uint64_t(0) : (uint64_t(1) << n) - 1;
}

// Index of the lowest set bit of a non-zero mask (de Bruijn multiply, so
// that no compiler intrinsic is needed).
inline unsigned lowestBit(uint64_t mask)
{
	static constexpr unsigned char kIndex[64] = {
	    0,  1,  48, 2,  57, 49, 28, 3,  61, 58, 50, 42, 38, 29, 17, 4,  62, 55, 59, 36, 53, 51,
	    43, 22, 45, 39, 33, 30, 24, 18, 12, 5,  63, 47, 56, 27, 60, 41, 37, 16, 54, 35, 52, 21,
	    44, 32, 23, 11, 46, 26, 40, 15, 34, 20, 31, 10, 25, 14, 19, 9,  13, 8,  7,  6,
	};
	return kIndex[((mask & (~mask + 1)) * 0x03f79d71b4cb0a89ull) >> 58];
}

} // namespace vanteo::scan
