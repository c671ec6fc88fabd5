#pragma once

#include <QtGlobal>

// The tags of the tagged-object stream, shared by its writer and its reader.
namespace ArchiveTags {

inline constexpr quint16 kNull = 0x0000;
inline constexpr quint16 kNewClass = 0xFFFF;
inline constexpr quint16 kClass = 0x8000;        // or'ed with a class index
inline constexpr quint16 kBigObject = 0x7FFF;    // a DWORD tag follows
inline constexpr quint32 kBigClass = 0x80000000; // a class index in a DWORD tag
inline constexpr quint16 kWideStringMarker = 0xFFFE;

} // namespace ArchiveTags
