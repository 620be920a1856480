// Files by wide-character path, as the engine sees them (UTF-8 on Linux),
// opened for reading only; and folder listing for the file browser.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vn::platform {

struct File;  // an open file

// Null when the file cannot be opened.
File* OpenForReading(const wchar_t* path);
void Close(File* file);
// Each returns false on failure.
bool Seek(File* file, uint64_t position);
bool SeekRelative(File* file, int64_t distance);
// Reads up to `bytes`; returns the count read, or -1 on failure.
int64_t Read(File* file, void* buffer, size_t bytes);
// The length from the file system's attributes of the path.
bool QueryFileLength(const wchar_t* path, uint64_t* length);

// Converts a wide path to UTF-8 into `out` (nul-terminated); false when it
// does not fit.
bool WideToUtf8(const wchar_t* wide, char* out, size_t outSize);

// Folder listing, one entry at a time (find-first / find-next).
struct FolderEntry {
  wchar_t name[260];
  bool isFolder;
};
struct FolderSearch;
FolderSearch* FindFirst(const wchar_t* folder, FolderEntry* entry);
bool FindNext(FolderSearch* search, FolderEntry* entry);
void FindClose(FolderSearch* search);

}  // namespace vn::platform
