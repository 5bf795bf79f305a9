#include "sys/file_io.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

namespace resgraft::sys {
namespace {

constexpr uint32_t kFirstNegativePosition = 0x80000000u;

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string BaseNameOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The file a save really replaces: the target of a symbolic link, so that the link
// itself survives the rename.
std::string ResolveLink(const std::string& path) {
  struct stat link_stat;
  if (lstat(path.c_str(), &link_stat) != 0 || !S_ISLNK(link_stat.st_mode)) return path;
  char* resolved = realpath(path.c_str(), nullptr);
  if (resolved == nullptr) return path;
  std::string result(resolved);
  free(resolved);
  return result;
}

mode_t DefaultCreationMode() {
  const mode_t mask = umask(0);
  umask(mask);
  return static_cast<mode_t>(0666 & ~mask);
}

}  // namespace

File::~File() {
  if (fd_ >= 0) ::close(fd_);
}

File::File(File&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

std::optional<File> File::OpenRead(const std::string& path) {
  // Non-blocking so that a FIFO cannot hang the open; only regular files are read.
  File file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!file.IsOpen()) return std::nullopt;
  struct stat file_stat;
  if (fstat(file.fd_, &file_stat) != 0 || !S_ISREG(file_stat.st_mode)) return std::nullopt;
  // Readers share the file; a writer of this tool holds it exclusively.
  if (::flock(file.fd_, LOCK_SH | LOCK_NB) != 0) return std::nullopt;
  return file;
}

std::optional<uint64_t> File::Size() const {
  struct stat file_stat;
  if (fd_ < 0 || fstat(fd_, &file_stat) != 0 || file_stat.st_size < 0) return std::nullopt;
  return static_cast<uint64_t>(file_stat.st_size);
}

bool File::Seek(uint32_t position) {
  if (fd_ < 0 || position >= kFirstNegativePosition) return false;
  return ::lseek(fd_, static_cast<off_t>(position), SEEK_SET) == static_cast<off_t>(position);
}

bool File::ReadExact(std::span<uint8_t> bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t got = ::read(fd_, bytes.data() + done, bytes.size() - done);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    done += static_cast<size_t>(got);
  }
  return true;
}

bool File::ReadExactAt(std::span<uint8_t> bytes, uint64_t position) {
  if (fd_ < 0 || position > static_cast<uint64_t>(INT64_MAX) - bytes.size()) return false;
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t got = ::pread(fd_, bytes.data() + done, bytes.size() - done,
                                static_cast<off_t>(position) + static_cast<off_t>(done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    done += static_cast<size_t>(got);
  }
  return true;
}

bool File::ReadScatteredAt(std::span<const std::span<uint8_t>> parts, uint64_t position) {
  if (fd_ < 0) return false;
  std::vector<iovec> pending;
  pending.reserve(std::min<size_t>(parts.size(), IOV_MAX));
  size_t next = 0;  // the first part not yet handed to the system
  while (next < parts.size() || !pending.empty()) {
    while (next < parts.size() && pending.size() < IOV_MAX) {
      if (!parts[next].empty()) pending.push_back({parts[next].data(), parts[next].size()});
      ++next;
    }
    if (pending.empty()) break;
    if (position > static_cast<uint64_t>(INT64_MAX)) return false;
    const ssize_t got = ::preadv(fd_, pending.data(), static_cast<int>(pending.size()),
                                 static_cast<off_t>(position));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    position += static_cast<uint64_t>(got);
    // Drop what was filled; a part filled in part continues where it stopped.
    size_t done = static_cast<size_t>(got);
    size_t filled = 0;
    while (filled < pending.size() && done >= pending[filled].iov_len) {
      done -= pending[filled].iov_len;
      ++filled;
    }
    if (filled < pending.size()) {
      pending[filled].iov_base = static_cast<uint8_t*>(pending[filled].iov_base) + done;
      pending[filled].iov_len -= done;
    }
    pending.erase(pending.begin(), pending.begin() + static_cast<ptrdiff_t>(filled));
  }
  return true;
}

bool File::WriteExact(std::span<const uint8_t> bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t put = ::write(fd_, bytes.data() + done, bytes.size() - done);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    done += static_cast<size_t>(put);
  }
  return true;
}

bool File::WriteExactAt(std::span<const uint8_t> bytes, uint64_t offset) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t put = ::pwrite(fd_, bytes.data() + done, bytes.size() - done,
                                 static_cast<off_t>(offset + done));
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    done += static_cast<size_t>(put);
  }
  return true;
}

bool File::Close() {
  if (fd_ < 0) return true;
  const int fd = std::exchange(fd_, -1);
  return ::close(fd) == 0;
}

FileMapping::~FileMapping() {
  if (data_ != nullptr) munmap(const_cast<uint8_t*>(data_), size_);
}

FileMapping::FileMapping(FileMapping&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}

std::optional<FileMapping> FileMapping::Map(const File& file, uint64_t size) {
  if (!file.IsOpen() || size == 0 || size > SIZE_MAX) return std::nullopt;
  void* data = mmap(nullptr, static_cast<size_t>(size), PROT_READ, MAP_SHARED,
                    file.Descriptor(), 0);
  if (data == MAP_FAILED) return std::nullopt;
  madvise(data, static_cast<size_t>(size), MADV_SEQUENTIAL);
  return FileMapping(static_cast<const uint8_t*>(data), static_cast<size_t>(size));
}

FileReplacement::FileReplacement(File file, File lock, std::string temp_path,
                                 std::string target_path)
    : file_(std::move(file)),
      lock_(std::move(lock)),
      temp_path_(std::move(temp_path)),
      target_path_(std::move(target_path)) {}

FileReplacement::FileReplacement(FileReplacement&& other) noexcept
    : file_(std::move(other.file_)),
      lock_(std::move(other.lock_)),
      temp_path_(std::exchange(other.temp_path_, std::string())),
      target_path_(std::move(other.target_path_)) {}

FileReplacement::~FileReplacement() { Discard(); }

void FileReplacement::Discard() {
  if (temp_path_.empty()) return;
  file_.Close();
  ::unlink(temp_path_.c_str());
  temp_path_.clear();
}

std::optional<FileReplacement> FileReplacement::Create(const std::string& destination) {
  if (destination.empty()) return std::nullopt;
  const std::string target = ResolveLink(destination);

  File lock;
  struct stat target_stat;
  if (stat(target.c_str(), &target_stat) == 0) {
    // An existing file is replaced only where it could have been overwritten: a
    // regular file the user may write, and that no other writer holds.
    if (!S_ISREG(target_stat.st_mode) || access(target.c_str(), W_OK) != 0) return std::nullopt;
    lock = File(::open(target.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!lock.IsOpen() || ::flock(lock.fd_, LOCK_EX | LOCK_NB) != 0) return std::nullopt;
  } else if (errno != ENOENT) {
    return std::nullopt;
  }

  std::string folder = FolderOf(target);
  std::string pattern = folder + "/." + BaseNameOf(target) + ".XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  File file(mkostemp(name.data(), O_CLOEXEC));
  if (!file.IsOpen()) return std::nullopt;
  std::string temp_path(name.data());
  if (::flock(file.fd_, LOCK_EX | LOCK_NB) != 0) {
    ::unlink(temp_path.c_str());
    return std::nullopt;
  }
  return FileReplacement(std::move(file), std::move(lock), std::move(temp_path), target);
}

bool FileReplacement::Commit() {
  if (temp_path_.empty() || !file_.IsOpen()) return false;
  struct stat target_stat;
  const mode_t mode = stat(target_path_.c_str(), &target_stat) == 0
                          ? static_cast<mode_t>(target_stat.st_mode & 07777)
                          : DefaultCreationMode();
  if (fchmod(file_.fd_, mode) != 0 || !file_.Close() ||
      ::rename(temp_path_.c_str(), target_path_.c_str()) != 0) {
    Discard();
    return false;
  }
  temp_path_.clear();
  lock_.Close();
  return true;
}

}  // namespace resgraft::sys
