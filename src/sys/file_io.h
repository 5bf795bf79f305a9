#ifndef RESGRAFT_SYS_FILE_IO_H_
#define RESGRAFT_SYS_FILE_IO_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace resgraft::sys {

// An open file descriptor, closed when the object goes away. Positions and counts
// follow the 32-bit file interface the engine is written against: a seek takes a
// signed 32-bit position from the start of the file, and a read or write succeeds
// only when it moves exactly the bytes asked for.
class File {
 public:
  File() = default;
  ~File();
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Opens an existing file for reading. Other readers may share it; a file that a
  // writer of this tool holds exclusively cannot be opened. Nothing on failure.
  static std::optional<File> OpenRead(const std::string& path);

  bool IsOpen() const { return fd_ >= 0; }
  int Descriptor() const { return fd_; }

  // The size of the file in bytes, or nothing when it cannot be obtained.
  std::optional<uint64_t> Size() const;

  // Moves to `position` bytes from the start. The position is taken as a signed
  // 32-bit number, so 0x80000000 and above fail; a position past the end succeeds
  // and the next read comes up short.
  bool Seek(uint32_t position);

  // Reads exactly `bytes.size()` bytes at the current position; false when the file
  // holds fewer or the read fails. An empty read succeeds.
  bool ReadExact(std::span<uint8_t> bytes);

  // Reads exactly `bytes.size()` bytes at `position` without moving the current
  // position; false when the file holds fewer or the read fails.
  bool ReadExactAt(std::span<uint8_t> bytes, uint64_t position);

  // Reads the bytes from `position` onward into `parts` in turn, filling each
  // exactly: one range of the file, as few calls as the system allows. False when
  // the file holds fewer bytes or a read fails.
  bool ReadScatteredAt(std::span<const std::span<uint8_t>> parts, uint64_t position);

  // Writes all of `bytes` at the current position; false when any of it cannot be
  // written. An empty write succeeds.
  bool WriteExact(std::span<const uint8_t> bytes);

  // Writes all of `bytes` at `offset` without moving the current position.
  bool WriteExactAt(std::span<const uint8_t> bytes, uint64_t offset);

  // Closes the descriptor now; false when the close reports an error.
  bool Close();

 private:
  friend class FileReplacement;
  explicit File(int fd) : fd_(fd) {}

  int fd_ = -1;
};

// A read-only mapping of a whole open file, unmapped when the object goes away.
class FileMapping {
 public:
  ~FileMapping();
  FileMapping(FileMapping&& other) noexcept;
  FileMapping& operator=(FileMapping&&) = delete;
  FileMapping(const FileMapping&) = delete;
  FileMapping& operator=(const FileMapping&) = delete;

  // Maps the first `size` bytes of `file` for reading; nothing when `size` is 0 or
  // the mapping fails.
  static std::optional<FileMapping> Map(const File& file, uint64_t size);

  std::span<const uint8_t> Bytes() const { return {data_, size_}; }

 private:
  FileMapping(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
};

// A new file written beside `destination` and put in its place only by `Commit`.
// Until then the destination is left as it was; a replacement that is never
// committed removes its file when it goes away. While it lives it holds the
// destination exclusively, so another instance of the tool can neither read nor
// replace it meanwhile.
class FileReplacement {
 public:
  ~FileReplacement();
  FileReplacement(FileReplacement&& other) noexcept;
  FileReplacement& operator=(FileReplacement&&) = delete;
  FileReplacement(const FileReplacement&) = delete;
  FileReplacement& operator=(const FileReplacement&) = delete;

  // Creates the new file in the destination's folder, readable and writable.
  // Nothing when the folder cannot be written, the destination is a folder, or
  // another writer holds the destination.
  static std::optional<FileReplacement> Create(const std::string& destination);

  File& file() { return file_; }

  // Gives the new file the destination's permission bits (or the default ones for a
  // new name), closes it and renames it over the destination. False on any failure,
  // in which case the destination is unchanged and the new file is removed.
  bool Commit();

 private:
  FileReplacement(File file, File lock, std::string temp_path, std::string target_path);
  void Discard();

  File file_;
  File lock_;  // the existing destination, held exclusively; not open for a new name
  std::string temp_path_;
  std::string target_path_;
};

}  // namespace resgraft::sys

#endif  // RESGRAFT_SYS_FILE_IO_H_
