#include "utl/safesave.h"

#include <atomic>
#include <iterator>
#include <memory>

#include "sysfile.h"
#include "utl/error.h"
#include "utl/path.h"

namespace utl {

namespace {

// The files armed for removal on a stop, where a signal handler finds them: storage allocated
// before any stop, so that the handler need not allocate, and a state for each slot that tells it
// when the path there is whole. Slots come in blocks; one more is linked in, for good, when every
// slot is taken (a batch may save on a thousand threads), so the handler only follows pointers.
enum SlotState : int { kFree, kFilling, kArmed };
struct PendingFile {
  std::atomic<int> state{kFree};
  sys::NativeChar path[4096];
};
static_assert(std::atomic<int>::is_always_lock_free, "a signal handler reads the states");
constexpr int kSlotsPerBlock = 16;
struct PendingBlock {
  PendingFile files[kSlotsPerBlock];
  std::atomic<PendingBlock*> next{nullptr};
};
static_assert(std::atomic<PendingBlock*>::is_always_lock_free, "a signal handler follows blocks");
PendingBlock g_pending;

PendingBlock& NextBlock(PendingBlock& block) {
  PendingBlock* next = block.next.load();
  if (next) return *next;
  auto fresh = std::make_unique<PendingBlock>();
  if (!block.next.compare_exchange_strong(next, fresh.get())) return *next;  // linked meanwhile
  return *fresh.release();
}

PendingFile& Slot(int slot) {
  PendingBlock* block = &g_pending;
  for (int n = slot / kSlotsPerBlock; n > 0; --n) block = block->next.load();
  return block->files[slot % kSlotsPerBlock];
}

}  // namespace

int ArmRemovalOnStop(const std::wstring& path) {
  PendingBlock* block = &g_pending;
  for (int first = 0;; first += kSlotsPerBlock, block = &NextBlock(*block)) {
    for (int i = 0; i < kSlotsPerBlock; ++i) {
      PendingFile& pending = block->files[i];
      int expected = kFree;
      if (!pending.state.compare_exchange_strong(expected, kFilling)) continue;
      if (sys::ToNative(path, pending.path, std::size(pending.path))) {
        pending.state.store(kArmed);
        return first + i;
      }
      pending.state.store(kFree);
      return -1;
    }
  }
}

void DisarmRemovalOnStop(int slot) {
  if (slot >= 0) Slot(slot).state.store(kFree);
}

void RemoveFilesArmedForStop() noexcept {
  for (PendingBlock* block = &g_pending; block; block = block->next.load()) {
    for (PendingFile& pending : block->files) {
      if (pending.state.load() == kArmed) sys::RemoveNative(pending.path);
    }
  }
}

std::wstring CreateTemporaryFile(CBufferedFile& file, const std::wstring& stem,
                                 const std::wstring& suffix, int& slot) {
  constexpr int kAttempts = 100;
  static std::atomic<unsigned> serial{0};
  if (file.IsOpen()) file.Close();
  const std::wstring prefix = stem + std::to_wstring(sys::ProcessId()) + L"-";
  std::wstring reason;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    const std::wstring path = prefix + std::to_wstring(serial++) + suffix;
    // Armed before the file exists, so that no moment passes in which a stop would leave it. The
    // caller gets the slot only with the file: one given back here may be another save's at once.
    const int armed = ArmRemovalOnStop(path);
    const sys::Handle handle = sys::CreatePrivate(path, reason);
    if (handle != sys::kNoHandle) {
      file.Adopt(handle, AccessWrite, path);
      slot = armed;
      return path;
    }
    DisarmRemovalOnStop(armed);
    if (!sys::Exists(path)) break;  // the folder refuses, not the name
  }
  throw CError(ErrorKind::FileOpen, QXIO_WFILE, __LINE__, CPath(stem).GetFolder(), reason, reason);
}

CSafeSave::CSafeSave() : m_destination(std::make_unique<sys::SaveTarget>()) {}

CSafeSave::~CSafeSave() {
  Discard();
}

void CSafeSave::Begin(const std::wstring& target) {
  const std::wstring next = target;  // target may be this save's own, which Discard clears
  Discard();
  // An empty name would mean "no save under way".
  if (next.empty()) {
    throw CError(ErrorKind::FileOpen, QXIO_WFILE, __LINE__, next, L"no file name given");
  }
  std::wstring reason;
  if (!sys::InspectTarget(next, *m_destination, reason)) {
    throw CError(ErrorKind::FileWrite, QXIO_WFILE, __LINE__, next, reason, reason);
  }
  if (m_destination->kind == sys::SaveTarget::Other) {
    const sys::Handle handle =
        sys::Open(m_destination->path, AccessWrite, OpenExisting, ShareNone, reason);
    if (handle == sys::kNoHandle) {
      Discard();
      throw CError(ErrorKind::FileOpen, QXIO_WFILE, __LINE__, next, reason, reason);
    }
    m_file.Adopt(handle, AccessWrite, next);
  } else {
    // A hidden name beside the file it replaces, so that the move stays within one file system
    // and is atomic; a short one, so that a target whose name is as long as the folder allows
    // can be saved too.
    try {
      m_temporary = CreateTemporaryFile(m_file, CPath(m_destination->path).GetFolder() + L".qxio-",
                                        L".tmp", m_slot);
    } catch (const CError& error) {
      Discard();
      throw CError(ErrorKind::FileOpen, QXIO_WFILE, __LINE__, next, error.Reason(), error.Reason());
    }
    m_file.m_path = next;  // its errors name the target
  }
  m_target = next;
}

void CSafeSave::Seal() {
  m_file.Flush();
  std::wstring reason;
  if (!sys::Seal(m_file.m_handle, *m_destination, reason)) {
    m_file.m_lastSystemError = reason;
    throw CError(ErrorKind::FileWrite, QXIO_WFILE, __LINE__, m_target, reason, reason);
  }
}

void CSafeSave::Commit() {
  if (!IsActive()) return;
  try {
    // The last bytes must reach the disk before the file can be trusted to replace another.
    if (!m_temporary.empty()) Seal();
    m_file.Close();
    std::wstring reason;
    if (!m_temporary.empty() && !sys::Replace(m_temporary, *m_destination, reason)) {
      throw CError(ErrorKind::FileWrite, QXIO_WFILE, __LINE__, m_target, reason, reason);
    }
  } catch (...) {
    Discard();
    throw;
  }
  m_temporary.clear();
  Discard();
}

void CSafeSave::Discard() noexcept {
  try {
    m_file.CloseNoThrow(false);
    if (!m_temporary.empty()) RemoveFile(m_temporary);
  } catch (...) {
  }
  // Only once the file is gone or in the target's place: a signal until then removes it.
  DisarmRemovalOnStop(m_slot);
  m_slot = -1;
  m_temporary.clear();
  m_target.clear();
}

}  // namespace utl
