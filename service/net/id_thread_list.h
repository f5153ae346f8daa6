#pragma once

#include <algorithm>
#include <functional>
#include <mutex>
#include <vector>

// A list whose every add, remove and walk holds the list's lock.
template <typename T>
class TIdThreadList {
 public:
  void Add(T item) {
    std::lock_guard<std::mutex> hold(FLock);
    FItems.push_back(item);
  }
  void Remove(T item) {
    std::lock_guard<std::mutex> hold(FLock);
    FItems.erase(std::remove(FItems.begin(), FItems.end(), item), FItems.end());
  }
  bool IsEmpty() {
    std::lock_guard<std::mutex> hold(FLock);
    return FItems.empty();
  }
  std::size_t Count() {
    std::lock_guard<std::mutex> hold(FLock);
    return FItems.size();
  }
  // Calls visit for every item with the lock held.
  void ForEach(const std::function<void(T)>& visit) {
    std::lock_guard<std::mutex> hold(FLock);
    for (T item : FItems) visit(item);
  }

 private:
  std::mutex FLock;
  std::vector<T> FItems;
};
