#include "record/uninstall_record.h"

#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cstdio>
#include <memory>
#include <new>
#include <string_view>

#include "record/record_bytes.h"
#include "run/edition_profile.h"
#include "run/update_run.h"

// Reads the whole file into `bytes`; returns how many bytes came, or -1.
// Only what was read counts: a file that shrank meanwhile gives fewer.
static long long read_whole_file(int descriptor, char* bytes, size_t size) {
  size_t filled = 0;
  while (filled < size) {
    int count = _read(descriptor, bytes + filled, static_cast<unsigned>(size - filled));
    if (count < 0) return -1;
    if (count == 0) break;
    filled += static_cast<size_t>(count);
  }
  return static_cast<long long>(filled);
}

int load_uninstall_record(const char* path) {
  int descriptor = _open(path, _O_RDONLY | _O_BINARY);
  if (descriptor == -1) return -1;
  struct _stati64 status;
  if (_fstati64(descriptor, &status) != 0 || (status.st_mode & _S_IFMT) != _S_IFREG ||
      status.st_size < 0 || static_cast<unsigned long long>(status.st_size) > 0x7FFFFFFF) {
    _close(descriptor);
    return -1;
  }
  const size_t size = static_cast<size_t>(status.st_size);
  std::unique_ptr<char[]> bytes(new (std::nothrow) char[size + 1]);
  long long filled = bytes ? read_whole_file(descriptor, bytes.get(), size) : -1;
  _close(descriptor);
  if (filled < 0) return -1;
  // A record too big for memory is as unreadable as a missing one.
  try {
    parse_record_bytes(std::string_view(bytes.get(), static_cast<size_t>(filled)),
                       run.installed_items);
  } catch (const std::bad_alloc&) {
    run.installed_items = InstalledItemList();
    return -1;
  }
  return 0;
}

static bool write_all(HANDLE file, const char* data, size_t size) {
  while (size > 0) {
    DWORD chunk = size < (1u << 30) ? static_cast<DWORD>(size) : 1u << 30;
    DWORD written = 0;
    if (!WriteFile(file, data, chunk, &written, nullptr) || written != chunk) return false;
    data += chunk;
    size -= chunk;
  }
  return true;
}

// The record's bytes are the list's, then the closing empty string.
static bool write_record_file(const char* path, const InstalledItemList& list) {
  HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool sound = write_all(file, list.bytes.data(), list.bytes.size()) && write_all(file, "", 1);
  sound = FlushFileBuffers(file) && sound;
  return CloseHandle(file) && sound;
}

int save_uninstall_record(const char* folder) {
  char record[kPathBufferSize];
  char temporary[kPathBufferSize];
  int length = std::snprintf(record, sizeof record, "%s\\%s", folder, edition.record_file_name);
  if (length < 0 || static_cast<size_t>(length) + 4 >= sizeof record) return -1;
  std::snprintf(temporary, sizeof temporary, "%s.new", record);

  // The whole record goes to a file beside it, which then replaces it in
  // one step: a failure at any point leaves the old record as it was.
  // One left by an interrupted save may be read-only; CREATE_ALWAYS would
  // then fail on every later save.
  SetFileAttributesA(temporary, FILE_ATTRIBUTE_NORMAL);
  if (write_record_file(temporary, run.installed_items) &&
      MoveFileExA(temporary, record, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return 0;
  DeleteFileA(temporary);
  return -1;
}
