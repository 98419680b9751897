#include "package/extract.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <sys/utime.h>

#include <cstring>

#include "package/directories.h"
#include "package/package_format.h"
#include "package/progress_window.h"
#include "run/edition_profile.h"
#include "run/message_box.h"
#include "run/prompts.h"
#include "run/shared_buffer.h"
#include "run/texts.h"
#include "run/update_run.h"

// Writers of other programs may go on reading and writing the file.
static constexpr int kOpenForWriting = _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY;
static constexpr int kNewFilePermission = _S_IREAD | _S_IWRITE;

static int open_for_writing(const char* path, InstalledItemList& items) {
  int descriptor = _open(path, kOpenForWriting, kNewFilePermission);
  if (descriptor == -1) {
    ensure_parent_directories(path, items);
    descriptor = _open(path, kOpenForWriting, kNewFilePermission);
  }
  return descriptor;
}

// Composes folder\name; false when it does not fit the buffer.
static bool compose_output_path(char (&out)[kPathBufferSize], const char* folder,
                                std::string_view name) {
  size_t folder_length = std::strlen(folder);
  if (folder_length + 1 + name.size() >= sizeof out) return false;
  std::memcpy(out, folder, folder_length);
  out[folder_length] = '\\';
  std::memcpy(out + folder_length + 1, name.data(), name.size());
  out[folder_length + 1 + name.size()] = '\0';
  return true;
}

static int write_entry(const PackageCursor& cursor, const PackageEntry& entry,
                       const char* install_folder, unsigned char* buffer,
                       InstalledItemList& items) {
  // A damaged stream stops the run before its file is opened, so the
  // file that is there stays as it was.
  if (inflate_entry(entry_stream(cursor, entry), entry, buffer, kSharedBufferSize) != 0)
    return kExtractDamaged;

  char path[kPathBufferSize];
  if (!compose_output_path(path, install_folder, entry.name)) return kExtractCannotOpen;
  int descriptor = open_for_writing(path, items);
  if (descriptor == -1) return kExtractCannotOpen;
  int written = _write(descriptor, buffer, entry.unpacked_size);
  _close(descriptor);
  if (written < 0 || static_cast<uint32_t>(written) != entry.unpacked_size)
    return kExtractShortWrite;

  // Windows' runtime refuses a time before 1970 and Wine's accepts it:
  // such a file keeps the times of its writing everywhere.
  if (entry.time >= 0) {
    __utimbuf64 times = {entry.time, entry.time};
    _utime64(path, &times);
  }
  add_installed_item(items, 'F', path);
  return kExtractDone;
}

// Writes the entries of a package that has passed check_package.
static int write_entries(std::span<const unsigned char> package, const char* install_folder,
                         unsigned char* buffer, InstalledItemList& items, HWND progress) {
  PackageCursor cursor = begin_package_walk(package.data());
  PackageEntry entry;
  while (next_package_entry(cursor, entry)) {
    if (progress) drain_progress_messages(progress);
    if (int outcome = write_entry(cursor, entry, install_folder, buffer, items)) return outcome;
  }
  return kExtractDone;
}

int extract_package_bytes(std::span<const unsigned char> package, const char* install_folder,
                          unsigned char* buffer, InstalledItemList& items, HWND progress) {
  if (check_package(package) != kPackageSound) return kExtractDamaged;
  return write_entries(package, install_folder, buffer, items, progress);
}

static std::span<const unsigned char> find_package() {
  const ResourceName& name = edition.package_resource_name;
  HRSRC found = FindResourceA(nullptr, name.text ? name.text : MAKEINTRESOURCEA(name.id),
                              edition.package_resource_type);
  if (!found) return {};
  HGLOBAL loaded = LoadResource(nullptr, found);
  if (!loaded) return {};
  return {static_cast<const unsigned char*>(LockResource(loaded)), SizeofResource(nullptr, found)};
}

int extract_package() {
  std::span<const unsigned char> package = find_package();
  if (package.data() == nullptr) {
    MessageBoxA(nullptr, kResourceMissingText, kResourceMissingCaption, MB_OK);
    return kExtractNoPackage;
  }
  // Nothing is shown or written for a package that fails its checks.
  if (check_package(package) != kPackageSound) return kExtractDamaged;
  HWND progress = show_progress_window(run.instance);
  int outcome = write_entries(package, run.install_folder, shared_buffer,
                                      run.installed_items, progress);
  // After a failure the window stays behind the report until the end.
  if (outcome == kExtractDone) DestroyWindow(progress);
  return outcome;
}
