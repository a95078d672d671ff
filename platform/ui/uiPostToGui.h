#pragma once
// Handing work to the GUI thread from any thread without waiting for it.
// Worker threads never touch widgets; they post a call instead, and the
// call finds out on arrival whether what it wants still exists.

#include <functional>
#include <memory>

// Queues task on the GUI thread's event loop and returns at once. Tasks run
// in the order posted. Without an application object the task is dropped.
void PostToGui(std::function<void()> task);

// A liveness token: the owner (a window, on the GUI thread) holds the
// TGuiLife and ends it in its destructor; a worker holds a TGuiRef and posts
// calls that run only while the owner is still alive.
template <class T>
class TGuiLife {
public:
  explicit TGuiLife(T* owner) : life(std::make_shared<T*>(owner)) {}
  TGuiLife(const TGuiLife&) = delete;
  TGuiLife& operator=(const TGuiLife&) = delete;
  // GUI thread only, so no posted call runs half-way through it.
  ~TGuiLife() { *life = nullptr; }

  std::weak_ptr<T*> Token() const { return life; }

private:
  std::shared_ptr<T*> life;
};

template <class T>
class TGuiRef {
public:
  TGuiRef() = default;
  explicit TGuiRef(std::weak_ptr<T*> token) : token(std::move(token)) {}

  // Posts call(owner) to the GUI thread; it is skipped there when the owner
  // is gone by then.
  void Post(std::function<void(T&)> call) const {
    PostToGui([token = token, call = std::move(call)] {
      if (const std::shared_ptr<T*> held = token.lock())
        if (*held) call(**held);
    });
  }

private:
  std::weak_ptr<T*> token;
};
