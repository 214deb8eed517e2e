#include "app/lock_key_state.h"

#include <QGuiApplication>

#ifdef NETROVE_HAVE_XKB
#include <QtGui/qguiapplication_platform.h>
// After every Qt header: Xlib defines macros (None, Bool, Status) that Qt's
// headers use as names.
#include <X11/XKBlib.h>
#endif

namespace netrove {

#ifdef NETROVE_HAVE_XKB
namespace {

// The indicators are looked up by name, as keyboard maps number them
// differently.
class CXkbLockKeyReader : public ILockKeyReader {
 public:
  explicit CXkbLockKeyReader(Display* display)
      : display_(display),
        caps_(XInternAtom(display, "Caps Lock", False)),
        num_(XInternAtom(display, "Num Lock", False)),
        scroll_(XInternAtom(display, "Scroll Lock", False)) {}

  LockKeyStates read() override { return {isOn(caps_), isOn(num_), isOn(scroll_)}; }

 private:
  bool isOn(Atom indicator) const {
    Bool on = False;
    if (!XkbGetNamedIndicator(display_, indicator, nullptr, &on, nullptr, nullptr)) return false;
    return on != False;
  }

  Display* display_;
  Atom caps_;
  Atom num_;
  Atom scroll_;
};

}  // namespace

std::unique_ptr<ILockKeyReader> SystemLockKeyReader() {
  auto* x11 =
      qApp != nullptr ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  Display* display = x11 != nullptr ? x11->display() : nullptr;
  if (display == nullptr) return nullptr;
  int major = XkbMajorVersion;
  int minor = XkbMinorVersion;
  int opcode = 0;
  int event = 0;
  int error = 0;
  if (!XkbQueryExtension(display, &opcode, &event, &error, &major, &minor)) return nullptr;
  return std::make_unique<CXkbLockKeyReader>(display);
}

#else

std::unique_ptr<ILockKeyReader> SystemLockKeyReader() { return nullptr; }

#endif

}  // namespace netrove
