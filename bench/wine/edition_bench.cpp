// The whole edition, from its start to the end of its process, with every
// box answered as a user who agrees would.
//
//   edition_bench prepare EDITION PACKAGE COPY append|patch
//       copies the edition and puts PACKAGE in place of its own package
//   edition_bench run COPY FOLDER GAME_EXE
//       makes FOLDER a registered installation (GAME_EXE as Tivarne.exe and
//       a record naming it), runs COPY and prints
//       "seconds=S peak=BYTES confirm=S progress=S report=S"
//       (the last three: when each box appeared, from the start)
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bench/wine/bench_support.h"
#include "run/texts.h"
#include "tests/wine/harness.h"

static int prepare(const char* edition, const char* package_path, const char* copy,
                   const char* kind) {
  std::ifstream in(package_path, std::ios::binary);
  std::vector<unsigned char> package((std::istreambuf_iterator<char>(in)),
                                     std::istreambuf_iterator<char>());
  if (package.empty()) {
    std::fprintf(stderr, "edition_bench: cannot read %s\n", package_path);
    return 2;
  }
  if (!harness::copy_with_package(edition, copy, std::strcmp(kind, "append") == 0, package)) {
    std::fprintf(stderr, "edition_bench: cannot make %s (%lu)\n", copy, GetLastError());
    return 2;
  }
  return 0;
}

static int run(const char* copy, const std::string& folder, const char* game_exe) {
  if (!CopyFileA(game_exe, (folder + "\\Tivarne.exe").c_str(), FALSE)) {
    std::fprintf(stderr, "edition_bench: cannot copy %s\n", game_exe);
    return 2;
  }
  const std::string record = "F" + folder + "\\Tivarne.exe" + std::string(2, '\0');
  if (!harness::write_file(folder + "\\uinst.dat", record)) return 2;
  harness::set_install_folder(folder.c_str());
  // The desktop must be up before the clock starts: under Wine its first
  // user starts it, which a Windows session never pays for a program.
  GetDesktopWindow();

  HANDLE process = nullptr;
  unsigned long long peak = 0;
  double confirm = 0, progress = 0, report = 0;
  const long long start = bench::now_ticks();
  harness::Answer answer = [&](const harness::Box& box) {
    if (!process) {  // the edition's first box: the one window of that caption
      DWORD pid = 0;
      GetWindowThreadProcessId(FindWindowA("#32770", box.caption.c_str()), &pid);
      process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    }
    if (box.text == kCompletedText) {
      report = bench::seconds_since(start);
      // The run's work is done once the report shows: its peak is final.
      if (process) peak = bench::peak_bytes(process);
    } else if (confirm == 0) {
      confirm = bench::seconds_since(start);
    }
    return harness::answer_yes(box);
  };
  harness::ProgressHook on_progress = [&](HWND, HANDLE) {
    progress = bench::seconds_since(start);
  };
  harness::RunResult result = harness::run_program(copy, answer, on_progress);
  const double seconds = bench::seconds_since(start);
  if (process) CloseHandle(process);

  std::vector<harness::Box> messages = result.messages();
  if (result.exit_code != 0 || messages.empty() || messages.back().text != kCompletedText) {
    std::fprintf(stderr, "edition_bench: the run did not complete:\n%s\n",
                 harness::describe(result).c_str());
    return 1;
  }
  std::printf("seconds=%.6f peak=%llu confirm=%.6f progress=%.6f report=%.6f\n", seconds,
              peak, confirm, progress, report);
  return 0;
}

int main(int argc, char** argv) {
  if (argc == 6 && std::strcmp(argv[1], "prepare") == 0)
    return prepare(argv[2], argv[3], argv[4], argv[5]);
  if (argc == 5 && std::strcmp(argv[1], "run") == 0) return run(argv[2], argv[3], argv[4]);
  std::fprintf(stderr,
               "usage: edition_bench prepare EDITION PACKAGE COPY append|patch\n"
               "       edition_bench run COPY FOLDER GAME_EXE\n");
  return 2;
}
