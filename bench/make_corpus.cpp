// make_corpus FOLDER SCALE: writes the benchmark's corpus into FOLDER (which
// must not exist yet). With SCALE 1 it is about 200 MB in 300 files: one
// file of 64 MiB (text, records and random data in turns of 1 MiB), five
// empty files, and 294 files of 256 bytes to 4 MiB, each of one kind:
// text-like (words of a fixed vocabulary, Zipf-distributed, CR LF lines),
// binary-like (64-byte records with counters, few distinct values and
// repeated names) or random (incompressible). SCALE 0.5 gives the same
// files at half their sizes. The output depends on nothing but SCALE.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

// splitmix64: small, fast, and the same everywhere.
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  double Unit() { return (Next() >> 11) * (1.0 / 9007199254740992.0); }
  std::uint64_t Below(std::uint64_t n) { return Next() % n; }

 private:
  std::uint64_t state_;
};

enum class Kind { kText, kRecords, kRandom };

class Generator {
 public:
  Generator() : random_(0x5EED'0001) {
    static const char* const kSyllables[] = {"ka",  "lo",  "mi",  "ne",  "ru",  "sa",  "ti",  "vo",
                                             "ber", "dan", "fel", "gor", "hin", "jul", "kor", "lan",
                                             "mor", "nis", "pel", "qua", "ros", "sen", "tor", "und",
                                             "ver", "wal", "xen", "yor", "zed"};
    Random words(0x5EED'0002);
    for (int i = 0; i < 3000; ++i) {
      std::string word;
      const int parts = 1 + static_cast<int>(words.Below(4));
      for (int p = 0; p < parts; ++p) word += kSyllables[words.Below(std::size(kSyllables))];
      vocabulary_.push_back(word);
      zipf_.push_back((zipf_.empty() ? 0.0 : zipf_.back()) + 1.0 / (i + 1));
    }
    for (int i = 0; i < 40; ++i) {
      std::string name = "item-" + vocabulary_[words.Below(200)];
      name.resize(16, '\0');
      names_.push_back(name);
    }
  }

  void Append(Kind kind, std::size_t count, std::string& out) {
    const std::size_t end = out.size() + count;
    switch (kind) {
      case Kind::kText:
        while (out.size() < end) TextLine(out);
        break;
      case Kind::kRecords:
        while (out.size() < end) Record(out);
        break;
      case Kind::kRandom:
        while (out.size() < end) {
          const std::uint64_t v = random_.Next();
          out.append(reinterpret_cast<const char*>(&v), sizeof v);
        }
        break;
    }
    out.resize(end);
  }

 private:
  const std::string& Word() {
    const double u = random_.Unit() * zipf_.back();
    std::size_t lo = 0, hi = zipf_.size() - 1;
    while (lo < hi) {
      const std::size_t mid = (lo + hi) / 2;
      if (zipf_[mid] < u) {
        lo = mid + 1;
      } else {
        hi = mid;
      }
    }
    return vocabulary_[lo];
  }

  void TextLine(std::string& out) {
    const int words = 4 + static_cast<int>(random_.Below(12));
    for (int i = 0; i < words; ++i) {
      if (i) out += ' ';
      out += Word();
      if (random_.Below(20) == 0) out += std::to_string(random_.Below(100000));
    }
    out += random_.Below(3) == 0 ? ".\r\n" : ",\r\n";
  }

  void Record(std::string& out) {
    auto put = [&out](std::uint64_t value, int bytes) {
      for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
    };
    ++recordId_;
    time_ += 1 + random_.Below(30);
    put(recordId_, 4);
    put(time_, 4);
    put(random_.Below(8), 2);                                    // type
    put(random_.Below(4) == 0 ? 0x11 : 0x01, 2);                 // flags
    for (int i = 0; i < 4; ++i) put(random_.Below(64) * 25, 4);  // coarse values
    out += names_[random_.Below(names_.size())];
    put(random_.Next(), 4);  // a little entropy
    put(0, 12);
  }

  Random random_;
  std::vector<std::string> vocabulary_;
  std::vector<double> zipf_;
  std::vector<std::string> names_;
  std::uint64_t recordId_ = 0;
  std::uint64_t time_ = 1'700'000'000;
};

void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size() ||
      std::fclose(file) != 0) {
    std::perror(path.c_str());
    std::exit(1);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: make_corpus FOLDER SCALE\n");
    return 2;
  }
  const std::filesystem::path root = argv[1];
  const double scale = std::atof(argv[2]);
  if (std::filesystem::exists(root) || !(scale > 0 && scale <= 4)) {
    std::fprintf(stderr, "make_corpus: FOLDER must not exist and SCALE must lie in (0, 4]\n");
    return 2;
  }
  const char* const folders[] = {"bin",
                                 "lib",
                                 "lib/plugins",
                                 "docs",
                                 "docs/manual",
                                 "docs/manual/html",
                                 "data",
                                 "data/records",
                                 "data/blobs",
                                 "data/blobs/a",
                                 "data/blobs/a/deep",
                                 "data/blobs/b"};
  for (const char* folder : folders) std::filesystem::create_directories(root / folder);

  Generator generator;
  Random plan(0x5EED'0003);
  constexpr int kSmallFiles = 294;
  constexpr double kSmallBytes = 136e6;  // besides the 64 MiB file
  // Sizes spread evenly on a log scale from 256 bytes to 4 MiB, then scaled
  // so that they add up to kSmallBytes.
  std::vector<double> sizes;
  double sum = 0;
  for (int i = 0; i < kSmallFiles; ++i) {
    const double low = std::log(256.0), high = std::log(4194304.0);
    sizes.push_back(std::exp(low + plan.Unit() * (high - low)));
    sum += sizes.back();
  }
  std::uint64_t total = 0;
  std::string bytes;
  for (int i = 0; i < kSmallFiles; ++i) {
    const double u = plan.Unit();
    const Kind kind = u < 0.45 ? Kind::kText : u < 0.75 ? Kind::kRecords : Kind::kRandom;
    static const char* const kText[] = {".txt", ".html", ".xml", ".ini"};
    static const char* const kRecords[] = {".dat", ".db", ".bin", ".idx"};
    static const char* const kRandom[] = {".cab", ".png", ".jpg", ".z"};
    const char* ext = kind == Kind::kText      ? kText[i % 4]
                      : kind == Kind::kRecords ? kRecords[i % 4]
                                               : kRandom[i % 4];
    const std::filesystem::path path =
        root / folders[plan.Below(std::size(folders))] / ("file" + std::to_string(i) + ext);
    const auto size = static_cast<std::size_t>(sizes[i] * kSmallBytes / sum * scale);
    bytes.clear();
    generator.Append(kind, size, bytes);
    WriteFile(path, bytes);
    total += size;
  }
  for (int i = 0; i < 5; ++i) {
    const char* folder = folders[(3 * i) % std::size(folders)];
    WriteFile(root / folder / ("empty" + std::to_string(i) + ".txt"), "");
  }
  const std::size_t big = static_cast<std::size_t>(64.0 * 1024 * 1024 * scale);
  bytes.clear();
  const Kind turns[] = {Kind::kText, Kind::kRecords, Kind::kRandom};
  for (std::size_t done = 0, turn = 0; done < big; done += 1 << 20, ++turn) {
    generator.Append(turns[turn % 3], std::min<std::size_t>(1 << 20, big - done), bytes);
  }
  WriteFile(root / "data" / "archive.dat", bytes);
  total += big;
  std::printf("%d files, %llu bytes in %s\n", kSmallFiles + 6,
              static_cast<unsigned long long>(total), root.c_str());
  return 0;
}
