#include "tests/sfxtool/tool_test_support.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <span>
#include <variant>

extern char** environ;

namespace tool_test {
namespace {

std::string ReadAll(std::FILE* file) {
  std::string bytes;
  std::rewind(file);
  char buffer[4096];
  for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;) {
    bytes.append(buffer, got);
  }
  return bytes;
}

// The child's environment: this process's, with sanitizer failures given an
// exit code of their own so that they never pass for one of the tool's.
std::vector<std::string> ChildEnvironment() {
  std::vector<std::string> env;
  std::string asan = "ASAN_OPTIONS=exitcode=86";
  std::string ubsan = "UBSAN_OPTIONS=exitcode=86";
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string_view entry = *e;
    if (entry.starts_with("ASAN_OPTIONS=")) {
      asan = std::string(entry) + ":exitcode=86";
    } else if (entry.starts_with("UBSAN_OPTIONS=")) {
      ubsan = std::string(entry) + ":exitcode=86";
    } else {
      env.emplace_back(entry);
    }
  }
  env.push_back(asan);
  env.push_back(ubsan);
  return env;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  for (std::string& s : strings) pointers.push_back(s.data());
  pointers.push_back(nullptr);
  return pointers;
}

}  // namespace

RunResult RunProgram(const std::vector<std::string>& argv, const RunOptions& options) {
  RunResult result;
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> out(std::tmpfile(), std::fclose);
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> err(std::tmpfile(), std::fclose);
  if (!out || !err) {
    ADD_FAILURE() << "no temporary file for the output";
    return result;
  }
  int master = -1;
  int slave = -1;
  if (options.stderrOnTerminal) {
    master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0 ||
        (slave = ::open(::ptsname(master), O_RDWR | O_NOCTTY | O_CLOEXEC)) < 0) {
      ADD_FAILURE() << "no pseudo-terminal: " << std::strerror(errno);
      if (master >= 0) ::close(master);
      return result;
    }
  }

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, fileno(out.get()), 1);
  posix_spawn_file_actions_adddup2(&actions, slave >= 0 ? slave : fileno(err.get()), 2);
  const std::string cwd = Utf8(options.cwd);
  if (!cwd.empty()) posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());

  std::vector<std::string> args = argv;
  std::vector<std::string> env = ChildEnvironment();
  std::vector<char*> argPointers = Pointers(args);
  std::vector<char*> envPointers = Pointers(env);
  pid_t pid = 0;
  const int spawned = ::posix_spawnp(&pid, argPointers[0], &actions, nullptr, argPointers.data(),
                                     envPointers.data());
  posix_spawn_file_actions_destroy(&actions);
  if (slave >= 0) ::close(slave);  // the child holds the terminal now
  if (spawned != 0) {
    if (master >= 0) ::close(master);
    result.exitCode = 127;
    result.err = "cannot start " + argv[0] + ": " + std::strerror(spawned);
    return result;
  }
  if (master >= 0) {
    // Read while the child writes, so that it never blocks on a full
    // terminal; the read fails once the child has closed its side.
    char buffer[4096];
    for (;;) {
      const ssize_t got = ::read(master, buffer, sizeof buffer);
      if (got > 0) {
        result.err.append(buffer, static_cast<std::size_t>(got));
      } else if (got < 0 && errno == EINTR) {
        continue;
      } else {
        break;
      }
    }
    ::close(master);
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  result.out = ReadAll(out.get());
  if (master < 0) result.err = ReadAll(err.get());
  return result;
}

RunResult RunTool(const std::vector<std::string>& args, const RunOptions& options) {
  std::vector<std::string> argv{SFXTOOL_BINARY};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunProgram(argv, options);
}

testing::AssertionResult Contains(const std::string& text, const std::string& part) {
  if (text.find(part) != std::string::npos) return testing::AssertionSuccess();
  return testing::AssertionFailure() << "\"" << part << "\" is not in:\n" << text;
}

std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) ADD_FAILURE() << "cannot read " << path;
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::filesystem::path& path, std::string_view bytes) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) ADD_FAILURE() << "cannot write " << path;
}

std::string ImageOf(const std::filesystem::path& path) {
  const std::string bytes = ReadBytes(path);
  const auto length = package::pe::ResourceImage::ImageLength(
      std::span(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()));
  if (!length) {
    ADD_FAILURE() << path << " does not start with a program image";
    return {};
  }
  return bytes.substr(0, *length);
}

std::vector<package::pe::Resource> ImageResources(const std::filesystem::path& path) {
  const std::string image = ImageOf(path);
  const auto read = package::pe::ResourceImage::Read(
      std::span(reinterpret_cast<const unsigned char*>(image.data()), image.size()));
  if (const auto* problem = std::get_if<package::pe::ImageProblem>(&read)) {
    ADD_FAILURE() << path << ": " << package::pe::ImageProblemText(*problem);
    return {};
  }
  return std::get<package::pe::ResourceImage>(read).resources();
}

std::string Utf8(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

}  // namespace tool_test
