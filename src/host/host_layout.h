// The host's Bitmap object layout, as the library reads (and, for a resize,
// writes) it. Only src/host includes this file.
#pragma once

#include <cstdint>
#include <cstring>

namespace vellora::host {

// The host object's flags word says which class the object is; this value
// is a Bitmap's.
inline constexpr uint32_t kHostObjectFlagsBitmap = 0x222;
inline constexpr uint32_t kInfoHeaderSize = 40;  // sizeof(BITMAPINFOHEADER)

// Byte offsets of the fields the library touches; every field is 32 bits.
inline constexpr uint32_t kObjectFlags = 0;    // HostObject: flags
inline constexpr uint32_t kObjectData = 16;    // HostObject: -> HostBitmap
inline constexpr uint32_t kDataRecord = 8;     // HostBitmap: -> BitmapRecord
inline constexpr uint32_t kRecordHeader = 8;   // BitmapRecord: -> BITMAPINFOHEADER
inline constexpr uint32_t kRecordPixels = 16;  // BitmapRecord: -> pixel buffer
inline constexpr uint32_t kHeaderSize = 0;     // BITMAPINFOHEADER: biSize
inline constexpr uint32_t kHeaderWidth = 4;    // BITMAPINFOHEADER: biWidth
inline constexpr uint32_t kHeaderHeight = 8;   // BITMAPINFOHEADER: biHeight

// Host addresses are 32-bit; this library only runs in 32-bit processes.
using Address = uint32_t;

// The host object of a handle, in 32-bit address arithmetic.
inline Address object_address(int32_t handle) { return static_cast<Address>(handle) * 2u; }

// Host fields may sit at any address the host chose: read and write them
// bytewise rather than through typed pointers.
inline uint32_t read_word(Address base, uint32_t offset) {
  uint32_t value;
  std::memcpy(&value, reinterpret_cast<const void*>(static_cast<uintptr_t>(base + offset)),
              sizeof value);
  return value;
}

inline void write_word(Address base, uint32_t offset, uint32_t value) {
  std::memcpy(reinterpret_cast<void*>(static_cast<uintptr_t>(base + offset)), &value, sizeof value);
}

}  // namespace vellora::host
