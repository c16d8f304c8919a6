#pragma once
// A list that owns its items. Checked access raises EListError with the index.

#include "base/Exceptions.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

template <class T> class TOwnedList {
public:
  int32_t Count() const { return static_cast<int32_t>(FItems.size()); }

  // The item at Index; raises "List index out of bounds (Index)" outside [0, Count).
  T* Items(int32_t Index) const { return FItems[Checked(Index)].get(); }

  // Takes ownership of Item, appends it and returns it.
  T* Add(std::unique_ptr<T> Item) {
    FItems.push_back(std::move(Item));
    return FItems.back().get();
  }

  // Takes ownership of Item and puts it at Index (0 to Count).
  T* Insert(int32_t Index, std::unique_ptr<T> Item) {
    if (Index != Count())
      Checked(Index);
    return FItems.insert(FItems.begin() + Index, std::move(Item))->get();
  }

  // Frees the item at Index and closes the gap.
  void Delete(int32_t Index) { FItems.erase(FItems.begin() + Checked(Index)); }

  // Gives up ownership of the item at Index and removes it from the list.
  std::unique_ptr<T> Extract(int32_t Index) {
    std::unique_ptr<T> Item = std::move(FItems[Checked(Index)]);
    FItems.erase(FItems.begin() + Index);
    return Item;
  }

  // Position of Item, or -1.
  int32_t IndexOf(const T* Item) const {
    for (size_t I = 0; I < FItems.size(); ++I)
      if (FItems[I].get() == Item)
        return static_cast<int32_t>(I);
    return -1;
  }

  // Frees every item.
  void Clear() { FItems.clear(); }

  // Sorts with a three-way comparison (negative, zero, positive); the order of equal items is unspecified.
  template <class Compare> void Sort(Compare ThreeWay) {
    std::sort(FItems.begin(), FItems.end(),
              [&](const std::unique_ptr<T>& A, const std::unique_ptr<T>& B) { return ThreeWay(*A, *B) < 0; });
  }

private:
  size_t Checked(int32_t Index) const {
    if (Index < 0 || Index >= Count())
      throw EListError(Index);
    return static_cast<size_t>(Index);
  }

  std::vector<std::unique_ptr<T>> FItems;
};
