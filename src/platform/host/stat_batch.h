// Stats of many names of one directory in few system calls: a listing needs every entry's mode,
// and one fstatat per entry would cost as many calls as the deletions that follow it.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <sys/types.h>
#include <time.h>

#include <memory>

namespace tvx::host {

/// What a batched stat found of one name: `error` 0 with the fields filled, or an errno.
struct NameStat {
  int error = 0;
  mode_t mode = 0;
  uint64_t size = 0;
  struct timespec mtime {};
};

/// Stats names of one directory, links not followed, as few system calls as the host allows:
/// whole batches of kQueueDepth names through io_uring where the kernel offers it, the rest (and
/// everything where it does not) with one fstatat per name.
/// One batcher serves one thread at a time.
class StatBatcher {
 public:
  /// The most names one batch (one io_uring_enter) carries.
  static constexpr unsigned kQueueDepth = 256;

  /// `use_ring` false keeps to one fstatat per name, so that both ways can be compared.
  explicit StatBatcher(bool use_ring = true);
  ~StatBatcher();  // releases the ring
  StatBatcher(const StatBatcher&) = delete;
  StatBatcher& operator=(const StatBatcher&) = delete;

  /// Fills out[i] for names[i] (NUL-terminated host names relative to `dir_fd`), i < count.
  /// Any count is fine; the batcher splits it into ring-sized batches itself.
  void Stat(int dir_fd, const char* const* names, size_t count, NameStat* out);

 private:
  class Ring;

  // The ring is made on the first Stat of a whole batch, so that a program that never lists a
  // large directory pays nothing for it.
  bool ring_tried_ = false;
  std::unique_ptr<Ring> ring_;
};

}  // namespace tvx::host
