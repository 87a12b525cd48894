// Replay driver of the smoke build (make fuzz-smoke): a `main` for a fuzz
// target built without libFuzzer. It feeds the target the empty input, then
// each file named on the command line and each file under each directory
// named there (recursively, in name order), once each.
//
// Exit status: 0 when every input ran; 1 when an argument cannot be read or
// the target returns anything but 0 or -1 (libFuzzer's "keep" and "reject").
// A target that aborts (a failed check) or crashes ends the process by its
// signal, after the name of the input that did it is printed; so does a
// sanitizer report (UBSan's when it aborts: UBSAN_OPTIONS=abort_on_error=1).
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
// Present when a sanitizer runtime is linked in: it calls the callback before
// it ends the process on a report.
extern "C" [[gnu::weak]] void __sanitizer_set_death_callback(void (*callback)());

namespace {

namespace fs = std::filesystem;

// The input being run, for the signal handler: a fixed buffer, so that the
// handler only reads memory that is never freed.
char current_input[4096];

void write_text(const char* text) {
  ssize_t ignored = write(STDERR_FILENO, text, std::strlen(text));
  (void)ignored;  // nothing to do if stderr is gone
}

void name_current_input() {
  write_text("fuzz replay: input ");
  write_text(current_input);
  write_text(" ended the target\n");
}

// Names the input, then lets the signal end the process as it would have.
extern "C" void on_fatal_signal(int sig) {
  name_current_input();
  signal(sig, SIG_DFL);
  raise(sig);
}

bool run(const std::string& name, const std::string& bytes) {
  const size_t n = std::min(name.size(), sizeof current_input - 1);
  std::memcpy(current_input, name.data(), n);
  current_input[n] = '\0';
  const int r = LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()),
                                       bytes.size());
  if (r == 0 || r == -1) return true;
  std::fprintf(stderr, "fuzz replay: the target returned %d for input %s\n", r, name.c_str());
  return false;
}

bool read_file(const fs::path& path, std::string& bytes) {
  std::ifstream in(path, std::ios::binary);
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad() && in.is_open();
}

// The files of `arg`: itself, or the regular files under it in name order.
bool files_of(const fs::path& arg, std::vector<fs::path>& out) {
  std::error_code ec;
  if (!fs::is_directory(arg, ec)) {
    if (!fs::is_regular_file(arg, ec)) {
      std::fprintf(stderr, "fuzz replay: no such file or directory: %s\n", arg.c_str());
      return false;
    }
    out.push_back(arg);
    return true;
  }
  std::vector<fs::path> found;
  for (fs::recursive_directory_iterator it(arg, ec), end; !ec && it != end; it.increment(ec))
    if (it->is_regular_file(ec)) found.push_back(it->path());
  if (ec) {
    std::fprintf(stderr, "fuzz replay: cannot list %s: %s\n", arg.c_str(), ec.message().c_str());
    return false;
  }
  std::sort(found.begin(), found.end());
  out.insert(out.end(), found.begin(), found.end());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  // A failed check aborts. Under a sanitizer, the other fatal signals are the
  // sanitizer's, whose report ends in the death callback.
  signal(SIGABRT, on_fatal_signal);
  if (__sanitizer_set_death_callback) __sanitizer_set_death_callback(name_current_input);
  else
    for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL}) signal(sig, on_fatal_signal);
  std::vector<fs::path> files;
  for (int i = 1; i < argc; ++i)
    if (!files_of(argv[i], files)) return 1;

  const auto start = std::chrono::steady_clock::now();
  if (!run("(empty input)", "")) return 1;
  std::string bytes;
  for (const fs::path& path : files) {
    if (!read_file(path, bytes)) {
      std::fprintf(stderr, "fuzz replay: cannot read %s\n", path.c_str());
      return 1;
    }
    if (!run(path.string(), bytes)) return 1;
  }
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  std::printf("%s: %zu inputs in %.2f s\n", fs::path(argv[0]).filename().c_str(), files.size() + 1,
              took.count());
  return 0;
}
