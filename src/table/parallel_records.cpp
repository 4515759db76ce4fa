// The main thread reads and keeps the order; the workers convert, and so does the
// main thread when it would otherwise wait, so that N threads in all (N - 1
// workers) keep N processors busy without a thread more. The reader takes
// the translated bytes of the input's window (every rule of the input
// stream applied already: CR LF, a lone CR, a held CR, the replay of a pipe),
// copies them into a chunk of about `target` bytes and cuts it behind its last LF,
// carrying the rest into the next chunk. A worker runs convert_record_stretch on
// its chunk alone, as an input in memory that ends with the chunk, into an output
// and a console in memory. The chunk is clean when that loop met the end of its
// input where a record would begin, and nothing else: no failed scan, no record
// read on into another line (which is also how a record cut by the chunk's end
// shows), and so nothing for standard error. Clean chunks are written in their
// order, the output's bytes, then the console's, by the thread that converted the
// first one not yet written (or one behind it); at the first chunk that is not
// clean, that chunk and everything read behind it are put back in front of the
// input's window, and the run's own loop goes on from there: what it writes is
// by definition what one thread writes.
//
// Why a clean chunk's bytes are those of one thread: a chunk begins behind an LF
// at which every chunk before it ended cleanly, so the loop of one thread stands
// there between two records, holding nothing, and its next step is the white space
// skip in front of a date, as the chunk's loop begins. Within the chunk both loops
// see the same bytes, and the chunk's loop met its end only where a record would
// begin, behind the chunk's last LF.
//
// The reader also hands the rest to the run's own loop when a chunk would have to
// grow past kLargestChunk to reach an LF.
//
// Memory: at most kChunksPerWorker chunks per converting thread are read ahead, and none once
// kBytesInFlight of input are held; a value of one byte can be written as twelve,
// so the outputs of the chunks alive (those in flight, the one being filled and
// the next) stay within a few tens of megabytes for any table and any number of
// threads.
#include "table/parallel_records.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "run/numbers/vector_level.h"
#include "run/streams/platform.h"

namespace floveran {
namespace {

// A chunk and what a worker writes of it fit in the cache of its processor
// (kChunkBytes); with many workers, chunks are smaller, so that no more than
// kBytesInFlight of input are held.
constexpr std::size_t kChunkBytes = std::size_t{256} << 10;
constexpr std::size_t kSmallestChunk = std::size_t{32} << 10;
constexpr std::size_t kLargestChunk = std::size_t{1} << 20;  // a longer line goes to one thread
constexpr std::size_t kBytesInFlight = std::size_t{3} << 20;
constexpr std::size_t kChunksPerWorker = 2;
// The most a chunk's output can hold per byte of input: a value "1" behind a tab
// can be written as "\t1.234568e+007", a line end as CR LF.
constexpr std::size_t kOutputPerInputByte = 8;
// Tables below this many bytes are converted by one thread: the threads would
// save a few milliseconds at most.
constexpr std::uint64_t kParallelTableBytes = std::uint64_t{4} << 20;
// With a chunk size forced, for tests, tables of this many chunks or more.
constexpr std::uint64_t kParallelTableChunks = 4;

struct Chunk {
  std::unique_ptr<char[]> bytes;  // translated input, cut behind an LF (but the last)
  std::size_t capacity = 0;
  std::size_t size = 0;
  // What the worker made of it.
  TextOutput output;              // kept in memory, as the output file gets it
  TextOutput console;             // the same, for the console
  bool clean = false;
  std::int64_t records = 0;
  std::int64_t line_ends = 0;     // the LFs in it, when clean
  std::vector<MarkPlace> marks;   // where its progress marks were shown
  bool done = false;              // converted; under Workers::mutex
  bool written = false;           // written to the run's output; under Workers::mutex
};

struct Workers {
  std::mutex mutex;
  std::condition_variable work_waiting;
  std::condition_variable chunk_written;
  std::deque<Chunk*> waiting;     // cut, and not taken by a worker yet
  // The chunks handed out and not written yet, in the input's order. The thread
  // that finds the first of them done writes it, and those done behind it, while
  // its output is still in its cache; one thread writes at a time.
  std::deque<Chunk*> unwritten;
  bool writing = false;           // a thread is writing
  bool writing_ended = false;     // at a chunk that is not clean, or a failed write
  TextOutput* output = nullptr;   // the run's output and console
  TextOutput* console = nullptr;
  bool stopping = false;
  std::vector<std::thread> threads;
};

// The record loop on the chunk alone; the chunk's bytes are lent to the input
// in memory and handed back.
void convert_chunk(Chunk& chunk, const RunSettings& settings, const std::vector<double>& areas) {
  TextInput in;
  open_memory_input(in, std::move(chunk.bytes), chunk.size, 0);
  RecordTally tally;
  chunk.marks.clear();
  const RecordStreams streams{in, chunk.output, chunk.console, areas, &chunk.marks};
  chunk.clean = convert_record_stretch(streams, settings, tally) == StretchEnd::input_ended;
  chunk.records = tally.records;
  chunk.line_ends = in.line_ends;
  chunk.bytes = std::move(in.buffer);
}

// A clean chunk's bytes, already translated: the output's, then the console's.
// The output goes out in the blocks one thread writes; when one of them fails,
// one thread had shown the marks of the records that began in front of that
// block's end and stopped at the next record, and so the console gets those.
void write_chunk(TextOutput& output, TextOutput& console, const Chunk& chunk) {
  const std::uint64_t start = output.handed + output.used;
  write_translated(output, output_bytes(chunk.output));
  std::string_view marks = output_bytes(chunk.console);
  if (output.error != 0) {
    std::size_t shown = 0;
    for (const MarkPlace& mark : chunk.marks) {
      if (start + mark.output_at >= output.handed) break;
      shown = mark.console_end;
    }
    marks = marks.substr(0, shown);
  }
  write_translated(console, marks);
}

// With the lock held, after a chunk was marked done: unless another thread is
// writing (which then finds this chunk done too), writes the done chunks at the
// front of the order, with the lock let go while writing, and stops for good at
// one that is not clean or at a failed write.
void write_done_chunks(Workers& workers, std::unique_lock<std::mutex>& lock) {
  if (workers.writing) return;
  workers.writing = true;
  while (!workers.writing_ended && !workers.unwritten.empty() && workers.unwritten.front()->done) {
    Chunk& chunk = *workers.unwritten.front();
    if (!chunk.clean) {
      workers.writing_ended = true;
      break;
    }
    lock.unlock();
    write_chunk(*workers.output, *workers.console, chunk);
    const bool failed = workers.output->error != 0;
    lock.lock();
    workers.unwritten.pop_front();
    chunk.written = true;
    workers.writing_ended = failed;
  }
  workers.writing = false;
  workers.chunk_written.notify_one();  // the main thread waits for the first chunk
}

void finish_chunk(Workers& workers, Chunk& chunk) {
  std::unique_lock lock(workers.mutex);
  chunk.done = true;
  write_done_chunks(workers, lock);
}

void run_worker(Workers& workers, const RunSettings& settings, const std::vector<double>& areas) {
  platform::keep_interrupts_off_this_thread();
  std::unique_lock lock(workers.mutex);
  for (;;) {
    workers.work_waiting.wait(lock, [&] { return workers.stopping || !workers.waiting.empty(); });
    if (workers.stopping) return;
    Chunk* const chunk = workers.waiting.front();
    workers.waiting.pop_front();
    lock.unlock();
    convert_chunk(*chunk, settings, areas);
    lock.lock();
    chunk->done = true;
    write_done_chunks(workers, lock);
  }
}

// As many as the system gives, up to `count`.
void start_workers(Workers& workers, std::size_t count, const RunSettings& settings,
                   const std::vector<double>& areas) {
  try {
    while (workers.threads.size() < count) {
      workers.threads.emplace_back(run_worker, std::ref(workers), std::cref(settings), std::cref(areas));
    }
  } catch (const std::system_error&) {
    // No more threads: those started do the work.
  }
}

// Lets each worker finish the chunk it holds, and ends them.
void stop_workers(Workers& workers) {
  {
    std::lock_guard lock(workers.mutex);
    workers.stopping = true;
    workers.waiting.clear();
  }
  workers.work_waiting.notify_all();
  for (std::thread& thread : workers.threads) thread.join();
}

// Room for all the chunk's output is made here, so that the workers allocate
// nothing (memory freed by a thread of its own would be held apart from the rest).
void hand_to_worker(Workers& workers, Chunk& chunk) {
  const std::size_t room = kOutputPerInputByte * chunk.size + 64;
  if (chunk.output.capacity - chunk.output.used < room) make_output_room(chunk.output, room);
  {
    std::lock_guard lock(workers.mutex);
    chunk.done = false;
    chunk.written = false;
    workers.waiting.push_back(&chunk);
    workers.unwritten.push_back(&chunk);
  }
  workers.work_waiting.notify_one();
}

// The oldest chunk no worker has taken yet, taken from them; none when all are.
Chunk* take_waiting(Workers& workers) {
  std::lock_guard lock(workers.mutex);
  if (workers.waiting.empty()) return nullptr;
  Chunk* const chunk = workers.waiting.front();
  workers.waiting.pop_front();
  return chunk;
}

bool is_written(Workers& workers, const Chunk& chunk) {
  std::lock_guard lock(workers.mutex);
  return chunk.written;
}

bool writing_ended(Workers& workers) {
  std::lock_guard lock(workers.mutex);
  return workers.writing_ended;
}

void wait_until_written(Workers& workers, const Chunk& chunk) {
  std::unique_lock lock(workers.mutex);
  workers.chunk_written.wait(lock, [&] { return chunk.written || workers.writing_ended; });
}

void reserve(Chunk& chunk, std::size_t size) {
  if (chunk.capacity >= size) return;
  const std::size_t capacity = std::max(size, 2 * chunk.capacity);
  auto grown = std::make_unique_for_overwrite<char[]>(capacity);
  if (chunk.size > 0) std::memcpy(grown.get(), chunk.bytes.get(), chunk.size);
  chunk.bytes = std::move(grown);
  chunk.capacity = capacity;
}

std::unique_ptr<Chunk> spare_chunk(std::vector<std::unique_ptr<Chunk>>& spares, std::size_t target) {
  if (spares.empty()) {
    auto chunk = std::make_unique<Chunk>();
    reserve(*chunk, target);
    open_memory_output(chunk->output, kOutputPerInputByte * target);
    open_memory_output(chunk->console, 4096);
    chunk->marks.reserve(256);
    return chunk;
  }
  std::unique_ptr<Chunk> chunk = std::move(spares.back());
  spares.pop_back();
  chunk->size = 0;
  return chunk;
}

// The chunk being filled, and what is left to read.
struct ChunkReader {
  std::size_t target = 0;
  std::unique_ptr<Chunk> partial;
  bool ended = false;      // the input has ended; the last chunk, if any, is cut
  bool hand_back = false;  // a line too long for a chunk: the partial chunk and the
                           // rest of the input go to one thread
};

// The partial chunk up to its last LF, the rest carried into the next; none when
// it holds no LF.
std::unique_ptr<Chunk> cut_chunk(ChunkReader& reader, std::vector<std::unique_ptr<Chunk>>& spares) {
  Chunk& chunk = *reader.partial;
  const std::size_t last_lf = std::string_view(chunk.bytes.get(), chunk.size).rfind('\n');
  if (last_lf == std::string_view::npos) return nullptr;
  std::unique_ptr<Chunk> next = spare_chunk(spares, reader.target);
  const std::size_t carried = chunk.size - (last_lf + 1);
  reserve(*next, carried);
  if (carried > 0) std::memcpy(next->bytes.get(), chunk.bytes.get() + last_lf + 1, carried);
  next->size = carried;
  chunk.size = last_lf + 1;
  std::unique_ptr<Chunk> cut = std::move(reader.partial);
  reader.partial = std::move(next);
  return cut;
}

// One step of reading: bytes of the input's window into the partial chunk, or, with
// the window empty, one read of the input. Returns a chunk when one is cut.
std::unique_ptr<Chunk> read_step(TextInput& in, ChunkReader& reader, std::vector<std::unique_ptr<Chunk>>& spares) {
  Chunk& chunk = *reader.partial;
  if (in.pos == in.end && !refill_input(in)) {
    // The end of the input, at a Ctrl-Z or a read error too, is the end of the last
    // chunk, as it is the end of one thread's input; what lies behind a Ctrl-Z is
    // looked at by the end reports of the run's own loop.
    reader.ended = true;
    if (chunk.size == 0) return nullptr;
    return std::move(reader.partial);  // its last line may lack its LF
  }
  const char* const window = window_begin(in);
  const std::size_t available = in.end - in.pos;
  std::size_t take = available;
  if (chunk.size < reader.target) {
    take = std::min(available, reader.target - chunk.size);
  } else if (const void* lf = std::memchr(window, '\n', available)) {
    take = static_cast<std::size_t>(static_cast<const char*>(lf) - window) + 1;
  }
  take = std::min(take, kLargestChunk - chunk.size);
  reserve(chunk, chunk.size + take);
  std::memcpy(chunk.bytes.get() + chunk.size, window, take);
  chunk.size += take;
  in.pos += take;
  if (chunk.size < reader.target) return nullptr;
  std::unique_ptr<Chunk> cut = cut_chunk(reader, spares);
  if (!cut) reader.hand_back = chunk.size == kLargestChunk;
  return cut;
}

std::size_t chunk_target(const RunSettings& settings, std::size_t converting) {
  if (settings.chunk_bytes > 0) return std::min(settings.chunk_bytes, kLargestChunk / 2);
  return std::clamp(kBytesInFlight / (kChunksPerWorker * converting), kSmallestChunk, kChunkBytes);
}

}  // namespace

std::uint64_t parallel_start(const TextInput& in, const RunSettings& settings) {
  if (settings.threads < 2) return kNoPause;
  const std::uint64_t least =
      settings.chunk_bytes > 0 ? kParallelTableChunks * settings.chunk_bytes : kParallelTableBytes;
  if (in.file_size < 0) return least;
  return static_cast<std::uint64_t>(in.file_size) >= least ? 0 : kNoPause;
}

void convert_records_in_parallel(RunState& state, const RunSettings& settings, RecordTally& tally) {
  TextInput& in = state.input;
  // The vector level is settled once, on this thread, before any worker reads it.
  active_vector_level();
  // Unless the threads were asked for, processors that other programs keep busy
  // (such as the other conversions of an xargs -P) are left to them: threads that
  // share a processor with other work make every conversion slower.
  const int threads =
      settings.threads_asked ? settings.threads
                             : settings.threads - platform::processors_kept_busy(settings.threads - 1);
  if (threads < 2) return;  // the run's own loop does it all
  Workers workers;
  workers.output = &state.output;
  workers.console = &state.console;
  start_workers(workers, static_cast<std::size_t>(threads - 1), settings, state.areas);
  if (workers.threads.empty()) return;
  // The console is written by the thread that writes the chunks; what it holds goes
  // out now, and the reads of this thread leave it alone until the threads end.
  flush_output(state.console);
  TextOutput* const flush_before_read = std::exchange(in.flush_before_read, nullptr);
  const std::size_t converting = workers.threads.size() + 1;  // the workers and this thread

  const std::size_t most_chunks = kChunksPerWorker * converting;
  std::vector<std::unique_ptr<Chunk>> spares;
  std::deque<std::unique_ptr<Chunk>> in_flight;  // in the input's order, none written yet
  std::size_t bytes_in_flight = 0;
  ChunkReader reader;
  reader.target = chunk_target(settings, converting);
  reader.partial = spare_chunk(spares, reader.target);
  std::int64_t line_ends = in.line_ends;  // in front of the first chunk not written
  for (;;) {
    // The chunks written by now (as soon as they were done, so that the progress
    // shows as the run goes) are counted and taken back. Once writing has ended,
    // every chunk in front of the one it ended at is among them.
    const bool ended = writing_ended(workers);
    while (!in_flight.empty() && is_written(workers, *in_flight.front())) {
      Chunk& chunk = *in_flight.front();
      clear_output(chunk.output);
      clear_output(chunk.console);
      tally.records += chunk.records;
      line_ends += chunk.line_ends;
      bytes_in_flight -= chunk.size;
      spares.push_back(std::move(in_flight.front()));
      in_flight.pop_front();
    }
    if (ended) break;
    const bool reading = !reader.ended && !reader.hand_back;
    if (reading && in_flight.size() < most_chunks && bytes_in_flight < kBytesInFlight) {
      // A read that would wait (for a pipe whose writer is slow) comes last: first
      // the lines read so far go to a worker, and the chunks in flight are written.
      const bool would_wait = input_would_wait(in);
      std::unique_ptr<Chunk> cut = would_wait ? cut_chunk(reader, spares) : nullptr;
      if (!cut && (!would_wait || in_flight.empty())) cut = read_step(in, reader, spares);
      if (cut) {
        bytes_in_flight += cut->size;
        hand_to_worker(workers, *cut);
        in_flight.push_back(std::move(cut));
      }
      if (!would_wait || in_flight.empty() || cut) continue;
    } else if (in_flight.empty()) {
      break;  // all read is written, and nothing is left to read
    }
    // Rather than wait, this thread converts a chunk that no worker has taken yet.
    if (Chunk* const waiting = take_waiting(workers)) {
      convert_chunk(*waiting, settings, state.areas);
      finish_chunk(workers, *waiting);
    } else {
      wait_until_written(workers, *in_flight.front());
    }
  }
  stop_workers(workers);
  in.flush_before_read = flush_before_read;

  std::vector<std::string_view> rest;
  for (const std::unique_ptr<Chunk>& chunk : in_flight) rest.emplace_back(chunk->bytes.get(), chunk->size);
  if (reader.partial) rest.emplace_back(reader.partial->bytes.get(), reader.partial->size);
  unread_input(in, rest, line_ends);
}

}  // namespace floveran
