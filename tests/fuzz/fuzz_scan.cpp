// The input stream and its scans on arbitrary bytes, held against a plain model.
//
// The fuzz input is split into a short program and a file:
//   byte 0            number of operations k (0 to 31)
//   bytes 1 .. k      the operations (read_line, scan_ints, scan_double, scan_token,
//                     skip_token, skip_line, rewind_input, peek_byte), see
//                     run_program
//   byte k + 1        a small block size (1 to 64)
//   the rest          the bytes of the file
// The file is put in a memfd and opened through /proc/self/fd (on Windows, in a
// temporary file), so it is read like any regular file, once with the normal block size and once with the small one
// (every byte then lies near a block boundary, and the plain-number path of
// scan_double meets the end of its buffer); then the same bytes are fed through a
// pipe (on Windows, a named pipe), which takes the record-and-replay path of input that cannot be
// repositioned.
//
// The model translates the whole file at once (CR LF to LF, end at the first
// Ctrl-Z) and scans the translated text with a direct transcription of the
// scanning grammar; its numbers come from strtod on the digits the grammar keeps.
// Each stream run must give exactly the model's trace, whatever the block size;
// a run repeated after rewind_input must give the same trace again; pos <= end <=
// capacity after every operation; after the program the rest of the input read
// line by line is exactly the rest of the model text. The trace holds the line
// count after every operation: the LFs consumed, less those that a bare
// scan_input of a token skipped (only the table's scans count theirs); after the
// end, read_past_end must hand out exactly the raw bytes from the first Ctrl-Z on. On the raw bytes as text,
// atoi, atof, first_token and the text scans must agree with the model too,
// scan_double with the grammar alone (scan_double_grammar), and scan_double with
// atof wherever the number has no d or D exponent. The scan kernel of every vector
// level the machine runs walks the raw bytes too, taking runs of values with the
// grammar reading one value between them: every value it reads must be the
// grammar's, and it must stop where the grammar stops. The stream runs and
// scan_doubles are repeated at every level.
#ifdef _WIN32
#include <windows.h>

#include <thread>
#else
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "run/numbers/plain_values.h"
#include "run/numbers/scan.h"
#include "run/numbers/vector_level.h"
#include "run/streams/text_input.h"
#include "table/fields.h"

namespace {

using floveran::TextInput;

[[noreturn]] void fail(const char* what, const std::string& detail = {}) {
  std::fprintf(stderr, "fuzz_scan: %s\n%s\n", what, detail.c_str());
  std::fflush(stderr);
  std::abort();
}

void check(bool ok, const char* what, const std::string& detail = {}) {
  if (!ok) fail(what, detail);
}

bool same_double(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

std::string bits_of(double v) {
  char text[64];
  std::uint64_t bits = 0;
  std::memcpy(&bits, &v, sizeof bits);
  std::snprintf(text, sizeof text, "%.17g (0x%016llx)", v, static_cast<unsigned long long>(bits));
  return text;
}

// ---------------------------------------------------------------------------
// The model.

bool model_space(int c) { return c == ' ' || (c >= 9 && c <= 13); }
bool model_digit(int c) { return c >= '0' && c <= '9'; }

std::string model_translate(std::string_view raw) {
  std::string out;
  for (std::size_t i = 0; i < raw.size(); ++i) {
    const char c = raw[i];
    if (c == 0x1A) break;
    if (c == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n') continue;
    out += c;
  }
  return out;
}

struct ModelCursor {
  std::string_view text;
  std::size_t pos = 0;
  std::int64_t uncounted = 0;  // LFs skipped by bare scan_input calls
  int peek() const { return pos < text.size() ? static_cast<unsigned char>(text[pos]) : -1; }
  int skip_space() {
    while (model_space(peek())) ++pos;
    return peek();
  }
};

bool model_line(ModelCursor& m, std::string* line) {
  if (m.pos >= m.text.size()) return false;
  const std::size_t lf = m.text.find('\n', m.pos);
  const std::size_t stop = lf == std::string_view::npos ? m.text.size() : lf + 1;
  if (line != nullptr) line->assign(m.text.substr(m.pos, stop - m.pos));
  m.pos = stop;
  return true;
}

int model_int(ModelCursor& m, std::int32_t& value) {
  int c = m.skip_space();
  if (c < 0) return -1;
  bool negative = false;
  if (c == '+' || c == '-') {
    negative = c == '-';
    ++m.pos;
    c = m.peek();
  }
  if (!model_digit(c)) return 0;
  std::uint32_t v = 0;
  while (model_digit(m.peek())) {
    v = v * 10u + static_cast<std::uint32_t>(m.peek() - '0');
    ++m.pos;
  }
  value = static_cast<std::int32_t>(negative ? 0u - v : v);
  return 1;
}

int model_ints(ModelCursor& m, std::int32_t* values, int count) {
  int assigned = 0;
  while (assigned < count) {
    const int r = model_int(m, values[assigned]);
    if (r != 1) return (r < 0 && assigned == 0) ? -1 : assigned;
    ++assigned;
  }
  return assigned;
}

// The floating grammar after the white space; d_exponent admits d and D (atof).
int model_decimal(ModelCursor& m, bool d_exponent, double& value) {
  bool negative = false;
  int c = m.peek();
  if (c == '+' || c == '-') {
    negative = c == '-';
    ++m.pos;
  }
  std::string digits;      // every mantissa digit, integer and fraction
  long long fraction = 0;  // how many of them follow the point
  bool any = false;
  while (model_digit(m.peek())) {
    digits += static_cast<char>(m.peek());
    any = true;
    ++m.pos;
  }
  if (m.peek() == '.') {
    ++m.pos;
    while (model_digit(m.peek())) {
      digits += static_cast<char>(m.peek());
      ++fraction;
      any = true;
      ++m.pos;
    }
  }
  if (!any) return 0;
  long long written = 0;
  c = m.peek();
  if (c == 'e' || c == 'E' || (d_exponent && (c == 'd' || c == 'D'))) {
    ++m.pos;
    bool exponent_negative = false;
    if (m.peek() == '+' || m.peek() == '-') {
      exponent_negative = m.peek() == '-';
      ++m.pos;
    }
    while (model_digit(m.peek())) {
      if (written < 1000000000000LL) written = written * 10 + (m.peek() - '0');
      ++m.pos;
    }
    if (exponent_negative) written = -written;
  }
  // value = digits x 10^(written - fraction); only the first 24 significant
  // digits count, every later one (integer or fraction) is cut off.
  const std::size_t first = digits.find_first_not_of('0');
  double magnitude = 0.0;
  if (first != std::string::npos) {
    std::string significant = digits.substr(first);
    long long exponent = written - fraction;
    if (significant.size() > 24) {
      exponent += static_cast<long long>(significant.size() - 24);
      significant.resize(24);
    }
    const std::string text = significant + "e" + std::to_string(exponent);
    magnitude = std::strtod(text.c_str(), nullptr);
  }
  value = negative ? -magnitude : magnitude;
  return 1;
}

int model_double(ModelCursor& m, double& value) {
  if (m.skip_space() < 0) return -1;
  return model_decimal(m, false, value);
}

int model_token(ModelCursor& m, std::string* token) {
  if (m.skip_space() < 0) return -1;
  const std::size_t begin = m.pos;
  while (m.pos < m.text.size() && !model_space(m.peek())) ++m.pos;
  if (token != nullptr) token->assign(m.text.substr(begin, m.pos - begin));
  return 1;
}

std::int32_t model_atoi(std::string_view text) {
  ModelCursor m{text};
  int c = m.skip_space();
  bool negative = false;
  if (c == '+' || c == '-') {
    negative = c == '-';
    ++m.pos;
  }
  long long v = 0;
  while (model_digit(m.peek())) {
    v = v * 10 + (m.peek() - '0');
    if (v > 4000000000LL) v = 4000000000LL;
    ++m.pos;
  }
  if (negative) v = -v;
  if (v > INT32_MAX) return INT32_MAX;
  if (v < INT32_MIN) return INT32_MIN;
  return static_cast<std::int32_t>(v);
}

double model_atof(std::string_view text) {
  ModelCursor m{text};
  if (m.skip_space() < 0) return 0.0;
  double v = 0.0;
  return model_decimal(m, true, v) == 1 ? v : 0.0;
}

// ---------------------------------------------------------------------------
// One program run on the stream and on the model, each writing the same trace.

struct Trace {
  std::string text;
  void add(const char* tag, long long result) {
    text += tag;
    text += ' ';
    text += std::to_string(result);
    text += '\n';
  }
  void add_text(std::string_view s) {
    text += std::to_string(s.size());
    text += ':';
    text += s;
    text += '\n';
  }
  void add_double(double v) {
    text += bits_of(v);
    text += '\n';
  }
};

struct Program {
  const std::uint8_t* ops;
  std::size_t count;
};

void check_positions(const TextInput& in) {
  check(in.pos <= in.end && in.end <= in.capacity, "pos <= end <= capacity broken",
        std::to_string(in.pos) + " " + std::to_string(in.end) + " " + std::to_string(in.capacity));
}

// Operation codes: the low 3 bits pick the operation, bits 3 and 4 the number of
// integers of scan_ints (1 to 4), and for scan_double n above 1 a batch of
// kBatchStep x (n - 1) values read by scan_doubles.
// rewinds_left limits rewind_input (a pipe can be rewound once); a rewind beyond
// it is skipped on both sides.
constexpr int kBatchStep = 21;
template <typename Step>
void run_program(const Program& program, int rewinds_left, Step&& step) {
  for (std::size_t i = 0; i < program.count; ++i) {
    const int op = program.ops[i] & 7;
    const int n = 1 + ((program.ops[i] >> 3) & 3);
    if (op == 5) {
      if (rewinds_left == 0) continue;
      if (rewinds_left > 0) --rewinds_left;
    }
    step(op, n);
  }
}

Trace stream_run(TextInput& in, const Program& program, int rewinds_left) {
  Trace t;
  run_program(program, rewinds_left, [&](int op, int n) {
    switch (op) {
      case 0: {
        std::string line;
        const bool ok = floveran::read_line(in, line);
        t.add("line", ok);
        if (ok) t.add_text(line);
        break;
      }
      case 1: {
        std::int32_t v[4] = {};
        const int r = floveran::scan_ints(in, v, n);
        t.add("ints", r);
        for (int k = 0; k < r; ++k) t.add("i", v[k]);
        break;
      }
      case 2: {
        if (n > 1) {
          // A batch as the record loop reads one: as many scan_double calls.
          double v[64];
          bool ok[64];
          const int count = kBatchStep * (n - 1);
          const bool all = floveran::scan_doubles(in, v, ok, count);
          bool all_ok = true;
          for (int k = 0; k < count; ++k) {
            t.add("batch double", ok[k]);
            if (ok[k]) t.add_double(v[k]);
            all_ok = all_ok && ok[k];
          }
          check(all == all_ok, "scan_doubles tells a result its values do not");
          break;
        }
        double v = 0.0;
        const int r = floveran::scan_double(in, v);
        t.add("double", r);
        if (r == 1) t.add_double(v);
        break;
      }
      case 3: {
        const floveran::ScanEnd r = floveran::scan_input(
            in, [](const char* first, const char* last) { return floveran::scan_token(first, last); });
        t.add("token", r.result);
        if (r.result == 1) t.add_text(std::string(r.start, r.stop));
        break;
      }
      case 4:
        t.add("drop", floveran::skip_token(in));
        break;
      case 5:
        floveran::rewind_input(in);
        t.add("rewind", 0);
        break;
      case 6:
        t.add("skip", floveran::skip_line(in));
        break;
      default:
        t.add("peek", floveran::peek_byte(in));
        break;
    }
    check_positions(in);
    t.add("lines", in.line_ends);
  });
  return t;
}

std::int64_t model_line_ends(const ModelCursor& m) {
  const std::string_view consumed = m.text.substr(0, m.pos);
  return static_cast<std::int64_t>(std::count(consumed.begin(), consumed.end(), '\n')) - m.uncounted;
}

Trace model_run(ModelCursor& m, const Program& program, int rewinds_left) {
  Trace t;
  run_program(program, rewinds_left, [&](int op, int n) {
    switch (op) {
      case 0: {
        std::string line;
        const bool ok = model_line(m, &line);
        t.add("line", ok);
        if (ok) t.add_text(line);
        break;
      }
      case 1: {
        std::int32_t v[4] = {};
        const int r = model_ints(m, v, n);
        t.add("ints", r);
        for (int k = 0; k < r; ++k) t.add("i", v[k]);
        break;
      }
      case 2: {
        if (n > 1) {
          for (int k = 0; k < kBatchStep * (n - 1); ++k) {
            double v = 0.0;
            const bool ok = model_double(m, v) == 1;
            t.add("batch double", ok);
            if (ok) t.add_double(v);
          }
          break;
        }
        const ModelCursor before = m;
        double v = 0.0;
        const int r = model_double(m, v);
        t.add("double", r);
        if (r == 1) t.add_double(v);
        // "%lf" and atof read the same number unless a d or D exponent is there.
        const std::string_view rest = before.text.substr(before.pos);
        const std::string_view token = floveran::first_token(rest);
        if (token.find_first_of("dD") == std::string_view::npos) {
          const double a = floveran::atof(rest);
          check(same_double(a, r == 1 ? v : 0.0), "scan_double and atof disagree",
                std::string(token) + "\nscan " + bits_of(v) + "\natof " + bits_of(a));
        }
        break;
      }
      case 3: {
        std::string token;
        const std::size_t before = m.pos;
        m.skip_space();
        m.uncounted += std::count(m.text.begin() + static_cast<std::ptrdiff_t>(before),
                                  m.text.begin() + static_cast<std::ptrdiff_t>(m.pos), '\n');
        const int r = model_token(m, &token);
        t.add("token", r);
        if (r == 1) t.add_text(token);
        break;
      }
      case 4:
        t.add("drop", model_token(m, nullptr));
        break;
      case 5:
        m.pos = 0;
        m.uncounted = 0;
        t.add("rewind", 0);
        break;
      case 6:
        t.add("skip", model_line(m, nullptr));
        break;
      default:
        t.add("peek", m.peek());
        break;
    }
    t.add("lines", model_line_ends(m));
  });
  return t;
}

// The rest of the input, read line by line up to the end; then the end must stay.
std::string drain(TextInput& in) {
  std::string all, line;
  while (floveran::read_line(in, line)) {
    check(!line.empty(), "read_line delivered an empty line");
    all += line;
    check_positions(in);
  }
  double v = 0.0;
  std::int32_t i = 0;
  check(floveran::scan_double(in, v) == -1, "scan_double after the end is not -1");
  check(floveran::scan_ints(in, &i, 1) == -1, "scan_ints after the end is not -1");
  check(floveran::skip_token(in) == -1, "skip_token after the end is not -1");
  check(floveran::peek_byte(in) == -1, "peek_byte after the end is not -1");
  return all;
}

// After the end: the lines counted, and the bytes from the first Ctrl-Z on.
void check_end(TextInput& in, const ModelCursor& model, std::string_view raw) {
  ModelCursor all = model;
  all.pos = all.text.size();
  check(in.line_ends == model_line_ends(all), "the line count at the end differs from the model",
        std::to_string(in.line_ends) + " " + std::to_string(model_line_ends(all)));
  std::string past_end;
  while (floveran::read_past_end(in)) {
    past_end.append(floveran::window_begin(in), floveran::window_end(in));
    in.pos = in.end;
  }
  const std::size_t ctrl_z = raw.find('\x1a');
  check(past_end == (ctrl_z == std::string_view::npos ? std::string_view() : raw.substr(ctrl_z)),
        "read_past_end does not give the bytes from the Ctrl-Z on");
}

void compare(const Trace& got, const Trace& want, const char* what) {
  if (got.text == want.text) return;
  std::size_t i = 0;
  while (i < got.text.size() && i < want.text.size() && got.text[i] == want.text[i]) ++i;
  const std::size_t from = i > 200 ? i - 200 : 0;
  fail(what, "stream:\n" + got.text.substr(from, 400) + "\nmodel:\n" + want.text.substr(from, 400));
}

// ---------------------------------------------------------------------------
// Files.

#ifdef _WIN32

// Windows: the file is a temporary file of this process, rewritten for each input.
std::string memfd_path;

void put_in_memfd(std::string_view bytes) {
  static std::wstring file;
  if (file.empty()) {
    wchar_t folder[MAX_PATH + 1];
    wchar_t name[MAX_PATH + 1];
    check(::GetTempPathW(MAX_PATH + 1, folder) > 0 && ::GetTempFileNameW(folder, L"fsc", 0, name) != 0,
          "no temporary file");
    file = name;
    char narrow[4 * MAX_PATH + 4];
    check(::WideCharToMultiByte(CP_UTF8, 0, name, -1, narrow, sizeof narrow, nullptr, nullptr) > 0,
          "temporary file name");
    memfd_path = narrow;
    std::atexit([] { ::DeleteFileW(file.c_str()); });
  }
  const HANDLE h = ::CreateFileW(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                 CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY, nullptr);
  check(h != INVALID_HANDLE_VALUE, "cannot write the temporary file");
  DWORD written = 0;
  check(bytes.empty() || (::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                          written == bytes.size()),
        "write to the temporary file failed");
  ::CloseHandle(h);
}

// The bytes as a named pipe that a thread of this process feeds; the reader opens
// it by name. Joined when the run on it is over.
struct PipeFeed {
  HANDLE pipe = INVALID_HANDLE_VALUE;
  std::thread feeder;
  ~PipeFeed() {
    if (feeder.joinable()) feeder.join();
  }
};

bool open_as_pipe(TextInput& in, std::string_view bytes, std::size_t block_size, PipeFeed& feed) {
  if (bytes.size() > 60000) return false;
  static unsigned count = 0;
  const std::string name = "\\\\.\\pipe\\fuzz_scan-" + std::to_string(::GetCurrentProcessId()) + "-" +
                           std::to_string(++count);
  const std::wstring wide(name.begin(), name.end());
  feed.pipe = ::CreateNamedPipeW(wide.c_str(), PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE | PIPE_WAIT, 1, 65536,
                                 65536, 0, nullptr);
  check(feed.pipe != INVALID_HANDLE_VALUE, "CreateNamedPipeW failed");
  const bool ok = floveran::open_input(in, name, block_size) == 0;
  check(ok, "open_input of a pipe failed");
  check(!in.seekable, "a pipe is taken as seekable");
  feed.feeder = std::thread([pipe = feed.pipe, bytes] {
    if (::ConnectNamedPipe(pipe, nullptr) || ::GetLastError() == ERROR_PIPE_CONNECTED) {
      DWORD written = 0;
      if (bytes.empty() || ::WriteFile(pipe, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) {
        ::FlushFileBuffers(pipe);  // until the reader has taken it all, or has gone
      }
      ::DisconnectNamedPipe(pipe);
    }
    ::CloseHandle(pipe);
  });
  return true;
}

#else

int memfd = -1;
std::string memfd_path;

void put_in_memfd(std::string_view bytes) {
  if (memfd < 0) {
    memfd = ::memfd_create("fuzz_scan", MFD_CLOEXEC);
    check(memfd >= 0, "memfd_create failed");
    memfd_path = "/proc/self/fd/" + std::to_string(memfd);
  }
  check(::ftruncate(memfd, 0) == 0, "ftruncate failed");
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n =
        ::pwrite(memfd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
    check(n > 0, "pwrite failed");
    done += static_cast<std::size_t>(n);
  }
}

struct PipeFeed {};

// Opens the bytes as a pipe that holds all of them, its writing end closed, so
// reads end at the end of the bytes. False when they do not fit into a pipe.
bool open_as_pipe(TextInput& in, std::string_view bytes, std::size_t block_size, PipeFeed&) {
  if (bytes.size() > 60000) return false;
  int p[2];
  check(::pipe2(p, O_CLOEXEC) == 0, "pipe failed");
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(p[1], bytes.data() + done, bytes.size() - done);
    check(n > 0, "pipe write failed");
    done += static_cast<std::size_t>(n);
  }
  // The writing end is still open here, so opening the reading end does not wait.
  const bool ok = floveran::open_input(in, "/proc/self/fd/" + std::to_string(p[0]), block_size) == 0;
  ::close(p[1]);
  ::close(p[0]);
  check(ok, "open_input of a pipe failed");
  check(!in.seekable, "a pipe is taken as seekable");
  return true;
}

#endif

// ---------------------------------------------------------------------------
// The raw bytes as text: atoi, atof, first_token and the text scans.

void check_text_functions(std::string_view text) {
  check(floveran::atoi(text) == model_atoi(text), "atoi disagrees with the model",
        std::to_string(floveran::atoi(text)) + " " + std::to_string(model_atoi(text)));
  const double a = floveran::atof(text);
  const double ma = model_atof(text);
  check(same_double(a, ma), "atof disagrees with the model", bits_of(a) + " " + bits_of(ma));

  ModelCursor m{text};
  while (m.peek() >= 0 && model_space(m.peek())) ++m.pos;
  const std::size_t begin = m.pos;
  while (m.peek() >= 0 && !model_space(m.peek())) ++m.pos;
  const std::string_view token = floveran::first_token(text);
  check(token == text.substr(begin, m.pos - begin), "first_token disagrees with the model");
  check(token.empty() || (token.data() >= text.data() &&
                          token.data() + token.size() <= text.data() + text.size()),
        "first_token points outside the text");

  // The scans on a text: a sequence of the three until the text is used up. The
  // plain path of scan_double must also agree with the grammar alone.
  const char* p = text.data();
  const char* const last = text.data() + text.size();
  ModelCursor mm{text};
  for (int round = 0; round < 64; ++round) {
    const std::size_t before = mm.pos;
    const int kind = round % 3;
    int got = 0, want = 0;
    floveran::ScanEnd end{};
    if (kind == 0) {
      std::int32_t v = 0, mv = 0;
      end = floveran::scan_int(p, last, v);
      got = end.result;
      want = model_int(mm, mv);
      check(got == want && (got != 1 || v == mv), "scan_int on a text disagrees");
    } else if (kind == 1) {
      double v = 0.0, mv = 0.0, gv = 0.0;
      end = floveran::scan_double(p, last, v);
      const floveran::ScanEnd grammar = floveran::scan_double_grammar(p, last, gv);
      got = end.result;
      want = model_double(mm, mv);
      check(got == want && (got != 1 || same_double(v, mv)), "scan_double on a text disagrees",
            std::string(text.substr(before, 64)) + "\n" + bits_of(v) + "\n" + bits_of(mv));
      check(grammar.result == got && grammar.stop == end.stop && (got != 1 || same_double(v, gv)),
            "scan_double and scan_double_grammar disagree", std::string(text.substr(before, 64)));
    } else {
      std::string token_want;
      end = floveran::scan_token(p, last);
      got = end.result;
      want = model_token(mm, &token_want);
      check(got == want && (got != 1 || std::string(end.start, end.stop) == token_want),
            "scan_token on a text disagrees");
    }
    check(end.stop >= text.data() && end.stop <= last, "text scan stopped out of the text");
    check(static_cast<std::size_t>(end.stop - text.data()) == mm.pos, "text scan stopped elsewhere");
    p = end.stop;
    if (got < 0) break;
  }
}

// The scan kernel of each level on the text, as plain_values.h promises.
void check_kernels(std::string_view text) {
  const floveran::VectorLevel before = floveran::active_vector_level();
  for (floveran::VectorLevel level : floveran::kVectorLevels) {
    if (floveran::use_vector_level(level) != level) continue;
    const floveran::PlainValuesKernel kernel = floveran::plain_values_kernel();
    if (kernel == nullptr) continue;
    const char* p = text.data();
    const char* const last = text.data() + text.size();
    long runs = 0;
    while (p != last) {
      double values[64];
      const int wanted = 1 + static_cast<int>((last - p) % 64);
      // The kernel may read from the start of the input (which the sanitizers
      // guard), or only from where it starts.
      const char* const floor = runs++ % 2 == 0 ? text.data() : p;
      const floveran::PlainValuesEnd run = kernel(floor, p, last, values, wanted);
      check(run.read >= 0 && run.read <= wanted, "the kernel read more than it was asked for");
      for (int i = 0; i < run.read; ++i) {
        double expected = 0.0;
        const floveran::ScanEnd g = floveran::scan_double_grammar(p, last, expected);
        check(g.result == 1 && same_double(values[i], expected), "the scan kernel disagrees with the grammar",
              std::string(floveran::vector_level_name(level)) + "\n" + std::string(p, std::min<std::size_t>(64, static_cast<std::size_t>(last - p))) +
                  "\n" + bits_of(values[i]) + "\n" + bits_of(expected));
        p = g.stop;
      }
      check(p == run.stop, "the scan kernel stopped elsewhere than the grammar",
            floveran::vector_level_name(level));
      double value = 0.0;
      const floveran::ScanEnd g = floveran::scan_double_grammar(p, last, value);
      p = (g.result == 1 || g.stop == last) ? g.stop : g.stop + 1;
    }
  }
  floveran::use_vector_level(before);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::size_t k = size > 0 ? data[0] & 31u : 0;
  if (k + 2 > size) k = size >= 2 ? size - 2 : 0;
  const Program program{size > 1 ? data + 1 : data, size > 1 ? k : 0};
  const std::size_t small_block = 1 + (size > k + 1 ? data[k + 1] & 63u : 0u);
  const std::size_t header = size >= k + 2 ? k + 2 : size;
  const std::string_view raw(reinterpret_cast<const char*>(data) + header, size - header);

  check_text_functions(std::string_view(reinterpret_cast<const char*>(data), size));
  check_kernels(std::string_view(reinterpret_cast<const char*>(data), size));

  const std::string text = model_translate(raw);
  ModelCursor model{text};
  const Trace want = model_run(model, program, -1);
  const std::string want_rest = text.substr(model.pos);

  put_in_memfd(raw);
  const floveran::VectorLevel level_before = floveran::active_vector_level();
  for (floveran::VectorLevel level : floveran::kVectorLevels) {
    if (floveran::use_vector_level(level) != level) continue;
    for (const std::size_t block_size : {floveran::kInputBlockSize, small_block}) {
      TextInput in;
      check(floveran::open_input(in, memfd_path, block_size) == 0, "open_input of the memfd failed");
      check(in.seekable, "a memfd is not taken as seekable");
      compare(stream_run(in, program, -1), want, "stream and model disagree");
      check(drain(in) == want_rest, "the rest of the input differs from the model");
      check_end(in, model, raw);
      // From the first byte again: the same trace and the same rest.
      floveran::rewind_input(in);
      compare(stream_run(in, program, -1), want, "stream after rewind_input disagrees");
      check(drain(in) == want_rest, "the rest after rewind_input differs");
      check_end(in, model, raw);
      floveran::close_input(in);
    }
  }
  floveran::use_vector_level(level_before);

  // Input that cannot be repositioned: one rewind is served from the recording.
  ModelCursor pipe_model{text};
  const Trace pipe_want = model_run(pipe_model, program, 1);
  const std::string pipe_rest = text.substr(pipe_model.pos);
  for (const std::size_t block_size : {floveran::kInputBlockSize, small_block}) {
    PipeFeed feed;
    TextInput in;
    if (!open_as_pipe(in, raw, block_size, feed)) break;
    compare(stream_run(in, program, 1), pipe_want, "pipe stream and model disagree");
    check(drain(in) == pipe_rest, "the rest of the pipe input differs from the model");
    check_end(in, pipe_model, raw);
    floveran::close_input(in);
  }
  return 0;
}
