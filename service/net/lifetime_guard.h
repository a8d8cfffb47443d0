#pragma once

#include <memory>
#include <utility>

namespace brivane {

// The one way handlers in service/net stay safe after their object has gone: the loop
// outlives the TCP front, the UDP socket and every connection, so a completion or a
// callback can be queued for an object that no longer exists. Every handler that
// calls back into an object is wrapped by that object's Guard: it holds only a weak
// reference to the owner's lifetime and does nothing once the owner has gone.
// Buffers that Asio reads into or writes from are captured by the handler itself, so
// they live until the operation completes, whatever happens to their owner.
// Declare the guard as the owner's last member: it then expires before anything else
// the handlers touch is destroyed.
class LifetimeGuard {
 public:
  LifetimeGuard() = default;
  LifetimeGuard(const LifetimeGuard&) = delete;
  LifetimeGuard& operator=(const LifetimeGuard&) = delete;

  template <typename Handler>
  auto Guard(Handler handler) const {
    return [alive = std::weak_ptr<const Token>(token_),
            handler = std::move(handler)](auto&&... arguments) mutable {
      if (!alive.expired()) {
        handler(std::forward<decltype(arguments)>(arguments)...);
      }
    };
  }

 private:
  struct Token {};
  std::shared_ptr<const Token> token_ = std::make_shared<const Token>();
};

}  // namespace brivane
