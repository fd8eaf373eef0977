// deflate_loop OUTPUT FOLDER: the work bound of packing. Compresses every
// file below FOLDER with the writer's settings (one zlib stream per file,
// level 6, 8 KiB input and output buffers, Z_NO_FLUSH while input lasts,
// then Z_FINISH) and appends the streams to OUTPUT; nothing else: no
// directory, no checksum, no progress. Prints the number of files and the
// bytes written.
#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
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
    std::fprintf(stderr, "usage: deflate_loop OUTPUT FOLDER\n");
    return 2;
  }
  const int out = open(argv[1], O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (out < 0) Die(argv[1]);
  static unsigned char in[kBuffer];
  static unsigned char packed[kBuffer];
  unsigned long long total = 0;
  int files = 0;
  for (const auto& item : std::filesystem::recursive_directory_iterator(argv[2])) {
    if (!item.is_regular_file()) continue;
    const int source = open(item.path().c_str(), O_RDONLY | O_CLOEXEC);
    if (source < 0) Die(item.path().string());
    z_stream stream{};
    if (deflateInit(&stream, 6) != Z_OK) Die("deflateInit");
    stream.next_out = packed;
    stream.avail_out = kBuffer;
    for (;;) {
      const ssize_t got = read(source, in, kBuffer);
      if (got < 0) Die("read");
      if (got == 0) break;
      stream.next_in = in;
      stream.avail_in = static_cast<uInt>(got);
      while (stream.avail_in != 0) {
        if (deflate(&stream, Z_NO_FLUSH) != Z_OK) Die("deflate");
        if (stream.avail_out != kBuffer) {
          WriteAll(out, packed, kBuffer - stream.avail_out);
          stream.next_out = packed;
          stream.avail_out = kBuffer;
        }
      }
    }
    close(source);
    for (int status = Z_OK; status == Z_OK;) {
      status = deflate(&stream, Z_FINISH);
      if (status != Z_OK && status != Z_STREAM_END) Die("deflate finish");
      WriteAll(out, packed, kBuffer - stream.avail_out);
      stream.next_out = packed;
      stream.avail_out = kBuffer;
    }
    total += stream.total_out;
    deflateEnd(&stream);
    ++files;
  }
  if (close(out) != 0) Die("close");
  std::printf("%d files, %llu bytes packed\n", files, total);
  return 0;
}
