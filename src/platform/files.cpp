#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

namespace vn::platform {

namespace {

// An open file is its descriptor plus one, so that no handle is null and
// opening needs no allocation.
int Descriptor(File* file) { return static_cast<int>(reinterpret_cast<intptr_t>(file)) - 1; }
File* Handle(int descriptor) { return reinterpret_cast<File*>(static_cast<intptr_t>(descriptor) + 1); }

constexpr size_t kMaxPathBytes = 4096;

size_t EncodeUtf8(uint32_t c, char* out) {
  if (c < 0x80) {
    out[0] = static_cast<char>(c);
    return 1;
  }
  if (c < 0x800) {
    out[0] = static_cast<char>(0xC0 | (c >> 6));
    out[1] = static_cast<char>(0x80 | (c & 0x3F));
    return 2;
  }
  if (c < 0x10000) {
    out[0] = static_cast<char>(0xE0 | (c >> 12));
    out[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (c & 0x3F));
    return 3;
  }
  out[0] = static_cast<char>(0xF0 | ((c >> 18) & 0x07));
  out[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
  out[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
  out[3] = static_cast<char>(0x80 | (c & 0x3F));
  return 4;
}

// Decodes UTF-8 into wide characters; invalid bytes are taken as Latin-1.
void Utf8ToWide(const char* in, wchar_t* out, size_t outCount) {
  size_t n = 0;
  const auto* p = reinterpret_cast<const unsigned char*>(in);
  while (*p != 0 && n + 1 < outCount) {
    uint32_t c = *p;
    int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    bool valid = true;
    for (int i = 1; i <= extra; ++i) {
      if ((p[i] & 0xC0) != 0x80) valid = false;
    }
    if (extra > 0 && valid) {
      c &= 0x3Fu >> extra;
      for (int i = 1; i <= extra; ++i) c = (c << 6) | (p[i] & 0x3Fu);
      p += extra + 1;
    } else {
      ++p;
    }
    out[n++] = static_cast<wchar_t>(c);
  }
  out[n] = 0;
}

}  // namespace

bool WideToUtf8(const wchar_t* wide, char* out, size_t outSize) {
  size_t used = 0;
  for (; *wide != 0; ++wide) {
    if (used + 5 > outSize) return false;
    used += EncodeUtf8(static_cast<uint32_t>(*wide), out + used);
  }
  if (used + 1 > outSize) return false;
  out[used] = 0;
  return true;
}

File* OpenForReading(const wchar_t* path) {
  char utf8[kMaxPathBytes];
  if (!WideToUtf8(path, utf8, sizeof utf8)) return nullptr;
  int descriptor;
  do {
    descriptor = open(utf8, O_RDONLY | O_CLOEXEC);
  } while (descriptor < 0 && errno == EINTR);
  if (descriptor < 0) return nullptr;
  return Handle(descriptor);
}

void Close(File* file) {
  if (file != nullptr) close(Descriptor(file));
}

bool Seek(File* file, uint64_t position) {
  return lseek(Descriptor(file), static_cast<off_t>(position), SEEK_SET) >= 0;
}

bool SeekRelative(File* file, int64_t distance) {
  return lseek(Descriptor(file), static_cast<off_t>(distance), SEEK_CUR) >= 0;
}

int64_t Read(File* file, void* buffer, size_t bytes) {
  size_t done = 0;
  auto* out = static_cast<unsigned char*>(buffer);
  while (done < bytes) {
    ssize_t got = read(Descriptor(file), out + done, bytes - done);
    if (got < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (got == 0) break;
    done += static_cast<size_t>(got);
  }
  return static_cast<int64_t>(done);
}

bool QueryFileLength(const wchar_t* path, uint64_t* length) {
  char utf8[kMaxPathBytes];
  if (!WideToUtf8(path, utf8, sizeof utf8)) return false;
  struct stat info;
  if (stat(utf8, &info) != 0 || !S_ISREG(info.st_mode)) return false;
  *length = static_cast<uint64_t>(info.st_size);
  return true;
}

struct FolderSearch {
  DIR* dir;
  char path[kMaxPathBytes];
};

namespace {

bool ReadEntry(FolderSearch* search, FolderEntry* entry) {
  while (dirent* d = readdir(search->dir)) {
    if (std::strcmp(d->d_name, ".") == 0 || std::strcmp(d->d_name, "..") == 0) continue;
    Utf8ToWide(d->d_name, entry->name, sizeof entry->name / sizeof entry->name[0]);
    char full[kMaxPathBytes * 2];
    std::strcpy(full, search->path);
    std::strcat(full, "/");
    std::strncat(full, d->d_name, kMaxPathBytes - 1);
    struct stat info;
    entry->isFolder = stat(full, &info) == 0 && S_ISDIR(info.st_mode);
    return true;
  }
  return false;
}

}  // namespace

// The search record lives in static storage: the file browser lists one
// folder at a time, on the main thread.
FolderSearch* FindFirst(const wchar_t* folder, FolderEntry* entry) {
  static FolderSearch search;
  if (search.dir != nullptr) closedir(search.dir);
  search.dir = nullptr;
  if (!WideToUtf8(folder, search.path, sizeof search.path)) return nullptr;
  search.dir = opendir(search.path);
  if (search.dir == nullptr) return nullptr;
  if (!ReadEntry(&search, entry)) {
    FindClose(&search);
    return nullptr;
  }
  return &search;
}

bool FindNext(FolderSearch* search, FolderEntry* entry) { return ReadEntry(search, entry); }

void FindClose(FolderSearch* search) {
  if (search != nullptr && search->dir != nullptr) {
    closedir(search->dir);
    search->dir = nullptr;
  }
}

}  // namespace vn::platform
