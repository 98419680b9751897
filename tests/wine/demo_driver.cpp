// Runs an edition the way a user would, for the headless demo: answers
// every box with OK or Yes, prints each window's caption and text in
// UTF-8, and saves screenshots of the confirmation, the progress window
// and the completion box as BMP files in a folder.
//
//   demo_driver EXE OUT_FOLDER
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "run/texts.h"
#include "tests/wine/harness.h"

namespace {

struct DcReleaser {
  void operator()(HDC dc) const { ReleaseDC(nullptr, dc); }
};
struct DcDeleter {
  void operator()(HDC dc) const { DeleteDC(dc); }
};
struct ObjectDeleter {
  void operator()(HGDIOBJ object) const { DeleteObject(object); }
};
struct HandleCloser {
  void operator()(HANDLE handle) const { CloseHandle(handle); }
};

// A copy of what the screen shows inside a window's rectangle, as 24-bit
// rows, bottom row first (the layout of a BMP file).
struct Shot {
  int width = 0;
  int height = 0;
  std::vector<unsigned char> pixels;
  int stride() const { return (width * 3 + 3) & ~3; }
};

Shot capture(HWND window) {
  Shot shot;
  RECT rect;
  if (!GetWindowRect(window, &rect)) return shot;
  shot.width = rect.right - rect.left;
  shot.height = rect.bottom - rect.top;
  if (shot.width <= 0 || shot.height <= 0) return shot;
  std::unique_ptr<HDC__, DcReleaser> screen(GetDC(nullptr));
  std::unique_ptr<HDC__, DcDeleter> memory(CreateCompatibleDC(screen.get()));
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = shot.width;
  info.bmiHeader.biHeight = shot.height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  std::unique_ptr<void, ObjectDeleter> bitmap(
      CreateDIBSection(screen.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!bitmap || !bits) return Shot{};
  HGDIOBJ previous = SelectObject(memory.get(), bitmap.get());
  BitBlt(memory.get(), 0, 0, shot.width, shot.height, screen.get(), rect.left, rect.top,
         SRCCOPY | CAPTUREBLT);
  GdiFlush();
  const auto* first = static_cast<const unsigned char*>(bits);
  shot.pixels.assign(first, first + static_cast<size_t>(shot.stride()) * shot.height);
  SelectObject(memory.get(), previous);
  return shot;
}

// The control that holds a box's text: 0xFFFF in a message box, -1 (kept
// in 32 bits) in the progress window.
HWND text_control(HWND window) {
  HWND text = GetDlgItem(window, 0xFFFF);
  return text ? text : GetDlgItem(window, -1);
}

// Whether the window's text has reached the screen: dark pixels inside
// its text control, where a window not painted yet has none.
bool shows_text(const Shot& shot, HWND window) {
  RECT outer, inner;
  HWND text = text_control(window);
  if (!text || !GetWindowRect(window, &outer) || !GetWindowRect(text, &inner)) return false;
  int dark = 0;
  for (int y = inner.top - outer.top; y < inner.bottom - outer.top; ++y) {
    if (y < 0 || y >= shot.height) continue;
    const int row = shot.height - 1 - y;  // rows are stored bottom up
    for (int x = std::max(0L, inner.left - outer.left);
         x < std::min<long>(shot.width, inner.right - outer.left); ++x) {
      const unsigned char* p = shot.pixels.data() + static_cast<size_t>(row) * shot.stride() + 3 * x;
      if (p[0] < 80 && p[1] < 80 && p[2] < 80) ++dark;
    }
  }
  return dark >= 20;
}

// Captures the window once its painting has reached the screen: Wine hands
// a window's drawing to the X server a little after the painting itself.
Shot capture_painted(HWND window) {
  Shot shot;
  for (int attempt = 0; attempt < 100; ++attempt) {
    shot = capture(window);
    if (!shot.pixels.empty() && shows_text(shot, window)) return shot;
    Sleep(20);
  }
  std::fprintf(stderr, "demo_driver: the window never showed its text; saving it as it is\n");
  return shot;
}

bool save_bmp(const Shot& shot, const std::string& path) {
  if (shot.pixels.empty()) return false;
  BITMAPFILEHEADER file = {};
  BITMAPINFOHEADER header = {};
  header.biSize = sizeof header;
  header.biWidth = shot.width;
  header.biHeight = shot.height;
  header.biPlanes = 1;
  header.biBitCount = 24;
  header.biCompression = BI_RGB;
  header.biSizeImage = static_cast<DWORD>(shot.pixels.size());
  file.bfType = 0x4D42;  // "BM"
  file.bfOffBits = sizeof file + sizeof header;
  file.bfSize = file.bfOffBits + header.biSizeImage;
  std::string bytes(reinterpret_cast<const char*>(&file), sizeof file);
  bytes.append(reinterpret_cast<const char*>(&header), sizeof header);
  bytes.append(reinterpret_cast<const char*>(shot.pixels.data()), shot.pixels.size());
  return harness::write_file(path, bytes);
}

std::string out_folder;
int shot_number = 0;

void save(HWND window, const char* name) {
  char file[32];
  std::snprintf(file, sizeof file, "%d-%s.bmp", ++shot_number, name);
  if (!save_bmp(capture_painted(window), out_folder + "\\" + file))
    std::fprintf(stderr, "demo_driver: cannot save %s\n", file);
}

void print_box(const harness::Box& box) {
  std::string text = harness::utf8(box.text);
  for (size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 3))
    text.insert(at + 1, "  ");
  std::printf("[%s] (%s)\n  %s\n", harness::utf8(box.caption).c_str(),
              box.is_progress() ? "progress window" : box.buttons.c_str(), text.c_str());
  std::fflush(stdout);
}

// The visible message box with this caption and text (the demo runs one
// updater, so there is only one such box).
struct BoxSearch {
  const harness::Box* box;
  HWND found;
};

BOOL CALLBACK match_box(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<BoxSearch*>(data);
  char class_name[16] = {};
  GetClassNameA(window, class_name, sizeof class_name);
  if (!IsWindowVisible(window) || std::strcmp(class_name, "#32770") != 0) return TRUE;
  char caption[1024] = {}, text[2048] = {};
  GetWindowTextA(window, caption, sizeof caption);
  GetDlgItemTextA(window, 0xFFFF, text, sizeof text);
  if (search->box->caption == caption && search->box->text == text) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

int answer(const harness::Box& box) {
  print_box(box);
  BoxSearch search{&box, nullptr};
  EnumWindows(match_box, reinterpret_cast<LPARAM>(&search));
  if (search.found) {
    if (box.text == kCompletedText) save(search.found, "completed");
    else if (box.buttons == "OKCancel" || box.buttons == "YesNo") save(search.found, "confirmation");
    else save(search.found, "message");
  }
  return harness::answer_yes(box);
}

// The updater is held where it has just shown the progress window, before
// its first entry and before it has handled a single message, so the
// window is not painted yet. Let its thread run in that hold, which still
// answers sent messages, and have it paint the window and its text.
void on_progress(HWND window, HANDLE) {
  DWORD thread_id = GetWindowThreadProcessId(window, nullptr);
  std::unique_ptr<void, HandleCloser> thread(OpenThread(THREAD_SUSPEND_RESUME, FALSE, thread_id));
  if (thread) ResumeThread(thread.get());
  RedrawWindow(window, nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
  char caption[256] = {}, text[256] = {};
  GetWindowTextA(window, caption, sizeof caption);
  GetDlgItemTextA(window, -1, text, sizeof text);
  harness::Box box{caption, text, "", false};
  print_box(box);
  save(window, "progress");
  if (thread) SuspendThread(thread.get());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: demo_driver EXE OUT_FOLDER\n");
    return 2;
  }
  _setmode(_fileno(stdout), _O_BINARY);  // UTF-8 bytes as they are, "\n" as it is
  out_folder = argv[2];
  CreateDirectoryA(out_folder.c_str(), nullptr);
  harness::RunResult run = harness::run_program(argv[1], answer, on_progress);
  std::printf("exit code %lu%s\n", run.exit_code, run.timed_out ? " (timed out)" : "");
  return run.timed_out || run.exit_code != 0 ? 1 : 0;
}
