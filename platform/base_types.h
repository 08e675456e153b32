#pragma once

// The integer types and truth values that every platform layer's calls are written in.

#include <cstdint>

namespace platform {

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using UINT = std::uint32_t;
using LONG = std::int32_t;
using BOOL = int;
using HRESULT = std::uint32_t;

// Kernel objects (files, threads, searches): a handle is a pointer to the layer's object.
struct KernelObject;
using HANDLE = KernelObject*;

inline constexpr BOOL FALSE = 0;
inline constexpr BOOL TRUE = 1;
inline constexpr HRESULT S_OK = 0;

} // namespace platform
