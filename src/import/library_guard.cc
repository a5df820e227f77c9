#include "import/library_guard.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace i2m {
namespace {

// One slot per thread that has used a guard (the importer's workers and
// its main thread; threads beyond the slots go unwatched).
constexpr int kSlots = 64;
struct Slot {
  std::atomic<const std::string*> place{nullptr};
  std::atomic<long long> start{0};  // steady clock, ms
};
Slot slots[kSlots];
std::atomic<int> slots_taken{0};

thread_local const std::string* place_in_hand = nullptr;
thread_local int my_slot = -1;

long long now_ms() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

Slot* slot_of_this_thread() {
  if (my_slot < 0) my_slot = slots_taken++;
  return my_slot < kSlots ? &slots[my_slot] : nullptr;
}

}  // namespace

LibraryAtWork::LibraryAtWork(const std::string& place) : previous_(place_in_hand), previous_start_(0) {
  place_in_hand = &place;
  if (Slot* slot = slot_of_this_thread()) {
    previous_start_ = slot->start.load();
    slot->start = now_ms();
    slot->place = &place;
  }
}

LibraryAtWork::~LibraryAtWork() {
  place_in_hand = previous_;
  if (Slot* slot = slot_of_this_thread()) {
    slot->place = previous_;
    slot->start = previous_start_;
  }
}

const std::string* library_place_in_hand() { return place_in_hand; }

void start_library_watchdog(int seconds, HangHandler handler) {
  std::thread([seconds, handler] {
    for (;;) {
      std::this_thread::sleep_for(std::chrono::seconds(1));
      const long long now = now_ms();
      for (Slot& slot : slots) {
        const std::string* place = slot.place.load();
        if (place != nullptr && now - slot.start.load() > seconds * 1000LL) handler(*place, seconds);
      }
    }
  }).detach();
}

}  // namespace i2m
