#include "platform/host/policy_store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/host/host_sid.h"

bool (*g_storeWriteHook)(StoreWritePoint point) = nullptr;

namespace {

constexpr const char* kDefaultStorePath = "/var/lib/grantright/policy";
constexpr off_t kMaxStoreBytes = 64 << 20;
constexpr mode_t kFileMode = 0644;    // owner-only write
constexpr mode_t kFolderMode = 0755;

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

bool WriteAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t result = write(fd, bytes.data() + done, bytes.size() - done);
    if (result < 0 && errno == EINTR) continue;
    if (result <= 0) return false;
    done += static_cast<size_t>(result);
  }
  return true;
}

bool ReachPoint(StoreWritePoint point) {
  if (g_storeWriteHook != nullptr && !g_storeWriteHook(point)) {
    errno = EIO;
    return false;
  }
  return true;
}

// Reads the store as it is; a missing store is an empty one. Never follows a
// symbolic link and never blocks on something that is not a regular file.
NTSTATUS ReadStore(const std::string& path, std::string* content) {
  content->clear();
  int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT ? STATUS_SUCCESS : StatusFromErrno(errno);
  struct stat info;
  NTSTATUS status = STATUS_SUCCESS;
  if (fstat(fd, &info) != 0) {
    status = StatusFromErrno(errno);
  } else if (!S_ISREG(info.st_mode) || info.st_size > kMaxStoreBytes) {
    status = STATUS_INTERNAL_DB_CORRUPTION;
  } else {
    char chunk[4096];
    for (;;) {
      ssize_t got = read(fd, chunk, sizeof chunk);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) status = StatusFromErrno(errno);
      if (got <= 0) break;
      content->append(chunk, static_cast<size_t>(got));
    }
  }
  close(fd);
  return status;
}

NTSTATUS ReadParsedStore(const std::string& path, std::string* content, std::vector<PolicyGrant>* grants) {
  NTSTATUS status = ReadStore(path, content);
  if (status != STATUS_SUCCESS) return status;
  return ParsePolicyStore(*content, grants) ? STATUS_SUCCESS : STATUS_INTERNAL_DB_CORRUPTION;
}

void SyncFolder(const std::string& folder) {
  int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

// Writes `content` beside the store and renames it over the store, so that
// the store is at every moment either the old file or the new one, whole.
NTSTATUS ReplaceStore(const std::string& path, const std::string& content) {
  std::string temporary = path + ".tmp";
  // Only a writer that died holding the lock can have left this behind.
  if (unlink(temporary.c_str()) != 0 && errno != ENOENT) return StatusFromErrno(errno);
  int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kFileMode);
  if (fd < 0) return StatusFromErrno(errno);
  NTSTATUS status = STATUS_SUCCESS;
  if (!WriteAll(fd, content) || !ReachPoint(StoreWritePoint::kTemporaryWritten) || fsync(fd) != 0 ||
      !ReachPoint(StoreWritePoint::kTemporaryFlushed)) {
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
  SyncFolder(FolderOf(path));
  ReachPoint(StoreWritePoint::kAfterRename);  // the grant is in: only a crash can stop it here
  return STATUS_SUCCESS;
}

}  // namespace

std::string PolicyStorePath() {
  const char* configured = std::getenv("GRANTRIGHT_POLICY_STORE");
  return configured != nullptr && configured[0] != 0 ? configured : kDefaultStorePath;
}

bool ParsePolicyStore(const std::string& content, std::vector<PolicyGrant>* grants) {
  grants->clear();
  size_t at = 0;
  while (at < content.size()) {
    size_t end = content.find('\n', at);
    if (end == std::string::npos) return false;  // a torn last line
    size_t space = content.find(' ', at);
    if (space == std::string::npos || space > end) return false;
    PolicyGrant grant{content.substr(at, space - at), content.substr(space + 1, end - space - 1)};
    if (!IsSidString(grant.sid) || grant.right.empty()) return false;
    for (char c : grant.right) {
      if (c <= ' ' || c > '~') return false;
    }
    grants->push_back(grant);
    at = end + 1;
  }
  return true;
}

NTSTATUS CheckPolicyStore(const std::string& path) {
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
  std::string content;
  std::vector<PolicyGrant> grants;
  return ReadParsedStore(path, &content, &grants);
}

NTSTATUS AddPolicyGrant(const std::string& path, const PolicyGrant& grant) {
  std::string lockPath = path + ".lock";
  int lock = open(lockPath.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, kFileMode);
  if (lock < 0) return StatusFromErrno(errno);
  int locked;
  do {
    locked = flock(lock, LOCK_EX);
  } while (locked != 0 && errno == EINTR);
  if (locked != 0) {
    NTSTATUS status = StatusFromErrno(errno);
    close(lock);
    return status;
  }

  std::string content;
  std::vector<PolicyGrant> grants;
  NTSTATUS status = ReadParsedStore(path, &content, &grants);
  bool held = false;
  for (const PolicyGrant& existing : grants) {
    if (existing.sid == grant.sid && existing.right == grant.right) held = true;
  }
  if (status == STATUS_SUCCESS && !held) {
    status = ReplaceStore(path, content + grant.sid + " " + grant.right + "\n");
  }
  close(lock);  // releases the lock
  return status;
}
