#include "monitor/measurement_registry.h"

#include <utility>

ActiveMeasurement* MeasurementRegistry::Find(const std::string& key) {
  const auto found = entries_.find(key);
  return found == entries_.end() ? nullptr : &found->second.entry;
}

ActiveMeasurement* MeasurementRegistry::FindForReading(const std::string& key) {
  Node* expected = last_read_ != nullptr ? last_read_->next : first_;
  if (expected == nullptr || *expected->key != key) {
    const auto found = entries_.find(key);
    expected = found == entries_.end() ? nullptr : &found->second;
  }
  if (expected != nullptr) last_read_ = expected;
  return expected == nullptr ? nullptr : &expected->entry;
}

ActiveMeasurement& MeasurementRegistry::Add(const std::string& key, ActiveMeasurement entry) {
  auto [where, inserted] = entries_.try_emplace(key);
  Node& node = where->second;
  if (!inserted) {
    node.entry = std::move(entry);
    return node.entry;
  }
  node.entry = std::move(entry);
  node.key = &where->first;
  node.previous = last_;
  (last_ != nullptr ? last_->next : first_) = &node;
  last_ = &node;
  return node.entry;
}

void MeasurementRegistry::Erase(const std::string& key) {
  const auto found = entries_.find(key);
  if (found == entries_.end()) return;
  Node& node = found->second;
  (node.previous != nullptr ? node.previous->next : first_) = node.next;
  (node.next != nullptr ? node.next->previous : last_) = node.previous;
  // The next reading in order is still the one after the erased measurement.
  if (last_read_ == &node) last_read_ = node.previous;
  entries_.erase(found);
}

void MeasurementRegistry::Swap(MeasurementRegistry& other) noexcept {
  // The nodes stay where they are: their links and key pointers move with them.
  entries_.swap(other.entries_);
  std::swap(first_, other.first_);
  std::swap(last_, other.last_);
  std::swap(last_read_, other.last_read_);
}
