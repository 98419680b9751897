#include "record/uninstall_record.h"

#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cstdio>
#include <memory>
#include <new>
#include <string>

#include "record/record_bytes.h"
#include "run/edition_profile.h"
#include "run/update_run.h"

int load_uninstall_record(const char* path) {
  int descriptor = _open(path, _O_RDONLY | _O_BINARY);
  if (descriptor == -1) return -1;
  struct _stati64 status;
  if (_fstati64(descriptor, &status) != 0 || status.st_size < 0 ||
      static_cast<unsigned long long>(status.st_size) > 0x7FFFFFFF) {
    _close(descriptor);
    return -1;
  }
  const size_t size = static_cast<size_t>(status.st_size);
  std::unique_ptr<char[]> bytes(new (std::nothrow) char[size + 1]);
  if (!bytes) {
    _close(descriptor);
    return -1;
  }
  // Only the bytes actually read are parsed: a file that shrank meanwhile
  // gives fewer.
  size_t filled = 0;
  while (filled < size) {
    int count = _read(descriptor, bytes.get() + filled, static_cast<unsigned>(size - filled));
    if (count < 0) {
      _close(descriptor);
      return -1;
    }
    if (count == 0) break;
    filled += static_cast<size_t>(count);
  }
  _close(descriptor);
  parse_record_bytes(std::string_view(bytes.get(), filled), run.installed_items);
  return 0;
}

static bool write_whole_file(const char* path, const std::string& bytes) {
  HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool sound = true;
  for (size_t done = 0; sound && done < bytes.size();) {
    DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 30));
    DWORD written = 0;
    sound = WriteFile(file, bytes.data() + done, chunk, &written, nullptr) && written == chunk;
    done += written;
  }
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
  if (write_whole_file(temporary, record_bytes_of(run.installed_items)) &&
      MoveFileExA(temporary, record, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return 0;
  DeleteFileA(temporary);
  return -1;
}
