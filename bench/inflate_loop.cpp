// inflate_loop PACKED FOLDER: the bare inflate for reference. Reads the
// concatenated zlib streams that deflate_loop wrote and inflates each into
// its own file FOLDER/<n> (8 KiB input and output buffers, nothing else).
// Prints the number of streams and the bytes written.
#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr std::size_t kBuffer = 8192;

[[noreturn]] void Die(const std::string& what) {
  std::perror(what.c_str());
  std::exit(1);
}

void WriteAll(int fd, const unsigned char* data, std::size_t count) {
  while (count != 0) {
    const ssize_t n = write(fd, data, count);
    if (n <= 0) Die("write");
    data += n;
    count -= static_cast<std::size_t>(n);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: inflate_loop PACKED FOLDER\n");
    return 2;
  }
  const int packed = open(argv[1], O_RDONLY | O_CLOEXEC);
  if (packed < 0) Die(argv[1]);
  static unsigned char in[kBuffer];
  static unsigned char out[kBuffer];
  z_stream stream{};
  if (inflateInit(&stream) != Z_OK) Die("inflateInit");
  unsigned long long total = 0;
  int streams = 0;
  int target = -1;
  for (;;) {
    if (stream.avail_in == 0) {
      const ssize_t got = read(packed, in, kBuffer);
      if (got < 0) Die("read");
      if (got == 0) break;
      stream.next_in = in;
      stream.avail_in = static_cast<uInt>(got);
    }
    if (target < 0) {
      const std::string name = std::string(argv[2]) + "/" + std::to_string(streams);
      target = open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
      if (target < 0) Die(name);
    }
    stream.next_out = out;
    stream.avail_out = kBuffer;
    const int status = inflate(&stream, Z_NO_FLUSH);
    if (status != Z_OK && status != Z_STREAM_END) Die("inflate");
    WriteAll(target, out, kBuffer - stream.avail_out);
    if (status == Z_STREAM_END) {
      total += stream.total_out;
      close(target);
      target = -1;
      ++streams;
      inflateReset(&stream);
    }
  }
  if (target >= 0) Die("the last stream is cut short");
  inflateEnd(&stream);
  std::printf("%d streams, %llu bytes restored\n", streams, total);
  return 0;
}
