#include "package/block_deflate.h"

#include <utility>

namespace package {

namespace {

constexpr int kLevel = 6;
constexpr int kRawWindowBits = -15;  // raw deflate: the header and check are ours
constexpr int kMemoryLevel = 8;

}  // namespace

std::string ZlibStreamHeader() {
  // CMF 0x78: deflate with a 32 KiB window; FLG 0x9C: the default level,
  // no dictionary, and a check that makes the pair a multiple of 31.
  return std::string("\x78\x9C", 2);
}

std::string ZlibStreamTrailer(uLong adler) {
  std::string trailer(4, '\0');
  for (int i = 0; i < 4; ++i) trailer[i] = static_cast<char>((adler >> (24 - 8 * i)) & 0xFF);
  return trailer;
}

DeflatedBlock DeflateBlock(const std::vector<unsigned char>& dictionary,
                           const std::vector<unsigned char>& data, bool last) {
  DeflatedBlock block;
  block.length = data.size();
  block.adler = adler32(adler32(0, nullptr, 0), data.data(), static_cast<uInt>(data.size()));
  z_stream stream{};
  if (deflateInit2(&stream, kLevel, Z_DEFLATED, kRawWindowBits, kMemoryLevel, Z_DEFAULT_STRATEGY) !=
      Z_OK) {
    block.ok = false;
    return block;
  }
  if (!dictionary.empty() && deflateSetDictionary(&stream, dictionary.data(),
                                                  static_cast<uInt>(dictionary.size())) != Z_OK) {
    deflateEnd(&stream);
    block.ok = false;
    return block;
  }
  // The bound holds the whole block and its ending; the loop is there for
  // the rule, not for a second turn.
  block.compressed.resize(deflateBound(&stream, static_cast<uLong>(data.size())) + 16);
  stream.next_in = const_cast<Bytef*>(data.data());
  stream.avail_in = static_cast<uInt>(data.size());
  std::size_t written = 0;
  const int flush = last ? Z_FINISH : Z_SYNC_FLUSH;
  for (;;) {
    if (written == block.compressed.size()) block.compressed.resize(written * 2 + 64);
    stream.next_out = reinterpret_cast<Bytef*>(block.compressed.data() + written);
    stream.avail_out = static_cast<uInt>(block.compressed.size() - written);
    const int status = deflate(&stream, flush);
    written = block.compressed.size() - stream.avail_out;
    if (status == Z_STREAM_END) break;
    if (status != Z_OK && status != Z_BUF_ERROR) {
      block.ok = false;
      break;
    }
    // No progress with room to spare: a flushed block is complete, a
    // finished one cannot be.
    if (status == Z_BUF_ERROR && stream.avail_out != 0) {
      block.ok = !last;
      break;
    }
    if (!last && stream.avail_in == 0 && stream.avail_out != 0) break;
  }
  deflateEnd(&stream);
  block.compressed.resize(block.ok ? written : 0);
  return block;
}

unsigned BlockCompressor::ThreadsFor(unsigned jobs) {
  if (jobs != 0) return jobs;
  const unsigned cores = std::thread::hardware_concurrency();
  return cores == 0 ? 1 : cores;
}

BlockCompressor::BlockCompressor(unsigned threads) : threads_(threads == 0 ? 1 : threads) {
  if (threads_ == 1) return;  // the caller's thread deflates in Take
  for (unsigned i = 0; i < threads_; ++i) workers_.emplace_back([this] { Work(); });
}

BlockCompressor::~BlockCompressor() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  work_.notify_all();
  for (std::thread& worker : workers_) worker.join();
}

void BlockCompressor::Submit(std::vector<unsigned char> dictionary, std::vector<unsigned char> data,
                             bool last) {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    jobs_.push_back({submitted_, std::move(dictionary), std::move(data), last});
    results_.emplace_back();
    ready_.push_back(false);
  }
  ++submitted_;
  work_.notify_one();
}

DeflatedBlock BlockCompressor::Take() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (workers_.empty()) {
    // One thread: the oldest job is the one to take.
    Job job = std::move(jobs_.front());
    jobs_.pop_front();
    lock.unlock();
    DeflatedBlock block = DeflateBlock(job.dictionary, job.data, job.last);
    lock.lock();
    results_.pop_front();
    ready_.erase(ready_.begin());
    ++taken_;
    return block;
  }
  done_.wait(lock, [this] { return ready_.front(); });
  DeflatedBlock block = std::move(results_.front());
  results_.pop_front();
  ready_.erase(ready_.begin());
  ++taken_;
  return block;
}

void BlockCompressor::Work() {
  for (;;) {
    Job job;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      work_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
      if (stopping_) return;
      job = std::move(jobs_.front());
      jobs_.pop_front();
    }
    DeflatedBlock block = DeflateBlock(job.dictionary, job.data, job.last);
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      const std::size_t slot = job.sequence - taken_;
      results_[slot] = std::move(block);
      ready_[slot] = true;
    }
    done_.notify_all();
  }
}

}  // namespace package
