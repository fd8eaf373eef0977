// Compression on every core: a source is cut into blocks of a fixed size,
// each block is deflated on its own (primed with the 32 KiB before it, as
// parallel gzip tools do) on one of several threads, and the results are
// joined in order into one zlib stream with one Adler-32. Every block but a
// source's last ends with a sync flush, so the pieces join on byte
// boundaries. The bytes depend on the data and the block size only, never
// on the number of threads.
//
//   stream = 78 9C | block 0 | block 1 | ... | last block | Adler-32 (big-endian)
#pragma once

#include <zlib.h>

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace package {

// The size of every block but a source's last, and how much of the data
// before a block primes its compressor.
inline constexpr std::size_t kDeflateBlockBytes = 256 * 1024;
inline constexpr std::size_t kDeflateDictionaryBytes = 32 * 1024;

// The two bytes that begin the stream (deflate, 32 KiB window, level 6) and
// the four that end it.
std::string ZlibStreamHeader();
std::string ZlibStreamTrailer(uLong adler);

// One block deflated: the raw deflate bytes, ended with a sync flush or,
// for a source's last block, with the final block. Empty `compressed` and
// `ok` false when zlib failed (it fails only without memory).
struct DeflatedBlock {
  std::string compressed;
  uLong adler = 1;  // Adler-32 of the block's data alone
  std::size_t length = 0;
  bool ok = true;
};
DeflatedBlock DeflateBlock(const std::vector<unsigned char>& dictionary,
                           const std::vector<unsigned char>& data, bool last);

// Deflates submitted blocks on `threads` threads (the caller's own when it
// is 1) and gives them back in the order they were submitted. The caller
// bounds the memory by taking blocks back before it submits more.
class BlockCompressor {
 public:
  explicit BlockCompressor(unsigned threads);
  ~BlockCompressor();
  BlockCompressor(const BlockCompressor&) = delete;
  BlockCompressor& operator=(const BlockCompressor&) = delete;

  // The number of threads for `jobs` (0: one per core).
  static unsigned ThreadsFor(unsigned jobs);

  void Submit(std::vector<unsigned char> dictionary, std::vector<unsigned char> data, bool last);
  // The oldest block not yet taken; waits until it is deflated. Only when
  // pending() is not 0.
  DeflatedBlock Take();
  std::size_t pending() const { return submitted_ - taken_; }
  unsigned threads() const { return threads_; }

 private:
  struct Job {
    std::size_t sequence;
    std::vector<unsigned char> dictionary, data;
    bool last;
  };
  void Work();

  unsigned threads_;
  std::size_t submitted_ = 0;
  std::size_t taken_ = 0;
  std::mutex mutex_;
  std::condition_variable work_, done_;
  std::deque<Job> jobs_;               // guarded by mutex_
  std::deque<DeflatedBlock> results_;  // guarded by mutex_; [0] is block taken_
  std::vector<bool> ready_;            // guarded by mutex_; parallel to results_
  bool stopping_ = false;              // guarded by mutex_
  std::vector<std::thread> workers_;
};

}  // namespace package
