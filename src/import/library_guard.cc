#include "import/library_guard.h"

namespace i2m {
namespace {

thread_local const std::string* place_in_hand = nullptr;

}  // namespace

LibraryAtWork::LibraryAtWork(const std::string& place) : previous_(place_in_hand) { place_in_hand = &place; }

LibraryAtWork::~LibraryAtWork() { place_in_hand = previous_; }

const std::string* library_place_in_hand() { return place_in_hand; }

}  // namespace i2m
