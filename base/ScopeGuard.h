#pragma once
// Runs a clean-up when the scope ends, however it ends; a clean-up must not throw.

#include <utility>

template <typename TAction> class TScopeGuard {
public:
  explicit TScopeGuard(TAction Action) : FAction(std::move(Action)) {}
  ~TScopeGuard() { FAction(); }
  TScopeGuard(const TScopeGuard&) = delete;
  TScopeGuard& operator=(const TScopeGuard&) = delete;

private:
  TAction FAction;
};
