#include "import/archive.h"

#include <archive.h>
#include <archive_entry.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <memory>

#include "common/failure.h"
#include "common/file_io.h"
#include "common/replacement_file.h"

namespace i2m {
namespace {

struct ArchiveCloser {
  void operator()(archive* a) const { archive_read_free(a); }
};
using ArchiveHandle = std::unique_ptr<archive, ArchiveCloser>;

// Where a member's bytes are kept while its source lives: a memory file,
// or a temporary file in the scratch folder (removed with it).
struct MemberStorage {
  UniqueFd memory;
  std::unique_ptr<ReplacementFile> file;

  int fd() const { return file ? file->fd() : memory.get(); }
  // The path a library opens it by.
  std::string path() const { return file ? file->temporary_path() : "/proc/self/fd/" + std::to_string(memory.get()); }
};

// Moves the member's bytes so far from memory to a temporary file.
void spill_to_file(MemberStorage& storage, const std::string& scratch_dir, const std::string& name, int64_t written) {
  std::error_code error;
  std::filesystem::create_directories(scratch_dir, error);
  auto file = std::make_unique<ReplacementFile>(scratch_dir + "/" + kArchiveMemberName);
  std::vector<char> buffer(1 << 20);
  for (int64_t at = 0; at < written;) {
    const ssize_t n = ::pread(storage.memory.get(), buffer.data(), buffer.size(), at);
    if (n <= 0) fail_file_errno(name, "cannot keep the member");
    write_at(file->fd(), file->temporary_path(), buffer.data(), static_cast<size_t>(n), at);
    at += n;
  }
  storage.file = std::move(file);
  storage.memory = UniqueFd();
}

// Why libarchive refused: its message, which it leaves unset for some
// damaged or cut streams.
std::string refusal(archive* a) {
  const char* message = archive_error_string(a);
  return message != nullptr ? message : "the data are damaged or cut short";
}

// Reads the member in hand whole into storage of its own.
std::shared_ptr<MemberStorage> read_member(archive* a, const std::string& name, const std::string& scratch_dir,
                                           size_t in_memory) {
  auto storage = std::make_shared<MemberStorage>();
  storage->memory = UniqueFd(::memfd_create("archive member", MFD_CLOEXEC));
  if (!storage->memory.valid()) fail_file_errno(name, "cannot hold the member in memory");
  std::vector<char> buffer(1 << 20);
  int64_t written = 0;
  for (;;) {
    const la_ssize_t n = archive_read_data(a, buffer.data(), buffer.size());
    if (n == 0) break;
    if (n < 0) fail_file(name, "cannot be unpacked: " + refusal(a));
    if (!storage->file && written + n > static_cast<int64_t>(in_memory)) {
      spill_to_file(*storage, scratch_dir, name, written);
    }
    write_at(storage->fd(), name, buffer.data(), static_cast<size_t>(n), written);
    written += n;
  }
  if (storage->file) storage->file->close();
  return storage;
}

// The member's name: its path in a zip, the stream's name without its
// compression suffix for a compressed file.
std::string member_name(archive_entry* entry, const std::string& path, bool raw) {
  if (!raw && archive_entry_pathname(entry) != nullptr) return archive_entry_pathname(entry);
  std::string base = path.substr(path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1);
  for (const char* suffix : {".gz", ".bz2", ".xz"}) {
    if (base.ends_with(suffix)) return base.substr(0, base.size() - std::strlen(suffix));
  }
  return base;
}

}  // namespace

const char* archive_kind(const unsigned char* magic, size_t length) {
  if (length >= 4 && std::memcmp(magic, "PK\x03\x04", 4) == 0) return "zip";
  if (length >= 2 && magic[0] == 0x1f && magic[1] == 0x8b) return "gzip";
  if (length >= 3 && std::memcmp(magic, "BZh", 3) == 0) return "bzip2";
  if (length >= 6 && std::memcmp(magic, "\xfd" "7zXZ\x00", 6) == 0) return "xz";
  return nullptr;
}

void open_archive(const std::string& path, const std::string& scratch_dir, std::vector<OpenedSource>& sources,
                  size_t member_in_memory) {
  const UniqueFd fd(open_regular_file_for_reading(path));
  unsigned char magic[8] = {};
  const size_t got = read_next(fd.get(), path, magic, sizeof magic);
  if (::lseek(fd.get(), 0, SEEK_SET) != 0) fail_file_errno(path, "cannot read");
  const bool zip = std::strcmp(archive_kind(magic, got), "zip") == 0;
  ArchiveHandle a(archive_read_new());
  if (!a) fail_storage(path);
  if (zip) {
    archive_read_support_format_zip(a.get());
  } else {
    archive_read_support_filter_gzip(a.get());
    archive_read_support_filter_bzip2(a.get());
    archive_read_support_filter_xz(a.get());
    archive_read_support_format_raw(a.get());
  }
  if (archive_read_open_fd(a.get(), fd.get(), 1 << 16) != ARCHIVE_OK) {
    fail_file(path, std::string("cannot be read as ") + archive_kind(magic, got) + ": " + refusal(a.get()));
  }
  // A stream too short for its own header is taken by no filter, and its
  // bytes would pass as one plain member.
  if (!zip && archive_filter_count(a.get()) < 2) {
    fail_file(path, std::string("cannot be read as ") + archive_kind(magic, got) + ": it is cut short");
  }
  int members = 0;
  for (;;) {
    archive_entry* entry = nullptr;
    const int status = archive_read_next_header(a.get(), &entry);
    if (status == ARCHIVE_EOF) break;
    if (status < ARCHIVE_WARN) {
      fail_file(path, std::string("cannot be read as ") + archive_kind(magic, got) + ": " + refusal(a.get()));
    }
    if (archive_entry_filetype(entry) != AE_IFREG && zip) continue;  // folders of the zip
    const std::string name = path + ": " + member_name(entry, path, !zip);
    std::shared_ptr<MemberStorage> storage = read_member(a.get(), name, scratch_dir, member_in_memory);
    OpenedSource source = open_plain_source(name, storage->path(), static_cast<int>(sources.size()));
    source.storage = std::move(storage);
    sources.push_back(std::move(source));
    ++members;
  }
  if (members == 0) fail_file(path, std::string("a ") + archive_kind(magic, got) + " archive that holds no file");
}

}  // namespace i2m
