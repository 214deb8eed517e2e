#pragma once
// The keyboard's lock keys (Caps Lock, Num Lock, Scroll Lock) as the window
// system tells a client about them. X11 does, through its XKB extension;
// other platforms (Wayland, the offscreen platform of the tests) do not, and
// then there is no reader at all.
#include <memory>

namespace netrove {

struct LockKeyStates {
  bool caps = false;
  bool num = false;
  bool scroll = false;
};

class ILockKeyReader {
 public:
  virtual ~ILockKeyReader() = default;
  virtual LockKeyStates read() = 0;
};

// The reader of this session's window system; null when it cannot tell.
std::unique_ptr<ILockKeyReader> SystemLockKeyReader();

}  // namespace netrove
