#pragma once
// quorvel --script FILE: the scripted front end's events given to the real window, as a user
// gives them: keys and pointer to the widgets, commands through the tool bar and menus, dialogs
// answered from the script; "grab PATH" writes the whole window as PNG.
#include <iosfwd>
#include <vector>

#include "main_window.h"
#include "qt_platform.h"
#include "ui/script.h"

namespace quorvel {

// Prints each event's outcome and every message shown; false at the first failed expectation or
// output (the rest is not run).
bool runDesktopScript(MainWindow& window, QtPlatform& platform, Workstation& ws, const std::vector<ScriptEvent>& events,
                      std::ostream& out);

// Sends the key's press and release to the window's focus widget.
void sendKey(MainWindow& window, Key key, KeyModifiers m, bool press);

}  // namespace quorvel
