// Runs a clean-up on every way out of a scope.
#pragma once

template <typename Action>
struct ScopeGuard {
  Action onExit;
  ~ScopeGuard() { onExit(); }
};

template <typename Action>
ScopeGuard<Action> MakeScopeGuard(Action action) {
  return ScopeGuard<Action>{action};
}
