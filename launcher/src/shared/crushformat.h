#pragma once

#include <cstdint>

namespace shared {

// The LZ77 bit stream of method 21. Bits are taken least significant first. A 0
// bit introduces an 8-bit literal; a 1 bit a match: an extra length L in a cascade
// of steps (each step but the last announced by a 1 bit after as many 0 bits as
// steps before it), then a 4-bit slot s and the distance d: 6 bits when s is 0,
// otherwise 2^(s+5) plus s+5 bits. The match copies 3 + L bytes starting d + 1
// bytes back.
namespace crush {

struct TLengthStep
{
    uint32_t nBase;
    int nBits;
};

constexpr TLengthStep kLengthSteps[] = {{0, 2}, {4, 2}, {8, 2}, {12, 3}, {20, 5}, {52, 9}};
constexpr int kLengthStepCount = 6;
constexpr int kMinMatch = 3;
constexpr int kMaxMatch = kMinMatch + 52 + (1 << 9) - 1;
constexpr int kSlotBits = 4;
constexpr int kNearDistanceBits = 6;
constexpr int kSlotBitsOffset = 5;
constexpr uint32_t kMaxDistance = (uint32_t{1} << (15 + kSlotBitsOffset + 1)) - 1;
// Farthest a match may start behind the end of the output.
constexpr uint32_t kMaxOffset = kMaxDistance + 1;
// Longest token: flag, five 0 bits, 9 length bits, slot and 20 distance bits.
constexpr int kLongestTokenBits = 1 + 5 + 9 + kSlotBits + 20;

} // namespace crush

} // namespace shared
