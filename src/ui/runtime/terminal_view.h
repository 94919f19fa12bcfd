// One open window as the terminal shows it: draws itself from the Window's
// fields and turns keys into edits of those fields or into the status that
// ends the input.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "ui/runtime/front_end.h"
#include "ui/runtime/terminal_io.h"
#include "ui/runtime/terminal_labels.h"

namespace kavelin2::uirt::term {

class View {
 public:
  virtual ~View() = default;
  virtual void Draw(Terminal& t, Window& w, Lang lang) = 0;
  // A result ends the input; nullopt means the key was taken (or ignored).
  virtual std::optional<InputResult> HandleKey(int key, Window& w, Lang lang) = 0;
  // What the input answers when the process is asked to end: the status
  // that leaves this window without storing anything.
  virtual InputResult LeaveResult() const = 0;
};

// The value the window shows for field |name| (stored as "<name>," or
// "<name>"), "" when never shown.
std::string FieldValue(const Window& w, const std::string& name);
// Stores an edited value under the key the station used for the field, or
// under |fallback_key| when the field was never shown.
void StoreField(Window& w, const std::string& name, const std::string& fallback_key,
                const std::string& value);

// The title to show: the one the station set ("WINDOWS,TCOURANT,...") or,
// when the window still bears its default title, |own| in |lang|.
std::string WindowTitle(const Window& w, const Text3& own, Lang lang);

// The view of a window, chosen by its name; windows the terminal does not
// know get a plain list of their fields.
std::unique_ptr<View> NewViewFor(const std::string& window_name);

// Views with their own code.
std::unique_ptr<View> NewMenuView();
std::unique_ptr<View> NewOnlineView();
std::unique_ptr<View> NewDirectoryPickerView();

}  // namespace kavelin2::uirt::term
