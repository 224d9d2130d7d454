// FAT32: small helpers shared by the volume, file and directory sources.
#ifndef TARN_FILESYSTEM_FAT_INTERNAL_H
#define TARN_FILESYSTEM_FAT_INTERNAL_H

#include "lib/types.h"

namespace tarn {
namespace filesystem {
namespace fatfs {

const u32 kSectorBytes = 512;
const u32 kEntryBytes = 32;
const u32 kEntriesPerSector = 16;
const u32 kEndOfChainMin = 0x0FFFFFF8;  // above 0x0FFFFFF7 ends a chain
const u32 kEndOfChainMark = 0x0FFFFFFF;
const u32 kClusterMask = 0x0FFFFFFF;    // FAT32 entries are 28 bits; the top 4 are kept
const u32 kMaxDirectorySlots = 65536;  // FAT's limit on entries in one directory

// Directory entry layout.
const u32 kDirName = 0;        // 8 bytes, space padded
const u32 kDirExt = 8;         // 3 bytes
const u32 kDirAttr = 11;
const u32 kDirCase = 12;       // lower-case flags of other systems
const u32 kDirClusterHi = 20;
const u32 kDirTime = 22;       // hhhhhmmm mmmsssss (seconds / 2)
const u32 kDirDate = 24;       // yyyyyyym mmmddddd (year - 1980)
const u32 kDirClusterLo = 26;
const u32 kDirSize = 28;

const u8 kAttrReadOnly = 0x01;
const u8 kAttrVolumeLabel = 0x08;
const u8 kAttrDirectory = 0x10;
const u8 kAttrArchive = 0x20;
const u8 kAttrLongName = 0x0F;

const u8 kEntryFree = 0x00;     // never used; nothing follows
const u8 kEntryDeleted = 0xE5;
const u8 kEntryKanji = 0x05;    // stands for a first byte 0xE5

// Long-name entry: ordinal (0x40 marks the last, highest piece), 13 UCS-2
// characters in three runs, attribute 0x0F, checksum of the short name.
const u32 kLongOrdinal = 0;
const u32 kLongChecksum = 13;
const u8 kLongLast = 0x40;
const u8 kLongOrdinalMask = 0x1F;
const u32 kLongChars = 13;
const u32 kLongMaxPieces = 20;          // 255 characters
const u32 kLongNameMax = 255;
const u8 kLongCharAt[kLongChars] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};

inline u8 ShortNameChecksum(const u8* shortName) {
    u8 sum = 0;
    for (int i = 0; i < 11; i++) sum = (u8)(((sum & 1) << 7) + (sum >> 1) + shortName[i]);
    return sum;
}
inline char Upper(char c) { return c >= 'a' && c <= 'z' ? (char)(c - 32) : c; }
inline bool SameNoCase(const char* a, const char* b) {
    while (*a && Upper(*a) == Upper(*b)) { a++; b++; }
    return *a == *b;
}

inline u16 Le16(const u8* p) { return (u16)(p[0] | (p[1] << 8)); }
inline u32 Le32(const u8* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | ((u32)p[3] << 24);
}
inline void Put16(u8* p, u16 v) { p[0] = (u8)v; p[1] = (u8)(v >> 8); }
inline void Put32(u8* p, u32 v) {
    p[0] = (u8)v; p[1] = (u8)(v >> 8); p[2] = (u8)(v >> 16); p[3] = (u8)(v >> 24);
}
inline void Copy(u8* dst, const u8* src, u32 n) { for (u32 i = 0; i < n; i++) dst[i] = src[i]; }
inline void Fill(u8* dst, u8 v, u32 n) { for (u32 i = 0; i < n; i++) dst[i] = v; }
inline bool Same(const u8* a, const u8* b, u32 n) {
    for (u32 i = 0; i < n; i++) if (a[i] != b[i]) return false;
    return true;
}
inline u32 Length(const char* s) { u32 n = 0; while (s[n]) n++; return n; }
inline u32 EntryCluster(const u8* e) {
    return ((u32)Le16(e + kDirClusterHi) << 16) | Le16(e + kDirClusterLo);
}

}  // namespace fatfs
}  // namespace filesystem
}  // namespace tarn

#endif
