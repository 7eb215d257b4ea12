#include "platform/host/policy_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "common/scope_guard.h"
#include "platform/host/host_sid.h"

bool (*g_storeWriteHook)(StoreWritePoint point) = nullptr;
unsigned g_storeLockWaitMilliseconds = 10000;

namespace {

constexpr const char* kDefaultStorePath = "/var/lib/grantright/policy";
constexpr mode_t kNewStoreMode = 0644;  // owner-only write
constexpr mode_t kPrivateMode = 0600;   // the lock, and a temporary until it has the store's mode
constexpr mode_t kFolderMode = 0755;
constexpr long kFirstLockPauseNs = 1000000;
constexpr long kLongestLockPauseNs = 50000000;

NTSTATUS StatusFromErrno(int error) {
  switch (error) {
    case EACCES:
    case EPERM:
    case EROFS:
    case ELOOP:  // a symbolic link where the store or its lock should be
    case EEXIST:
      return STATUS_ACCESS_DENIED;
    case ENOSPC:
    case EDQUOT:
      return STATUS_DISK_FULL;
    case ENOMEM:
      return STATUS_NO_MEMORY;
    default:
      return STATUS_UNSUCCESSFUL;
  }
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

bool WriteAll(int fd, const char* bytes, size_t size) {
  size_t done = 0;
  while (done < size) {
    ssize_t result = write(fd, bytes + done, size - done);
    if (result < 0 && errno == EINTR) continue;
    if (result <= 0) return false;
    done += static_cast<size_t>(result);
  }
  return true;
}

// Reads up to `size` bytes; fewer only at the end of the file. -1 on an error.
ssize_t ReadFully(int fd, char* into, size_t size) {
  size_t done = 0;
  while (done < size) {
    ssize_t got = read(fd, into + done, size - done);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return -1;
    if (got == 0) break;
    done += static_cast<size_t>(got);
  }
  return static_cast<ssize_t>(done);
}

bool ReachPoint(StoreWritePoint point) {
  if (g_storeWriteHook != nullptr && !g_storeWriteHook(point)) {
    errno = EIO;
    return false;
  }
  return true;
}

// The store as found: open read-only, or missing (fd -1), with its metadata.
struct StoreFile {
  int fd = -1;
  struct stat info = {};
};

// Opens the store as it is. Never follows a symbolic link and never blocks
// on something that is not a regular file.
NTSTATUS OpenStore(const std::string& path, StoreFile* store) {
  store->fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (store->fd < 0) return errno == ENOENT ? STATUS_SUCCESS : StatusFromErrno(errno);
  if (fstat(store->fd, &store->info) != 0) return StatusFromErrno(errno);
  if (!S_ISREG(store->info.st_mode) || static_cast<size_t>(store->info.st_size) > kMaxPolicyStoreBytes) {
    return STATUS_INTERNAL_DB_CORRUPTION;
  }
  return STATUS_SUCCESS;
}

// Reads the whole open store into `content` and checks it.
NTSTATUS ReadCheckedStore(const StoreFile& store, StoreContent* content) {
  content->bytes.reset();
  content->size = 0;
  if (store.fd < 0) return STATUS_SUCCESS;  // a missing store is an empty one
  // One byte more than the store should hold shows whether it grew meanwhile.
  size_t expected = static_cast<size_t>(store.info.st_size);
  std::unique_ptr<char[]> bytes(new char[expected + 1]);
  ssize_t got = ReadFully(store.fd, bytes.get(), expected + 1);
  if (got < 0) return StatusFromErrno(errno);
  if (static_cast<size_t>(got) > expected || !IsValidPolicyStore(bytes.get(), static_cast<size_t>(got))) {
    return STATUS_INTERNAL_DB_CORRUPTION;
  }
  content->bytes = std::move(bytes);
  content->size = static_cast<size_t>(got);
  return STATUS_SUCCESS;
}

// Whether the open store holds exactly `known`, read in pieces.
bool StoreHolds(const StoreFile& store, const StoreContent& known) {
  if (store.fd < 0) return known.size == 0;
  if (static_cast<size_t>(store.info.st_size) != known.size) return false;
  char piece[65536];
  size_t at = 0;
  for (;;) {
    ssize_t got = ReadFully(store.fd, piece, sizeof piece);
    if (got < 0) return false;
    if (got == 0) return at == known.size;
    size_t size = static_cast<size_t>(got);
    if (size > known.size - at || std::memcmp(piece, known.bytes.get() + at, size) != 0) return false;
    at += size;
  }
}

bool HoldsLine(const StoreContent& content, const std::string& line) {
  const char* at = content.bytes.get();
  const char* end = at + content.size;
  while (at < end) {
    const char* lineEnd = static_cast<const char*>(std::memchr(at, '\n', static_cast<size_t>(end - at)));
    size_t size = static_cast<size_t>(lineEnd - at) + 1;
    if (size == line.size() && std::memcmp(at, line.data(), size) == 0) return true;
    at = lineEnd + 1;
  }
  return false;
}

// Whether every byte in [at, end) is printable ASCII other than a space,
// eight at a time: a byte below '!' or above '~' sets its top bit in one of
// the two terms (a carry out of a byte needs a top bit set already).
bool IsPrintableWord(const char* at, const char* end) {
  constexpr uint64_t kOnes = 0x0101010101010101ull;
  constexpr uint64_t kTops = 0x8080808080808080ull;
  for (; end - at >= 8; at += 8) {
    uint64_t x;
    std::memcpy(&x, at, sizeof x);
    if ((((x - kOnes * '!') & ~x) | (x + kOnes * (127 - '~')) | x) & kTops) return false;
  }
  for (; at < end; ++at) {
    if (static_cast<unsigned char>(*at - '!') > '~' - '!') return false;
  }
  return true;
}

long ElapsedNs(const timespec& since) {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return (now.tv_sec - since.tv_sec) * 1000000000L + (now.tv_nsec - since.tv_nsec);
}

// Takes the store's lock: an open-file-description write lock, which needs
// a writable descriptor, on a file only its owner may open. Someone who may
// only read the store can therefore neither hold it nor stall a grant; the
// wait is bounded all the same. The file is named <store>.wlock: the
// <store>.lock of earlier versions was readable by everyone, and whoever
// opened it then may hold it still.
NTSTATUS TakeLock(const std::string& path, int* lockOut) {
  int lock = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, kPrivateMode);
  if (lock < 0) return StatusFromErrno(errno);
  struct stat info;
  if (fstat(lock, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(lock);
    return STATUS_ACCESS_DENIED;
  }
  // A lock file others could have opened (planted, or linked from elsewhere)
  // may be held by them for good: refused at once rather than waited on.
  if ((info.st_mode & 077) != 0 || info.st_nlink != 1) {
    close(lock);
    return STATUS_ACCESS_DENIED;
  }

  struct flock request = {};
  request.l_type = F_WRLCK;
  request.l_whence = SEEK_SET;  // start 0, length 0: the whole file
  timespec start;
  clock_gettime(CLOCK_MONOTONIC, &start);
  const long waitNs = static_cast<long>(g_storeLockWaitMilliseconds) * 1000000L;
  long pauseNs = kFirstLockPauseNs;
  for (;;) {
    if (fcntl(lock, F_OFD_SETLK, &request) == 0) {
      *lockOut = lock;
      return STATUS_SUCCESS;
    }
    if (errno != EAGAIN && errno != EACCES && errno != EINTR) {
      NTSTATUS status = StatusFromErrno(errno);
      close(lock);
      return status;
    }
    long left = waitNs - ElapsedNs(start);
    if (left <= 0) {
      close(lock);
      return STATUS_LOCK_NOT_GRANTED;
    }
    long pause = pauseNs < left ? pauseNs : left;
    timespec delay = {pause / 1000000000L, pause % 1000000000L};
    nanosleep(&delay, nullptr);
    if (pauseNs < kLongestLockPauseNs) pauseNs *= 2;
  }
}

void SyncFolder(const std::string& folder) {
  int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

// Gives the new file the old store's owner, group and mode. Ownership first:
// changing it clears set-id bits.
bool TakeOverOwnership(int fd, const StoreFile& old) {
  if (old.fd < 0) return true;  // a new store keeps the mode it was created with
  struct stat info;
  if (fstat(fd, &info) != 0) return false;
  if ((info.st_uid != old.info.st_uid || info.st_gid != old.info.st_gid) &&
      fchown(fd, old.info.st_uid, old.info.st_gid) != 0) {
    return false;
  }
  return fchmod(fd, old.info.st_mode & 07777) == 0;
}

// Writes `content` and `line` beside the store and renames the result over
// the store, so that the store is at every moment the old file or the new
// one, whole.
NTSTATUS ReplaceStore(const std::string& path, const StoreFile& old, const StoreContent& content,
                      const std::string& line) {
  // Everything allocated up front: after the rename the grant is in, and
  // nothing may fail it.
  std::string temporary = path + ".tmp";
  std::string folder = FolderOf(path);
  // Only a writer that died holding the lock can have left this behind.
  if (unlink(temporary.c_str()) != 0 && errno != ENOENT) return StatusFromErrno(errno);
  // Private until it has the old store's owner and mode: nobody may open it
  // in between and read what it is given later.
  mode_t mode = old.fd < 0 ? kNewStoreMode : kPrivateMode;
  int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
  if (fd < 0) return StatusFromErrno(errno);
  NTSTATUS status = STATUS_SUCCESS;
  if (!TakeOverOwnership(fd, old) || !WriteAll(fd, content.bytes.get(), content.size) ||
      !WriteAll(fd, line.data(), line.size()) || !ReachPoint(StoreWritePoint::kTemporaryWritten) ||
      fsync(fd) != 0 || !ReachPoint(StoreWritePoint::kTemporaryFlushed)) {
    status = StatusFromErrno(errno);
  }
  if (close(fd) != 0 && status == STATUS_SUCCESS) status = StatusFromErrno(errno);
  if (status == STATUS_SUCCESS &&
      (!ReachPoint(StoreWritePoint::kBeforeRename) || rename(temporary.c_str(), path.c_str()) != 0)) {
    status = StatusFromErrno(errno);
  }
  if (status != STATUS_SUCCESS) {
    unlink(temporary.c_str());
    return status;
  }
  SyncFolder(folder);
  ReachPoint(StoreWritePoint::kAfterRename);  // the grant is in: only a crash can stop it here
  return STATUS_SUCCESS;
}

}  // namespace

std::string PolicyStorePath() {
  const char* configured = std::getenv("GRANTRIGHT_POLICY_STORE");
  return configured != nullptr && configured[0] != 0 ? configured : kDefaultStorePath;
}

bool IsValidPolicyStore(const char* bytes, size_t size) {
  const char* at = bytes;
  const char* end = bytes + size;
  while (at < end) {
    const char* lineEnd = static_cast<const char*>(std::memchr(at, '\n', static_cast<size_t>(end - at)));
    if (lineEnd == nullptr) return false;  // a torn last line
    at = SkipSidString(at, lineEnd);
    if (at == nullptr || at == lineEnd || *at != ' ') return false;
    ++at;
    if (at == lineEnd || !IsPrintableWord(at, lineEnd)) return false;
    at = lineEnd + 1;
  }
  return true;
}

NTSTATUS CheckPolicyStore(const std::string& path, StoreContent* content) {
  std::string folder = FolderOf(path);
  if (mkdir(folder.c_str(), kFolderMode) != 0 && errno != EEXIST) return StatusFromErrno(errno);
  struct stat info;
  if (lstat(path.c_str(), &info) == 0) {
    if (S_ISLNK(info.st_mode)) return STATUS_ACCESS_DENIED;
    if (!S_ISREG(info.st_mode)) return STATUS_INTERNAL_DB_CORRUPTION;
  } else if (errno != ENOENT) {
    return StatusFromErrno(errno);
  }
  if (access(folder.c_str(), W_OK | X_OK) != 0) return StatusFromErrno(errno);
  StoreFile store;
  auto closeStore = MakeScopeGuard([&] {
    if (store.fd >= 0) close(store.fd);
  });
  NTSTATUS status = OpenStore(path, &store);
  if (status != STATUS_SUCCESS) return status;
  return ReadCheckedStore(store, content);
}

NTSTATUS AddPolicyGrant(const std::string& path, StoreContent* content, const PolicyGrant& grant) {
  std::string line = grant.sid + " " + grant.right + "\n";
  int lock = -1;
  NTSTATUS status = TakeLock(path + ".wlock", &lock);
  if (status != STATUS_SUCCESS) return status;
  StoreFile store;
  auto release = MakeScopeGuard([&] {
    if (store.fd >= 0) close(store.fd);
    close(lock);  // releases the lock
  });

  // Checked once: at opening, or here when it changed since.
  status = OpenStore(path, &store);
  if (status != STATUS_SUCCESS) return status;
  if (!StoreHolds(store, *content)) {
    if (store.fd >= 0 && lseek(store.fd, 0, SEEK_SET) != 0) return StatusFromErrno(errno);
    status = ReadCheckedStore(store, content);
    if (status != STATUS_SUCCESS) return status;
  }
  if (HoldsLine(*content, line)) return STATUS_SUCCESS;
  // Never write what the next read would refuse.
  if (content->size + line.size() > kMaxPolicyStoreBytes) return STATUS_FILE_TOO_LARGE;
  return ReplaceStore(path, store, *content, line);
}
