#pragma once
// Between Sha1.cpp, Sha256.cpp and their AVX-512 lanes, kept in a file of their own.
#include <cstddef>
#include <cstdint>

// LaneKernel compress functions (Lanes.h) for up to 8 messages in YMM
// registers or 16 in ZMM ones, which take 8 or fewer as the YMM ones do.
// Each needs AVX-512 F, VL and BW.
using ShaLanesFunction = void(std::uint32_t* const states[], const std::uint8_t* const data[], std::size_t lanes,
                              std::size_t blocks);
ShaLanesFunction Sha1LanesAvx512x8, Sha1LanesAvx512x16, Sha256LanesAvx512x8, Sha256LanesAvx512x16;
